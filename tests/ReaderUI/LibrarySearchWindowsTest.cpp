#include "ReaderCore/SearchFold.h"
#include "ReaderUI/Library/LibrarySearchWindows.h"
#include "ReaderUI/Library/ReadingLibrarySearch.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <random>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Windows = QList<TextRange>;

TEST(LibrarySearchWindows, FollowTheWorkedExampleWithItsShortLastWindow) {
    // One-unit characters and a query of two units: an overlap of 512, each window reaching one unit past
    // 4,096 + 512 (the end moves to the end of the character it falls on), steps of 4,096. The window that
    // reaches the end starts more than 4,096 units before it, so one short window follows.
    EXPECT_EQ(
        librarySearchWindows(QString(20'900, u'a'), 2),
        (Windows{{0, 4'609}, {4'096, 8'705}, {8'192, 12'801}, {12'288, 16'897}, {16'384, 20'900}, {20'480, 20'900}}));
    // The overlap never exceeds the text; an empty query overlaps as one unit does.
    EXPECT_EQ(librarySearchWindows(QString(5'000, u'a'), 100), (Windows{{0, 5'000}, {4'096, 5'000}}));
    EXPECT_EQ(librarySearchWindows(QString(4'500, u'a'), 0), (Windows{{0, 4'353}, {4'096, 4'500}}));
    EXPECT_EQ(librarySearchWindows(QString(4'096, u'a'), 1), (Windows{{0, 4'096}}));
    EXPECT_EQ(librarySearchWindows(QString(), 1), Windows{});
}

TEST(LibrarySearchWindows, StartAndEndOnComposedCharacterSequences) {
    // Units 4,095 and 4,096 are one surrogate pair: the second window starts at the pair, not inside it.
    const QString pair = QString(4'095, u'a') + u"😀"_s + QString(6'000, u'b');
    const Windows windows = librarySearchWindows(pair, 1);
    ASSERT_GE(windows.size(), 2);
    EXPECT_EQ(windows[1].lowerBound, 4'095);

    // The first window would end at 4,352, inside e with three accents at 4,350...4,353: it takes them all.
    QString marks = QString(4'350, u'a') + u"e\u0301\u0302\u0303"_s + QString(6'000, u'b');
    EXPECT_EQ(librarySearchWindows(marks, 1).first(), (TextRange{0, 4'354}));

    // A step point inside a sequence that started within the window: the next window starts there.
    marks = QString(4'095, u'a') + u"e\u0301"_s + QString(6'000, u'b');
    EXPECT_EQ(librarySearchWindows(marks, 1)[1].lowerBound, 4'095);
    // One that started with the window itself (a sequence longer than a step): the next starts after it.
    const QString longSequence = u"e"_s + QString(5'000, QChar(0x0301)) + QString(6'000, u'b');
    EXPECT_EQ(librarySearchWindows(longSequence, 1)[1].lowerBound, 5'001);
}

// The body search as the windows define it: each window's text searched whole.
bool searchEveryWindow(const QString& text, const QString& query) {
    const SearchFold fold;
    const QString folded = fold.fold(query);
    const Windows windows = librarySearchWindows(text, query.size());
    return std::any_of(windows.cbegin(), windows.cend(), [&](const TextRange& window) {
        return fold.contains(text.mid(window.lowerBound, window.length()), folded);
    });
}

TEST(LibraryBodySearch, FindsExactlyWhatSomeWindowHolds) {
    const QStringList pieces{u"a"_s, u"b"_s, u"E"_s, u"\u0301"_s, u"😀"_s, u"ß"_s, u"\r\n"_s, u"が"_s};
    std::mt19937 random(11);
    const CancellationToken none = CancellationToken::none();
    for (int round = 0; round < 16; ++round) {
        QString text;
        while (text.size() < 20'001 + static_cast<qsizetype>(random() % 9'000))
            text += pieces[static_cast<qsizetype>(random() % pieces.size())];
        for (int probe = 0; probe < 4; ++probe) {
            // Mostly pieces of the text itself, so that hits near window edges occur, sometimes upper-cased.
            const qsizetype length = 1 + static_cast<qsizetype>(random() % 12);
            QString query = text.mid(static_cast<qsizetype>(random() % (text.size() - length)), length);
            if (probe == 3) query = query.toUpper() + u"a"_s;
            ASSERT_EQ(ReadingLibrarySearch::bodyContains(text, query, SearchFold(), none),
                      searchEveryWindow(text, query))
                << "round " << round << " query " << query;
        }
    }
}

TEST(LibraryBodySearch, FindsAMatchAcrossEveryStepAndAtTheEnd) {
    const CancellationToken none = CancellationToken::none();
    const QString filler(30'000, u'x');
    for (const qsizetype at : {4'093, 8'190, 12'285, 29'994}) {
        QString text = filler;
        text.replace(at, 6, u"needle"_s);
        EXPECT_TRUE(ReadingLibrarySearch::bodyContains(text, u"NÉEDLE"_s, SearchFold(), none)) << at;
    }
    EXPECT_FALSE(ReadingLibrarySearch::bodyContains(filler, u"needle"_s, SearchFold(), none));
    // Across the end of every window, by each possible amount: found in the window that follows.
    for (const TextRange& window : librarySearchWindows(filler, 6)) {
        for (qsizetype past = 0; past <= 6 && window.upperBound - 6 + past <= filler.size() - 6; ++past) {
            QString text = filler;
            text.replace(window.upperBound - 6 + past, 6, u"needle"_s);
            EXPECT_TRUE(ReadingLibrarySearch::bodyContains(text, u"needle"_s, SearchFold(), none))
                << window.upperBound << " + " << past;
        }
    }
    // A text of 20,000 units is compared whole, one of 20,001 window by window: both find the end.
    for (const qsizetype length : {20'000, 20'001})
        EXPECT_TRUE(
            ReadingLibrarySearch::bodyContains(QString(length - 1, u'x') + u"が"_s, u"か"_s, SearchFold(), none));

    // Where each character folds to two units (ß to ss) the windows' edges, counted in the text, lie at
    // other places in the fold: a match across each edge, and across each step point, is found all the same.
    const QString sharpS(30'000, u'ß');
    for (const TextRange& window : librarySearchWindows(sharpS, 6)) {
        for (const qsizetype at : {window.upperBound - 3, window.lowerBound - 3, window.lowerBound + 4'093}) {
            if (at < 0 || at + 6 > sharpS.size()) continue;
            QString text = sharpS;
            text.replace(at, 6, u"needle"_s);
            EXPECT_TRUE(ReadingLibrarySearch::bodyContains(text, u"needle"_s, SearchFold(), none)) << at;
        }
    }
    EXPECT_TRUE(ReadingLibrarySearch::bodyContains(sharpS + u"x"_s, u"ssx"_s, SearchFold(), none));

    CancellationToken cancelled;
    cancelled.cancel();
    QString text = filler;
    text.replace(0, 6, u"needle"_s);
    EXPECT_FALSE(ReadingLibrarySearch::bodyContains(text, u"needle"_s, SearchFold(), cancelled));
}

}  // namespace
}  // namespace tavrine
