#pragma once

#include "ReaderText/MarkdownReader.h"

#include <md4c.h>

#include <functional>

namespace tavrine::internal {

// The parser's entry point, as md_parse: tests hand in their own to call the callbacks as a faulty
// parser would.
using MarkdownParse = int (*)(const MD_CHAR* text, MD_SIZE size, const MD_PARSER* parser, void* userdata);

// MarkdownReader::convert with the parser passed in. The parser is handed a copy of the text followed by
// a NUL, and every text it reports must lie within that copy (or be one of its own short constants):
// anything else is unreadable, refused before a byte of it is read.
MarkdownReader::Result convertMarkdownWith(QByteArrayView utf8, MarkdownParse parse,
                                           MarkdownReader::LineEnds lineEnds = MarkdownReader::LineEnds::joined);

// MarkdownReader::read with the conversion passed in: the limits, the blank checks, the cancellation
// checks and the validation of the result, in their order, around any conversion of the UTF-8 text.
MarkdownReader::Result readMarkdownWith(const QString& markdown, const CancellationToken& cancellation,
                                        const std::function<MarkdownReader::Result(QByteArrayView)>& convert);

}  // namespace tavrine::internal
