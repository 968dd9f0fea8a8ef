#include "ReaderUI/Source/ReaderSourceSearch.h"

#include <algorithm>

namespace tavrine::ReaderSourceSearch {
namespace {

// How much of the fold one search step looks through before the token is checked again.
constexpr qsizetype kSearchStep = 65'536;

}  // namespace

Result scan(Request request, CancellationToken cancellation) {
    std::shared_ptr<const FoldedText> folded = request.folded;
    if (!folded || folded->fold() != request.fold || folded->source() != request.text) {
        auto fresh = std::make_shared<FoldedText>(request.text, request.fold);
        if (!fresh->foldAll(cancellation)) return {};
        folded = std::move(fresh);
    }
    QList<TextRange> matches = findMatches(request.query, *folded, cancellation);
    if (cancellation.isCancelled()) return {};
    return {std::move(matches), std::move(folded)};
}

QList<TextRange> findMatches(const QString& query, const FoldedText& text, const CancellationToken& cancellation) {
    Q_ASSERT(text.isComplete());
    const QString needle = text.fold().fold(query);
    const QStringView haystack = text.folded();
    QList<TextRange> matches;
    if (needle.isEmpty() || haystack.isEmpty()) return matches;
    qsizetype from = 0;
    while (from + needle.size() <= haystack.size()) {
        if (cancellation.isCancelled()) return {};
        // One bounded step: hits that start before stepEnd.
        const qsizetype stepEnd = std::min(from + kSearchStep, haystack.size());
        const qsizetype searchEnd = std::min(stepEnd + needle.size() - 1, haystack.size());
        const qsizetype hit = haystack.sliced(from, searchEnd - from).indexOf(needle);
        if (hit < 0) {
            from = stepEnd;
            continue;
        }
        const TextRange found = text.sourceRange({from + hit, from + hit + needle.size()});
        matches.append(found);
        if (found.upperBound >= text.source().size()) break;
        from = text.foldedOffset(found.upperBound);
    }
    return matches;
}

}  // namespace tavrine::ReaderSourceSearch
