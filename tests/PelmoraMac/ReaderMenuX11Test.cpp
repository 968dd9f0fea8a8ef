// The menu bar's keys as the X server delivers them (xdotool through the server's own keymap, a US
// layout): each reaches its item, the awkward ones too (Ctrl++ is typed Ctrl+Shift+=, Ctrl+Shift+[ gives
// a brace, Meta is the Super key), and a disabled item's key reaches nothing. The open 再生 menu is kept as
// a screenshot, reader-menu-playback.png.
#include "PelmoraMac/App/PelmoraApp.h"
#include "PelmoraMac/Library/MacReadingPlayback.h"
#include "PelmoraMac/Library/ReaderHistoryModel.h"
#include "PelmoraMac/Menus/ReaderCommands.h"
#include "PelmoraMac/Settings/ReaderSettingsView.h"
#include "PelmoraMac/Window/ReaderWindow.h"
#include "ReaderUI/Player/ReadingPlayer.h"
#include "ReaderUI/Source/ReaderSourceNavigation.h"

#include "AppTesting.h"
#include "support/CheckoutPaths.h"
#include "support/GuiTesting.h"
#include "support/QtPrinters.h"
#include "support/ReceivedPresses.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>

#include <map>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Item = ReaderMenuItem;
using test::processEventsUntil;

void xdotool(const QStringList& arguments) {
    QProcess process;
    process.start(u"xdotool"_s, arguments);
    ASSERT_TRUE(process.waitForFinished(test::patienceMilliseconds()));
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
}

void settle(int milliseconds = 150) {
    processEventsUntil([] { return false; }, std::chrono::milliseconds(milliseconds));
}

// Sends the chord until its key reached a window of the application (made again only while it has not).
bool chordReached(const test::ReceivedKeys& keys, const QString& chord) {
    return test::keyReached(keys, [&] { xdotool({u"key"_s, chord}); });
}

// Three chapters of Japanese with an English word in each, so that a search finds three matches.
SavedReading bookOfThreeChapters() {
    QString text;
    QList<ReadingDocument::Section> sections;
    for (int chapter = 1; chapter <= 3; ++chapter) {
        const qsizetype start = text.size();
        text += u"第%1章 cat。"_s.arg(chapter);
        while (text.size() - start < 3'000) text += u"吾輩は猫である。名前はまだ無い。"_s;
        text += u'\n';
        sections.append({u"c%1"_s.arg(chapter), std::nullopt, start, text.size()});
    }
    return {.id = QUuid::createUuid(),
            .document = {.sections = sections, .text = text, .spans = {}},
            .title = u"三章の本"_s,
            .epub = EPUBBook::Information{{}, {}, {}, {}, u"OEBPS/content.opf"_s},
            .source = std::nullopt,
            .importedAt = {}};
}

TEST(ReaderMenuX11, EveryKeyReachesItsItemAndADisabledItemsKeyNothing) {
    test::TemporaryDirectory folder;
    test::AppUnderTest under(folder.filePath(u"reading-store.json"_s));
    PelmoraApp& app = *under.app;
    ReaderCommands& commands = app.commands();
    std::map<Item, int> triggered;
    for (std::size_t index = 0; index < kReaderMenuItemCount; ++index) {
        const Item item = Item(index);
        QObject::connect(&commands.action(item), &QAction::triggered, [&triggered, item] { ++triggered[item]; });
    }
    ReaderWindow& window = app.readerWindow();
    window.show();
    window.activateWindow();
    ASSERT_TRUE(test::effectWithin([&] { return window.isActiveWindow(); }));
    ASSERT_TRUE(test::effectWithin([&] { return app.history()->isLoaded(); }));
    ReadingPlayer& player = app.playback().player();
    player.load(bookOfThreeChapters(), 0);
    ASSERT_TRUE(test::effectWithin([&] { return player.canPerform(ReaderPlaybackRequest::Action::forwardChapter); }));
    settle();
    const test::ReceivedKeys keys;

    // At 1.0× the slower item is disabled: its key reaches the window and no item.
    ASSERT_FALSE(commands.action(Item::slower).isEnabled());
    ASSERT_TRUE(chordReached(keys, u"ctrl+shift+Down"_s)) << "Ctrl+Shift+Down did not reach the window";
    settle();
    EXPECT_EQ(triggered[Item::slower], 0);

    // Each chord, in an order in which every item is enabled when its key comes.
    const struct {
        const char* chord;
        Item item;
    } presses[] = {
        {"ctrl+shift+Up", Item::faster},
        {"ctrl+shift+Down", Item::slower},
        {"ctrl+plus", Item::rsvpLarger},
        {"ctrl+minus", Item::rsvpSmaller},
        {"ctrl+alt+plus", Item::sourceLarger},
        {"super+ctrl+0", Item::sourceDefaultSize},
        {"ctrl+plus", Item::rsvpLarger},
        {"ctrl+0", Item::rsvpDefaultSize},
        {"ctrl+alt+minus", Item::sourceSmaller},
        {"ctrl+shift+bracketright", Item::forwardChapter},
        {"ctrl+shift+bracketleft", Item::backChapter},
        {"ctrl+bracketright", Item::forwardSentence},
        {"ctrl+bracketleft", Item::backSentence},
        {"super+ctrl+shift+s", Item::toggleSource},
        {"super+ctrl+shift+s", Item::toggleSource},
        {"super+ctrl+t", Item::toggleEPUBNavigation},
        {"super+ctrl+t", Item::toggleEPUBNavigation},
        {"super+ctrl+s", Item::toggleHistory},
        {"super+ctrl+s", Item::toggleHistory},
        {"ctrl+d", Item::addCurrent},
        {"ctrl+Return", Item::togglePlayback},
        {"ctrl+Return", Item::togglePlayback},
        {"ctrl+r", Item::replay},
        {"ctrl+Return", Item::togglePlayback},
        {"ctrl+f", Item::findInDocument},
    };
    std::map<Item, int> expected;
    for (const auto& press : presses) {
        SCOPED_TRACE(press.chord);
        ASSERT_TRUE(test::effectWithin([&] { return commands.action(press.item).isEnabled(); }));
        ASSERT_TRUE(chordReached(keys, QString::fromLatin1(press.chord))) << "the key did not reach the window";
        ++expected[press.item];
        ASSERT_TRUE(test::effectWithin([&] { return triggered[press.item] == expected[press.item]; }))
            << "the key reached the window and ran no item";
        // Moves of the player prepare their window before the next chapter key is enabled.
        settle(press.item == Item::forwardChapter ? 600 : 150);
    }
    // A search with matches to step through.
    app.sourceNavigation().setQuery(u"cat"_s);
    app.sourceNavigation().startSearch();
    ASSERT_TRUE(test::effectWithin([&] { return commands.action(Item::findNext).isEnabled(); }));
    for (const auto& [chord, item] :
         {std::pair(u"ctrl+g"_s, Item::findNext), std::pair(u"ctrl+shift+g"_s, Item::findPrevious)}) {
        ASSERT_TRUE(chordReached(keys, chord)) << chord.toStdString() << " did not reach the window";
        EXPECT_TRUE(test::effectWithin([&] { return triggered[item] == 1; })) << chord.toStdString() << " ran no item";
    }
    EXPECT_EQ(triggered[Item::slower], 1);

    // The playback menu, opened by a click on its title.
    QMenuBar* bar = window.menuBar();
    QAction* playback = bar->actions().at(4);
    const QPoint title = bar->mapToGlobal(bar->actionGeometry(playback).center());
    const test::ReceivedPresses received(window);
    ASSERT_TRUE(test::clickReached(received, [&] {
        xdotool({u"mousemove"_s, QString::number(title.x()), QString::number(title.y()), u"click"_s, u"1"_s});
    })) << "no click on the title 再生 reached the window";
    ASSERT_TRUE(test::effectWithin([&] { return playback->menu()->isVisible(); }))
        << "a click on the title 再生 opened no menu";
    settle(300);
    QProcess shot;
    shot.start(test::inCheckout(X11_SCREENSHOT), {test::testArtifactPath(u"reader-menu-playback.png"_s)});
    ASSERT_TRUE(shot.waitForFinished(test::patienceMilliseconds()));
    ASSERT_TRUE(chordReached(keys, u"Escape"_s)) << "Escape did not reach the open menu";
    ASSERT_TRUE(test::effectWithin([&] { return !playback->menu()->isVisible(); })) << "Escape did not close the menu";

    // The settings key works from the reader window and opens the settings window.
    settle();
    ASSERT_TRUE(chordReached(keys, u"ctrl+comma"_s)) << "Ctrl+, did not reach the window";
    EXPECT_TRUE(test::effectWithin([&] { return app.hasSettingsWindow() && app.settingsWindow().isVisible(); }))
        << "Ctrl+, opened no settings window";
}

}  // namespace
}  // namespace tavrine
