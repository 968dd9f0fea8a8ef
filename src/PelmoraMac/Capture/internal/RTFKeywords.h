#pragma once

#include <string_view>

namespace tavrine {

// The RTF control words that the reader acts on; every other word is read and ignored.
enum class RTFKeyword {
    unknown,
    // Destinations whose content is not text: skipped, with their groups.
    skippedDestination,
    // Destinations whose content is text that the reader keeps (after \* too).
    keptDestination,
    // Embedded pictures and objects: one U+FFFC in the text, their content skipped.
    picture,
    fontTable,
    // The document's character set and code page.
    ansi,
    mac,
    pc,
    pca,
    ansicpg,
    defaultFont,
    // Font table entries.
    fontFamily,
    modernFamily,
    fontCharset,
    fontPitch,
    fontCodePage,
    // Character formatting.
    plain,
    bold,
    italic,
    hidden,
    font,
    obliqueness,
    unicodeSkipCount,
    // Paragraph formatting.
    paragraphDefault,
    outlineLevel,
    listOverride,
    listLevel,
    // Text.
    paragraph,
    lineBreak,
    // \cell, \nestcell, \page, \sect: the end of a line, unless one has just ended, and of a paragraph.
    blockEnd,
    tab,
    unicode,
    binary,
    bullet,
    enDash,
    emDash,
    leftQuote,
    rightQuote,
    leftDoubleQuote,
    rightDoubleQuote,
    enSpace,
    emSpace,
    quarterEmSpace,
    zeroWidthJoiner,
    zeroWidthNonJoiner,
    leftToRightMark,
    rightToLeftMark,
};

// The keyword of a control word's name (its letters, without the backslash and the parameter).
RTFKeyword rtfKeyword(std::string_view name);

}  // namespace tavrine
