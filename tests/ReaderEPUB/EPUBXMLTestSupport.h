#pragma once

#include <ostream>

#include "ReaderEPUB/EPUBReader.h"

namespace tavrine {

// Failures print by their case name.
inline void PrintTo(const EPUBReader::Failure& failure, std::ostream* out) {
    *out << failureName(failure).toStdString();
}

}  // namespace tavrine
