#pragma once

#include <QObject>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>

class QKeyEvent;

namespace tavrine {

class Defaults;

// One system-wide hot key that starts a capture while another application is in front: its chord, kept
// in the user's settings, and the action it runs when the chord is released. Owned by the application;
// main thread only (asserted).
//
// A chord keeps its stored form whatever the desktop: a key code of the Mac's layout-independent table
// and the modifier bits below, each constant named for the key it stands for here (the bit values are
// the Mac's, so chords stored by any earlier version load unchanged). Labels name the keys in Qt's
// order (Meta, Ctrl, Alt, Shift).
//
// States: created (chord loaded, nothing registered), started and registered, started but not
// registered (the registration failed), stopped (a change is refused until the next start). A failed
// change leaves the registration in force as it was. Every refusal and failure is a false result with
// its reason in errorMessage(); nothing is thrown or logged.
class GlobalCaptureShortcut final : public QObject {
    Q_OBJECT

public:
    enum class Command : quint32 {
        frontmost = 1,  // captures the application in front
        clipboard = 2,  // imports the clipboard
    };

    // The stored modifier bits. Meta is the Super key.
    static constexpr quint32 kCtrlKey = 0x100;
    static constexpr quint32 kShiftKey = 0x200;
    static constexpr quint32 kAltKey = 0x800;
    static constexpr quint32 kMetaKey = 0x1000;
    // A key the keyboard marks as a function key (arrows, F keys, Home…): never registered.
    static constexpr quint32 kFunctionKey = 0x80000000;

    // A key and its modifiers, as stored: the key's code and the modifier bits.
    struct Chord {
        quint32 keyCode = 0;
        quint32 modifiers = 0;

        // The chord of a key press, for a recorder: the key as the keyboard's unshifted symbol (so
        // Shift+1 is 1), the modifiers as Ctrl, Shift, Alt and Meta, and the function flag for keys
        // without a character; a key outside the table gets a code that is named "非対応キー".
        static Chord fromEvent(const QKeyEvent& event);

        bool operator==(const Chord&) const = default;
    };

    // What registering a chord gave: 0 and the function that undoes it, or a failing status and none.
    struct Registration {
        int status = 0;
        std::function<void()> release{};
    };
    // Registers a chord for a command; `fire` is to run when the chord is released, on the main thread.
    using Register = std::function<Registration(Chord chord, Command command, std::function<void()> fire)>;

    // The statuses of a registration.
    static constexpr int kAlreadyRegistered = -9878;
    static constexpr int kNoKey = -50;
    static constexpr int kNoDisplay = -1;

    // R and V with Meta, Ctrl and Alt.
    static Chord defaultChord(Command command);
    // The settings key of a command's chord.
    static QString defaultsKey(Command command);

    // Loads the command's chord from the settings (the default chord when none is stored, or what is stored
    // does not decode or is not valid; the stored value is left as it is). Without `registerHotKey`, the
    // chord is grabbed on the X11 display (registerX11HotKey).
    GlobalCaptureShortcut(Command command, Defaults& defaults, Register registerHotKey = {}, QObject* parent = nullptr);
    ~GlobalCaptureShortcut() override;

    Command command() const { return m_command; }
    const Chord& chord() const { return m_chord; }
    // Why the last change or registration failed.
    const std::optional<QString>& errorMessage() const { return m_errorMessage; }
    // The hot key is registered with the system (also while suspended).
    bool isRegistered() const { return bool(m_release) || m_suspendedRegistration; }
    bool isStarted() const { return m_started; }
    bool isSuspended() const { return m_suspended; }

    // Sets the action and registers the chord in force, unless it is registered already.
    void start(std::function<void()> action);
    // Unregisters the hot key and forgets the action; the chord and the message stay.
    void stop();
    // Registers `chord` in place of the one in force (which is released only once the new one holds) and,
    // with `persist`, stores it. Refused: an invalid chord, the `other` shortcut's chord, or a shortcut not
    // started; a failed registration keeps the old one. Setting the registered chord again succeeds and
    // does nothing.
    bool setChord(Chord chord, std::optional<Chord> other, bool persist);
    // While a recorder listens for a new chord, a grabbed chord would never reach it: suspended, the hot
    // key gives up its grab but still counts as registered, and resuming grabs the chord again. A grab
    // that fails on resuming is reported as a failed registration. A change of chord resumes first.
    void suspend();
    void resume();
    // Why a chord cannot be registered; none when it can.
    static std::optional<QString> validate(Chord chord);

signals:
    void chordChanged();
    void errorMessageChanged();
    void registrationChanged();
    // The registered chord was pressed and released: emitted before its action runs, once per press.
    void fired();

private:
    void report(int status);
    void setErrorMessage(std::optional<QString> message);
    void fire();
    Registration registerChord(Chord chord);

    Command m_command;
    Defaults& m_defaults;
    Register m_register;
    Chord m_chord;
    std::optional<QString> m_errorMessage;
    std::function<void()> m_release;
    std::function<void()> m_action;
    bool m_started = false;
    bool m_suspended = false;
    // The grab given up by suspend(), taken again by resume().
    bool m_suspendedRegistration = false;
};

// The label of a chord: its modifiers in Qt's names and order, each followed by "+" ("Meta+Ctrl+Alt+R"),
// then the key's name (a letter or digit, "Space", "Return", "Tab", "Esc", else "非対応キー").
QString chordDisplayLabel(GlobalCaptureShortcut::Chord chord);

// The X11 registration: a passive grab of the chord's key (its keysym's keycode in the current keymap)
// with its modifiers on the root window of Qt's connection, also with Caps Lock and Num Lock on; the
// action runs when that key is released after a press of the chord. kAlreadyRegistered when another
// client or our other shortcut holds the chord, kNoKey when no key gives the symbol, kNoDisplay without an
// X11 connection, else an X error's code.
GlobalCaptureShortcut::Registration registerX11HotKey(GlobalCaptureShortcut::Chord chord,
                                                      GlobalCaptureShortcut::Command command,
                                                      std::function<void()> fire);

}  // namespace tavrine
