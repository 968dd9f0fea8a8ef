#pragma once

#include <QFont>

namespace tavrine {

// The text styles of the reader's interface, all in the reading font family; sizes in logical pixels.
enum class ReaderTextStyle {
    title2,    // 17
    title3,    // 15
    headline,  // 13, bold
    body,      // 13
    callout,   // 12
    caption,   // 10
};

QFont readerFont(ReaderTextStyle style);

}  // namespace tavrine
