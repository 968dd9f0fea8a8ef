#pragma once

#include "ReaderCore/EPUBBook.h"
#include "ReaderCore/ReadingDocument.h"

#include <QList>

namespace tavrine {

// The chapter starts of the document being played: where the player's chapter moves jump to. For a book
// whose table of contents leads into the text they are its entries; otherwise, for any document with
// sections, the section starts. Built once per reading, never changed; owned by the player.
struct ReadingChapterNavigation {
    // Strictly increasing UTF-16 offsets, starting at 0 when not empty; empty exactly when the document
    // has no sections.
    QList<qsizetype> offsets;

    // No chapters: what the player holds without a reading.
    ReadingChapterNavigation() = default;
    // Reads only the document's sections. The chapters are 0 and the positions of the entries, at every
    // depth, that lie inside the section they name; when no entry leads into the text, the section starts
    // are the chapters instead. Expects a valid document; entries that lead nowhere are skipped.
    ReadingChapterNavigation(const ReadingDocument& document, const QList<EPUBBook::Navigation>& navigation);

    bool operator==(const ReadingChapterNavigation&) const = default;
};

}  // namespace tavrine
