#pragma once

#include "ReaderCore/TextRange.h"

#include <optional>

namespace tavrine {

// What the bounded storage needs of the view that lays its elements out: the range whose elements must
// stay in memory, and a way to drop the layout of elements the storage evicts. The view implements it
// and registers itself with the storage for as long as it lives.
class ReaderBoundedLayoutManager {
public:
    virtual ~ReaderBoundedLayoutManager() = default;

    // The document range of the layout blocks that meet the visible area; none while nothing is laid out.
    virtual std::optional<TextRange> protectedRange() const = 0;
    // The elements of range are gone from the storage: whatever layout was made of them must be made anew
    // from fresh elements the next time it is needed.
    virtual void invalidate(TextRange range) = 0;
};

}  // namespace tavrine
