#include "PelmoraMac/Capture/X11/GlobalCaptureShortcut.h"

namespace tavrine {
namespace {

constexpr quint32 kKeyR = 15;
constexpr quint32 kKeyV = 9;
constexpr quint32 kCommandOptionControl = 0x100 | 0x800 | 0x1000;

}  // namespace

GlobalCaptureShortcut::Chord GlobalCaptureShortcut::defaultChord(Command command) {
    switch (command) {
    case Command::frontmost: return {.keyCode = kKeyR, .modifiers = kCommandOptionControl};
    case Command::clipboard: return {.keyCode = kKeyV, .modifiers = kCommandOptionControl};
    }
    Q_UNREACHABLE();
}

GlobalCaptureShortcut::GlobalCaptureShortcut(Command command, Defaults& defaults)
    : m_command(command), m_defaults(defaults), m_chord(defaultChord(command)) {}

}  // namespace tavrine
