#pragma once

#include "ReaderEPUB/EPUBReader.h"

#include <QString>

namespace tavrine {

// The Japanese text a user reads for an import failure. The texts quote the standard limits, also when
// a caller tightened them. Cancellation has no text (empty): the user asked for it.
QString failureMessage(const EPUBReader::Failure& failure);

}  // namespace tavrine
