#pragma once

#include <Qt>

namespace tavrine {

// Whether a key press comes with a modifier the person holds down: Shift, Ctrl, Alt or Meta. A key with
// one held is a command for someone else (Meta+Space switches input methods on many desktops), so the
// reader's plain-key handlers let it pass. The keypad flag, which X11 adds to every key of the numeric
// keypad, and the group switch of some layouts are not held modifiers.
constexpr bool hasHeldModifier(Qt::KeyboardModifiers modifiers) {
    return modifiers.testAnyFlags(Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
}

}  // namespace tavrine
