#include "PelmoraMac/Capture/X11/X11Keymap.h"

#include "PelmoraMac/X11/XcbReplies.h"

#include <xcb/xcb.h>

namespace tavrine {
using namespace xcb;

namespace {

constexpr std::uint32_t kSuperL = 0xffeb;
constexpr std::uint32_t kSuperR = 0xffec;
constexpr std::uint32_t kNumLock = 0xff7f;

}  // namespace

X11Keymap::X11Keymap(xcb_connection_t* connection) : m_superMask(XCB_MOD_MASK_4), m_numLockMask(XCB_MOD_MASK_2) {
    const xcb_setup_t* setup = xcb_get_setup(connection);
    if (!setup) return;
    m_minKeycode = setup->min_keycode;
    const auto keyboardRequest = xcb_get_keyboard_mapping(connection, setup->min_keycode,
                                                          std::uint8_t(setup->max_keycode - setup->min_keycode + 1));
    const auto modifierRequest = xcb_get_modifier_mapping(connection);
    const auto keyboard =
        replyOf<xcb_get_keyboard_mapping_reply_t>(connection, keyboardRequest, xcb_get_keyboard_mapping_reply);
    const auto modifiers =
        replyOf<xcb_get_modifier_mapping_reply_t>(connection, modifierRequest, xcb_get_modifier_mapping_reply);
    if (keyboard) {
        m_symbolsPerKeycode = keyboard->keysyms_per_keycode;
        const xcb_keysym_t* symbols = xcb_get_keyboard_mapping_keysyms(keyboard.get());
        m_symbols.assign(symbols, symbols + xcb_get_keyboard_mapping_keysyms_length(keyboard.get()));
    }
    if (modifiers) {
        const xcb_keycode_t* keys = xcb_get_modifier_mapping_keycodes(modifiers.get());
        const std::vector<std::uint8_t> modifierKeys(keys,
                                                     keys + xcb_get_modifier_mapping_keycodes_length(modifiers.get()));
        const int perModifier = modifiers->keycodes_per_modifier;
        if (auto mask = maskOf(modifierKeys, perModifier, kSuperL).value_or(0) |
                        maskOf(modifierKeys, perModifier, kSuperR).value_or(0)) {
            m_superMask = std::uint16_t(mask);
        }
        if (auto mask = maskOf(modifierKeys, perModifier, kNumLock)) m_numLockMask = *mask;
    }
}

std::uint32_t X11Keymap::symbolAt(std::uint32_t keycode, int column) const {
    if (keycode < m_minKeycode || column >= m_symbolsPerKeycode) return 0;
    const std::size_t index =
        std::size_t(keycode - m_minKeycode) * std::size_t(m_symbolsPerKeycode) + std::size_t(column);
    return index < m_symbols.size() ? m_symbols[index] : 0;
}

std::optional<std::uint8_t> X11Keymap::keycodeOf(std::uint32_t keysym) const {
    if (m_symbolsPerKeycode == 0) return std::nullopt;
    const std::size_t keycodes = m_symbols.size() / std::size_t(m_symbolsPerKeycode);
    for (std::size_t offset = 0; offset < keycodes; ++offset) {
        const std::uint32_t keycode = std::uint32_t(m_minKeycode + offset);
        if (keycode > 255) break;
        if (symbolAt(keycode, 0) == keysym || symbolAt(keycode, 1) == keysym) return std::uint8_t(keycode);
    }
    return std::nullopt;
}

std::optional<std::uint32_t> X11Keymap::unshiftedSymbol(std::uint32_t keycode) const {
    const std::uint32_t symbol = symbolAt(keycode, 0);
    if (symbol == 0) return std::nullopt;
    return symbol;
}

// The bit of the first of the eight modifiers (Shift, Lock, Control, Mod1…Mod5) one of whose keys gives
// the symbol.
std::optional<std::uint16_t> X11Keymap::maskOf(const std::vector<std::uint8_t>& modifierKeys, int keysPerModifier,
                                               std::uint32_t keysym) const {
    for (int modifier = 0; modifier < 8; ++modifier) {
        for (int slot = 0; slot < keysPerModifier; ++slot) {
            const std::size_t index = std::size_t(modifier * keysPerModifier + slot);
            if (index >= modifierKeys.size() || modifierKeys[index] == 0) continue;
            const std::uint32_t keycode = modifierKeys[index];
            for (int column = 0; column < m_symbolsPerKeycode; ++column) {
                if (symbolAt(keycode, column) == keysym) return std::uint16_t(1u << modifier);
            }
        }
    }
    return std::nullopt;
}

}  // namespace tavrine
