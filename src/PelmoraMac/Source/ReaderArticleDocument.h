#pragma once

#include "PelmoraMac/Source/ReaderSourceOffsetMap.h"

#include <QTextDocument>

#include <memory>

namespace tavrine {

struct ReaderAttributedString;

// The ordinary source view's text document, built from a whole styled text, with the map between its
// positions and the source offsets.
//
// The text goes in paragraph by paragraph, never as one raw string: each paragraph is one block with its
// format, its runs inserted with their character formats, and its separator (LF, CR, CR LF or U+2029)
// one block break. Grid tables become text tables whose cells hold their cells' paragraphs. Characters
// the text document would take for structure (U+FDD0, U+FDD1) show as U+FFFD, one unit for one, so the
// map stays exact. Main thread only.
struct ReaderArticleDocument {
    std::unique_ptr<QTextDocument> document;
    ReaderSourceOffsetMap offsets;

    static ReaderArticleDocument build(const ReaderAttributedString& styled);
};

}  // namespace tavrine
