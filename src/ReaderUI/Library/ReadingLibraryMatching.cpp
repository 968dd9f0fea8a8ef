// The pooled half of the library search: which readings contain a query.
#include "ReaderCore/Characters.h"
#include "ReaderCore/FoldedText.h"
#include "ReaderUI/Library/LibrarySearchWindows.h"
#include "ReaderUI/Library/ReadingLibrarySearch.h"

#include <QHash>

#include <algorithm>

namespace tavrine {
namespace {

struct Query {
    QString folded;
    // The query's own length, which sets the windows' overlap.
    qsizetype length = 0;
    SearchFold fold;
};

bool fieldContains(const QString& field, const Query& query) {
    return query.fold.contains(field, query.folded);
}

// Folds the text only as far as the windows reach, and searches each window only where it can hold a hit
// that the windows before could not: a hit inside a window either lies whole in the one before (and was
// found there) or ends beyond it. So every unit is folded once and searched about once, whatever the
// overlap, and the answer is the answer of searching every window whole.
bool windowedBodyContains(const QString& text, const Query& query, const CancellationToken& cancellation) {
    FoldedText folded(text, query.fold);
    LibrarySearchWindows windows(text, query.length);
    const qsizetype needle = query.folded.size();
    qsizetype searchedEnd = 0;
    for (std::optional<TextRange> window = windows.next(); window; window = windows.next()) {
        if (cancellation.isCancelled()) return false;
        folded.foldTo(window->upperBound);
        const qsizetype start = folded.foldedOffset(window->lowerBound);
        const qsizetype end = folded.foldedOffset(window->upperBound);
        const qsizetype from = std::max(start, searchedEnd - needle + 1);
        if (end - from >= needle && folded.folded().sliced(from, end - from).contains(query.folded)) return true;
        searchedEnd = end;
        // Every later window lies inside this one.
        if (window->upperBound == text.size()) return false;
    }
    return false;
}

bool bodyContainsFolded(const QString& text, const Query& query, const CancellationToken& cancellation) {
    if (query.folded.isEmpty()) return false;
    if (text.size() <= kWholeTextLimit) return fieldContains(text, query);
    return windowedBodyContains(text, query, cancellation);
}

bool readingMatches(const SavedReading& reading, const Query& query, const CancellationToken& cancellation) {
    // The cheap fields first; each falls through to the next, so an EPUB book is also found by its title
    // and its text.
    if (reading.epub) {
        const QStringList& creators = reading.epub->metadata.creators;
        if (std::any_of(creators.cbegin(), creators.cend(),
                        [&](const QString& creator) { return fieldContains(creator, query); }))
            return true;
    }
    if (reading.title && fieldContains(*reading.title, query)) return true;
    return bodyContainsFolded(reading.document.text, query, cancellation);
}

}  // namespace

QSet<QUuid> ReadingLibrarySearch::computeMatchingIDs(const QList<SavedReading>& readings, const QString& query,
                                                     SearchFold fold, const CancellationToken& cancellation) {
    QSet<QUuid> ids;
    const Query folded{fold.fold(query), query.size(), fold};
    if (folded.folded.isEmpty()) return ids;
    // A reading in both the history and the library comes twice; the second time it needs no search.
    QHash<QUuid, qsizetype> examined;
    for (qsizetype index = 0; index < readings.size(); ++index) {
        if (cancellation.isCancelled()) return ids;
        const SavedReading& reading = readings[index];
        if (ids.contains(reading.id)) continue;
        const auto earlier = examined.constFind(reading.id);
        if (earlier != examined.cend() && readings[*earlier] == reading) continue;
        examined.insert(reading.id, index);
        if (readingMatches(reading, folded, cancellation)) ids.insert(reading.id);
    }
    return ids;
}

bool ReadingLibrarySearch::bodyContains(const QString& text, const QString& query, SearchFold fold,
                                        const CancellationToken& cancellation) {
    return bodyContainsFolded(text, Query{fold.fold(query), query.size(), fold}, cancellation);
}

}  // namespace tavrine
