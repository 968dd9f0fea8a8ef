// Where the reader window's keyboard focus goes on a real application (offscreen): the new window's sample
// button, then the display after every kind of opening (the sample by Space, a clipboard import, undo
// and redo of that replacement, a dropped file, a row of the list), but not while a text field is typed
// in or the list is walked with the keys, unless an import opened the reading (from the search field too,
// whatever ring the list showed); after a failed paste and a control disabled under the focus; a removal
// from the narrow window's list popup; a click on a notice's text; the window brought back, and activated
// with its focus on a widget since hidden.
#include "PelmoraMac/App/PelmoraApp.h"
#include "PelmoraMac/Capture/CaptureModel.h"
#include "PelmoraMac/Library/MacReadingPlayback.h"
#include "PelmoraMac/Library/ReaderHistoryModel.h"
#include "PelmoraMac/Library/ReaderHistoryPane.h"
#include "PelmoraMac/Library/ReaderHistoryTable.h"
#include "PelmoraMac/Library/ReaderImportNotice.h"
#include "PelmoraMac/Library/ReaderStartView.h"
#include "PelmoraMac/Window/ReaderCaptureStrip.h"
#include "PelmoraMac/Window/ReaderPresentation.h"
#include "PelmoraMac/Window/ReaderVisibilityToggle.h"
#include "PelmoraMac/Window/ReaderWindow.h"
#include "PelmoraMac/Window/ReaderWindowFocus.h"
#include "PelmoraMac/Window/ReaderWindowRoot.h"
#include "PelmoraMac/Window/ReaderWindowToolbar.h"
#include "ReaderUI/Player/ReadingPlayer.h"
#include "ReaderWidgets/Workspace/ReaderRSVPDisplayPanel.h"
#include "ReaderWidgets/Workspace/ReaderReadingColumn.h"
#include "ReaderWidgets/Workspace/ReaderWorkspaceWidget.h"

#include "AppTesting.h"
#include "support/EventLoop.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTest>
#include <QWindow>

#include <algorithm>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using test::AppUnderTest;
using test::processEventsUntil;

class ReaderWindowFocusing : public testing::Test {
protected:
    ReaderWindowFocusing() : under(folder.filePath(u"reading-store.json"_s)) {
        app().presentation().setPrefersHistory(true);
        app().presentation().setAvailableWidth(1'000);
        window().resize(1'000, 720);
        window().show();
        window().activateWindow();
        EXPECT_TRUE(processEventsUntil([&] { return window().isActiveWindow(); }));
        EXPECT_TRUE(processEventsUntil([&] { return app().history() && app().history()->isLoaded(); }));
    }

    PelmoraApp& app() { return *under.app; }
    ReaderWindow& window() { return app().readerWindow(); }
    ReaderWindowRoot& root() { return app().readerRoot(); }
    QWidget* focus() { return window().focusWidget(); }
    QWidget* display() {
        ReaderReadingColumn* column = root().workspaceWidget().column();
        return column ? &column->displayPanel() : nullptr;
    }
    QWidget& listToggle() { return *window().findChild<ReaderVisibilityToggle*>(); }
    // Whether the display holds the window's focus, once the reading area has caught up.
    bool displayTakesFocus() {
        return processEventsUntil([&] { return display() && focus() == display() && display()->hasFocus(); });
    }
    // Puts the focus on the toolbar's list toggle, where Space would show or hide the list.
    void focusToolbar() {
        listToggle().setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(processEventsUntil([&] { return listToggle().hasFocus(); }));
    }
    // The sample and a paste, each played a moment (so the history holds both, the paste open); the
    // sample's id.
    QUuid samplePlayedThenAPaste() {
        ReadingPlayer& player = app().playback().player();
        app().openSample();
        EXPECT_TRUE(displayTakesFocus());
        const QUuid sample = player.readingID().value_or(QUuid());
        playAMoment();
        importClipboard(u"吾輩は猫である。"_s);
        EXPECT_TRUE(displayTakesFocus());
        playAMoment();
        return sample;
    }
    void importClipboard(const QString& text) {
        QGuiApplication::clipboard()->setText(text);
        const std::optional<QUuid> before = app().playback().player().readingID();
        app().importClipboard(/*plainText=*/true);
        ASSERT_TRUE(processEventsUntil([&] { return app().playback().player().readingID() != before; }));
    }
    // Plays the open reading a moment and pauses it, so that the history holds it.
    void playAMoment() {
        ReadingPlayer& player = app().playback().player();
        const QUuid id = *player.readingID();
        app().requestPlayback(ReaderPlaybackRequest::Action::togglePlayback);
        ASSERT_TRUE(processEventsUntil([&] { return player.session().status == ReadingSession::Status::playing; }));
        app().requestPlayback(ReaderPlaybackRequest::Action::togglePlayback);
        ASSERT_TRUE(processEventsUntil([&] { return player.session().status == ReadingSession::Status::paused; }));
        const auto listed = [&] {
            const QList<StoredReading>& history = app().history()->history();
            return std::any_of(history.begin(), history.end(),
                               [&](const StoredReading& item) { return item.id() == id; });
        };
        ASSERT_TRUE(processEventsUntil(listed));
    }
    bool dropOnWindow(const QUrl& url) {
        QMimeData data;
        data.setUrls({url});
        const QPoint centre = root().rect().center();
        QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&root(), &enter);
        QDropEvent drop(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&root(), &drop);
        return drop.isAccepted();
    }

    test::TemporaryDirectory folder;
    AppUnderTest under;
};

TEST_F(ReaderWindowFocusing, EveryOpeningGivesTheDisplayTheFocusFromWhereverItWas) {
    ReadingPlayer& player = app().playback().player();
    // The new window: the sample button, whose Space opens the sample.
    ReaderStartView* start = root().startView();
    ASSERT_NE(start, nullptr);
    ASSERT_TRUE(processEventsUntil([&] { return focus() == &start->sampleButton(); }));
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, u" "_s);
    QApplication::sendEvent(focus(), &space);
    ASSERT_TRUE(player.reading());
    EXPECT_TRUE(displayTakesFocus());
    const QUuid sample = *player.readingID();
    playAMoment();

    // A clipboard import while a toolbar button has the focus.
    focusToolbar();
    importClipboard(u"吾輩は猫である。名前はまだ無い。"_s);
    EXPECT_TRUE(displayTakesFocus());
    ASSERT_TRUE(player.canUndoReplacement());

    // Undo and redo of that replacement.
    focusToolbar();
    app().restoreReplacement(/*redo=*/false);
    ASSERT_EQ(player.readingID(), sample);
    EXPECT_TRUE(displayTakesFocus());
    focusToolbar();
    app().restoreReplacement(/*redo=*/true);
    ASSERT_NE(player.readingID(), sample);
    EXPECT_TRUE(displayTakesFocus());

    // A dropped file, stored in the library and opened.
    focusToolbar();
    ASSERT_TRUE(dropOnWindow(QUrl::fromLocalFile(folder.write(u"落とした.txt"_s, "落とした本文。"))));
    ASSERT_TRUE(processEventsUntil([&] { return !app().history()->isImportingFile(); }));
    ASSERT_EQ(player.reading()->document.text, u"落とした本文。"_s);
    EXPECT_TRUE(displayTakesFocus());

    // A row of the list chosen with the pointer: the list took the focus with the click, and gives it up.
    ReaderHistoryTable& table = *root().findChild<ReaderHistoryPane*>()->table();
    app().history()->setCollection(ReaderHistoryModel::Collection::history);
    table.listView()->setFocus(Qt::MouseFocusReason);
    ASSERT_FALSE(table.contentIsFocused());
    app().history()->select(sample);
    ASSERT_TRUE(processEventsUntil([&] { return player.readingID() == sample; }));
    EXPECT_TRUE(displayTakesFocus());

    // A click on the row already open, which opens nothing: the display takes the keys back from the list.
    const QList<StoredReading>& rows = app().history()->visibleItems();
    const auto open =
        std::find_if(rows.begin(), rows.end(), [&](const StoredReading& row) { return row.id() == sample; });
    ASSERT_NE(open, rows.end());
    const QRect openRow = table.listView()->visualRect(table.listView()->model()->index(int(open - rows.begin()), 0));
    QTest::mouseClick(table.listView()->viewport(), Qt::LeftButton, {},
                      openRow.center() - QPoint(openRow.width() / 4, 0));
    EXPECT_TRUE(displayTakesFocus()) << "a click on the open row";
}

TEST_F(ReaderWindowFocusing, TypingInAFieldOrWalkingTheListWithTheKeysKeepsTheFocus) {
    ReadingPlayer& player = app().playback().player();
    const QUuid sample = samplePlayedThenAPaste();

    // The list's search field, typed in: a reading no import opened leaves the focus there.
    QLineEdit* search = root().findChild<ReaderHistoryPane*>()->searchField();
    search->show();
    search->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(processEventsUntil([&] { return search->hasFocus(); }));
    app().history()->select(sample);
    ASSERT_TRUE(processEventsUntil([&] { return player.readingID() == sample; }));
    processEventsUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_EQ(focus(), search);

    // The list walked with the keys (focused by Tab, its ring shown): a row it opens keeps the focus.
    ReaderHistoryTable& table = *root().findChild<ReaderHistoryPane*>()->table();
    const std::optional<QUuid> pasted = app().history()->history().first().id();
    ASSERT_NE(pasted, sample);
    table.listView()->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(processEventsUntil([&] { return table.contentIsFocused(); }));
    app().history()->select(pasted);
    ASSERT_TRUE(processEventsUntil([&] { return player.readingID() == pasted; }));
    processEventsUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_EQ(focus(), table.listView());

    // What counts as work with the keys.
    QLineEdit readOnlyLine;
    readOnlyLine.setReadOnly(true);
    QPlainTextEdit editable;
    QPlainTextEdit readOnlyText;
    readOnlyText.setReadOnly(true);
    EXPECT_TRUE(ReaderWindowFocus::holdsKeyboardWork(search));
    EXPECT_TRUE(ReaderWindowFocus::holdsKeyboardWork(&editable));
    EXPECT_FALSE(ReaderWindowFocus::holdsKeyboardWork(&readOnlyLine));
    EXPECT_FALSE(ReaderWindowFocus::holdsKeyboardWork(&readOnlyText));
    EXPECT_FALSE(ReaderWindowFocus::holdsKeyboardWork(&listToggle()));
    EXPECT_FALSE(ReaderWindowFocus::holdsKeyboardWork(nullptr));
}

// An import the user starts opens its reading with the keys on the display, from the list's search field
// (its text kept) and from the list, whose ring stays after a row's removal or a sheet of its row menu
// though nobody works it with the keys. Keys pressed in the field or the list while the import runs keep
// them there.
TEST_F(ReaderWindowFocusing, AnImportTakesTheKeysFromTheSearchFieldOrTheListUnlessWorkedSinceItStarted) {
    ReadingPlayer& player = app().playback().player();
    app().openSample();
    ASSERT_TRUE(displayTakesFocus());
    playAMoment();
    ReaderHistoryPane& pane = *root().findChild<ReaderHistoryPane*>();
    ReaderHistoryTable& table = *pane.table();
    QLineEdit& search = *pane.searchField();
    const auto ringedList = [&] {
        table.takeKeyboardFocus();
        ASSERT_TRUE(processEventsUntil([&] { return table.listView()->hasFocus() && table.contentIsFocused(); }));
    };
    QKeyEvent letter(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, u"文"_s);
    pane.toggleSearch();
    ASSERT_TRUE(processEventsUntil([&] { return search.hasFocus(); }));
    QApplication::sendEvent(&search, &letter);
    ASSERT_EQ(app().history()->query(), u"文"_s);
    importClipboard(u"吾輩は猫である。"_s);
    EXPECT_TRUE(displayTakesFocus()) << "a paste from the search field";
    EXPECT_EQ(search.text(), u"文"_s);

    ringedList();
    ASSERT_TRUE(dropOnWindow(QUrl::fromLocalFile(folder.write(u"落とした.txt"_s, "落とした本文。"))));
    ASSERT_TRUE(processEventsUntil([&] { return !app().history()->isImportingFile(); }));
    ASSERT_EQ(player.reading()->document.text, u"落とした本文。"_s);
    EXPECT_TRUE(displayTakesFocus()) << "a dropped file from the list";

    // Typed on in the field, or a row moved to with the keys, after the paste began: the keys stay.
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    struct Work {
        QWidget* widget;
        QKeyEvent* key;
        QString pasted;
    };
    for (const auto& [worked, key, pasted] :
         {Work{&search, &letter, u"名前はまだ無い。"_s}, Work{table.listView(), &down, u"どこで生れたか。"_s}}) {
        if (worked == &search)
            search.setFocus(Qt::TabFocusReason);
        else
            ringedList();
        ASSERT_TRUE(processEventsUntil([&] { return worked->hasFocus(); }));
        QGuiApplication::clipboard()->setText(pasted);
        const std::optional<QUuid> before = player.readingID();
        app().importClipboard(/*plainText=*/true);
        ASSERT_TRUE(app().capture().isCapturing());
        QApplication::sendEvent(worked, key);
        ASSERT_TRUE(processEventsUntil([&] { return player.readingID() != before; }));
        processEventsUntil([] { return false; }, std::chrono::milliseconds(100));
        EXPECT_EQ(focus(), worked);
    }
}

// In a narrow window the list is a popup over the reader. Walked with the keys it keeps them as its rows
// open; a reading the user opens otherwise (an import) takes them, and the popup closes. It also closes
// as a removal's confirmation takes the activation: the open reading (a paste over the list's chosen row)
// removed there, the start view's sample button has the keys, its ring the only one.
TEST_F(ReaderWindowFocusing, TheCompactListKeepsTheKeysWhileWalkedAndAfterARemovalTheStartViewHasThem) {
    ReadingPlayer& player = app().playback().player();
    const QUuid sample = samplePlayedThenAPaste();
    // The list hidden by the narrowing asks for the display's focus a few turns later: from a toolbar
    // button, so that the display taking the keys tells that request is done. Still on its way, it would
    // take the list's ring as the list is walked, and the reading the walk opens would close the popup.
    focusToolbar();
    window().resize(620, 720);
    ASSERT_TRUE(processEventsUntil([&] { return !app().presentation().showsHistory(); }));
    ASSERT_TRUE(displayTakesFocus());
    QFrame* popup = nullptr;
    const auto showPopup = [&] {
        app().toggleHistory();
        ASSERT_TRUE(processEventsUntil([&] {
            popup = app().readerToolbar().compactList();
            return popup && popup->isVisible();
        }));
    };

    showPopup();
    ReaderHistoryTable& list = *popup->findChild<ReaderHistoryPane*>()->table();
    list.takeKeyboardFocus();
    ASSERT_TRUE(processEventsUntil([&] { return list.listView()->hasFocus(); }));
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QApplication::sendEvent(list.listView(), &down);
    QApplication::sendEvent(list.listView(), &down);
    ASSERT_TRUE(processEventsUntil([&] { return player.readingID() == sample; }));
    processEventsUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_TRUE(popup->isVisible());
    EXPECT_TRUE(list.listView()->hasFocus());
    importClipboard(u"名前はまだ無い。"_s);
    EXPECT_TRUE(displayTakesFocus());
    EXPECT_FALSE(popup->isVisible());
    playAMoment();
    ASSERT_EQ(app().history()->selectedID(), sample);

    showPopup();
    ReaderHistoryPane& pane = *popup->findChild<ReaderHistoryPane*>();
    pane.requestDeletion(*player.readingID(), ReaderHistoryModel::Collection::history);
    ASSERT_NE(pane.alert(), nullptr);
    popup->hide();
    for (QAbstractButton* button : pane.alert()->buttons())
        if (pane.alert()->buttonRole(button) == QMessageBox::DestructiveRole) button->click();
    // The window manager gives the reader back its activation while the removal runs.
    window().activateWindow();
    ASSERT_TRUE(processEventsUntil([&] { return !player.reading() && !app().history()->isBusy(); }));
    ASSERT_TRUE(processEventsUntil([&] { return window().isActiveWindow(); }));

    ReaderStartView* start = root().startView();
    ASSERT_NE(start, nullptr);
    EXPECT_TRUE(
        processEventsUntil([&] { return focus() == &start->sampleButton() && start->sampleButton().hasFocus(); }));
    EXPECT_FALSE(pane.table()->contentIsFocused());
    for (auto* list : window().findChildren<ReaderHistoryTable*>()) EXPECT_FALSE(list->showsFocusRing());
}

// A click on a notice's text (the list's file notice, the capture strip's failure and its caption) leaves
// the keys on the display, where Space plays; the text is still selected by the mouse.
TEST_F(ReaderWindowFocusing, AClickOnANoticesTextLeavesTheKeysWithTheReading) {
    ReadingPlayer& player = app().playback().player();
    app().openSample();
    ASSERT_TRUE(displayTakesFocus());
    const auto leavesTheKeys = [&](QLabel& text, const char* what) {
        ASSERT_TRUE(processEventsUntil([&] { return text.isVisible(); })) << what;
        const int middle = text.height() / 2;
        QTest::mouseClick(&text, Qt::LeftButton, {}, QPoint(4, middle));
        QTest::mousePress(&text, Qt::LeftButton, {}, QPoint(2, middle));
        QTest::mouseMove(&text, QPoint(text.width() - 2, middle));
        QTest::mouseRelease(&text, Qt::LeftButton, {}, QPoint(text.width() - 2, middle));
        EXPECT_FALSE(text.selectedText().isEmpty()) << what;
        EXPECT_EQ(focus(), display()) << what;
        QTest::keyClick(focus(), Qt::Key_Space);
        EXPECT_TRUE(processEventsUntil([&] { return player.session().status == ReadingSession::Status::playing; }))
            << what;
        QTest::keyClick(focus(), Qt::Key_Space);
        ASSERT_TRUE(processEventsUntil([&] { return player.session().status == ReadingSession::Status::paused; }));
    };

    ASSERT_TRUE(dropOnWindow(QUrl::fromLocalFile(folder.write(u"落とした.txt"_s, "落とした本文。"))));
    ASSERT_TRUE(processEventsUntil([&] { return !app().history()->isImportingFile(); }));
    ASSERT_TRUE(displayTakesFocus());
    leavesTheKeys(*root().findChild<ReaderHistoryPane*>()->importNotice()->messageLabel(), "the file notice");

    QGuiApplication::clipboard()->clear();
    app().importClipboard(/*plainText=*/false);
    ASSERT_TRUE(processEventsUntil([&] { return app().capture().failure().has_value(); }));
    ASSERT_TRUE(displayTakesFocus());
    leavesTheKeys(*root().captureStrip().failureNotice().messageLabel(), "the capture's failure");
    for (QLabel* caption : root().captureStrip().findChildren<QLabel*>()) {
        if (caption->text().startsWith(u"現在の文書と読書位置は保持しています"_s))
            leavesTheKeys(*caption, "its caption");
    }
}

TEST_F(ReaderWindowFocusing, TheWindowBroughtBackOrActivatedOnAHiddenWidgetFocusesTheReadingArea) {
    app().openSample();
    ASSERT_TRUE(displayTakesFocus());

    // Closed and shown again with the focus elsewhere: the display.
    focusToolbar();
    window().close();
    ASSERT_TRUE(processEventsUntil([&] { return !window().isVisible(); }));
    window().show();
    window().activateWindow();
    ASSERT_TRUE(processEventsUntil([&] { return window().isActiveWindow(); }));
    EXPECT_TRUE(displayTakesFocus());

    // Activated while its focus rests on a widget since hidden (the window lost the activation to another
    // first): the display, not the first control in Tab order.
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(processEventsUntil([&] { return other.isActiveWindow(); }));
    auto* gone = new QLineEdit(&root());
    gone->show();
    gone->setFocus();
    ASSERT_EQ(focus(), gone);
    gone->hide();
    window().activateWindow();
    ASSERT_TRUE(processEventsUntil([&] { return window().isActiveWindow(); }));
    EXPECT_TRUE(displayTakesFocus());
    delete gone;
}

// A paste that fails, and a control disabled under the focus (the reading controls while an import runs),
// leave the focus on the display, as a paste that succeeds does: not on the next control in Tab order,
// whose Space would do something else; from a control that stays enabled too. Typing in a field keeps
// the focus through a failure.
TEST_F(ReaderWindowFocusing, AFailedPasteOrAControlDisabledUnderTheFocusGivesTheDisplayTheFocus) {
    app().openSample();
    ASSERT_TRUE(displayTakesFocus());
    auto* slider = window().findChild<QWidget*>(u"readerSpeedSlider"_s);
    ASSERT_NE(slider, nullptr);

    // Ctrl+Shift+V with nothing on the clipboard, after a click on the speed slider.
    slider->setFocus(Qt::MouseFocusReason);
    ASSERT_TRUE(processEventsUntil([&] { return slider->hasFocus(); }));
    QGuiApplication::clipboard()->clear();
    app().importClipboard(/*plainText=*/false);
    ASSERT_TRUE(processEventsUntil([&] { return app().capture().failure().has_value(); }));
    EXPECT_TRUE(displayTakesFocus());
    EXPECT_FALSE(app().capture().isCapturing());

    // The play button disabled while it has the focus: Qt hands the focus on, the display takes it.
    QAbstractButton* play = nullptr;
    for (auto* button : window().findChildren<QAbstractButton*>())
        if (button->text() == u"再生"_s && button->isVisible()) play = button;
    ASSERT_NE(play, nullptr);
    play->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(processEventsUntil([&] { return play->hasFocus(); }));
    play->setEnabled(false);
    EXPECT_TRUE(displayTakesFocus());
    play->setEnabled(true);

    // From the list toggle, which no import disables: only the hand-over after the failure moves the focus.
    focusToolbar();
    app().importClipboard(/*plainText=*/false);
    ASSERT_TRUE(listToggle().isEnabled());
    ASSERT_TRUE(processEventsUntil([&] { return app().capture().failure().has_value(); }));
    EXPECT_TRUE(displayTakesFocus());

    // A failure while a field is typed in leaves the focus in the field.
    QLineEdit* search = root().findChild<ReaderHistoryPane*>()->searchField();
    search->show();
    search->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(processEventsUntil([&] { return search->hasFocus(); }));
    app().importClipboard(/*plainText=*/true);
    ASSERT_TRUE(processEventsUntil([&] { return app().capture().failure().has_value(); }));
    processEventsUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_EQ(focus(), search);
}

// Escape in the find field closes the find area and hands the focus to the display, not to the button
// beside the field, so Space plays again.
TEST_F(ReaderWindowFocusing, LeavingTheFindFieldGivesTheDisplayTheFocus) {
    app().openSample();
    ASSERT_TRUE(displayTakesFocus());
    app().findInDocument();
    QLineEdit* field = nullptr;
    ASSERT_TRUE(processEventsUntil([&] { return (field = qobject_cast<QLineEdit*>(focus())) != nullptr; }));
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(field, &escape);
    EXPECT_TRUE(displayTakesFocus());
    EXPECT_FALSE(field->isVisible());
}

// In a narrow window the list is a popup, which holds the keys while it is up: finding in the document
// closes it, and the find field keeps the keys, so what the user types next is searched for.
TEST_F(ReaderWindowFocusing, FindingInANarrowWindowClosesItsListAndTheFieldKeepsTheKeys) {
    app().openSample();
    ASSERT_TRUE(displayTakesFocus());
    window().resize(620, 720);
    ASSERT_TRUE(processEventsUntil([&] { return !app().presentation().showsHistory(); }));
    ASSERT_TRUE(displayTakesFocus());
    app().toggleHistory();
    ASSERT_TRUE(processEventsUntil([&] { return QApplication::activePopupWidget() != nullptr; }));

    app().findInDocument();
    QLineEdit* field = nullptr;
    ASSERT_TRUE(processEventsUntil([&] { return (field = qobject_cast<QLineEdit*>(focus())) != nullptr; }));
    processEventsUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_FALSE(app().readerToolbar().compactList()->isVisible());
    EXPECT_EQ(focus(), field);
    EXPECT_TRUE(field->hasFocus());
}

// A file panel closed by Return in its completion list: the system hands the focus back to the reader
// while that popup is still up, and Qt Widgets drops the activation. Once the popup has closed, the
// reader is the active window, its menu keys work and the display has the focus.
TEST_F(ReaderWindowFocusing, AnActivationThatCameWhileAnotherWindowsPopupWasUpIsTakenOverWhenItCloses) {
    app().openSample();
    ASSERT_TRUE(displayTakesFocus());
    QWidget panel;
    panel.show();
    panel.activateWindow();
    ASSERT_TRUE(processEventsUntil([&] { return panel.isActiveWindow(); }));
    auto* completions = new QWidget(&panel, Qt::Popup);
    completions->show();
    ASSERT_TRUE(processEventsUntil([&] { return QApplication::activePopupWidget() == completions; }));

    window().windowHandle()->requestActivate();
    ASSERT_TRUE(processEventsUntil([&] { return QGuiApplication::focusWindow() == window().windowHandle(); }));
    EXPECT_NE(QApplication::activeWindow(), &window());
    // A second activation while the same popup stays up waits with the first.
    window().windowHandle()->requestActivate();
    processEventsUntil([] { return false; }, std::chrono::milliseconds(50));
    EXPECT_NE(QApplication::activeWindow(), &window());

    completions->hide();
    EXPECT_TRUE(processEventsUntil([&] { return QApplication::activeWindow() == &window(); }));
    EXPECT_TRUE(displayTakesFocus());
    delete completions;
}

}  // namespace
}  // namespace tavrine
