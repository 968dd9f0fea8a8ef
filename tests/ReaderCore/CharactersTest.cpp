#include "ReaderCore/Characters.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;

// 👨‍👩‍👧‍👦: four people joined by three zero-width joiners, seven scalars, eleven UTF-16 units.
const QString kFamily = QString::fromUtf8(
    "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7"
    "\xE2\x80\x8D\xF0\x9F\x91\xA6");

TEST(CharacterCount, CountsWhatAReaderSeesAsOneCharacter) {
    ASSERT_EQ(kFamily.size(), 11);
    EXPECT_EQ(characterCount(kFamily), 1);
    EXPECT_EQ(characterCount(u"か\u3099e\u0301"), 2);  // marks written separately
    EXPECT_EQ(characterCount(u"a\r\nb"), 3);           // CR LF is one line break
    EXPECT_EQ(characterCount(u""), 0);
}

TEST(CharacterBreaks, AnswersBoundariesAtRandomOffsets) {
    const QString text = u"a"_s + kFamily + u"e\u0301"_s;  // units: a | 11 | e + mark
    CharacterBreaks breaks(text);
    EXPECT_EQ(characterCount(text), 3);
    // Not between the surrogates of a person, after a joiner, between e and its accent, or outside.
    for (qsizetype offset = -1; offset <= 15; ++offset)
        EXPECT_EQ(breaks.isBoundary(offset), offset == 0 || offset == 1 || offset == 12 || offset == 14) << offset;
    EXPECT_EQ(breaks.next(1), 12);
    EXPECT_EQ(breaks.previous(12), 1);
    EXPECT_EQ(breaks.characterStart(7), 1);
    EXPECT_EQ(breaks.characterStart(13), 12);
    // Between the halves of a surrogate pair that begins a Character.
    EXPECT_EQ(breaks.previous(2), 1);
    EXPECT_EQ(breaks.characterStart(2), 1);
    EXPECT_EQ(breaks.composedCharacterSequence(2), (TextRange{1, 12}));
}

TEST(CharacterBreaks, ComposedSequenceTakesALeadingCombiningMarkIntoThePreviousCharacter) {
    // After a line break an accent starts a Character of its own, but not a composed sequence.
    const QString text = u"a\n\u0301b"_s;
    CharacterBreaks breaks(text);
    EXPECT_TRUE(breaks.isBoundary(2));
    EXPECT_FALSE(breaks.isComposedSequenceStart(2));
    EXPECT_EQ(breaks.composedCharacterSequence(2), (TextRange{1, 3}));
    EXPECT_EQ(breaks.composedCharacterSequence(1), (TextRange{1, 3}));
    EXPECT_TRUE(breaks.isComposedSequenceStart(3));
    // A text that starts with a mark has nothing before it to join.
    CharacterBreaks leading(u"\u0301x"_s);
    EXPECT_EQ(leading.composedCharacterSequence(0), (TextRange{0, 1}));

    // The analysis keeps its own copy of the text and survives a move.
    QString changing = u"ab"_s;
    CharacterBreaks copied(changing);
    changing.replace(0, 2, u"x\u0301"_s);
    const CharacterBreaks moved = std::move(copied);
    EXPECT_TRUE(moved.isBoundary(1));
}

TEST(ForEachCharacter, WalksTheSameCharactersAsRandomAccessAndStopsWhenAsked) {
    const QString text = u"a"_s + kFamily + u"e\u0301\r\n"_s;
    QList<TextRange> walked;
    EXPECT_TRUE(forEachCharacter(text, [&](TextRange range) {
        walked.append(range);
        return true;
    }));
    EXPECT_EQ(walked, (QList<TextRange>{{0, 1}, {1, 12}, {12, 14}, {14, 16}}));
    qsizetype visits = 0;
    EXPECT_FALSE(forEachCharacter(text, [&](TextRange) { return ++visits < 2; }));
    EXPECT_EQ(visits, 2);
    EXPECT_TRUE(forEachCharacter(u"", [](TextRange) { return false; }));
}

TEST(FirstCharacters, CutsAfterWholeCharactersOnly) {
    EXPECT_EQ(firstCharacters(u"abc"_s, 3), u"abc"_s);
    EXPECT_EQ(firstCharacters(u"abcd"_s, 3), u"abc"_s);
    EXPECT_EQ(firstCharacters(u"abc"_s, 0), QString());
    // Eleven units of one family emoji count as one Character and stay whole.
    EXPECT_EQ(firstCharacters(kFamily + kFamily + u"x"_s, 1), kFamily);
    EXPECT_EQ(firstCharacters(kFamily + u"x"_s, 2), kFamily + u"x"_s);
}

TEST(IsBlank, TakesEveryWhiteSpaceAndLineBreakButNoInvisibleCharacter) {
    EXPECT_TRUE(isBlank(u""));
    EXPECT_TRUE(isBlank(u" \t\n\v\f\r\u0085\u00A0\u1680\u2000\u200A\u2028\u2029\u202F\u205F\u3000"));
    // Zero-width space and joiner, the byte-order mark, a lone surrogate and a supplementary character.
    for (const QString& text :
         {u" \u200B"_s, u"\u200D"_s, u"\uFEFF"_s, QString(QChar(0xD800)), u"\U00010000"_s, u"\u2001x"_s}) {
        EXPECT_FALSE(isBlank(text)) << text.toStdString();
    }
}

}  // namespace
}  // namespace tavrine
