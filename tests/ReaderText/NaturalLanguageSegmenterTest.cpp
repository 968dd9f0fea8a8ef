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
    return chunkTexts(chunks);
}

TEST(NaturalLanguageSegmenter, TextWithoutWordsIsOneChunk) {
    EXPECT_TRUE(phrases(u" \n\t"_s).isEmpty());
    const auto chunks = NaturalLanguageSegmenter().segment(u" …!? "_s);
    ASSERT_EQ(chunks.size(), 1);
    EXPECT_EQ(chunks[0].text, u" …!? "_s);
    EXPECT_EQ(chunks[0].sourceRange, (TextRange{0, 5}));
    EXPECT_EQ(chunks[0].boundary, Boundary::sentence);
    EXPECT_EQ(phrases(u"—→★"_s), QStringList{u"—→★"_s});
}

TEST(NaturalLanguageSegmenter, LeadingSpacesStayInTheFirstChunk) {
    const auto chunks = NaturalLanguageSegmenter().segment(u"  leading spaces here"_s);
    ASSERT_FALSE(chunks.isEmpty());
    EXPECT_EQ(chunks[0].text, u"  leading "_s);
    EXPECT_EQ(chunks[0].sourceRange.lowerBound, 0);
}

TEST(NaturalLanguageSegmenter, EnglishGroupsHoldTwoWordsAndTwelveCharacters) {
    // A phrase-start word after an ordinary word begins a group; "on the" stays together.
    EXPECT_EQ(phrases(u"The cat sat on the mat."_s), (QStringList{u"The cat "_s, u"sat "_s, u"on the "_s, u"mat."_s}));
    // "big elephant" has 12 Characters once trimmed, "big elephants" 13.
    EXPECT_EQ(phrases(u"big elephant walks"_s), (QStringList{u"big elephant "_s, u"walks"_s}));
    EXPECT_EQ(phrases(u"big elephants walk"_s), (QStringList{u"big "_s, u"elephants "_s, u"walk"_s}));
    EXPECT_EQ(phrases(u"Hello world, this is a test"_s), (QStringList{u"Hello world, "_s, u"this is "_s, u"a test"_s}));
}

TEST(NaturalLanguageSegmenter, ParticlesJoinTheWordBeforeThemUpToEightCharacters) {
    // アイスクリーム (7) + は = 8 merges; アプリケーション (8) + は = 9 does not.
    EXPECT_EQ(phrases(u"アイスクリームは"_s), QStringList{u"アイスクリームは"_s});
    EXPECT_EQ(phrases(u"アプリケーションは"_s), (QStringList{u"アプリケーション"_s, u"は"_s}));
}

TEST(NaturalLanguageSegmenter, JapaneseGroupsCloseAtSixOrAtAParticleAfterThree) {
    // 彼女は (3, ends a phrase but not beyond 3) runs on into 美しい and closes at 6.
    EXPECT_EQ(phrases(u"彼女は美しい花を見た"_s), (QStringList{u"彼女は美しい"_s, u"花を見た"_s}));
    // "の" merges without ending the phrase, so 東京の runs on; 大学で closes the group at 6.
    EXPECT_EQ(phrases(u"東京の大学で勉強する"_s), (QStringList{u"東京の大学で"_s, u"勉強する"_s}));
}

TEST(NaturalLanguageSegmenter, QuotingToAfterAPredicateStartsItsOwnUnit) {
    // Merged into 降った, "と" would make one group 雨が降ったと of six; on its own it leaves 雨が降った
    // (five, closed by its predicate ending) and begins the next group.
    EXPECT_EQ(phrases(u"雨が降ったと聞いた。"_s), (QStringList{u"雨が降った"_s, u"と聞いた。"_s}));
}

TEST(NaturalLanguageSegmenter, EnglishAndJapaneseNeverShareAGroup) {
    EXPECT_EQ(phrases(u"東京タワーとSkytree"_s), (QStringList{u"東京タワーと"_s, u"Skytree"_s}));
    EXPECT_EQ(phrases(u"Visit 東京"_s), (QStringList{u"Visit "_s, u"東京"_s}));
}

TEST(NaturalLanguageSegmenter, GroupsCloseAtPunctuation) {
    const auto chunks = NaturalLanguageSegmenter().segment(u"Stop. Go!) Wait: now, then"_s);
    EXPECT_EQ(chunkTexts(chunks), (QStringList{u"Stop. "_s, u"Go!) "_s, u"Wait: "_s, u"now, "_s, u"then"_s}));
    const QList<Boundary> boundaries{Boundary::sentence, Boundary::sentence, Boundary::clause, Boundary::clause,
                                     Boundary::none};
    for (qsizetype i = 0; i < chunks.size() && i < boundaries.size(); ++i) {
        EXPECT_EQ(chunks[i].boundary, boundaries[i]) << chunks[i].text;
    }
}

TEST(NaturalLanguageSegmenter, BoundaryIsParagraphForALineBreakAnywhere) {
    // Unlike the BudouX segmenter's rule, which looks only at trailing whitespace.
    EXPECT_EQ(NaturalLanguageSegmenter::boundary(u"end\n."_s), Boundary::paragraph);
    EXPECT_EQ(NaturalLanguageSegmenter::boundary(u"a\rb"_s), Boundary::paragraph);
    EXPECT_EQ(NaturalLanguageSegmenter::boundary(u"a\u2028"_s), Boundary::none);
    EXPECT_EQ(NaturalLanguageSegmenter::boundary(u"言った。」"_s), Boundary::sentence);
    EXPECT_EQ(NaturalLanguageSegmenter::boundary(u"では、"_s), Boundary::clause);
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
