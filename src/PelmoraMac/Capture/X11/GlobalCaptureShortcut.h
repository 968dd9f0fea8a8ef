#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>

namespace tavrine {

class Defaults;

// Slot: filled by the two global capture hot keys. Until then it holds each hot key's place with its
// command and default chord: nothing is registered, and every operation does nothing.
//
// One system-wide hot key that starts a capture while another application is in front: its chord, kept
// in the user's settings, and the action it runs. Owned by the application; main thread only.
class GlobalCaptureShortcut final {
public:
    enum class Command : quint32 {
        frontmost = 1,  // captures the application in front
        clipboard = 2,  // imports the clipboard
    };

    // A key and its modifiers, as stored: the key's code and the modifier bits.
    struct Chord {
        quint32 keyCode = 0;
        quint32 modifiers = 0;

        bool operator==(const Chord&) const = default;
    };

    // R and V with Control, Option and Command (Meta, Alt and Ctrl here).
    static Chord defaultChord(Command command);

    GlobalCaptureShortcut(Command command, Defaults& defaults);

    Command command() const { return m_command; }
    const Chord& chord() const { return m_chord; }
    // Why the last change or registration failed.
    std::optional<QString> errorMessage() const { return std::nullopt; }
    // The hot key is registered with the system.
    bool isRegistered() const { return false; }

    void start(std::function<void()> action) { Q_UNUSED(action); }
    void stop() {}
    bool setChord(Chord chord, std::optional<Chord> other, bool persist) {
        Q_UNUSED(chord);
        Q_UNUSED(other);
        Q_UNUSED(persist);
        return false;
    }
    static std::optional<QString> validate(Chord chord) {
        Q_UNUSED(chord);
        return std::nullopt;
    }

private:
    Command m_command;
    Defaults& m_defaults;
    Chord m_chord;
};

}  // namespace tavrine
