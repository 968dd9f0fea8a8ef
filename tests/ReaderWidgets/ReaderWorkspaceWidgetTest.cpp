// The workspace as the reader window embeds it, on the offscreen platform: the empty content, the
// contents pane only for a book and only when asked for, a fresh pane per reading, Esc in the pane, the
// information sheet's flag both ways, the pane beside and above the column, and the navigation sheet.
#include "ReaderCore/MemoryDefaults.h"
#include "ReaderUI/Player/ReadingPlayer.h"
#include "ReaderUI/Workspace/ReaderEPUBPaneModel.h"
#include "ReaderUI/Workspace/ReaderEPUBPaneNavigation.h"
#include "ReaderUI/Workspace/ReaderEPUBPresentation.h"
#include "ReaderUI/Workspace/ReaderWorkspaceController.h"
#include "ReaderWidgets/Display/PhraseWidthMeasurer.h"
#include "ReaderWidgets/Workspace/EPUBNavigationView.h"
#include "ReaderWidgets/Workspace/ReaderDocumentInformationSheet.h"
#include "ReaderWidgets/Workspace/ReaderEPUBPane.h"
#include "ReaderWidgets/Workspace/ReaderRSVPDisplayPanel.h"
#include "ReaderWidgets/Workspace/ReaderWorkspaceWidget.h"

#include "support/FakeClock.h"
#include "support/FakePlaybackStore.h"
#include "support/GuiTesting.h"
#include "support/NavigationTrees.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using test::at;
using test::entry;
using test::processEventsUntil;
using Section = ReadingDocument::Section;
using Selection = ReaderEPUBContents::Selection;

QString prose(qsizetype length) {
    const QString sentence = u"吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。"_s;
    QString text;
    while (text.size() < length) text += sentence;
    text.truncate(length);
    return text;
}

SavedReading bookReading() {
    const QList<Section> sections{{u"s1"_s, u"一"_s, 0, 600}, {u"s2"_s, u"二"_s, 600, 1200}};
    SavedReading reading =
        SavedReading::create({sections, prose(1200), {}}, u"草枕"_s, std::nullopt, std::nullopt, Date{800'000'000});
    EPUBBook::Information information;
    information.navigation = {entry(u"one"_s, at(u"s1"_s, 0)), entry(u"two"_s, at(u"s2"_s, 600))};
    reading.epub = std::move(information);
    return reading;
}

SavedReading plainReading() {
    return SavedReading::create({std::nullopt, prose(300), {}}, u"猫"_s, std::nullopt, std::nullopt, Date{800'000'000});
}

void settle() {
    processEventsUntil([] { return false; }, 30ms);
}

void press(QWidget& target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent down(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(&target, &down);
}

class ReaderWorkspaceWidgetTest : public testing::Test {
protected:
    ReaderWorkspaceWidgetTest()
        : store(std::make_shared<test::FakePlaybackStore>(clock)),
          player(store, false, true, 5s, defaults, clock,
                 ReadingPlayer::PhraseWidth{[](QStringView text) { return PhraseWidthMeasurer::width(text); },
                                            PhraseWidthMeasurer::referenceWidth()}) {}

    // A shown workspace of the given size in its own window; the empty content is a label.
    ReaderWorkspaceWidget& show(QSize size) {
        workspace = std::make_unique<ReaderWorkspaceWidget>(player, &presentation, ReaderWorkspaceClosures{},
                                                            ReaderWorkspaceWidget::Builders{.emptyContent = [this] {
                                                                ++emptyBuilt;
                                                                return new QLabel(u"開始"_s);
                                                            }});
        workspace->resize(size);
        workspace->show();
        workspace->activateWindow();
        processEventsUntil([this] { return workspace->isActiveWindow(); });
        settle();
        return *workspace;
    }

    void open(const SavedReading& reading) {
        player.load(reading, 0);
        processEventsUntil([this] { return !player.isPreparing() && player.session().currentChunk(); });
        settle();
    }

    test::FakeClock clock;
    MemoryDefaults defaults;
    std::shared_ptr<test::FakePlaybackStore> store;
    ReadingPlayer player;
    ReaderEPUBPresentation presentation;
    std::unique_ptr<ReaderWorkspaceWidget> workspace;
    int emptyBuilt = 0;
};

TEST_F(ReaderWorkspaceWidgetTest, ThePaneShowsOnlyForABookWhenAskedAndAfreshForEachReading) {
    ReaderWorkspaceWidget& shown = show({1100, 720});
    // Nothing to read: the empty content alone, made once.
    ASSERT_NE(shown.emptyContent(), nullptr);
    EXPECT_TRUE(shown.emptyContent()->isVisible());
    EXPECT_EQ(shown.column(), nullptr);
    presentation.setShowsNavigation(true);
    settle();
    EXPECT_EQ(shown.epubPane(), nullptr);

    // A plain text with the flag set: the column, no pane, the column over the whole width.
    open(plainReading());
    ASSERT_NE(shown.column(), nullptr);
    EXPECT_FALSE(shown.emptyContent()->isVisible());
    presentation.setShowsNavigation(true);  // a new reading cleared it
    settle();
    EXPECT_EQ(shown.epubPane(), nullptr);
    EXPECT_EQ(shown.column()->geometry(), QRect(0, 0, 1100, 720));

    // A book: the pane beside the column, nothing selected, nothing scrolled, the chapter shown.
    const SavedReading book = bookReading();
    open(book);
    EXPECT_EQ(shown.epubPane(), nullptr);
    presentation.setShowsNavigation(true);
    settle();
    ReaderEPUBPane* pane = shown.epubPane();
    ASSERT_NE(pane, nullptr);
    EXPECT_EQ(pane->objectName(), u"readerEPUBNavigationPane"_s);
    EXPECT_EQ(pane->geometry(), QRect(0, 0, 260, 720));
    EXPECT_EQ(shown.column()->geometry(), QRect(261, 0, 839, 720));
    EXPECT_EQ(pane->chapterLine().accessibleName(), u"現在の章：一"_s);
    EXPECT_EQ(pane->closeButton().accessibleName(), u"目次を閉じる"_s);
    EXPECT_TRUE(pane->closeButton().toolTip().startsWith(u"目次を閉じる（"_s));
    EXPECT_TRUE(pane->model().index(0).data(ReaderEPUBPaneModel::CurrentRole).toBool());
    EXPECT_EQ(pane->list().verticalScrollBar()->value(), 0);

    // Stacked in a narrow space: full width, 32 % of the height, the rule, then the column.
    shown.resize(700, 600);
    settle();
    EXPECT_EQ(pane->geometry(), QRect(0, 0, 700, 192));
    EXPECT_EQ(shown.column()->geometry(), QRect(0, 193, 700, 407));

    // A choice from the keys moves the player and marks its entry; disabled while importing.
    pane->list().setFocus();
    press(pane->list(), Qt::Key_Down);
    press(pane->list(), Qt::Key_Down);
    press(pane->list(), Qt::Key_Return);
    processEventsUntil([this] { return player.currentSourceOffset() == 600 && !player.isPreparing(); });
    settle();
    EXPECT_EQ(pane->navigation().selection(), Selection::navigation(u"two"_s));
    EXPECT_TRUE(pane->model().index(1).data(ReaderEPUBPaneModel::CurrentRole).toBool());
    EXPECT_EQ(pane->chapterLine().text(), u"二"_s);
    shown.controller().setImporting(true);
    settle();
    EXPECT_FALSE(pane->isEnabled());
    shown.controller().setImporting(false);

    // Another book: a fresh pane.
    SavedReading other = bookReading();
    other.id = QUuid::createUuid();
    open(other);
    presentation.setShowsNavigation(true);
    settle();
    ASSERT_NE(shown.epubPane(), nullptr);
    EXPECT_EQ(shown.epubPane()->readingID(), other.id);
    EXPECT_EQ(shown.epubPane()->navigation().selection(), std::nullopt);
    EXPECT_EQ(emptyBuilt, 1);
}

TEST_F(ReaderWorkspaceWidgetTest, EscClosesThePaneAndTheDisplayTakesTheFocus) {
    ReaderWorkspaceWidget& shown = show({1100, 720});
    open(bookReading());
    presentation.setShowsNavigation(true);
    settle();
    ReaderEPUBPane* pane = shown.epubPane();
    ASSERT_NE(pane, nullptr);
    pane->list().setFocus();
    settle();
    ASSERT_TRUE(pane->list().hasFocus());
    press(pane->list(), Qt::Key_Escape);
    EXPECT_FALSE(presentation.showsNavigation());
    settle();
    EXPECT_EQ(shown.epubPane(), nullptr);
    EXPECT_TRUE(shown.column()->displayPanel().hasFocus());
    EXPECT_TRUE(shown.controller().isDisplayFocused());
    EXPECT_EQ(shown.column()->geometry(), QRect(0, 0, 1100, 720));

    // Closed from the menu while the list holds the focus: the display takes it all the same.
    presentation.setShowsNavigation(true);
    settle();
    shown.epubPane()->list().setFocus();
    settle();
    presentation.setShowsNavigation(false);
    settle();
    EXPECT_TRUE(shown.column()->displayPanel().hasFocus());
}

// A click on a row moves the reading there and leaves the keys with the display, where Space plays; the
// pane stays open.
TEST_F(ReaderWorkspaceWidgetTest, AClickOnARowLeavesTheKeysWithTheDisplay) {
    ReaderWorkspaceWidget& shown = show({1100, 720});
    open(bookReading());
    presentation.setShowsNavigation(true);
    settle();
    ReaderEPUBPane* pane = shown.epubPane();
    ASSERT_NE(pane, nullptr);
    shown.controller().focusDisplay();
    ASSERT_TRUE(shown.column()->displayPanel().hasFocus());
    const QRect second = pane->list().visualRect(pane->model().index(1));
    QTest::mouseClick(pane->list().viewport(), Qt::LeftButton, {}, second.center());
    EXPECT_TRUE(processEventsUntil([this] { return player.currentSourceOffset() == 600 && !player.isPreparing(); }));
    settle();
    EXPECT_NE(shown.epubPane(), nullptr);
    EXPECT_FALSE(pane->list().hasFocus());
    EXPECT_TRUE(shown.column()->displayPanel().hasFocus());
}

// With nothing left to read the empty content stands where the display was: a focus request for the
// display that arrives then (one made before the reading went, or with it) leaves the keys with the
// empty content, instead of handing them to the display, hidden, where Space does nothing.
TEST_F(ReaderWorkspaceWidgetTest, TheDisplayTakesTheKeysOnlyWhileItIsShown) {
    ReaderWorkspaceWidget& shown = show({900, 700});
    open(plainReading());
    ASSERT_NE(shown.column(), nullptr);
    QWidget& display = shown.column()->displayPanel();
    shown.controller().focusDisplay();
    ASSERT_TRUE(display.hasFocus());

    player.load(
        SavedReading::create({std::nullopt, QString(), {}}, u"空"_s, std::nullopt, std::nullopt, Date{800'000'000}), 0);
    ASSERT_TRUE(processEventsUntil([&] { return shown.emptyContent() && shown.emptyContent()->isVisible(); }));
    QWidget& empty = *shown.emptyContent();
    ASSERT_FALSE(display.isVisible());
    empty.setFocusPolicy(Qt::StrongFocus);
    empty.setFocus();
    ASSERT_TRUE(empty.hasFocus());
    shown.controller().focusDisplay();
    settle();
    EXPECT_TRUE(empty.hasFocus());
    EXPECT_FALSE(display.hasFocus());

    // The display shown again takes them as before.
    open(plainReading());
    shown.controller().focusDisplay();
    EXPECT_TRUE(display.hasFocus());
}

TEST_F(ReaderWorkspaceWidgetTest, TheInformationSheetFollowsItsFlagBothWays) {
    ReaderWorkspaceWidget& shown = show({900, 700});
    open(bookReading());
    shown.controller().perform(ReaderPlaybackRequest::Action::showDocumentInformation, false);
    settle();
    ASSERT_NE(shown.documentInformationSheet(), nullptr);
    EXPECT_TRUE(shown.documentInformationSheet()->isVisible());
    // Dismissed: the flag is cleared.
    shown.documentInformationSheet()->reject();
    settle();
    EXPECT_FALSE(shown.controller().showsDocumentInformation());
    EXPECT_EQ(shown.documentInformationSheet(), nullptr);

    // A new reading clears the flag: the open sheet closes.
    shown.controller().setShowsDocumentInformation(true);
    settle();
    ASSERT_NE(shown.documentInformationSheet(), nullptr);
    open(plainReading());
    EXPECT_FALSE(shown.controller().showsDocumentInformation());
    EXPECT_EQ(shown.documentInformationSheet(), nullptr);
}

TEST_F(ReaderWorkspaceWidgetTest, TheNavigationSheetFollowsThePlayersReading) {
    int dismissed = 0;
    EPUBNavigationView view(player, {}, [&dismissed] { ++dismissed; });
    view.resize(320, 480);
    view.show();
    settle();
    EXPECT_TRUE(view.emptyLabel().isVisible());
    EXPECT_EQ(view.emptyLabel().text(), u"現在の文書にEPUBの目次はありません。"_s);

    open(bookReading());
    ASSERT_NE(view.pane(), nullptr);
    EXPECT_FALSE(view.emptyLabel().isVisible());
    view.pane()->list().setFocus();
    press(view.pane()->list(), Qt::Key_Escape);
    EXPECT_EQ(dismissed, 1);

    open(plainReading());
    EXPECT_EQ(view.pane(), nullptr);
    EXPECT_TRUE(view.emptyLabel().isVisible());
}

}  // namespace
}  // namespace tavrine
