#include "ReaderUI/Source/ReaderSourceSearch.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Ranges = QList<TextRange>;

Ranges find(const QString& query, const QString& text) {
    const ReaderSourceSearch::Result result =
        ReaderSourceSearch::scan({query, text, SearchFold(), nullptr}, CancellationToken::none());
    return result.matches;
}

TEST(ReaderSourceSearch, FindsLiterallyIgnoringCaseDiacriticsAndSpelling) {
    EXPECT_EQ(find(u"e"_s, u"E é É e\u0301"_s), (Ranges{{0, 1}, {2, 3}, {4, 5}, {6, 8}}));
    EXPECT_EQ(find(u"é"_s, u"cafe\u0301 café"_s), (Ranges{{3, 5}, {9, 10}}));
    EXPECT_EQ(find(u"e\u0301"_s, u"café"_s), (Ranges{{3, 4}}));
    // Voicing marks are diacritics: は finds ば and ぱ, か finds が.
    EXPECT_EQ(find(u"は"_s, u"はばぱほ"_s), (Ranges{{0, 1}, {1, 2}, {2, 3}}));
    EXPECT_EQ(find(u"か"_s, u"学校が"_s), (Ranges{{2, 3}}));
    // No compatibility folding.
    EXPECT_EQ(find(u"a"_s, u"Ａａ"_s), Ranges());
    EXPECT_EQ(find(u"Ａ"_s, u"aA"_s), Ranges());

    // Matches do not overlap; a query is not trimmed; a part of a sequence widens to all of it.
    EXPECT_EQ(find(u"aa"_s, u"aaaa"_s), (Ranges{{0, 2}, {2, 4}}));
    EXPECT_EQ(find(u" "_s, u"a b  c"_s), (Ranges{{1, 2}, {3, 4}, {4, 5}}));
    EXPECT_EQ(find(u"ss"_s, u"Maß"_s), (Ranges{{2, 3}}));
    EXPECT_EQ(find(u"s"_s, u"ß"_s), (Ranges{{0, 1}}));
    EXPECT_EQ(find(u"e"_s, u"x😀e\u0301\u0302"_s), (Ranges{{3, 6}}));

    EXPECT_EQ(find(QString(), u"text"_s), Ranges());
    EXPECT_EQ(find(u"x"_s, QString()), Ranges());
    EXPECT_EQ(find(u"\u0301"_s, u"e\u0301"_s), Ranges());
}

// The scan looks through the fold in steps of 65,536 units between checks of its token; a hit that
// starts in one step and ends in the next must be found whole.
TEST(ReaderSourceSearch, FindsAHitThatStraddlesASearchStep) {
    constexpr qsizetype kStep = 65'536;
    const QString filler(3 * kStep, u'x');
    const auto withNeedles = [&](std::initializer_list<qsizetype> offsets) {
        QString text = filler;
        for (const qsizetype at : offsets) text.replace(at, 6, u"needle"_s);
        return text;
    };
    // Starting on the step's last unit and on each before it that still reaches past it; whole in the
    // step; on the next step's first unit; across the second step too.
    for (const qsizetype at : {kStep - 1, kStep - 3, kStep - 5, kStep - 6, kStep, 2 * kStep - 2})
        EXPECT_EQ(find(u"NEEDLE"_s, withNeedles({at})), (Ranges{{at, at + 6}})) << at;
    // After a hit the next step counts from its end: here that step ends at 65,546.
    EXPECT_EQ(find(u"needle"_s, withNeedles({4, kStep + 8})), (Ranges{{4, 10}, {kStep + 8, kStep + 14}}));

    // The steps count folded units: each ß folds to two, so this needle's fold starts at 65,534.
    const QString sharpS = QString(kStep / 2 - 1, u'ß') + u"needle"_s + QString(100, u'ß');
    EXPECT_EQ(find(u"needle"_s, sharpS), (Ranges{{kStep / 2 - 1, kStep / 2 + 5}}));
    // A query longer than the rest of the step, ending with the text.
    const QString atEnd = QString(kStep - 2, u'x') + u"needle"_s;
    EXPECT_EQ(find(u"needle"_s, atEnd), (Ranges{{kStep - 2, kStep + 4}}));
}

TEST(ReaderSourceSearch, KeepsTheFoldForTheNextScanAndGivesNothingOnceCancelled) {
    const QString text = QString(200'000, u'x') + u"needle"_s;
    ReaderSourceSearch::Result first = ReaderSourceSearch::scan({u"NEEDLE"_s, text, SearchFold(), nullptr}, {});
    EXPECT_EQ(first.matches, (Ranges{{200'000, 200'006}}));
    ASSERT_TRUE(first.folded);
    EXPECT_TRUE(first.folded->isComplete());
    // The next scan of the same text uses the fold it is given; a fold of another text is not used.
    const auto again = ReaderSourceSearch::scan({u"x"_s, text, SearchFold(), first.folded}, {});
    EXPECT_EQ(again.folded, first.folded);
    EXPECT_EQ(again.matches.size(), 200'000);
    const auto other = ReaderSourceSearch::scan({u"x"_s, u"xx"_s, SearchFold(), first.folded}, {});
    EXPECT_EQ(other.matches.size(), 2);
    EXPECT_NE(other.folded, first.folded);

    CancellationToken cancelled;
    cancelled.cancel();
    const auto stopped = ReaderSourceSearch::scan({u"x"_s, text, SearchFold(), nullptr}, cancelled);
    EXPECT_TRUE(stopped.matches.isEmpty());
    EXPECT_FALSE(stopped.folded);
    EXPECT_TRUE(ReaderSourceSearch::findMatches(u"x"_s, *first.folded, cancelled).isEmpty());
}

}  // namespace
}  // namespace tavrine
