#pragma once

#include <Qt>

namespace tavrine {

// Whether a key press counts as made with a modifier held: Shift, Ctrl, Alt, Meta or any other flag the
// platform sets, except the keypad flag, which X11 adds to keys of the numeric keypad and which no one
// holds. The one test of every plain-key handler of the reader (Space on the display, the panes' keys).
constexpr bool holdsModifier(Qt::KeyboardModifiers modifiers) {
    return (modifiers & ~Qt::KeyboardModifiers(Qt::KeypadModifier)) != Qt::NoModifier;
}

}  // namespace tavrine
