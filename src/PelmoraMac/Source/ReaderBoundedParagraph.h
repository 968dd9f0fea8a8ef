#pragma once

#include "ReaderCore/TextRange.h"

#include <QList>
#include <QString>
#include <QTextBlockFormat>
#include <QTextLayout>

namespace tavrine {

// One element of the bounded storage: a piece of at most 256 units of one real paragraph (longer only
// for a single composed character sequence), styled, to be laid out as a paragraph of its own. It never
// has a separator of its own, even when its last unit is the line feed of its real paragraph.
//
// Pieces of one real paragraph join without spacing between them and without a fresh first-line indent:
// a piece that ends before its paragraph's end has no spacing after, one that starts after its
// paragraph's start no spacing before and its first line at the head indent.
struct ReaderBoundedParagraph {
    // The piece's place in the document.
    TextRange range;
    // The source units of range.
    QString text;
    // The paragraph format (of the piece's first unit).
    QTextBlockFormat format;
    // Character formats (font, slanted for emphasis, colours) tiling text, offsets from the piece's start.
    QList<QTextLayout::FormatRange> formats;
};

}  // namespace tavrine
