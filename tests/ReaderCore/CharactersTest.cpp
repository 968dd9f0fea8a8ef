#include "ReaderCore/Characters.h"
#include "ReaderCore/internal/CharacterScan.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>
#include <unicode/ubrk.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

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

// Every boundary of text as ICU's character iterator finds it, from 0 to the end.
std::vector<qsizetype> icuBoundaries(const QString& text) {
    const std::unique_ptr<UBreakIterator, decltype(&ubrk_close)> iterator(internal::openCharacterIterator(text),
                                                                          &ubrk_close);
    std::vector<qsizetype> boundaries;
    for (int32_t b = ubrk_first(iterator.get()); b != UBRK_DONE; b = ubrk_next(iterator.get())) boundaries.push_back(b);
    return boundaries;
}

// Texts of several blocks of analysis, drawn from pieces that every joining rule of Characters needs:
// marks, joiners, emoji, flags, jamo and Hangul syllables, prepended signs, viramas, lone surrogates,
// CR LF, and the scalars that the analysis settles without ICU around them.
QString mixedText(std::mt19937& random, qsizetype length) {
    static const QStringList pieces{u"a"_s,
                                    u"Z"_s,
                                    u" "_s,
                                    u"\r"_s,
                                    u"\n"_s,
                                    u"\r\n"_s,
                                    u"。"_s,
                                    u"か"_s,
                                    u"猫"_s,
                                    u"\u3099"_s,
                                    u"\u0301"_s,
                                    u"\u200D"_s,
                                    u"\uFE0F"_s,
                                    u"\U0001F600"_s,
                                    u"\U0001F1EF"_s,
                                    u"\U0001F1F5"_s,
                                    u"\u1100"_s,
                                    u"\u1161"_s,
                                    u"\u11A8"_s,
                                    u"\uAC00"_s,
                                    u"\uAC01"_s,
                                    u"\u0600"_s,
                                    u"\u0915"_s,
                                    u"\u094D"_s,
                                    u"\u0903"_s,
                                    u"\U00020B9F"_s,
                                    QString(QChar(0xD800)),
                                    QString(QChar(0xDC00)),
                                    u"\u00A9"_s,
                                    u"\u0009"_s,
                                    u"\u0085"_s};
    QString text;
    while (text.size() < length) text += pieces[static_cast<qsizetype>(random() % pieces.size())];
    return text;
}

TEST(CharacterBreaks, AgreeWithICUAtEveryOffsetOfMixedText) {
    std::mt19937 random(11);
    for (int round = 0; round < 6; ++round) {
        // Mostly settled text with rare other scalars, and text made of little else.
        const QString text = round % 2 == 0 ? mixedText(random, 9'000)
                                            : QString(2'000, u'x') + mixedText(random, 50) + QString(7'000, u'猫');
        const std::vector<qsizetype> expected = icuBoundaries(text);
        CharacterBreaks breaks(text);
        std::vector<qsizetype> found;
        // In a scattered order, so blocks are analysed out of turn.
        for (qsizetype offset = text.size(); offset >= 0; offset -= 3) {
            (void)breaks.isBoundary(offset);
        }
        for (qsizetype offset = 0; offset <= text.size(); ++offset) {
            if (breaks.isBoundary(offset)) found.push_back(offset);
        }
        ASSERT_EQ(found, expected) << "round " << round;
        for (int probe = 0; probe < 2'000; ++probe) {
            const qsizetype offset = static_cast<qsizetype>(random() % static_cast<unsigned>(text.size() + 1));
            const auto after = std::upper_bound(expected.begin(), expected.end(), offset);
            EXPECT_EQ(breaks.next(offset), after == expected.end() ? text.size() : *after) << offset;
            const auto before = std::lower_bound(expected.begin(), expected.end(), offset);
            EXPECT_EQ(breaks.previous(offset), before == expected.begin() ? 0 : *std::prev(before)) << offset;
        }

        EXPECT_EQ(characterCount(text), static_cast<qsizetype>(expected.size()) - 1);
        std::vector<qsizetype> walked{0};
        forEachCharacter(text, [&](TextRange character) {
            walked.push_back(character.upperBound);
            return true;
        });
        EXPECT_EQ(walked, expected);
    }
}

TEST(CharacterScan, NoTwoSettledScalarsAreJoined) {
    // Every scalar the analysis settles alone, in order and shuffled: ICU must break between each two
    // neighbours, except CR LF.
    std::vector<char32_t> scalars;
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if (internal::isInertScalar(c)) scalars.push_back(c);
    }
    ASSERT_GT(scalars.size(), 1'000'000u);
    for (const int order : {0, 1}) {
        if (order == 1) std::shuffle(scalars.begin(), scalars.end(), std::mt19937(3));
        QString text;
        std::vector<qsizetype> starts;
        for (const char32_t c : scalars) {
            starts.push_back(text.size());
            // Unit by unit: a conversion from UTF-32 would drop a leading U+FEFF as a byte-order mark.
            if (QChar::requiresSurrogates(c)) {
                text += QChar(QChar::highSurrogate(c));
                text += QChar(QChar::lowSurrogate(c));
            } else {
                text += QChar(static_cast<char16_t>(c));
            }
        }
        std::vector<qsizetype> expected;
        for (std::size_t i = 0; i < starts.size(); ++i) {
            if (i > 0 && scalars[i - 1] == U'\r' && scalars[i] == U'\n') continue;
            expected.push_back(starts[i]);
        }
        expected.push_back(text.size());
        EXPECT_EQ(icuBoundaries(text), expected) << "order " << order;
    }
    EXPECT_FALSE(internal::isInertScalar(0x0301));
    EXPECT_FALSE(internal::isInertScalar(0x200D));
    EXPECT_FALSE(internal::isInertScalar(0x1100));
    EXPECT_FALSE(internal::isInertScalar(0x1F1EF));
    EXPECT_FALSE(internal::isInertScalar(0xD800));
}

TEST(CheckCharacterLengths, RefusesACharacterLongerThanTheLimitInALongText) {
    const QString filler(kWholeTextLimit, u'あ');
    const auto withCharacterOf = [&](qsizetype units) -> QString {
        return filler + u"e"_s + QString(units - 1, QChar(0x0301));
    };
    EXPECT_EQ(checkCharacterLengths(withCharacterOf(kCharacterUTF16Limit)), CharacterLengthCheck::passed);
    EXPECT_EQ(checkCharacterLengths(withCharacterOf(kCharacterUTF16Limit + 1)),
              CharacterLengthCheck::overlongCharacter);
    // Also as the first Character, and in a text short enough to be handled whole.
    EXPECT_EQ(checkCharacterLengths(QString(QString(kCharacterUTF16Limit + 1, QChar(0x0301)) + filler)),
              CharacterLengthCheck::overlongCharacter);
    EXPECT_EQ(checkCharacterLengths(QString(u"e"_s + QString(kCharacterUTF16Limit + 1, QChar(0x0301)))),
              CharacterLengthCheck::passed);
    const CancellationToken cancelled;
    cancelled.cancel();
    EXPECT_EQ(checkCharacterLengths(QString(filler + u"x"_s), cancelled), CharacterLengthCheck::cancelled);
}

// isStrictUTF8Of is decodeUTF8Strictly(bytes) == text, for every sequence of up to three bytes (and every
// lead of four), and for random byte strings.
TEST(StrictUTF8, ComparingAsItDecodesAgreesWithDecoding) {
    const auto agree = [](const QByteArray& bytes) {
        const std::optional<QString> decoded = decodeUTF8Strictly(bytes);
        if (!decoded) {
            EXPECT_FALSE(isStrictUTF8Of(bytes, QString::fromUtf8(bytes))) << bytes.toHex().toStdString();
            return;
        }
        EXPECT_TRUE(isStrictUTF8Of(bytes, *decoded)) << bytes.toHex().toStdString();
        EXPECT_FALSE(isStrictUTF8Of(bytes, QString(*decoded + u'x'))) << bytes.toHex().toStdString();
        if (!decoded->isEmpty()) {
            EXPECT_FALSE(isStrictUTF8Of(bytes, decoded->chopped(1))) << bytes.toHex().toStdString();
            QString changed = *decoded;
            changed.back() = QChar(changed.back().unicode() ^ 1);
            EXPECT_FALSE(isStrictUTF8Of(bytes, changed)) << bytes.toHex().toStdString();
        }
    };
    for (int a = 0x80; a < 0x100; ++a) {
        agree(QByteArray(1, static_cast<char>(a)) + "z");
        for (int b = 0; b < 0x100; b += (a < 0xC0 ? 0x40 : 1)) {
            const QByteArray two{static_cast<char>(a), static_cast<char>(b)};
            agree(two);
            if (a < 0xE0 || a > 0xF4 || (b & 0xC0) != 0x80) continue;
            for (int c = 0x70; c < 0xD0; ++c) agree(two + static_cast<char>(c) + (a >= 0xF0 ? "\x80" : ""));
        }
    }
    std::mt19937 random(21);
    const QByteArray pieces[] = {
        "a",    "\n",       "\xC3\xA9",     "\xE7\x8C\xAB",     "\xF0\x9F\x98\x80", "\xEF\xBB\xBF",
        "\x80", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE7\x8C",         "\xFF"};
    for (int round = 0; round < 2'000; ++round) {
        QByteArray bytes;
        for (int k = static_cast<int>(random() % 12); k > 0; --k) bytes += pieces[random() % std::size(pieces)];
        agree(bytes);
    }
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
