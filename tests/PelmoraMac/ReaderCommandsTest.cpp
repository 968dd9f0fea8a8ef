// The reader window's commands on a real application: each checks a freshly gathered state, the
// playback requests, the list toggle in a narrow window, the built-in sample, the source pane's return
// to playback, the file panel and the window's file drops with the strip that reports them.
#include "PelmoraMac/App/PelmoraApp.h"
#include "PelmoraMac/App/ReaderSample.h"
#include "PelmoraMac/Library/MacReadingPlayback.h"
#include "PelmoraMac/Library/ReaderHistoryModel.h"
#include "PelmoraMac/Source/InteractionTextView.h"
#include "PelmoraMac/Source/ReaderSourcePane.h"
#include "PelmoraMac/Source/ReaderSourceTools.h"
#include "PelmoraMac/Window/ReaderFileImportStrip.h"
#include "PelmoraMac/Window/ReaderPresentation.h"
#include "PelmoraMac/Window/ReaderWindow.h"
#include "PelmoraMac/Window/ReaderWindowRoot.h"
#include "PelmoraMac/Window/ReaderWindowState.h"
#include "ReaderUI/Player/ReaderTextSizeSettings.h"
#include "ReaderUI/Player/ReadingPlayer.h"
#include "ReaderUI/Source/ReaderSourceNavigation.h"
#include "ReaderUI/Workspace/ReaderWorkspaceController.h"
#include "ReaderWidgets/Workspace/ReaderDocumentInformationSheet.h"
#include "ReaderWidgets/Workspace/ReaderReadingColumn.h"
#include "ReaderWidgets/Workspace/ReaderWorkspaceWidget.h"

#include "AppTesting.h"
#include "support/EventLoop.h"
#include "support/QtPrinters.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <QAbstractScrollArea>
#include <QCryptographicHash>
#include <QDropEvent>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Action = ReaderPlaybackRequest::Action;
using Collection = ReaderHistoryModel::Collection;
using test::AppUnderTest;
using test::processEventsUntil;

class ReaderCommands : public testing::Test {
protected:
    ReaderCommands() : under(folder.filePath(u"reading-store.json"_s)) {
        app().loadHistory();
        EXPECT_TRUE(processEventsUntil([&] { return app().history()->isLoaded(); }));
    }
    PelmoraApp& app() { return *under.app; }
    // The file panel open over the reader window, if any.
    QFileDialog* filePanel() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return app().readerWindow().findChild<QFileDialog*>(u"libraryFilePanel"_s);
    }
    // Drops files on the reader window's content, as the desktop would; whether the drop was taken.
    bool dropOnWindow(const QList<QUrl>& urls) {
        QWidget& root = app().readerRoot();
        QMimeData data;
        data.setUrls(urls);
        const QPoint centre = root.rect().center();
        QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&root, &enter);
        QDropEvent drop(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&root, &drop);
        return drop.isAccepted();
    }
    // The texts the file-import strip shows once the window has caught up (or at once, refreshed now), or
    // nothing while it is hidden. The window catches up on the next turns of the event loop: turns, not a time,
    // which a loaded machine may spend before the first of them.
    QStringList fileStripTexts(bool now = false) {
        if (now) {
            app().readerRoot().refresh();
        } else {
            for (int turn = 0; turn < 3; ++turn) QCoreApplication::processEvents();
        }
        QWidget& strip = app().readerRoot().fileImportStrip();
        if (strip.isHidden()) return {};
        QStringList texts;
        for (const QLabel* label : strip.findChildren<QLabel*>())
            if (label->isVisibleTo(&strip) && !label->text().isEmpty()) texts.append(label->text());
        for (const QPushButton* button : strip.findChildren<QPushButton*>())
            if (button->isVisibleTo(&strip)) texts.append(button->text());
        return texts;
    }

    test::TemporaryDirectory folder;
    AppUnderTest under;
};

TEST_F(ReaderCommands, TheSampleOpensPausedAsANewReadingEachTime) {
    // The sample's five lines as the reader is to show them, by their SHA-256 over UTF-8.
    EXPECT_EQ(readerSampleText().size(), 199);
    EXPECT_FALSE(readerSampleText().endsWith(u'\n'));
    EXPECT_EQ(QCryptographicHash::hash(readerSampleText().toUtf8(), QCryptographicHash::Sha256).toHex(),
              "e109e8cdc094f6c8f9d9f680a2252861bfa607df8ac6242ddd21bde3657940f7");

    ReadingPlayer& player = app().playback().player();
    app().openSample();
    ASSERT_TRUE(player.reading());
    const QUuid first = player.reading()->id;
    EXPECT_EQ(player.reading()->title, u"サンプル：朝の散歩"_s);
    EXPECT_EQ(player.reading()->source, u"内蔵サンプル"_s);
    EXPECT_EQ(player.reading()->document.text, readerSampleText());
    EXPECT_FALSE(player.reading()->document.sections);
    EXPECT_TRUE(player.reading()->document.spans.isEmpty());
    EXPECT_NE(player.session().status, ReadingSession::Status::playing);

    const QUuid focus = app().windowState().readerFocusRequest();
    app().openSample();
    ASSERT_TRUE(player.reading());
    EXPECT_NE(player.reading()->id, first);
    EXPECT_NE(app().windowState().readerFocusRequest(), focus);
}

TEST_F(ReaderCommands, CommandsCheckTheStateOfTheMomentAndRefusedRequestsKeepTheLast) {
    app().openSample();
    ASSERT_TRUE(app().windowState().commandContext().canToggleSource);

    // Two equal requests in a row are two requests.
    app().requestPlayback(Action::togglePlayback);
    ASSERT_TRUE(app().windowState().playbackRequest());
    const ReaderPlaybackRequest first = *app().windowState().playbackRequest();
    app().requestPlayback(Action::togglePlayback);
    ASSERT_TRUE(app().windowState().playbackRequest());
    const ReaderPlaybackRequest last = *app().windowState().playbackRequest();
    EXPECT_NE(last.id, first.id);

    // The sample has no chapters: the player refuses, the last request stays.
    app().requestPlayback(Action::forwardChapter);
    EXPECT_EQ(app().windowState().playbackRequest(), last);

    // A state gathered before the window got a sheet enabled everything; the commands now refuse.
    int changes = 0;
    QObject::connect(&app().windowState(), &ReaderWindowState::commandContextChanged, [&] { ++changes; });
    const ReaderCommandContext before = app().windowState().commandContext();
    ASSERT_TRUE(before.imports.canImportClipboard);
    app().windowState().setReaderHasSheet(true);
    app().windowState().setSettingsHasFocus(true);
    const QUuid reading = app().playback().player().reading()->id;
    const bool prefersSource = app().presentation().prefersSource();
    const bool prefersHistory = app().presentation().prefersHistory();
    app().requestPlayback(Action::togglePlayback);
    app().openSample();
    app().toggleSource();
    app().toggleHistory();
    EXPECT_EQ(app().windowState().playbackRequest(), last);
    EXPECT_EQ(app().playback().player().reading()->id, reading);
    EXPECT_EQ(app().presentation().prefersSource(), prefersSource);
    EXPECT_EQ(app().presentation().prefersHistory(), prefersHistory);
    // Both changes of the turn come as one.
    EXPECT_TRUE(processEventsUntil([&] { return changes > 0; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(changes, 1);

    app().windowState().setReaderHasSheet(false);
    app().windowState().setSettingsHasFocus(false);
    app().requestPlayback(Action::togglePlayback);
    EXPECT_NE(app().windowState().playbackRequest(), last);
}

TEST_F(ReaderCommands, TheListToggleInANarrowWindowOnlyOpensTheCompactList) {
    const auto stored = [&] { return app().defaults().object(ReaderPresentation::kShowsHistoryKey); };
    ReaderPresentation& panes = app().presentation();
    const bool prefers = panes.prefersHistory();
    panes.setAvailableWidth(720);
    app().toggleHistory();
    EXPECT_TRUE(app().windowState().showsCompactHistory());
    EXPECT_TRUE(app().windowState().commandContext().showsHistory);
    app().toggleHistory();
    EXPECT_FALSE(app().windowState().showsCompactHistory());
    EXPECT_EQ(panes.prefersHistory(), prefers);
    EXPECT_FALSE(stored());

    panes.setAvailableWidth(721);
    app().toggleHistory();
    EXPECT_EQ(panes.prefersHistory(), !prefers);
    EXPECT_EQ(stored(), DefaultsValue(!prefers));
    EXPECT_FALSE(app().windowState().showsCompactHistory());
}

TEST_F(ReaderCommands, ReturningToPlaybackMakesTheSourcePaneFollowAgain) {
    ReaderSourceNavigation& navigation = app().sourceNavigation();
    navigation.setFollowsPlayback(false);
    int follows = 0;
    int reveals = 0;
    QObject::connect(&navigation, &ReaderSourceNavigation::followsPlaybackChanged, [&] { ++follows; });
    QObject::connect(&navigation, &ReaderSourceNavigation::revealRequestChanged, [&] { ++reveals; });
    // What the workspace calls after a user action that moves the reading position.
    const auto resume = app().readerRoot().workspace().closures().onSourceNavigation;
    ASSERT_TRUE(resume);
    resume();
    EXPECT_TRUE(navigation.followsPlayback());
    resume();
    EXPECT_EQ(follows, 1);
    EXPECT_EQ(reveals, 2);
}

TEST_F(ReaderCommands, TheReaderWindowShowsTheOpenReadingInItsSourcePane) {
    app().readerWindow().show();
    app().openSample();
    ReaderWorkspaceWidget& workspace = app().readerRoot().workspaceWidget();
    ASSERT_TRUE(processEventsUntil([&] { return workspace.column() && workspace.column()->sourceArea(); }));
    // What the workspace placed is the application's pane and tool row.
    auto* pane = static_cast<ReaderSourcePane*>(workspace.column()->sourceArea()->sourceView());
    ASSERT_TRUE(processEventsUntil([&] { return pane->sourceView().textView().source() == readerSampleText(); }));
    EXPECT_EQ(&pane->navigation(), &app().sourceNavigation());
    EXPECT_EQ(&static_cast<ReaderSourceTools*>(workspace.column()->sourceToolbar())->navigation(),
              &app().sourceNavigation());
    ReadingPlayer& player = app().playback().player();
    ASSERT_TRUE(processEventsUntil([&] { return pane->sourceView().input().highlightedRange.has_value(); }));

    // The source text size reaches the pane.
    player.textSizes().setPointSize(20, ReaderTextSizeSettings::Target::source);
    EXPECT_TRUE(processEventsUntil([&] { return pane->sourceView().input().pointSize == 20; }));

    // A key that moves the caret stops following and moves the player to the caret.
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QCoreApplication::sendEvent(&pane->sourceView().textWidget(), &down);
    EXPECT_FALSE(app().sourceNavigation().followsPlayback());
    const qsizetype caret = pane->sourceView().textView().selectedRanges().value(0).lowerBound;
    EXPECT_GT(caret, 0);
    EXPECT_TRUE(processEventsUntil([&] {
        const auto& range = pane->sourceView().input().highlightedRange;
        return range && range->lowerBound <= caret && caret < range->upperBound;
    }));
}

TEST_F(ReaderCommands, TheInformationSheetOverTheReaderWindowBlocksUntilClosed) {
    app().readerWindow().show();
    app().openSample();
    ASSERT_FALSE(app().windowState().commandContext().isBlocked);
    app().requestPlayback(Action::showDocumentInformation);
    ReaderWorkspaceWidget& workspace = app().readerRoot().workspaceWidget();
    ASSERT_TRUE(processEventsUntil([&] { return workspace.documentInformationSheet() != nullptr; }));
    EXPECT_TRUE(app().windowState().commandContext().isBlocked);
    EXPECT_FALSE(app().windowState().commandContext().imports.canImportClipboard);
    // Refused while the sheet is up: the last request stays.
    const auto shown = app().windowState().playbackRequest();
    app().requestPlayback(Action::togglePlayback);
    EXPECT_EQ(app().windowState().playbackRequest(), shown);

    workspace.documentInformationSheet()->close();
    EXPECT_TRUE(processEventsUntil([&] { return !app().windowState().commandContext().isBlocked; }));
}

TEST_F(ReaderCommands, TheAddFileCommandBlocksTheWindowWhileItsPanelIsOpen) {
    app().readerWindow().show();
    ReaderHistoryModel& list = *app().history();
    list.setCollection(Collection::history);
    app().windowState().setReaderHasSheet(true);
    app().importFile();
    EXPECT_EQ(filePanel(), nullptr);
    EXPECT_FALSE(app().windowState().showsFilePicker());
    EXPECT_EQ(list.collection(), Collection::history);
    app().windowState().setReaderHasSheet(false);

    app().importFile();
    EXPECT_EQ(list.collection(), Collection::library);
    QFileDialog* panel = filePanel();
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(app().windowState().showsFilePicker());
    EXPECT_TRUE(app().windowState().commandContext().isBlocked);
    // One panel at a time.
    app().importFile();
    EXPECT_EQ(app().readerWindow().findChildren<QFileDialog*>().size(), 1);
    panel->reject();
    EXPECT_FALSE(app().windowState().showsFilePicker());
    EXPECT_TRUE(processEventsUntil([&] { return !app().windowState().commandContext().isBlocked; }));
    EXPECT_FALSE(list.isImportingFile());

    const QString path = folder.write(u"選んだ.txt"_s, "選んだ本文");
    app().importFile();
    panel = filePanel();
    ASSERT_NE(panel, nullptr);
    auto* name = panel->findChild<QLineEdit*>(u"fileNameEdit"_s);
    ASSERT_NE(name, nullptr);
    name->setText(path);
    static_cast<QDialog*>(panel)->accept();
    EXPECT_FALSE(app().windowState().showsFilePicker());
    ASSERT_TRUE(processEventsUntil([&] {
        const auto& reading = app().playback().player().reading();
        return reading && reading->document.text == u"選んだ本文"_s;
    }));
}

TEST_F(ReaderCommands, DropsOnTheWindowAreReportedInTheFileStripWhileTheListIsHidden) {
    app().readerWindow().show();
    app().presentation().setPrefersHistory(false);
    ReaderHistoryModel& list = *app().history();
    const QUrl file = QUrl::fromLocalFile(folder.write(u"落とした.txt"_s, "落とした本文"));
    const QUrl other = QUrl::fromLocalFile(folder.write(u"もう一つ.txt"_s, "もう一つ"));

    // Nothing open: a refused drop is told by the list's own notice, never by the strip.
    EXPECT_TRUE(dropOnWindow({file, other}));
    ASSERT_TRUE(list.fileImportMessage());
    EXPECT_EQ(fileStripTexts(), QStringList());

    app().openSample();
    EXPECT_TRUE(dropOnWindow({file, other}));
    const QStringList told = fileStripTexts();
    ASSERT_FALSE(told.isEmpty());
    EXPECT_TRUE(told.constFirst().startsWith(u"一度に追加できるのは一つのファイルです。"_s)) << told.join(u'|');
    EXPECT_FALSE(told.contains(u"取り込みをキャンセル"_s));
    // With the list pane on screen the list tells it instead.
    app().presentation().setPrefersHistory(true);
    app().presentation().setAvailableWidth(1'000);
    ASSERT_TRUE(app().presentation().showsHistory());
    // The window root refreshes once per event-loop turn: a slow (sanitized, loaded) run needs more turns.
    EXPECT_TRUE(processEventsUntil([&] { return app().readerRoot().fileImportStrip().isHidden(); }));
    app().presentation().setPrefersHistory(false);

    // Blocked: the window refuses the drop and nothing changes.
    app().windowState().setReaderHasSheet(true);
    EXPECT_FALSE(dropOnWindow({file}));
    EXPECT_FALSE(list.isImportingFile());
    app().windowState().setReaderHasSheet(false);

    // One file: read (the strip says so while it runs), stored, opened.
    EXPECT_TRUE(dropOnWindow({file}));
    ASSERT_TRUE(list.isImportingFile());
    const QStringList running = fileStripTexts(/*now=*/true);
    EXPECT_TRUE(running.contains(u"ファイルを読み込み中"_s)) << running.join(u'|');
    EXPECT_TRUE(running.contains(u"取り込みをキャンセル"_s));
    ASSERT_TRUE(processEventsUntil([&] { return !list.isImportingFile(); }));
    ASSERT_TRUE(app().playback().player().reading());
    EXPECT_EQ(app().playback().player().reading()->document.text, u"落とした本文"_s);
    EXPECT_EQ(fileStripTexts(), QStringList());
}

}  // namespace
}  // namespace tavrine
