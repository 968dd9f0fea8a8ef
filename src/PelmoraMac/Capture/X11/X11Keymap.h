#pragma once

#include <cstdint>
#include <optional>
#include <vector>

struct xcb_connection_t;

namespace tavrine {

// The X server's keymap as it is now: the key symbols of each key code and the modifier bits that the
// Super and Num Lock keys set. Read in two round trips when made.
class X11Keymap {
public:
    explicit X11Keymap(xcb_connection_t* connection);

    // The first key code whose unshifted or shifted symbol is `keysym`; none when no key gives it.
    std::optional<std::uint8_t> keycodeOf(std::uint32_t keysym) const;
    // The symbol of a key code without modifiers; none when it has none.
    std::optional<std::uint32_t> unshiftedSymbol(std::uint32_t keycode) const;
    // The modifier bit of Super (Mod4 when no key sets it) and of Num Lock (Mod2 likewise).
    std::uint16_t superMask() const { return m_superMask; }
    std::uint16_t numLockMask() const { return m_numLockMask; }

private:
    std::uint32_t symbolAt(std::uint32_t keycode, int column) const;
    std::optional<std::uint16_t> maskOf(const std::vector<std::uint8_t>& modifierKeys, int keysPerModifier,
                                        std::uint32_t keysym) const;

    std::uint8_t m_minKeycode = 0;
    int m_symbolsPerKeycode = 0;
    std::vector<std::uint32_t> m_symbols;
    std::uint16_t m_superMask;
    std::uint16_t m_numLockMask;
};

}  // namespace tavrine
