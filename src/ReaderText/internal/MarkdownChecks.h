#pragma once

#include "ReaderText/MarkdownReader.h"

#include <functional>

namespace tavrine::internal {

// MarkdownReader::read with the conversion passed in: the limits, the blank checks, the cancellation
// checks and the validation of the result, in their order, around any conversion of the UTF-8 text.
MarkdownReader::Result readMarkdownWith(const QString& markdown, const CancellationToken& cancellation,
                                        const std::function<MarkdownReader::Result(QByteArrayView)>& convert);

}  // namespace tavrine::internal
