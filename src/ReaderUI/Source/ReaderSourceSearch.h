#pragma once

#include "ReaderCore/CancellationToken.h"
#include "ReaderCore/FoldedText.h"
#include "ReaderCore/SearchFold.h"
#include "ReaderCore/TextRange.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>

namespace tavrine {

// The find-in-document scan behind the source pane's find field: every occurrence of a query in the
// document's text, ignoring case, diacritics and canonical spelling (SearchFold), otherwise literal (no
// patterns, no word boundaries, the query untrimmed). Runs on the thread pool on values only.
namespace ReaderSourceSearch {

struct Request {
    QString query;
    QString text;
    SearchFold fold;
    // The text already folded under fold by an earlier scan of the same document, if any.
    std::shared_ptr<const FoldedText> folded;
};

struct Result {
    // Whole composed character sequences of the text, in text order, never overlapping.
    QList<TextRange> matches;
    // The text folded, complete, for the next scan of the same document; none when cancelled first.
    std::shared_ptr<const FoldedText> folded;
};

// How the navigation runs a scan; tests put their own in to hold one back.
using Scanner = std::function<Result(Request, CancellationToken)>;

// Folds the text unless the request brings it folded, then finds the matches. Cancelled before it ends,
// it stops at its next step and gives no matches at all.
Result scan(Request request, CancellationToken cancellation);

// The matches of query in a completely folded text: each hit of the folded query in the fold, widened
// to the whole sequences of the text it came from; the next search starts after it. Checks the token
// before every step and gives nothing once it is cancelled. An empty query, or one that folds to
// nothing, matches nowhere.
QList<TextRange> findMatches(const QString& query, const FoldedText& text, const CancellationToken& cancellation);

}  // namespace ReaderSourceSearch
}  // namespace tavrine
