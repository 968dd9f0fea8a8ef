#pragma once

#include <functional>

namespace tavrine {

// What the table-of-contents pane tells whoever shows it; each is optional and called on the main thread.
struct ReaderEPUBPaneCallbacks {
    // A choice was accepted, just before the player is asked to move.
    std::function<void()> onSelect = {};
    // The user asked to close the pane (Esc or the close button).
    std::function<void()> onClose = {};
    // The pane gives up the keyboard focus.
    std::function<void()> onFocusDeparture = {};
};

}  // namespace tavrine
