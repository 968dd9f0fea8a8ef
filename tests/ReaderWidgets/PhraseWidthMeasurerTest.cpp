#include "ReaderWidgets/Display/PhraseWidthMeasurer.h"
#include "ReaderWidgets/Style/ReaderTypography.h"

#include <gtest/gtest.h>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QThread>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace tavrine {
namespace {

bool hasReadingFamily() {
    return ReaderTypography::readingFontFamily() == u"Noto Sans CJK JP"_s;
}

#define SKIP_WITHOUT_READING_FAMILY()                                                           \
    if (!hasReadingFamily()) {                                                                  \
        GTEST_SKIP() << "Noto Sans CJK JP is not installed (scripts/install-deps installs it)"; \
    }

TEST(ReaderTypographyTest, ReadingFontIsTheJapaneseFamilyAtAWholePixelSize) {
    SKIP_WITHOUT_READING_FAMILY();
    const QFont font = ReaderTypography::readingFont(34);
    EXPECT_EQ(font.family(), u"Noto Sans CJK JP"_s);
    EXPECT_EQ(font.pixelSize(), 34);
    EXPECT_EQ(font.weight(), QFont::Medium);
    EXPECT_EQ(QFontInfo(font).family(), u"Noto Sans CJK JP"_s);

    EXPECT_EQ(ReaderTypography::readingFont(71.5).pixelSize(), 72);
    EXPECT_EQ(ReaderTypography::readingFont(0).pixelSize(), 1);
    EXPECT_EQ(ReaderTypography::readingFont(std::numeric_limits<double>::quiet_NaN()).pixelSize(), 34);
    EXPECT_EQ(ReaderTypography::readingFont(1e300).pixelSize(), 4096);
}

TEST(PhraseWidthMeasurerTest, ReferenceIsEightKanaOfOneEmEach) {
    SKIP_WITHOUT_READING_FAMILY();
    EXPECT_NEAR(PhraseWidthMeasurer::referenceWidth(), 8 * 34, 0.5);
    EXPECT_EQ(PhraseWidthMeasurer::referenceWidth(), PhraseWidthMeasurer::width(u"ああああああああ"));
    EXPECT_EQ(PhraseWidthMeasurer::width(u""), 0);
    // The same measure in another font scales with it.
    EXPECT_NEAR(PhraseWidthMeasurer::width(u"ああ", ReaderTypography::readingFont(72)), 144, 0.5);
}

TEST(PhraseWidthMeasurerTest, WorkerThreadsMeasureAsTheMainThreadDoes) {
    const std::vector<QString> phrases = {
        u"吾輩は猫である。"_s,
        u"名前はまだ無い。"_s,
        u"The quick brown fox jumps"_s,
        u"Qt 6.4で「RSVP」を読む、2024年"_s,
        u"👨‍👩‍👧 かﾞ e\u0301"_s,
    };
    std::vector<double> onMain;
    for (const QString& phrase : phrases) {
        onMain.push_back(PhraseWidthMeasurer::width(phrase));
    }
    const QFont large = ReaderTypography::readingFont(60);
    const double largeOnMain = PhraseWidthMeasurer::width(phrases[3], large);

    // Several threads at once, each many times, so that a font object shared between threads would show
    // as a wrong width or a crash (and as a report in the sanitized build).
    constexpr int kThreads = 4;
    std::vector<std::vector<double>> results(kThreads);
    std::vector<double> largeResults(kThreads);
    std::vector<std::unique_ptr<QThread>> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back(QThread::create([&, t] {
            for (int round = 0; round < 50; ++round) {
                results[t].clear();
                for (const QString& phrase : phrases) {
                    results[t].push_back(PhraseWidthMeasurer::width(phrase));
                }
                largeResults[t] = PhraseWidthMeasurer::width(phrases[3], large);
            }
        }));
        threads.back()->start();
    }
    for (auto& thread : threads) {
        thread->wait();
    }
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(results[t], onMain) << "thread " << t;
        EXPECT_EQ(largeResults[t], largeOnMain) << "thread " << t;
    }
}

TEST(PhraseWidthMeasurerTest, WidestCharacterTakesTheWidestAndCountsClustersAsOne) {
    SKIP_WITHOUT_READING_FAMILY();
    const QFont font = ReaderTypography::readingFont(34);
    const QFontMetricsF metrics(font);
    EXPECT_EQ(PhraseWidthMeasurer::widestCharacterWidth(u"", font), 0);
    // Kana ink lies inside its advance: the advance is the width.
    EXPECT_NEAR(PhraseWidthMeasurer::widestCharacterWidth(u"あああ", font), 34, 0.05);
    EXPECT_EQ(PhraseWidthMeasurer::widestCharacterWidth(u"iWi", font),
              PhraseWidthMeasurer::widestCharacterWidth(u"W", font));

    // A Character of several glyphs needs the room of all of them: the family below, which the font
    // may not join into one picture, is one Character and is never split over lines.
    const auto inkWidth = [&](const QString& text) {
        const QRectF ink = metrics.tightBoundingRect(text);
        return std::max(metrics.horizontalAdvance(text), ink.right()) - std::min(ink.left(), 0.0);
    };
    const QString family = u"👨\u200D👩\u200D👧"_s;
    EXPECT_EQ(PhraseWidthMeasurer::widestCharacterWidth(QString(u"x" + family + u"x"), font),
              std::max(inkWidth(u"x"_s), inkWidth(family)));
}

TEST(PhraseWidthMeasurerTest, CharactersWithoutInkNeedTheirAdvanceOnly) {
    SKIP_WITHOUT_READING_FAMILY();
    const QFont font = ReaderTypography::readingFont(34);
    const double kana = PhraseWidthMeasurer::widestCharacterWidth(u"あ", font);
    // Zero-width spaces, line breaks, lone combining marks and variation selectors have no ink; a tab
    // has an advance but no ink.
    EXPECT_EQ(PhraseWidthMeasurer::widestCharacterWidth(u"あ\u200Bあ\nあ\r\n\u3099\uFE0F\u00AD", font), kana);
    EXPECT_EQ(PhraseWidthMeasurer::widestCharacterWidth(u"\u200B", font), 0);
    EXPECT_EQ(PhraseWidthMeasurer::widestCharacterWidth(u"  ", font), QFontMetricsF(font).horizontalAdvance(u" "_s));
    EXPECT_EQ(PhraseWidthMeasurer::widestCharacterWidth(u"あ\tあ", font),
              std::max(kana, QFontMetricsF(font).horizontalAdvance(u"\t"_s)));
}

TEST(PhraseWidthMeasurerTest, InkOutsideTheAdvanceWidensTheCharacter) {
    SKIP_WITHOUT_READING_FAMILY();
    // An oblique face pushes the ink of an upright letter past its advance on the right.
    QFont slanted = ReaderTypography::readingFont(72);
    slanted.setStyle(QFont::StyleOblique);
    const QFontMetricsF metrics(slanted);
    const QRectF ink = metrics.tightBoundingRect(u"f"_s);
    const double advance = metrics.horizontalAdvance(u"f"_s);
    ASSERT_GT(ink.right(), advance) << "the oblique f should overhang its advance";
    EXPECT_DOUBLE_EQ(PhraseWidthMeasurer::widestCharacterWidth(u"f", slanted), ink.right() - std::min(ink.left(), 0.0));
}

}  // namespace
}  // namespace tavrine
