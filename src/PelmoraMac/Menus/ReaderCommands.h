#pragma once

#include "PelmoraMac/Menus/ReaderMenuState.h"
#include "PelmoraMac/Window/ReaderCommandActions.h"

#include <QObject>

#include <array>
#include <memory>

class QAction;
class QMenu;
class QMenuBar;
class QSystemTrayIcon;
class QWidget;

namespace tavrine {

class GlobalCaptureShortcut;
class MacUpdateController;
class ReaderPresentation;
class ReaderSourceNavigation;
class ReaderWindowState;
class ReadingPlayer;

// The reader window's menu bar: "Tavrine" (the update check, the settings, quitting), "ファイル", "編集",
// "表示", "再生" and "ウインドウ". Every item is made once, from one table, and no menu is ever rebuilt:
// titles, enabled states and check marks are recomputed from the application's state at most once per turn
// of the event loop after anything they read changed, when a menu is about to show and before a key is
// matched against the items' keys, and only what changed is set. A disabled item cannot be chosen, by
// click or by key; an enabled one still checks the state afresh when it runs and does nothing when its
// rule no longer allows it.
//
// The reader's items are window shortcuts of the reader window; the settings and quit items are
// application shortcuts, so they work from the settings window too. The platform's cut, copy, paste and
// select-all items show their keys but leave them to the focused text field, which handles them itself.
// Where the desktop has a system tray, a tray icon (the application's icon) offers リーダーを開く, 設定…
// and 終了: with the reader window closed there is no menu bar. On X11 it docks in a tray that starts
// after the application, too.
//
// Main thread only; the objects of its inputs must outlive it.
class ReaderCommands final : public QObject {
    Q_OBJECT

public:
    // What the items read and run.
    struct Inputs {
        ReaderWindowState& state;
        // The window whose state the items show while it, or a dialog over it, is active.
        const QWidget& readerWindow;
        ReadingPlayer& player;
        ReaderPresentation& presentation;
        ReaderSourceNavigation& sourceNavigation;
        MacUpdateController& updates;
        GlobalCaptureShortcut& shortcut;
        GlobalCaptureShortcut& clipboardShortcut;
        // The application-wide quit command, shown in the application menu and the tray's.
        QAction& quit;
        ReaderCommandActions actions;
    };

    explicit ReaderCommands(Inputs inputs, QObject* parent = nullptr);
    ~ReaderCommands() override;

    // The menu bar over every item, for window, which takes it; made once. The window also carries the
    // items' keys, so that a popup of the window that copies its actions carries them too. Once its last
    // menu closes, the bar gives the keys back to the window (ReaderMenuBarKeys).
    QMenuBar* makeMenuBar(QWidget& window);
    QAction& action(ReaderMenuItem item) const { return *m_actions[std::size_t(item)]; }
    ReaderEditFocus& editFocus() const { return *m_editFocus; }
    // The state shown now.
    const ReaderMenuState& state() const { return m_state; }
    // Nothing where the desktop has no system tray and none can come (not X11).
    QSystemTrayIcon* trayIcon() const { return m_trayIcon.get(); }

    ReaderMenuInputs gatherInputs();
    // What a scheduled refresh does, at once.
    void refresh();

signals:
    // An enabled item runs now, chosen by key or by click; its command follows.
    void itemTriggered(ReaderMenuItem item);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void makeActions();
    void followInputs();
    void scheduleRefresh();
    void trigger(ReaderMenuItem item);
    void apply(const ReaderMenuState& state);
    void makeTrayIcon();

    Inputs m_in;
    std::unique_ptr<ReaderEditFocus> m_editFocus;
    std::array<QAction*, kReaderMenuItemCount> m_actions{};
    std::array<QString, kReaderMenuItemCount> m_shownKeys;
    ReaderMenuState m_state;
    bool m_refreshPending = false;
    std::unique_ptr<QMenu> m_trayMenu;
    std::unique_ptr<QSystemTrayIcon> m_trayIcon;
};

}  // namespace tavrine
