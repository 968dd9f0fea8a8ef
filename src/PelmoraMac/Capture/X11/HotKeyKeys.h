#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

namespace tavrine {

// The keys of the capture hot keys: the stored key codes (the Mac's layout-independent codes) of the 26
// letters and 10 digits, and of Space, Return, Tab and Esc, with their names and X11 key symbols.

// The code given to a key outside the table; it has no name and is never registered.
inline constexpr quint32 kUnknownHotKeyCode = 0xFFFF;

// "A"…"Z", "0"…"9", "Space", "Return", "Tab", "Esc"; none for another code.
std::optional<QString> hotKeyName(quint32 keyCode);
// One of the 36 letters and digits.
bool hotKeyIsLetterOrDigit(quint32 keyCode);
// The key's X11 key symbol (a letter's lower-case one); none outside the table.
std::optional<quint32> hotKeySymbol(quint32 keyCode);
// The code of an X11 key symbol (either case of a letter); none outside the table.
std::optional<quint32> hotKeyCodeOfSymbol(quint32 keysym);
// The code of a key press: the unshifted symbol of its X11 key code in the current keymap when there is
// an X11 connection and a key code, else Qt's key; kUnknownHotKeyCode outside the table.
quint32 hotKeyCodeOfEvent(quint32 nativeScanCode, int qtKey);
// A key without a character that the keyboard marks as a function key (arrows, F keys, Home, Delete…).
bool hotKeyIsFunctionKey(int qtKey);

}  // namespace tavrine
