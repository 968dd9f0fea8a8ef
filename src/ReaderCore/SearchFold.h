#pragma once

#include <QString>
#include <QStringView>

class QLocale;

namespace tavrine {

// The one text comparison of every search (the library search and its quick match, find in the
// document): a text contains a query when the fold of the text contains the fold of the query, unit for
// unit. The fold ignores case, diacritics and canonical differences and nothing else: "e" finds "É" and
// "e" followed by U+0301, "か" finds "が" and "は" finds "ぱ" (kana voicing marks are diacritics too), "Ａ"
// does not find "A" (no compatibility folding) and no character is ignored.
//
// The fold of a text is the concatenation of the folds of its composed character sequences, each
// folded on its own: composed (NFC), fully case folded, decomposed (NFD), stripped of its nonspacing
// marks (Mn) and composed again. So every folded unit comes from exactly one source sequence, which is
// what lets FoldedText map a hit back to whole characters of the source, and canonically equivalent
// texts fold alike. A query that folds to nothing (combining marks only) is found nowhere.
//
// A small value: copy it into work on any thread. Folding is thread-safe.
class SearchFold {
public:
    // Turkic case folding maps I to ı (and İ to i) as Turkish and Azerbaijani readers expect.
    enum class CaseRule { standard, turkic };

    constexpr SearchFold() = default;
    constexpr explicit SearchFold(CaseRule rule) : m_rule(rule) {}

    // The rule of the user's language: Turkic for Turkish and Azerbaijani, standard otherwise.
    static SearchFold forLocale(const QLocale& locale);

    CaseRule caseRule() const { return m_rule; }

    // The fold of a whole text.
    QString fold(const QString& text) const;

    // Whether text holds foldedQuery (a result of fold()) under the fold; false for an empty query.
    bool contains(const QString& text, QStringView foldedQuery) const;

    // The fold of one composed character sequence, however it is written.
    QString foldSequence(QStringView sequence) const;

    // Folds the units of source from `from` (a sequence boundary) on, up to `until` at most, that are
    // composed character sequences of their own folding to one unit each (nearly all text), one unit
    // each into out, without any text analysis. Stops before the first unit that needs foldSequence and
    // returns where it stopped.
    qsizetype foldSimpleRun(QStringView source, qsizetype from, qsizetype until, char16_t* out) const;

    bool operator==(const SearchFold&) const = default;

private:
    CaseRule m_rule = CaseRule::standard;
};

}  // namespace tavrine
