#pragma once

#include <QObject>
#include <QString>
#include <QUuid>

#include <memory>
#include <optional>

namespace tavrine {

class GlobalCaptureShortcut;
class PelmoraApp;
class ReaderHistoryModel;

// Time marks of the start-up and of playback, for the start-up benchmark. Only when the environment
// variable TAVRINE_TRACE_FILE names a file, each mark appends one line "NAME NANOSECONDS" to it, the
// nanoseconds read from the monotonic clock (CLOCK_MONOTONIC, the clock a driver reads before it starts
// the process); otherwise nothing is written and nothing is followed. A mark the disk cannot take whole (a
// full disk) is left out, never written in part. Main thread only.
//
// Marks: "main" (the application's entry), "store-opened" (the store read and the player made),
// "window-painted" (the reader window's first paint), "idle" (the event loop's first wait after that),
// "play-requested" (play or resume asked for while not playing), "chunk-shown" (the first paint of the
// window once the asked-for playback runs), "phrase-shown" (the first paint of the window once a reading
// the player took, an import's included, has its first phrase ready), "completed" (a reading played to its
// end) and "menu KEYS" (a menu item with those keys ran, by key or by click). For the tests that drive the real
// executable: "status STATUS" (the session's status changed: ready, playing, paused, completed), "speed LABEL" (the
// speed changed, as its label reads: "1.3×"), "reading TITLE" (the player took another reading, or none: its title
// as shown on one line, nothing after the kind for none), "notice TEXT" (the reader's storage notice changed: its
// text on one line, nothing after the kind once it went), "focus X Y WIDTH HEIGHT NAME" (a widget of the reader
// window, or of a popup it opened other than a menu, took the keyboard focus: where it stands on the
// screen, and its object name, else its accessible name, else its text, else its class), "capture
// OUTCOME" (a capture or a clipboard import ended: "succeeded", or the raw value of its failure),
// "history COUNT" and "library COUNT" (the history, the library, holds COUNT readings, no operation on the list
// running: marked as that count changes), "application STATE" (Qt told that the application became "active" or
// "inactive", which ends a capture under way), "press X Y NAME" (a mouse button was pressed in a window of the
// application: where on the screen, and the widget under it, named as the focus mark names it) and "key KEY" (a
// window of the application received a key press, or took it for a shortcut: the key as its portable text reads,
// with the modifiers held, "Alt", "Right", "Space", "Ctrl+Return"). Both are marked as the input arrives, before
// any widget acts on it, so that a test tells an input lost on its way from one the program took and did nothing
// with; so is "close" (the reader window was asked to close, by the window manager
// or by the application). "hotkey CHORD" (a system-wide capture hot key, grabbed from the desktop and so reaching
// no window, was pressed and let go: its chord as the settings label it, "Meta+Ctrl+Alt+V") is marked before its
// action runs, for the same reason.
namespace ReaderTrace {

bool isEnabled();
void mark(const char* name);

// Marks "press" and "key" for each mouse button press and each key press that reaches any window of the
// application, once installed as an event filter of the application.
std::unique_ptr<QObject> inputMarks();

}  // namespace ReaderTrace

// Follows the application for the marks after the start; made by the application only while tracing.
class ReaderTraceMarks final : public QObject {
    Q_OBJECT

public:
    explicit ReaderTraceMarks(PelmoraApp& app);
    ~ReaderTraceMarks() override;

    // Play (or resume) was asked for while the player was not playing.
    void playRequested();
    // Marks each press of the hot key from now on.
    void followHotKey(const GlobalCaptureShortcut& shortcut);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void followHistory(const ReaderHistoryModel& history);

    PelmoraApp& m_app;
    // Marks the presses of a mouse button or a key that reach any window of the application.
    std::unique_ptr<QObject> m_inputs;
    bool m_followsWindow = false;
    bool m_painted = false;
    bool m_idle = false;
    // Between a play request and the first paint after the player started.
    bool m_awaitingChunk = false;
    // Between a reading taken by the player and the first paint with its first phrase ready.
    bool m_awaitingPhrase = false;
    bool m_phraseReady = false;
    bool m_playing = false;
    bool m_followsHistory = false;
    qsizetype m_historyCount = -1;
    qsizetype m_libraryCount = -1;
    QString m_status;
    std::optional<QUuid> m_readingID;
    QString m_notice;
    QString m_speed;
};

}  // namespace tavrine
