// The reader window's menu bar on a real application, offscreen: its items and keys, and what choosing
// them does in the states that matter (no reading, playing, the speed and sizes at their bounds, an edited
// field, a sheet, the settings window in front), and where the keys go once a menu closes.
#include "PelmoraMac/App/PelmoraApp.h"
#include "PelmoraMac/Library/MacReadingPlayback.h"
#include "PelmoraMac/Library/ReaderHistoryModel.h"
#include "PelmoraMac/Library/ReaderHistoryPane.h"
#include "PelmoraMac/Menus/ReaderCommands.h"
#include "PelmoraMac/Settings/ReaderSettingsView.h"
#include "PelmoraMac/Source/ReaderSourcePane.h"
#include "PelmoraMac/Source/ReaderSourceView.h"
#include "PelmoraMac/Window/ReaderPresentation.h"
#include "PelmoraMac/Window/ReaderWindow.h"
#include "PelmoraMac/Window/ReaderWindowRoot.h"
#include "PelmoraMac/Window/ReaderWindowState.h"
#include "ReaderUI/Player/ReadingPlayer.h"
#include "ReaderUI/ReaderCommandShortcuts.h"
#include "ReaderWidgets/Workspace/ReaderDoubleSlider.h"
#include "ReaderWidgets/Workspace/ReaderRSVPDisplayPanel.h"
#include "ReaderWidgets/Workspace/ReaderReadingColumn.h"
#include "ReaderWidgets/Workspace/ReaderSourceArea.h"
#include "ReaderWidgets/Workspace/ReaderSpeedControls.h"
#include "ReaderWidgets/Workspace/ReaderWorkspaceWidget.h"

#include "AppTesting.h"
#include "support/GuiTesting.h"
#include "support/QtPrinters.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSet>
#include <QTest>
#include <QWindow>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Item = ReaderMenuItem;
using Action = ReaderPlaybackRequest::Action;
using test::processEventsUntil;

class ReaderMenuBar : public testing::Test {
protected:
    ReaderMenuBar() : under(folder.filePath(u"reading-store.json"_s)) {
        ReaderWindow& window = app().readerWindow();
        window.show();
        window.activateWindow();
        EXPECT_TRUE(processEventsUntil([&] { return window.isActiveWindow(); }));
        // The document list comes with the window's first appearance.
        EXPECT_TRUE(processEventsUntil([&] { return app().history()->isLoaded(); }));
    }
    PelmoraApp& app() { return *under.app; }
    ReaderCommands& commands() { return app().commands(); }
    ReadingPlayer& player() { return app().playback().player(); }
    QAction& action(Item item) { return commands().action(item); }

    // The state once every change so far has been followed.
    const ReaderMenuItemState& now(Item item) {
        QApplication::processEvents();
        return commands().state()[item];
    }
    // Presses keys in the active window as the keyboard would.
    static void press(QKeyCombination keys) {
        QWindow* target = QApplication::activeWindow()->windowHandle();
        qt_handleKeyEvent(target, QEvent::KeyPress, keys.key(), keys.keyboardModifiers());
        qt_handleKeyEvent(target, QEvent::KeyRelease, keys.key(), keys.keyboardModifiers());
        QApplication::processEvents();
    }
    int requests() {
        QApplication::processEvents();
        return m_requests;
    }

    test::TemporaryDirectory folder;
    test::AppUnderTest under;
    int m_requests = 0;
    QMetaObject::Connection m_counting = QObject::connect(
        &under.app->windowState(), &ReaderWindowState::playbackRequestChanged, [this] { ++m_requests; });
};

TEST_F(ReaderMenuBar, HoldsEveryMenuAndItemInOrderWithTheirKeys) {
    QStringList lines;
    const auto list = [&lines](const auto& self, const QMenu* menu, const QString& path) -> void {
        for (const QAction* item : menu->actions()) {
            if (item->isSeparator()) {
                lines << path + u"/-"_s;
            } else if (item->menu()) {
                lines << path + u"/"_s + item->text();
                self(self, item->menu(), path + u"/"_s + item->text());
            } else {
                const QString keys = item->shortcut().toString(QKeySequence::PortableText);
                lines << path + u"/"_s + item->text() + (keys.isEmpty() ? QString() : u" "_s + keys);
            }
        }
    };
    for (const QAction* menu : app().readerWindow().menuBar()->actions()) list(list, menu->menu(), menu->text());
    const QStringList expected{
        u"Tavrine/アップデートを確認…"_s,
        u"Tavrine/設定… Ctrl+,"_s,
        u"Tavrine/-"_s,
        u"Tavrine/終了 Ctrl+Q"_s,
        u"ファイル/ファイルをライブラリに追加… Ctrl+O"_s,
        u"ファイル/現在の文書をライブラリに追加 Ctrl+D"_s,
        u"編集/クリップボードからの文書置換を取り消す Ctrl+Z"_s,
        u"編集/クリップボードからの文書置換をやり直す Ctrl+Shift+Z"_s,
        u"編集/-"_s,
        u"編集/カット\tCtrl+X"_s,
        u"編集/コピー\tCtrl+C"_s,
        u"編集/ペースト\tCtrl+V"_s,
        u"編集/すべてを選択\tCtrl+A"_s,
        u"編集/-"_s,
        u"編集/クリップボードから取り込む Ctrl+Shift+V"_s,
        u"編集/プレーンテキストとして取り込む Ctrl+Alt+Shift+V"_s,
        u"編集/他アプリで取り込む：Meta+Ctrl+Alt+R"_s,
        u"編集/コピーした文章の自動再生：Meta+Ctrl+Alt+V"_s,
        u"編集/-"_s,
        u"編集/現在の文書内を検索… Ctrl+F"_s,
        u"編集/次の検索結果 Ctrl+G"_s,
        u"編集/前の検索結果 Ctrl+Shift+G"_s,
        u"表示/RSVPの文字サイズ（34 pt）"_s,
        u"表示/RSVPの文字サイズ（34 pt）/拡大（2 pt） Ctrl++"_s,
        u"表示/RSVPの文字サイズ（34 pt）/縮小（2 pt） Ctrl+-"_s,
        u"表示/RSVPの文字サイズ（34 pt）/初期サイズに戻す（34 pt） Ctrl+0"_s,
        u"表示/原文の文字サイズ（15 pt）"_s,
        u"表示/原文の文字サイズ（15 pt）/拡大（1 pt） Ctrl+Alt++"_s,
        u"表示/原文の文字サイズ（15 pt）/縮小（1 pt） Ctrl+Alt+-"_s,
        u"表示/原文の文字サイズ（15 pt）/初期サイズに戻す（15 pt） Meta+Ctrl+0"_s,
        u"表示/-"_s,
        u"表示/原文を表示 Meta+Ctrl+Shift+S"_s,
        u"表示/文書一覧を表示 Meta+Ctrl+S"_s,
        u"表示/目次を表示 Meta+Ctrl+T"_s,
        u"表示/文書の情報…"_s,
        u"再生/再生 Ctrl+Return"_s,
        u"再生/最初から再生 Ctrl+R"_s,
        u"再生/-"_s,
        u"再生/文の先頭へ戻る Ctrl+["_s,
        u"再生/次の文へ Ctrl+]"_s,
        u"再生/章の先頭へ戻る Ctrl+Shift+["_s,
        u"再生/次の章へ Ctrl+Shift+]"_s,
        u"再生/-"_s,
        u"再生/読む速度：1.0×"_s,
        u"再生/読む速度を0.1倍下げる Ctrl+Shift+Down"_s,
        u"再生/読む速度を0.1倍上げる Ctrl+Shift+Up"_s,
        u"ウインドウ/リーダーを開く"_s,
    };
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(action(Item::backChapter).toolTip(),
              u"現在の章の先頭へ戻って一時停止します。先頭にいるときは前の章へ戻ります。目次の章・節を使います"_s);
    EXPECT_EQ(action(Item::settings).shortcutContext(), Qt::ApplicationShortcut);
    EXPECT_EQ(action(Item::togglePlayback).shortcutContext(), Qt::WindowShortcut);
}

TEST_F(ReaderMenuBar, PlaybackKeysRunOnlyWhatTheStateAllows) {
    // Nothing loaded: the keys of a disabled item do nothing.
    EXPECT_FALSE(now(Item::togglePlayback).enabled);
    press(ReaderCommandShortcuts::togglePlayback);
    EXPECT_EQ(requests(), 0);
    EXPECT_TRUE(now(Item::faster).enabled);

    app().openSample();
    EXPECT_EQ(now(Item::togglePlayback).title, u"再生"_s);
    press(ReaderCommandShortcuts::togglePlayback);
    EXPECT_EQ(requests(), 1);
    EXPECT_EQ(app().windowState().playbackRequest()->action, Action::togglePlayback);
    // Waiting for its automatic start counts as playing.
    ASSERT_TRUE(processEventsUntil(
        [&] { return player().isWaitingToPlay() || player().session().status == ReadingSession::Status::playing; }));
    EXPECT_EQ(now(Item::togglePlayback).title, u"一時停止"_s);
    press(ReaderCommandShortcuts::togglePlayback);
    EXPECT_EQ(requests(), 2);
    ASSERT_TRUE(processEventsUntil([&] { return now(Item::togglePlayback).title == u"再生"_s; }));

    // The speed at its top: the faster key does nothing, the line says so.
    player().setBaseSeconds(0.04);
    EXPECT_EQ(now(Item::speedLine).title, u"読む速度：7.5×"_s);
    EXPECT_FALSE(now(Item::faster).enabled);
    press(ReaderCommandShortcuts::faster);
    EXPECT_EQ(requests(), 2);
    press(ReaderCommandShortcuts::slower);
    EXPECT_EQ(requests(), 3);

    // A dialog over the window blocks every playback item, and the settings too.
    auto* dialog = new QDialog(&app().readerWindow());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->show();
    ASSERT_TRUE(processEventsUntil([&] { return !now(Item::replay).enabled; }));
    EXPECT_FALSE(now(Item::settings).enabled);
    action(Item::settings).trigger();
    EXPECT_FALSE(app().hasSettingsWindow());
    dialog->close();
    // The offscreen platform gives the activation back to no window.
    app().readerWindow().activateWindow();
    EXPECT_TRUE(processEventsUntil([&] { return now(Item::settings).enabled && now(Item::replay).enabled; }));
}

TEST_F(ReaderMenuBar, TheSpeedKeysAreNoOtherKeysAndReachTheirItemsFromEveryFieldOfTheWindow) {
    const QKeySequence faster(ReaderCommandShortcuts::faster);
    const QKeySequence slower(ReaderCommandShortcuts::slower);
    // No two items share keys, and no standard key of a text field (move, select, scroll) is a speed key.
    QList<QKeySequence> taken;
    const auto collect = [&taken](const auto& self, const QMenu* menu) -> void {
        for (const QAction* item : menu->actions()) {
            if (item->menu()) self(self, item->menu());
            if (!item->shortcut().isEmpty()) taken.append(item->shortcut());
        }
    };
    for (const QAction* menu : app().readerWindow().menuBar()->actions()) collect(collect, menu->menu());
    EXPECT_EQ(taken.count(faster), 1);
    EXPECT_EQ(taken.count(slower), 1);
    EXPECT_EQ(QSet<QKeySequence>(taken.begin(), taken.end()).size(), taken.size());
    for (int key = QKeySequence::HelpContents; key <= QKeySequence::Deselect; ++key) {
        const QList<QKeySequence> bindings = QKeySequence::keyBindings(QKeySequence::StandardKey(key));
        EXPECT_FALSE(bindings.contains(faster) || bindings.contains(slower)) << "standard key " << key;
    }

    // From the display, the speed slider, the source text, the find field and the list's search field,
    // each key steps the speed once: no field takes it first.
    app().presentation().setPrefersSource(true);
    app().presentation().setPrefersHistory(true);
    app().presentation().setAvailableWidth(1'000);
    app().openSample();
    ReaderWorkspaceWidget& workspace = app().readerRoot().workspaceWidget();
    ASSERT_TRUE(processEventsUntil([&] { return workspace.column() && workspace.column()->sourceArea(); }));
    auto* pane = static_cast<ReaderSourcePane*>(workspace.column()->sourceArea()->sourceView());
    app().findInDocument();
    auto* find = app().readerWindow().findChild<QLineEdit*>(u"readerDocumentSearch"_s);
    ASSERT_TRUE(find);
    ASSERT_TRUE(processEventsUntil([&] { return find->hasFocus(); }));
    QLineEdit* search = app().readerRoot().findChild<ReaderHistoryPane*>()->searchField();
    search->show();
    const QList<QWidget*> fields{&workspace.column()->displayPanel(), &workspace.column()->speedControls().slider(),
                                 &pane->sourceView().textWidget(), find, search};
    for (QWidget* field : fields) {
        SCOPED_TRACE(field->metaObject()->className());
        field->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(processEventsUntil([&] { return field->hasFocus(); }));
        const int before = requests();
        press(ReaderCommandShortcuts::faster);
        EXPECT_EQ(requests(), before + 1);
        EXPECT_EQ(app().windowState().playbackRequest()->action, Action::faster);
        press(ReaderCommandShortcuts::slower);
        EXPECT_EQ(requests(), before + 2);
        EXPECT_EQ(app().windowState().playbackRequest()->action, Action::slower);
    }
}

TEST_F(ReaderMenuBar, SizeKeysStopAtTheBoundsAndTheSubmenuTitlesFollow) {
    ReaderTextSizeSettings& sizes = player().textSizes();
    sizes.setPointSize(71, ReaderTextSizeSettings::Target::rsvp);
    press(ReaderCommandShortcuts::rsvpLarger);
    EXPECT_EQ(sizes.rsvpPointSize(), 72);
    EXPECT_FALSE(now(Item::rsvpLarger).enabled);
    press(ReaderCommandShortcuts::rsvpLarger);
    EXPECT_EQ(sizes.rsvpPointSize(), 72);
    EXPECT_EQ(now(Item::rsvpSizes).title, u"RSVPの文字サイズ（72 pt）"_s);
    EXPECT_EQ(action(Item::rsvpSizes).text(), u"RSVPの文字サイズ（72 pt）"_s);

    // Each reset resets its own size only.
    sizes.setPointSize(20, ReaderTextSizeSettings::Target::source);
    press(ReaderCommandShortcuts::sourceDefaultSize);
    EXPECT_EQ(sizes.sourcePointSize(), 15);
    EXPECT_EQ(sizes.rsvpPointSize(), 72);
    EXPECT_FALSE(now(Item::sourceDefaultSize).enabled);
    press(ReaderCommandShortcuts::rsvpDefaultSize);
    EXPECT_EQ(sizes.rsvpPointSize(), 34);
}

TEST_F(ReaderMenuBar, CheckItemsToggleOnceAndShowTheModel) {
    app().openSample();
    ReaderPresentation& panes = app().presentation();
    const bool before = panes.prefersSource();
    ASSERT_TRUE(processEventsUntil([&] { return now(Item::toggleSource).enabled; }));
    action(Item::toggleSource).trigger();
    EXPECT_EQ(panes.prefersSource(), !before);
    EXPECT_EQ(action(Item::toggleSource).isChecked(), !before);
    press(ReaderCommandShortcuts::toggleSource);
    EXPECT_EQ(panes.prefersSource(), before);
    EXPECT_EQ(action(Item::toggleSource).isChecked(), before);

    // The table of contents is refused for a plain text: its mark stays off.
    EXPECT_FALSE(now(Item::toggleEPUBNavigation).enabled);
    action(Item::toggleEPUBNavigation).trigger();
    EXPECT_FALSE(action(Item::toggleEPUBNavigation).isChecked());
}

TEST_F(ReaderMenuBar, TheLastMenuClosedGivesTheKeysBackWhereSpacePlays) {
    app().openSample();
    ReaderWorkspaceWidget& workspace = app().readerRoot().workspaceWidget();
    ASSERT_TRUE(processEventsUntil([&] { return workspace.column(); }));
    QWidget& display = workspace.column()->displayPanel();
    ASSERT_TRUE(processEventsUntil([&] { return display.hasFocus(); }));
    QMenuBar* bar = app().readerWindow().menuBar();
    const auto isPlaying = [&] {
        return player().isWaitingToPlay() || player().session().status == ReadingSession::Status::playing;
    };
    // The keys are back on the display, no menu is open, and Space plays or pauses there.
    const auto spacePlaysOnTheDisplay = [&](const char* after) {
        SCOPED_TRACE(after);
        ASSERT_TRUE(processEventsUntil([&] { return !QApplication::activePopupWidget(); }));
        QApplication::processEvents();
        ASSERT_EQ(QApplication::focusWidget(), &display);
        const bool wasPlaying = isPlaying();
        press(Qt::Key_Space);
        EXPECT_TRUE(processEventsUntil([&] { return isPlaying() != wasPlaying; }));
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    };
    const auto openByMouse = [&](const QString& title) -> QMenu* {
        for (QAction* menu : bar->actions()) {
            if (menu->text() != title) continue;
            QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menu).center());
            EXPECT_TRUE(processEventsUntil([&] { return menu->menu()->isVisible(); })) << title.toStdString();
            return menu->menu();
        }
        ADD_FAILURE() << "no menu " << title.toStdString();
        return nullptr;
    };

    for (const QString& title : {u"ファイル"_s, u"再生"_s, u"表示"_s}) {
        openByMouse(title);
        // While a menu is open, Space is the menu's.
        const bool wasPlaying = isPlaying();
        press(Qt::Key_Space);
        EXPECT_EQ(isPlaying(), wasPlaying);
        press(Qt::Key_Escape);
        spacePlaysOnTheDisplay("Escape");
    }
    // Escape from a submenu closes only the submenu; the next closes the menu.
    openByMouse(u"表示"_s);
    press(Qt::Key_Down);
    press(Qt::Key_Right);
    ASSERT_TRUE(processEventsUntil([&] { return action(Item::rsvpSizes).menu()->isVisible(); }));
    press(Qt::Key_Escape);
    EXPECT_TRUE(QApplication::activePopupWidget());
    press(Qt::Key_Escape);
    spacePlaysOnTheDisplay("Escape from a submenu, then from its menu");

    // An item chosen by its keys.
    openByMouse(u"再生"_s);
    press(Qt::Key_Up);
    press(Qt::Key_Return);
    spacePlaysOnTheDisplay("an item chosen");

    // Alt alone still hands the bar the keys, a menu opens from there, and Escape gives them back.
    press(Qt::Key_Alt);
    EXPECT_TRUE(bar->hasFocus());
    press(Qt::Key_Down);
    ASSERT_TRUE(processEventsUntil([&] { return QApplication::activePopupWidget(); }));
    press(Qt::Key_Escape);
    spacePlaysOnTheDisplay("Alt, Down, Escape");
}

TEST_F(ReaderMenuBar, AnEditedFieldTakesUndoAndTheSettingsWindowDisablesTheReader) {
    auto* field = new QLineEdit(&app().readerRoot());
    field->show();
    field->setFocus();
    EXPECT_TRUE(now(Item::undo).title == u"取り消す"_s);
    EXPECT_FALSE(now(Item::undo).enabled);
    field->insert(u"あいう"_s);
    EXPECT_TRUE(now(Item::undo).enabled);
    action(Item::undo).trigger();
    EXPECT_TRUE(field->text().isEmpty());
    EXPECT_TRUE(now(Item::redo).enabled);
    EXPECT_EQ(now(Item::redo).title, u"やり直す"_s);
    field->clearFocus();
    EXPECT_EQ(now(Item::undo).title, u"クリップボードからの文書置換を取り消す"_s);

    app().openSample();
    action(Item::settings).trigger();
    ASSERT_TRUE(processEventsUntil([&] { return app().settingsWindow().isActiveWindow(); }));
    ASSERT_TRUE(processEventsUntil([&] { return !now(Item::togglePlayback).enabled; }));
    for (const Item item : {Item::rsvpLarger, Item::toggleSource, Item::toggleHistory, Item::documentInformation,
                            Item::faster, Item::importFile}) {
        EXPECT_FALSE(now(item).enabled) << int(item);
    }
    EXPECT_TRUE(now(Item::settings).enabled);
    EXPECT_EQ(now(Item::rsvpSizes).title, u"RSVPの文字サイズ（34 pt）"_s);
    EXPECT_EQ(now(Item::sourceSizes).title, u"原文の文字サイズ（15 pt）"_s);
    const double base = player().baseSeconds();
    press(ReaderCommandShortcuts::faster);
    EXPECT_EQ(player().baseSeconds(), base);
    EXPECT_EQ(requests(), 0);
}

}  // namespace
}  // namespace tavrine
