#include "ReaderCore/FoldedText.h"
#include "ReaderCore/SearchFold.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>
#include <QLocale>

#include <random>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;

const SearchFold kStandard;
const SearchFold kTurkic(SearchFold::CaseRule::turkic);

bool found(const QString& text, const QString& query, SearchFold fold = kStandard) {
    return fold.contains(text, fold.fold(query));
}

TEST(SearchFold, IgnoresCaseDiacriticsAndSpellingButNothingElse) {
    // Case and accents, both ways, precomposed or written with a combining mark.
    EXPECT_TRUE(found(u"CAFÉ"_s, u"cafe"_s));
    EXPECT_TRUE(found(u"cafe"_s, u"CAFÉ"_s));
    EXPECT_TRUE(found(u"cafe\u0301"_s, u"café"_s));
    EXPECT_TRUE(found(u"café"_s, u"cafe\u0301"_s));
    EXPECT_TRUE(found(u"Straße"_s, u"STRASSE"_s));  // full case folding
    EXPECT_TRUE(found(u"ÅNGSTRÖM \u212B"_s, u"a"_s));

    // Kana voicing marks are diacritics: か finds が, は finds ば and ぱ, and the reverse.
    EXPECT_TRUE(found(u"がっこう"_s, u"かっこう"_s));
    EXPECT_TRUE(found(u"ばぱ"_s, u"はは"_s));
    EXPECT_TRUE(found(u"かっこう"_s, u"が"_s));
    EXPECT_TRUE(found(u"か\u3099"_s, u"が"_s));

    // No compatibility folding: full-width and half-width forms, spacing voicing marks stay apart.
    EXPECT_FALSE(found(u"Ａ"_s, u"a"_s));
    EXPECT_FALSE(found(u"a"_s, u"Ａ"_s));
    EXPECT_FALSE(found(u"ｶﾞ"_s, u"か"_s));
    EXPECT_FALSE(found(u"ka"_s, u"か"_s));
    EXPECT_FALSE(found(u"ae"_s, u"æ"_s));

    // A query with nothing left after folding is found nowhere.
    EXPECT_EQ(kStandard.fold(u"\u0301\u3099"_s), QString());
    EXPECT_FALSE(found(u"e\u0301"_s, u"\u0301"_s));
    EXPECT_FALSE(found(u"anything"_s, QString()));
}

TEST(SearchFold, FoldsTheDottedAndDotlessIByTheReadersLanguage) {
    EXPECT_EQ(SearchFold::forLocale(QLocale(QLocale::Turkish, QLocale::Turkey)), kTurkic);
    EXPECT_EQ(SearchFold::forLocale(QLocale(QLocale::Azerbaijani)), kTurkic);
    EXPECT_EQ(SearchFold::forLocale(QLocale(QLocale::Japanese, QLocale::Japan)), kStandard);

    EXPECT_TRUE(found(u"DIŞ"_s, u"dış"_s, kTurkic));
    EXPECT_FALSE(found(u"DIŞ"_s, u"diş"_s, kTurkic));
    EXPECT_TRUE(found(u"İSTANBUL"_s, u"istanbul"_s, kTurkic));
    // I followed by a combining dot is İ, under either rule.
    EXPECT_TRUE(found(u"I\u0307stanbul"_s, u"istanbul"_s, kTurkic));
    EXPECT_TRUE(found(u"I\u0307stanbul"_s, u"İstanbul"_s, kStandard));

    EXPECT_TRUE(found(u"DIŞ"_s, u"diş"_s, kStandard));
    EXPECT_FALSE(found(u"DIŞ"_s, u"dış"_s, kStandard));
}

// The fold as its definition reads: each composed character sequence folded on its own.
QString referenceFold(const QString& text, SearchFold fold) {
    CharacterBreaks breaks(text);
    QString folded;
    for (qsizetype offset = 0; offset < text.size();) {
        const TextRange sequence = breaks.composedCharacterSequence(offset);
        folded += fold.foldSequence(QStringView(text).sliced(sequence.lowerBound, sequence.length()));
        offset = sequence.upperBound;
    }
    return folded;
}

TEST(FoldedText, TheTableRoadFoldsExactlyAsEverySequenceFoldedAlone) {
    // Units that join their neighbours in every way the Character rules know, among plain ones.
    const QStringList pieces{u"a"_s,  u"A"_s,      u"é"_s,      u"\u0301"_s, u"\u3099"_s, u"か"_s,     u"が"_s,
                             u"\r"_s, u"\n"_s,     u"😀"_s,      u"\u200D"_s, u"\u1100"_s, u"\u1161"_s, u"\u11A8"_s,
                             u"가"_s, u"ß"_s,      u"İ"_s,      u"I"_s,      u"Ａ"_s,     u"ﾞ"_s,      u"🇯"_s,
                             u"🇵"_s,  u"\u0E33"_s, u"\u0600"_s, u"\u102B"_s, u"ǅ"_s,      u" "_s,      u"\u0345"_s};
    std::mt19937 random(7);
    for (const SearchFold fold : {kStandard, kTurkic}) {
        for (int round = 0; round < 300; ++round) {
            QString text;
            const int length = static_cast<int>(random() % 24);
            for (int i = 0; i < length; ++i) text += pieces[static_cast<qsizetype>(random() % pieces.size())];

            FoldedText folded(text, fold);
            folded.foldTo(text.size());
            ASSERT_EQ(folded.folded().toString(), referenceFold(text, fold)) << text;

            // Every folded unit maps back into the sequence it came from, and the map round-trips.
            CharacterBreaks breaks(text);
            for (qsizetype unit = 0; unit < folded.folded().size(); ++unit) {
                const TextRange source = folded.sourceRange({unit, unit + 1});
                ASSERT_EQ(breaks.composedCharacterSequence(source.lowerBound), source) << text << " unit " << unit;
                ASSERT_LE(folded.foldedOffset(source.lowerBound), unit) << text;
            }
        }
    }
}

TEST(FoldedText, FoldsOnDemandToWholeSequencesAndMapsHitsBack) {
    // Units: e + U+0301 at 0-1, the family emoji at 2-12 (eleven units), ß at 13, x at 14.
    const QString family = QString::fromUtf8(
        "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7"
        "\xE2\x80\x8D\xF0\x9F\x91\xA6");
    const QString text = u"E\u0301"_s + family + u"ßx"_s;
    FoldedText folded(text, kStandard);

    folded.foldTo(1);  // inside the first sequence: folds all of it
    EXPECT_EQ(folded.foldedUpTo(), 2);
    EXPECT_EQ(folded.folded(), u"e");
    folded.foldTo(5);
    EXPECT_EQ(folded.foldedUpTo(), 13);
    EXPECT_FALSE(folded.isComplete());
    folded.foldTo(100);
    ASSERT_TRUE(folded.isComplete());
    EXPECT_EQ(folded.folded(), QString(u"e"_s + family + u"ssx"_s));

    // A hit in the fold covers whole sequences of the source.
    EXPECT_EQ(folded.sourceRange({0, 1}), (TextRange{0, 2}));
    EXPECT_EQ(folded.sourceRange({13, 14}), (TextRange{13, 14}));  // the second s of ß
    EXPECT_EQ(folded.sourceRange({13, 15}), (TextRange{13, 15}));
    EXPECT_EQ(folded.sourceRange({3, 4}), (TextRange{2, 13}));
    EXPECT_EQ(folded.foldedOffset(2), 1);
    EXPECT_EQ(folded.foldedOffset(13), 12);
    EXPECT_EQ(folded.foldedOffset(14), 14);
    EXPECT_EQ(folded.foldedOffset(15), 15);
}

TEST(FoldedText, StopsFoldingWhenCancelled) {
    const QString text(100'000, u'a');
    FoldedText folded(text, kStandard);
    CancellationToken token;
    token.cancel();
    EXPECT_FALSE(folded.foldAll(token));
    EXPECT_LT(folded.foldedUpTo(), text.size());
    EXPECT_TRUE(folded.foldAll(CancellationToken::none()));
    EXPECT_EQ(folded.folded().size(), text.size());
}

}  // namespace
}  // namespace tavrine
