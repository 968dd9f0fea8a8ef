#include "PelmoraMac/Capture/X11/HotKeyKeys.h"

#include "PelmoraMac/Capture/X11/X11Keymap.h"
#include "PelmoraMac/X11/X11Connection.h"

#include <array>

namespace tavrine {
using namespace Qt::StringLiterals;

namespace {

struct Key {
    quint32 code;
    char16_t name;  // the letter or digit; 0 for the named keys below
    quint32 keysym;
};

constexpr auto kLettersAndDigits = std::to_array<Key>({
    {0, u'A', 'a'},  {1, u'S', 's'},  {2, u'D', 'd'},  {3, u'F', 'f'},  {4, u'H', 'h'},  {5, u'G', 'g'},
    {6, u'Z', 'z'},  {7, u'X', 'x'},  {8, u'C', 'c'},  {9, u'V', 'v'},  {11, u'B', 'b'}, {12, u'Q', 'q'},
    {13, u'W', 'w'}, {14, u'E', 'e'}, {15, u'R', 'r'}, {16, u'Y', 'y'}, {17, u'T', 't'}, {18, u'1', '1'},
    {19, u'2', '2'}, {20, u'3', '3'}, {21, u'4', '4'}, {22, u'6', '6'}, {23, u'5', '5'}, {25, u'9', '9'},
    {26, u'7', '7'}, {28, u'8', '8'}, {29, u'0', '0'}, {31, u'O', 'o'}, {32, u'U', 'u'}, {34, u'I', 'i'},
    {35, u'P', 'p'}, {37, u'L', 'l'}, {38, u'J', 'j'}, {40, u'K', 'k'}, {45, u'N', 'n'}, {46, u'M', 'm'},
});

constexpr quint32 kSpace = 49, kReturn = 36, kTab = 48, kEscape = 53;

const Key* letterOrDigit(quint32 code) {
    for (const Key& key : kLettersAndDigits) {
        if (key.code == code) return &key;
    }
    return nullptr;
}

std::optional<quint32> codeOfQtKey(int qtKey) {
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return hotKeyCodeOfSymbol(quint32(qtKey - Qt::Key_A + 'a'));
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return hotKeyCodeOfSymbol(quint32(qtKey));
    switch (qtKey) {
    case Qt::Key_Space: return kSpace;
    case Qt::Key_Return:
    case Qt::Key_Enter: return kReturn;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return kTab;
    case Qt::Key_Escape: return kEscape;
    default: return std::nullopt;
    }
}

}  // namespace

std::optional<QString> hotKeyName(quint32 keyCode) {
    if (const Key* key = letterOrDigit(keyCode)) return QString(QChar(key->name));
    switch (keyCode) {
    case kSpace: return u"Space"_s;
    case kReturn: return u"Return"_s;
    case kTab: return u"Tab"_s;
    case kEscape: return u"Esc"_s;
    default: return std::nullopt;
    }
}

bool hotKeyIsLetterOrDigit(quint32 keyCode) {
    return letterOrDigit(keyCode) != nullptr;
}

std::optional<quint32> hotKeySymbol(quint32 keyCode) {
    if (const Key* key = letterOrDigit(keyCode)) return key->keysym;
    switch (keyCode) {
    case kSpace: return 0x20;
    case kReturn: return 0xff0d;
    case kTab: return 0xff09;
    case kEscape: return 0xff1b;
    default: return std::nullopt;
    }
}

std::optional<quint32> hotKeyCodeOfSymbol(quint32 keysym) {
    if (keysym >= 'A' && keysym <= 'Z') keysym += 'a' - 'A';
    for (const Key& key : kLettersAndDigits) {
        if (key.keysym == keysym) return key.code;
    }
    switch (keysym) {
    case 0x20: return kSpace;
    case 0xff0d:
    case 0xff8d: return kReturn;
    case 0xff09:
    case 0xfe20: return kTab;
    case 0xff1b: return kEscape;
    default: return std::nullopt;
    }
}

quint32 hotKeyCodeOfEvent(quint32 nativeScanCode, int qtKey) {
    if (nativeScanCode != 0) {
        if (xcb_connection_t* connection = qtX11Connection()) {
            if (const auto keysym = X11Keymap(connection).unshiftedSymbol(nativeScanCode)) {
                if (const auto code = hotKeyCodeOfSymbol(*keysym)) return *code;
            }
        }
    }
    return codeOfQtKey(qtKey).value_or(kUnknownHotKeyCode);
}

bool hotKeyIsFunctionKey(int qtKey) {
    if ((qtKey & 0x01000000) == 0) return false;
    switch (qtKey) {
    case Qt::Key_Escape:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Backspace:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R: return false;
    default: return true;
    }
}

}  // namespace tavrine
