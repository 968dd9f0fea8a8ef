#pragma once

#include "PelmoraMac/Window/ReaderCommandContext.h"
#include "ReaderUI/Player/ReaderPlaybackRequest.h"

#include <QObject>
#include <QUuid>

#include <optional>

class QWidget;

namespace tavrine {

class CaptureModel;
class ReaderEPUBPresentation;
class ReaderHistoryModel;
class ReaderPresentation;
class ReadingPlayer;

// The reader window's state that outlives its widgets: the latest playback request and focus request for
// the workspace, the four flags that block or shape the window's commands (a sheet, the file panel, the
// settings window's focus, the compact list), the document list once it is made, and the command context
// gathered from them and from the objects the commands read.
//
// commandContextChanged() follows every input of the context that can be observed (the flags, the list's
// states, capturing, the pane preferences, the contents pane, the player's reading, session and
// replacement, the active window) at most once per turn of the event loop; the modal-window test is read
// afresh whenever the context is gathered.
//
// Owned by the application and made before the reader window; main thread only, which every entry asserts.
class ReaderWindowState final : public QObject {
    Q_OBJECT

public:
    // What the command context reads besides this object's own state; each must outlive it.
    struct Sources {
        ReadingPlayer& player;
        // The reading store could be opened at start.
        bool hasStore = false;
        CaptureModel& capture;
        ReaderPresentation& presentation;
        ReaderEPUBPresentation& epubPresentation;
    };

    explicit ReaderWindowState(Sources sources, QObject* parent = nullptr);
    ~ReaderWindowState() override;

    // ---- The document list ----
    // Nothing until the list is made, then the same for the process.
    ReaderHistoryModel* history() const { return m_history; }
    // The list, just made (it must outlive this object): followed from now on, and announced by
    // historyMade(). Only the first list is taken.
    void setHistory(ReaderHistoryModel& history);

    // ---- Requests for the workspace ----
    const std::optional<ReaderPlaybackRequest>& playbackRequest() const { return m_playbackRequest; }
    void setPlaybackRequest(ReaderPlaybackRequest request);
    // Changes whenever the reader's display is to take the keyboard focus.
    const QUuid& readerFocusRequest() const { return m_readerFocusRequest; }
    void renewReaderFocusRequest();

    // ---- Flags ----
    // The file panel is open over the reader window.
    bool showsFilePicker() const { return m_showsFilePicker; }
    void setShowsFilePicker(bool shows);
    // A sheet (a window-modal dialog) is attached to a window of the application.
    bool readerHasSheet() const { return m_readerHasSheet; }
    void setReaderHasSheet(bool hasSheet);
    // The settings window is the active window.
    bool settingsHasFocus() const { return m_settingsHasFocus; }
    void setSettingsHasFocus(bool hasFocus);
    // The document list is open as a popup under the toolbar's switch (a window too narrow for the pane).
    bool showsCompactHistory() const { return m_showsCompactHistory; }
    void setShowsCompactHistory(bool shows);

    // ---- The command context ----
    // Everything the commands depend on, gathered now.
    ReaderCommandInputs commandInputs() const;
    ReaderCommandContext commandContext() const { return tavrine::commandContext(commandInputs()); }
    // The state for the menus: present while readerWindow, or a window-modal dialog over it, is the active
    // window; nothing otherwise.
    std::optional<ReaderCommandContext> focusedCommandContext(const QWidget& readerWindow) const;
    // A modal dialog, or a visible window-modal top level, is open.
    static bool hasModalWindow();

signals:
    // At most once per turn of the event loop, after any input of the command context changed.
    void commandContextChanged();
    // The document list has just been made.
    void historyMade();
    void playbackRequestChanged();
    void readerFocusRequestChanged();
    // At once, on each change.
    void showsCompactHistoryChanged();

private:
    void scheduleContextChanged();
    void followInputs();
    // Assigns value to a flag; on a change, schedules the context's.
    bool updateFlag(bool& flag, bool value);

    ReadingPlayer& m_player;
    const bool m_hasStore;
    CaptureModel& m_capture;
    ReaderPresentation& m_presentation;
    ReaderEPUBPresentation& m_epubPresentation;
    ReaderHistoryModel* m_history = nullptr;
    std::optional<ReaderPlaybackRequest> m_playbackRequest;
    QUuid m_readerFocusRequest = QUuid::createUuid();
    bool m_showsFilePicker = false;
    bool m_readerHasSheet = false;
    bool m_settingsHasFocus = false;
    bool m_showsCompactHistory = false;
    bool m_contextChangePending = false;
};

}  // namespace tavrine
