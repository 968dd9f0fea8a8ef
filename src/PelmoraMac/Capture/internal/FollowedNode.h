#pragma once

#include "PelmoraMac/Capture/AccessibilityBus.h"

#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

namespace tavrine {

// What stands between two pieces of a text put together from a web page's objects: nothing (they share a
// line), a line end, or a paragraph break.
enum class TextBreak { none, line, paragraph };

// An object whose selected text is followed: what the bus said of it and the text it gave.
struct FollowedNode {
    AccessibleElement element;
    // The selected range of its text; for an object selected whole, until its text is read, its start to the
    // end of its text (end -1, as the bus takes it: Firefox answers no text for a range past the end).
    AccessibleTextRange range;
    int depth = 0;
    // Its role on the bus: none (invalid) for the element read first, and for an element whose tag tells what
    // it is, which is not asked.
    std::uint32_t role = 0;
    // Selected whole, as an object that stands inside the selected stretch of its owner's text, or of an
    // owner selected whole, is: its selection is not asked for, its whole text is read.
    bool whole = false;
    // The display the bus gives the element ("block", "flex", …); empty for the element read first.
    QString display{};
    // A block of the page: it stands apart from what is around it.
    bool block = false;
    // An element inline in HTML that the browser shows as a block item where the attributes cannot tell its
    // line (its container left out of the bus, or a flex or grid container): where it is drawn decides.
    bool placed = false;
    // What parts it from a neighbour drawn on another line, when it is placed: a paragraph break, or a line end
    // in a container known to lay out items (a wrapping flex row, a grid's rows).
    TextBreak onAnotherLine = TextBreak::paragraph;
    bool listItem = false;
    // The item's selected text is only the marker drawn before its own text.
    bool loneMarker = false;
    std::optional<QString> text{};
    // For each object replacement character of the text, in order: its object's node, or -1; and the object
    // the bus names there, if any.
    QList<qsizetype> objects{};
    QList<std::optional<AccessibleElement>> embedded{};

    bool operator==(const FollowedNode&) const = default;
};

}  // namespace tavrine
