#pragma once

#include "ReaderCore/ReadingDocument.h"

namespace tavrine {

// A capture ready for the capture model: its document, and whether it is a body (a body candidate or an
// article) rather than a selection.
struct PreparedCapture {
    ReadingDocument document;
    bool isBody = false;

    bool operator==(const PreparedCapture&) const = default;
};

}  // namespace tavrine
