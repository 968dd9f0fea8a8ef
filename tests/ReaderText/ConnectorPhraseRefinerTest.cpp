#include "ReaderText/ConnectorPhraseRefiner.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Boundary = ReadingChunk::Boundary;

// Chunks that tile text, cut at the given offsets, all in sentence 0 and ending with the given boundary.
QList<ReadingChunk> chunksOf(const QString& text, const QList<qsizetype>& cuts, Boundary last = Boundary::sentence) {
    QList<ReadingChunk> chunks;
    qsizetype start = 0;
    QList<qsizetype> ends = cuts;
    ends.append(text.size());
    for (qsizetype end : ends) {
        chunks.append({{start, end}, text.sliced(start, end - start), 0, Boundary::clause});
        start = end;
    }
    chunks.last().boundary = last;
    return chunks;
}

// A width of one point per unit that records what it was asked to measure.
struct RecordingWidth {
    QStringList measured;
    ConnectorPhraseRefiner::Width function() {
        return [this](QStringView text) {
            measured.append(text.toString());
            return double(text.size());
        };
    }
};

TEST(ConnectorBreakOffsets, FallJustAfterTheConnectorsOfCompoundTokens) {
    struct Case {
        QString text;
        QList<qsizetype> offsets;
    };
    const Case cases[] = {
        {u"plain words only"_s, {}},
        {u"日本語／英語"_s, {4}},                        // full-width slash between ideographs
        {u"input/output+cache"_s, {6, 13}},              // both connectors once a "+" qualifies the token
        {u"A+B and C＋D"_s, {2, 10}},                    // two tokens
        {u"e\u0301+f"_s, {3}},                           // a mark inside a word
        {u"\U00020B9F+x"_s, {3}},                        // a letter outside the basic plane
        {u"see http://x.io then a+b"_s, {23}},           // a compound after a URL
        {u"C++ and x+"_s, {}},                           // a connector must be followed by a letter
        {u"a/b and /usr/lib"_s, {}},                     // the ASCII slash alone makes no compound
        {u"foo-bar+baz 1+2"_s, {}},                      // the whole token must be a compound of words
        {u"a+\u0301b"_s, {}},                            // a mark is not a letter
        {u"https://example.com/a+b"_s, {}},              // inside a URL
        {u"www.foo+bar.com"_s, {}},                      //
        {u"http://a.io,x+y"_s, {}},                      // the URL runs on over the comma
        {u"http://a.io x+y"_s, {14}},                    //
        {u"（http://x.io/p）a+b"_s, {17}},               // the URL ends at the bracket
        {u"a+b."_s, {}},                                 // a full stop joins the token: no compound
        {u"a+b"_s + QChar(0xD800) + u" c+d"_s, {2, 7}},  // a lone surrogate does not hide the others
        {u"at http://x.io\u3000a+b"_s, {17}},            // an ideographic space ends the URL
    };
    for (const Case& c : cases) EXPECT_EQ(ConnectorPhraseRefiner::breakOffsets(c.text), c.offsets) << c.text;
}

TEST(ConnectorPhraseRefiner, SplitsAPhraseWiderThanTheMaximumAtEveryInsideBreak) {
    const QString text = u"go input/output+cache＋disk, x"_s;
    // Breaks at 9, 16 and 22; the second chunk runs from 3 to 28.
    const auto chunks = chunksOf(text, {3, 28});
    RecordingWidth width;
    const auto refined = ConnectorPhraseRefiner::refine(chunks, text, width.function(), 10);

    const QList<ReadingChunk> expected{
        chunks[0],
        {{3, 9}, u"input/"_s, 0, Boundary::none},
        {{9, 16}, u"output+"_s, 0, Boundary::none},
        {{16, 22}, u"cache＋"_s, 0, Boundary::none},
        {{22, 28}, u"disk, "_s, 0, Boundary::clause},
        chunks[2],
    };
    EXPECT_EQ(refined, expected);
    // Only the chunk with breaks inside was measured, trimmed, and its pieces were not measured again.
    EXPECT_EQ(width.measured, QStringList{u"input/output+cache＋disk,"_s});
}

TEST(ConnectorPhraseRefiner, KeepsChunksThatAreNotTooWideOrHaveNoBreakInside) {
    const QString text = u"ab+cd+ef"_s;  // breaks at 3 and 6
    RecordingWidth width;

    // Equal to the maximum is not too wide.
    const auto whole = chunksOf(text, {});
    EXPECT_EQ(ConnectorPhraseRefiner::refine(whole, text, width.function(), 8), whole);

    // A break at a chunk's start or end does not split it; the cursor carries on to the next chunk.
    const auto cut = chunksOf(text, {3});
    const QList<ReadingChunk> expected{
        cut[0],
        {{3, 6}, u"cd+"_s, 0, Boundary::none},
        {{6, 8}, u"ef"_s, 0, Boundary::sentence},
    };
    EXPECT_EQ(ConnectorPhraseRefiner::refine(cut, text, width.function(), 1), expected);

    // No break in the text: nothing is measured at all.
    width.measured.clear();
    const QString plain = u"a long phrase with no compound in it"_s;
    const auto chunks = chunksOf(plain, {7});
    EXPECT_EQ(ConnectorPhraseRefiner::refine(chunks, plain, width.function(), 0), chunks);
    EXPECT_TRUE(width.measured.isEmpty());
}

TEST(ConnectorPhraseRefiner, RefitSkipsBreaksThatWouldCutACharacterOrRepeatAPosition) {
    // Units: x 0 | emoji 1-2 | y 3 | e 4 + accent 5 | z 6.
    const ReadingChunk chunk{{100, 107}, u"x\U0001F600ye\u0301z"_s, 4, Boundary::paragraph};
    const QList<qsizetype> breaks{50, 101, 101, 102, 104, 105, 107, 200};
    qsizetype cursor = 0;
    const auto pieces = ConnectorPhraseRefiner::refit(
        chunk, cursor, breaks, [](QStringView) { return 100.0; }, 1);
    const QList<ReadingChunk> expected{
        {{100, 101}, u"x"_s, 4, Boundary::none},
        {{101, 104}, u"\U0001F600y"_s, 4, Boundary::none},
        {{104, 107}, u"e\u0301z"_s, 4, Boundary::paragraph},
    };
    EXPECT_EQ(pieces, expected);
    EXPECT_EQ(cursor, 6);  // left on the first break at or past the end
}

}  // namespace
}  // namespace tavrine
