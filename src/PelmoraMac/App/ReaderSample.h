#pragma once

#include "ReaderCore/Clock.h"
#include "ReaderCore/ImportedReading.h"

#include <QString>

namespace tavrine {

// The built-in sample that the start view offers before anything has been read: five short lines.
QString readerSampleText();
// A new reading of the sample, under a fresh identifier each time, opened paused.
ImportedReading readerSampleReading(const Clock& clock = SystemClock::shared());

}  // namespace tavrine
