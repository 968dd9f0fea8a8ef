#include "ReaderText/BudouXParser.h"
#include "ReaderText/BudouXSegmenter.h"
#include "ReaderText/NaturalLanguageSegmenter.h"
#include "ReaderText/internal/PhraseText.h"

#include "ReaderCore/Characters.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>
#include <vector>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Boundary = ReadingChunk::Boundary;

QStringList chunkTexts(const QList<ReadingChunk>& chunks) {
    QStringList texts;
    for (const ReadingChunk& chunk : chunks) texts.append(chunk.text);
    return texts;
}

// What every segmenter promises of its output for a text: each range is its chunk's place in it and the
// ranges tile it from 0 (so the texts join to the text), the sentence index grows by one after each
// sentence or paragraph chunk and only then, and every chunk shows something unless the text shows
// nothing at all.
void expectChunksTile(const QString& text, const QList<ReadingChunk>& chunks) {
    qsizetype offset = 0;
    qsizetype sentenceIndex = 0;
    for (const ReadingChunk& chunk : chunks) {
        if (chunks.size() > 1) {
            EXPECT_FALSE(internal::showsNothing(chunk.text)) << chunk.text << " in " << text;
        }
        EXPECT_EQ(chunk.sourceRange.lowerBound, offset) << chunk.text;
        EXPECT_EQ(text.mid(chunk.sourceRange.lowerBound, chunk.sourceRange.length()), chunk.text);
        EXPECT_FALSE(chunk.text.isEmpty());
        EXPECT_EQ(chunk.sentenceIndex, sentenceIndex) << chunk.text;
        if (chunk.boundary == ReadingChunk::Boundary::sentence || chunk.boundary == ReadingChunk::Boundary::paragraph) {
            ++sentenceIndex;
        }
        offset = chunk.sourceRange.upperBound;
    }
    EXPECT_EQ(offset, chunks.isEmpty() ? 0 : text.size());
}

// The chunks of text, checked against the contract; each chunk's boundary is what the segmenter's rule
// gives for its text alone.
template <typename Segmenter>
QList<ReadingChunk> segmented(const QString& text) {
    const QList<ReadingChunk> chunks = Segmenter().segment(text);
    expectChunksTile(text, chunks);
    for (const ReadingChunk& chunk : chunks) EXPECT_EQ(chunk.boundary, Segmenter::boundary(chunk.text)) << chunk.text;
    return chunks;
}

QStringList modelPhrases(const QString& line) {
    QStringList result;
    for (const TextRange range : BudouXParser::shared().parse(line))
        result.append(line.mid(range.lowerBound, range.length()));
    return result;
}

TEST(BudouXSegmenter, LineBreaksAndBlankLinesJoinTheChunkBeforeThem) {
    const std::pair<QString, QStringList> cases[] = {
        {QString(), {}},
        {u" \n\t\r\n\u3000\u2028 "_s, {}},
        {u"\n \n今日は天気です。"_s, {u"\n \n今日は"_s, u"天気です。"_s}},  // except at the start
        {u"今日は天気です。\n\n  \n明日は雨。\n\n"_s,
         {u"今日は"_s, u"天気です。\n\n  \n"_s, u"明日は"_s, u"雨。\n\n"_s}},
        // CR LF is one line break: nothing lost or doubled, and the pair never splits.
        {u"今日は天気です。\r\n\r\n明日は雨。"_s, {u"今日は"_s, u"天気です。\r\n\r\n"_s, u"明日は"_s, u"雨。"_s}},
        // The model scores a break before the voiced mark after "は" (the reference parser, counting UTF-16
        // units alone, cuts there); here the mark stays with its kana.
        {u"今日は\u3099天気です"_s, {u"今日は\u3099天気です"_s}},
    };
    for (const auto& [text, chunks] : cases) EXPECT_EQ(chunkTexts(segmented<BudouXSegmenter>(text)), chunks) << text;

    for (const char16_t separator : {u'\n', u'\r', u'\v', u'\f', u'\u0085', u'\u2028', u'\u2029'}) {
        const auto chunks = segmented<BudouXSegmenter>(u"今日は"_s + QChar(separator) + u"天気です。"_s);
        EXPECT_EQ(chunks.value(0).text, u"今日は"_s + QChar(separator)) << int(separator);
        EXPECT_EQ(chunks.value(0).boundary, Boundary::paragraph) << int(separator);
    }
}

// What a table of no-break spaces or a spacer line leaves in a document never plays as a frame of its own.
TEST(Segmenters, APhraseThatShowsNothingJoinsItsNeighbour) {
    const QString table = u"\u00a0\n項目\n\u00a0\n\u3000\u3000\n\u200b\n値です。\n\u00a0\u2007\u202f"_s;
    EXPECT_EQ(chunkTexts(segmented<BudouXSegmenter>(table)),
              (QStringList{u"\u00a0\n項目\n\u00a0\n\u3000\u3000\n\u200b\n"_s, u"値です。\n\u00a0\u2007\u202f"_s}));
    // Inside a line, ideographic spaces between phrases go with the phrase before them.
    for (const auto& chunks :
         {segmented<BudouXSegmenter>(u"吾輩は猫である。\u3000\u3000\u3000\u3000名前はまだ無い。"_s),
          NaturalLanguageSegmenter().segment(u"\u3000\u3000The cat\u00a0\u00a0 sat."_s)}) {
        for (const ReadingChunk& chunk : chunks) EXPECT_FALSE(internal::showsNothing(chunk.text)) << chunk.text;
    }
    // Zero-width and control characters alone show nothing either; a text of nothing else is one chunk.
    EXPECT_TRUE(internal::showsNothing(u"\u200b\u2060\u00ad\ufe0f\u0007 \u3000"_s));
    EXPECT_FALSE(internal::showsNothing(u"\u200b・"_s));
    EXPECT_EQ(chunkTexts(segmented<BudouXSegmenter>(u"\u200b\u200b"_s)), QStringList{u"\u200b\u200b"_s});
}

TEST(BudouXSegmenter, RoutesEachLineByWhetherItHoldsJapanese) {
    const QString japanese = u"吾輩は猫である。名前はまだ無い。"_s;
    const QString english = u"The cat sat on the mat in the sun."_s;
    // One Japanese scalar sends the whole line, Latin words and all, through the phrase model, which
    // leaves it whole where the word grouping would cut it.
    const QString mixed = u"Visit 東 in the spring of this year"_s;
    ASSERT_EQ(modelPhrases(mixed), QStringList{mixed});
    ASSERT_GT(NaturalLanguageSegmenter().segment(mixed).size(), 1);

    QStringList expected = chunkTexts(NaturalLanguageSegmenter().segment(english + u"\n"_s));
    expected.append(modelPhrases(japanese));
    expected.last().append(u'\n');
    expected.append(mixed);
    EXPECT_EQ(chunkTexts(segmented<BudouXSegmenter>(english + u"\n"_s + japanese + u"\n"_s + mixed)), expected);
}

TEST(BudouXSegmenter, ContainsJapaneseAtTheEdgesOfItsRanges) {
    struct Case {
        char32_t scalar;
        bool japanese;
    };
    for (const Case c : {Case{0x303F, false}, Case{0x3040, true}, Case{0x30FF, true}, Case{0x3100, false},
                         Case{0x33FF, false}, Case{0x3400, true}, Case{0x9FFF, true}, Case{0xA000, false},
                         Case{0xFF65, false}, Case{0xFF66, true}, Case{0xFF9D, true}, Case{0xFF9E, false},
                         Case{0x1FFFF, false}, Case{0x20000, true}, Case{0x323AF, true}, Case{0x323B0, false}}) {
        const QString text = u"ab"_s + QString::fromUcs4(&c.scalar, 1);
        EXPECT_EQ(BudouXSegmenter::containsJapanese(text), c.japanese) << std::hex << static_cast<unsigned>(c.scalar);
    }
}

TEST(BudouXSegmenter, BoundaryFollowsTheLastMarkOrTheTrailingLineBreak) {
    struct Case {
        QString phrase;
        Boundary boundary;
    };
    const Case cases[] = {
        {u"言った。」"_s, Boundary::sentence},         // full stop inside a closing bracket
        {u"\"Stop!\" "_s, Boundary::sentence},         // quotes and a trailing space
        {u"(see p. 3.)"_s, Boundary::sentence},        // parenthesis
        {u"今日は、"_s, Boundary::clause},             // ideographic comma
        {u"first;"_s, Boundary::clause},               //
        {u"今日は、\n"_s, Boundary::paragraph},        // a line feed in the trailing whitespace wins
        {u"今日は \n \u3000"_s, Boundary::paragraph},  // even with spaces after it
        {u"今日は"_s, Boundary::none},                 //
        {u"」』"_s, Boundary::none},                   // nothing left once the brackets go
        {u"。\u0301"_s, Boundary::none},               // the mark is not a Character of its own
        {u"a\n\u0301"_s, Boundary::none},              // a mark alone after a break is no whitespace
        {u"a\n \u0301"_s, Boundary::paragraph},        // a space carrying a mark is whitespace
        {u"\n \n今日は"_s, Boundary::none},            // breaks that lead do not trail
        {u"end\n."_s, Boundary::sentence},             // a break inside the phrase is not trailing
    };
    for (const Case& c : cases) EXPECT_EQ(BudouXSegmenter::boundary(c.phrase), c.boundary) << c.phrase;
}

TEST(Segmenters, TileRandomTextsOfAwkwardPieces) {
    // Line breaks of every kind, blank runs, marks that join the Character before them, surrogate
    // pairs, joiners, closing brackets and the words the grouping rules know.
    const QStringList pieces{u"あ"_s,     u"猫"_s,     u"。"_s,   u"、"_s, u" "_s,    u"\n"_s, u"\r\n"_s,   u"\r"_s,
                             u"\u2028"_s, u"a"_s,      u"The "_s, u"."_s,  u","_s,    u"!"_s,  u"\u0301"_s, u"\u3099"_s,
                             u"😀"_s,      u"\u200D"_s, u"ｶ"_s,    u"ﾞ"_s,  u"」"_s,   u"\t"_s, u"\u3000"_s, u"𠀋"_s,
                             u"の"_s,     u"は"_s,     u"た"_s,   u"と"_s, u"する"_s, u"in "_s};
    std::mt19937 random(20240601);
    std::uniform_int_distribution<qsizetype> pieceIndex(0, pieces.size() - 1);
    std::uniform_int_distribution<int> pieceCount(0, 40);
    for (int round = 0; round < 400; ++round) {
        QString text;
        for (int n = pieceCount(random); n > 0; --n) text += pieces[pieceIndex(random)];
        const CharacterBreaks characters(text);
        for (const auto& chunks : {BudouXSegmenter().segment(text), NaturalLanguageSegmenter().segment(text)}) {
            expectChunksTile(text, chunks);
            for (const ReadingChunk& chunk : chunks) {
                ASSERT_TRUE(characters.isBoundary(chunk.sourceRange.lowerBound)) << text;
            }
        }
        if (HasFailure()) break;
    }
}

TEST(BudouXSegmenter, GivesTheSameChunksOnManyThreadsAtOnce) {
    // Each thread keeps its own scratch space and tokenizers; the model and word tables are shared.
    const QString text =
        u"吾輩は猫である。名前はまだ無い。\nThe cat sat on the mat.\n彼女は美しい花を見た\n"_s.repeated(20);
    const QList<ReadingChunk> expected = BudouXSegmenter().segment(text);
    std::atomic<int> mismatches = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int run = 0; run < 20; ++run) {
                if (BudouXSegmenter().segment(text) != expected) ++mismatches;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(mismatches, 0);
}

TEST(NaturalLanguageSegmenter, GroupsWordsIntoPhrases) {
    // These pin the phrases that ICU's word tokenizer (with its Japanese dictionary) and the grouping
    // rules make together; a change of tokenizer may move some of them.
    const std::pair<QString, QStringList> cases[] = {
        {u" \n\t"_s, {}},
        {u" …!? "_s, {u" …!? "_s}},  // a text without words is one chunk
        {u"—→★"_s, {u"—→★"_s}},
        {u"  leading spaces here"_s, {u"  leading "_s, u"spaces here"_s}},
        // English groups hold two words and twelve Characters; a phrase-start word after an ordinary word
        // begins a group, and "on the" stays together.
        {u"The cat sat on the mat."_s, {u"The cat "_s, u"sat "_s, u"on the "_s, u"mat."_s}},
        {u"big elephant walks"_s, {u"big elephant "_s, u"walks"_s}},  // 12 Characters once trimmed
        {u"big elephants walk"_s, {u"big "_s, u"elephants "_s, u"walk"_s}},
        {u"Hello world, this is a test"_s, {u"Hello world, "_s, u"this is "_s, u"a test"_s}},
        // Particles join the word before them up to eight Characters.
        {u"アイスクリームは"_s, {u"アイスクリームは"_s}},
        {u"アプリケーションは"_s, {u"アプリケーション"_s, u"は"_s}},
        // Japanese groups close at six, or at a particle that ends a phrase after three; "の" merges
        // without ending one.
        {u"彼女は美しい花を見た"_s, {u"彼女は美しい"_s, u"花を見た"_s}},
        {u"東京の大学で勉強する"_s, {u"東京の大学で"_s, u"勉強する"_s}},
        // Merged into 降った, "と" would make one group of six; on its own it leaves 雨が降った (closed by its
        // predicate ending) and begins the next group.
        {u"雨が降ったと聞いた。"_s, {u"雨が降った"_s, u"と聞いた。"_s}},
        // English and Japanese never share a group.
        {u"東京タワーとSkytree"_s, {u"東京タワーと"_s, u"Skytree"_s}},
        {u"Visit 東京"_s, {u"Visit "_s, u"東京"_s}},
        {u"Stop. Go!) Wait: now, then"_s, {u"Stop. "_s, u"Go!) "_s, u"Wait: "_s, u"now, "_s, u"then"_s}},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(chunkTexts(segmented<NaturalLanguageSegmenter>(text)), expected) << text;
}

TEST(NaturalLanguageSegmenter, BoundaryIsParagraphForALineBreakAnywhere) {
    // Unlike the BudouX segmenter's rule, which looks only at trailing whitespace.
    const std::pair<QString, Boundary> cases[] = {
        {u"end\n."_s, Boundary::paragraph},    {u"a\rb"_s, Boundary::paragraph}, {u"a\u2028"_s, Boundary::none},
        {u"言った。」"_s, Boundary::sentence}, {u"Go!) "_s, Boundary::sentence}, {u" …!? "_s, Boundary::sentence},
        {u"では、"_s, Boundary::clause},       {u"Wait: "_s, Boundary::clause},  {u"now, "_s, Boundary::clause},
        {u"then"_s, Boundary::none},
    };
    for (const auto& [phrase, boundary] : cases)
        EXPECT_EQ(NaturalLanguageSegmenter::boundary(phrase), boundary) << phrase;
}

TEST(NaturalLanguageSegmenter, ScriptTestsAreNarrowerThanTheBudouXOnes) {
    EXPECT_TRUE(NaturalLanguageSegmenter::containsJapanese(u"xあ"_s));
    EXPECT_TRUE(NaturalLanguageSegmenter::containsJapanese(u"\u9FFF"_s));
    EXPECT_FALSE(NaturalLanguageSegmenter::containsJapanese(u"ｶﾀｶﾅ"_s));
    EXPECT_FALSE(NaturalLanguageSegmenter::containsJapanese(u"𠀋"_s));
    EXPECT_FALSE(NaturalLanguageSegmenter::containsJapanese(u"\u303F\uA000"_s));
    EXPECT_TRUE(NaturalLanguageSegmenter::containsASCIILetter(u"42z"_s));
    EXPECT_FALSE(NaturalLanguageSegmenter::containsASCIILetter(u"42 éß"_s));
}

}  // namespace
}  // namespace tavrine
