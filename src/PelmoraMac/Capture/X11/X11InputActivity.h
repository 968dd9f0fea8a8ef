#pragma once

#include <QtGlobal>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class QSocketNotifier;
struct xcb_connection_t;

namespace tavrine {

// What the user did on the display lately, in the server's time (milliseconds that wrap after 49 days),
// as far as it may have ended a selection: pointer button presses (the wheel's left out), key presses
// (modifier keys left out) and changes of the active window. X11 does not tell when a selection is cleared (an
// application keeps the PRIMARY selection when the user clicks elsewhere or types), only when it was taken; these are
// what could have cleared it since.
struct X11InputHistory {
    // The most key presses kept, the latest ones.
    static constexpr std::size_t kKeyLimit = 64;

    struct KeyPress {
        std::uint32_t time = 0;
        std::uint8_t keycode = 0;

        bool operator==(const KeyPress&) const = default;
    };

    // Whether a watch filled it, and when it began: nothing before is known.
    bool watching = false;
    std::uint32_t since = 0;
    std::optional<std::uint32_t> lastButtonPress{};
    std::optional<std::uint32_t> lastActivation{};
    // Oldest first.
    std::vector<KeyPress> keyPresses{};

    bool operator==(const X11InputHistory&) const = default;
};

// Whether a selection taken at server time `takenAt` may still be the one the user has. Only when X11
// leaves no doubt:
// - the owner said when it took the selection (0 is no time), and it did so after the watch began;
// - since then no pointer button was pressed anywhere (a click clears or moves a selection), and no
//   other window became the active one (the user went elsewhere, and what they came back to may
//   have changed meanwhile);
// - since then no key was pressed but modifiers and one last key, pressed once or repeated: the key of
//   the hot key that asked for the capture (any other key may have moved the caret, switched a tab or
//   deleted the selection).
// Any press at the very time the selection was taken counts as the one that made it. Where X11 cannot
// tell, the answer is no: nothing selected is better than text the user had already let go.
bool selectionMayBeCurrent(const X11InputHistory& history, std::uint32_t takenAt);

// The history that a watch fills, read from any thread.
class X11InputLog {
public:
    X11InputHistory history() const;

    void start(std::uint32_t time);
    // The watch lost the display: nothing can be told any more.
    void stop();
    void buttonPressed(std::uint32_t time);
    void keyPressed(std::uint32_t time, std::uint8_t keycode);
    void activeWindowChanged(std::uint32_t time);

private:
    mutable std::mutex m_mutex;
    X11InputHistory m_history;
};

// Watches the display for the user's input on a connection of its own: the raw pointer and key presses
// of every application (the input extension's raw events on the root window, which reach every client
// that asks and leave the applications' own input alone) and the window manager's changes of the active
// window. Made and run on the main thread, whose event loop reads the connection; the log is read from
// any thread. Without a display, or a server without the input extension 2.1 or later, it never starts
// and its log stays empty, which counts as "cannot tell".
class X11InputWatch {
public:
    X11InputWatch();
    ~X11InputWatch();
    X11InputWatch(const X11InputWatch&) = delete;
    X11InputWatch& operator=(const X11InputWatch&) = delete;

    // Starts watching; false when it cannot.
    bool start();
    bool isStarted() const { return m_notifier != nullptr; }
    // Empty until started.
    std::shared_ptr<const X11InputLog> log() const;

private:
    void readEvents();
    void handle(const std::uint8_t* event);
    // The window that _NET_ACTIVE_WINDOW names now (0 for none).
    std::uint32_t activeWindow() const;

    std::shared_ptr<X11InputLog> m_log = std::make_shared<X11InputLog>();
    xcb_connection_t* m_connection = nullptr;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::uint8_t m_inputOpcode = 0;
    std::uint32_t m_root = 0;
    std::uint32_t m_activeWindowAtom = 0;
    std::uint32_t m_activeWindow = 0;
    // The keycodes of the modifier keys, as the server maps them when the watch starts.
    std::vector<bool> m_modifiers = std::vector<bool>(256, false);
};

}  // namespace tavrine
