#pragma once

#include "ReaderCore/Characters.h"
#include "ReaderCore/TextRange.h"

#include <QList>
#include <QString>

#include <optional>

namespace tavrine {

// The windows in which the library search looks for a query in a long text, so that a search can stop
// between two of them. Each window starts on a composed character sequence and reaches 4,096 units plus
// the overlap (256 units per unit of the query, at most the text) beyond its start, its end moved to the
// end of the sequence that holds it; the next one starts at the sequence that holds the step point 4,096
// units on (or just after it, when that sequence began before the window). So a query that fits the
// overlap lies whole in some window. Walked on the search's thread.
class LibrarySearchWindows {
public:
    static constexpr qsizetype kStep = 4'096;
    static constexpr qsizetype kOverlapPerQueryUnit = 256;

    LibrarySearchWindows(const QString& text, qsizetype queryLength);

    // The next window, or nothing after the last.
    std::optional<TextRange> next();

private:
    CharacterBreaks m_breaks;
    qsizetype m_length;
    qsizetype m_overlap;
    qsizetype m_start = 0;
    bool m_done = false;
};

// Every window of text for a query of queryLength units, in order.
QList<TextRange> librarySearchWindows(const QString& text, qsizetype queryLength);

}  // namespace tavrine
