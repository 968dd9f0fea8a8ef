#include "ReaderText/NaturalLanguageSegmenter.h"

#include "SegmenterExpectations.h"

#include <gtest/gtest.h>

// These cases pin the phrases that ICU's word tokenizer (with its Japanese dictionary) and the grouping
// rules make together; a change of tokenizer may move some of them.

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using test::chunkTexts;
using test::expectChunksTile;
using Boundary = ReadingChunk::Boundary;

QStringList phrases(const QString& text) {
    const QList<ReadingChunk> chunks = NaturalLanguageSegmenter().segment(text);
    expectChunksTile(text, chunks);
    for (const ReadingChunk& chunk : chunks) EXPECT_EQ(chunk.boundary, NaturalLanguageSegmenter::boundary(chunk.text));
    return chunkTexts(chunks);
}

TEST(NaturalLanguageSegmenter, GroupsWordsIntoPhrases) {
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
    for (const auto& [text, expected] : cases) EXPECT_EQ(phrases(text), expected) << text;
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
