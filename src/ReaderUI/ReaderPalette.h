#pragma once

#include "ReaderUI/ReaderColor.h"

namespace tavrine {

// The reader's fixed colours, the same in every window and on every desktop theme.
struct ReaderPalette {
    ReaderPalette() = delete;

    // The primary foreground: the phrase of the reading display and the reader's body text.
    static constexpr ReaderColor text{244, 240, 228};
};

}  // namespace tavrine
