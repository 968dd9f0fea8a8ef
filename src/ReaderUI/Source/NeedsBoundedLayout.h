#pragma once

#include "ReaderCore/ReadingDocument.h"

#include <QList>
#include <QString>

namespace tavrine {

// Units beyond which a table or a paragraph of a long text is too big for the ordinary text engine.
inline constexpr qsizetype kBoundedLayoutBlockLimit = 4'096;

// Whether the source pane shows a document through the bounded engine, which lays out only what is near
// the view and reads tables as their cells' text, rather than the ordinary engine, which lays tables out
// as grids. Texts of at most kWholeTextLimit units (Characters.h) never need it; a longer text does unless it has
// tables and every table and every paragraph (Paragraphs.h, separator included) is at most 4,096 units long. Pure;
// paragraphs are walked only when the text has tables.
bool needsBoundedLayout(const QString& text, const QList<ReadingDocument::Span>& spans);

}  // namespace tavrine
