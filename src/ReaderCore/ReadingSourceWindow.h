#pragma once

#include "ReaderCore/ReadingDocument.h"
#include "ReaderCore/TextRange.h"

#include <optional>

namespace tavrine {

class CharacterBreaks;

// The part of a document that the source pane lays out at one time. A long text is never laid out whole:
// the window is a small document cut out of the full one, its spans clipped and shifted to offsets local
// to the window, plus the range it was cut from. Texts up to kWholeTextLimit units (Characters.h) are their own
// window, sections included; a cut window has no sections. A value type.
struct ReadingSourceWindow {
    // Nominal length of a cut window (three partitions of a prepared reading).
    static constexpr qsizetype kWindowLength = 12'288;
    // How far a cut window starts before the position it shows.
    static constexpr qsizetype kLead = 4'096;

    ReadingDocument document;
    // The window's units in the full text.
    TextRange sourceRange;
    qsizetype totalLength = 0;

    // The window of document that shows offset (clamped into the text). A cut window starts about kLead
    // units before the position and reaches about kWindowLength units past that start; neither end
    // splits a composed character sequence. Near the end of the text the window is not moved back, so it
    // may be as short as kLead + 1 units. `breaks`, when given, must analyse document.text: it spares a
    // caller that keeps one for the text (the prepared reading) a second analysis. Never fails.
    static ReadingSourceWindow around(const ReadingDocument& document, qsizetype offset,
                                      const CharacterBreaks* breaks = nullptr);

    // A range of full-text offsets (the current chunk's, say) in window offsets, clipped to the window;
    // absent when it is absent, empty, or does not overlap the window.
    std::optional<TextRange> localRange(std::optional<TextRange> range) const;

    bool operator==(const ReadingSourceWindow&) const = default;
};

}  // namespace tavrine
