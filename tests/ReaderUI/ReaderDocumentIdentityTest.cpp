#include "ReaderUI/Workspace/ReaderDocumentIdentity.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Span = ReadingDocument::Span;

SavedReading reading(const QString& text, std::optional<QString> title = std::nullopt, QList<Span> spans = {}) {
    SavedReading result;
    result.id = QUuid::createUuid();
    result.document.text = text;
    result.document.spans = std::move(spans);
    result.title = std::move(title);
    return result;
}

Span heading(qsizetype start, qsizetype end) {
    return {Span::Kind::heading, start, end, 1};
}

QString repeated(const QString& piece, qsizetype count) {
    return piece.repeated(count);
}

// "が" as a base letter and a combining voiced mark: one Character of two units.
const QString kComposed = u"か\u3099"_s;
// A family of four: one Character of eleven units.
const QString kFamily = u"👨\u200D👩\u200D👧\u200D👦"_s;

TEST(ReaderDocumentIdentity, TheStoredTitleWinsTrimmedAndUncutUnlessItIsBlank) {
    EXPECT_EQ(ReaderDocumentIdentity::title(reading(u"本文"_s, u" \t草枕\u3000\n"_s)), u"草枕"_s);
    const QString longTitle = repeated(u"あ"_s, 1000);
    EXPECT_EQ(ReaderDocumentIdentity::title(reading(u"本文"_s, longTitle)), longTitle);
    // Blank, and the heading rule follows; inner white space of what is kept stays.
    EXPECT_EQ(ReaderDocumentIdentity::title(reading(u"  見出し  本文\n"_s, u" \n\u2029 "_s, {heading(0, 8)})),
              u"見出し  本"_s);
}

TEST(ReaderDocumentIdentity, HeadingsAreTriedInTextOrderAndBlankOnesAreSkipped) {
    const QString text = u"序 \n  二章\n一章\n本文"_s;
    // Stored out of order: the earliest non-blank start wins, the blank heading at 1 is passed over.
    EXPECT_EQ(
        ReaderDocumentIdentity::title(reading(text, std::nullopt, {heading(9, 11), heading(3, 8), heading(1, 3)})),
        u"二章"_s);
    // Equal starts keep their stored order; paragraphs never count.
    EXPECT_EQ(ReaderDocumentIdentity::title(reading(text, std::nullopt, {heading(3, 6), heading(3, 8)})), u"二"_s);
    EXPECT_EQ(ReaderDocumentIdentity::title(reading(text, std::nullopt, {{Span::Kind::paragraph, 9, 11, 0}})), u"序"_s);
}

TEST(ReaderDocumentIdentity, AHeadingRangeOutsideTheTextIsClippedToIt) {
    const QString text = u"見出しの文"_s;
    EXPECT_EQ(ReaderDocumentIdentity::title(reading(text, std::nullopt, {heading(3, 400)})), u"の文"_s);
    EXPECT_EQ(ReaderDocumentIdentity::title(reading(text, std::nullopt, {heading(-5, 2)})), u"見出"_s);
    // Past the end, or reversed: empty, so the first line names the reading.
    EXPECT_EQ(ReaderDocumentIdentity::title(reading(text, std::nullopt, {heading(50, 60), heading(4, 1)})), text);
}

TEST(ReaderDocumentIdentity, HeadingsAndLinesAreCutAtWholeCharacters) {
    // 299 plain Characters and then a composed one: the 300th Character is kept whole, the next dropped.
    const QString headingText = repeated(u"章"_s, 299) + kComposed + kFamily;
    const SavedReading byHeading = reading(headingText + u"\n"_s, std::nullopt, {heading(0, headingText.size())});
    EXPECT_EQ(ReaderDocumentIdentity::title(byHeading), repeated(u"章"_s, 299) + kComposed);

    const QString line = repeated(u"行"_s, 99) + kFamily + repeated(u"x"_s, 50);
    EXPECT_EQ(ReaderDocumentIdentity::title(reading(line)), repeated(u"行"_s, 99) + kFamily);
    // The cut counts the trimmed line.
    EXPECT_EQ(ReaderDocumentIdentity::title(reading(u"   "_s + repeated(u"a"_s, 150))), repeated(u"a"_s, 100));
}

TEST(ReaderDocumentIdentity, TheFirstLineIsLookedForOnlyWithinTheFirst512Characters) {
    EXPECT_EQ(ReaderDocumentIdentity::title(reading(u"\n\n   最初の行です  \n二行目"_s)), u"最初の行です"_s);
    // CR LF, a lone CR, a paragraph separator and NEL all end lines.
    EXPECT_EQ(ReaderDocumentIdentity::title(reading(u"\r\n \r\u2029\u0085 語 \r\n次"_s)), u"語"_s);
    EXPECT_EQ(ReaderDocumentIdentity::title(reading(u"前\u2028後"_s)), u"前"_s);

    // The window is cut before the split: 511 line breaks leave one Character of the word.
    EXPECT_EQ(ReaderDocumentIdentity::title(reading(repeated(u"\n"_s, 511) + u"言葉"_s)), u"言"_s);
    EXPECT_EQ(ReaderDocumentIdentity::title(reading(repeated(u"\n"_s, 600) + u"言葉"_s)), u"無題の文書"_s);
    // CR LF is one Character: 300 of them fill 600 units but only 300 of the 512 Characters.
    EXPECT_EQ(ReaderDocumentIdentity::title(reading(repeated(u"\r\n"_s, 300) + u"言葉"_s)), u"言葉"_s);
    EXPECT_EQ(ReaderDocumentIdentity::title(reading(repeated(u" "_s, 512) + u"言葉"_s)), u"無題の文書"_s);
    // A first line longer than the window is cut at 512, then at 100.
    EXPECT_EQ(ReaderDocumentIdentity::title(reading(repeated(u"b"_s, 2000))), repeated(u"b"_s, 100));
}

TEST(ReaderDocumentIdentity, NothingToNameAReadingByGivesTheUntitledName) {
    EXPECT_EQ(ReaderDocumentIdentity::title(reading(QString())), u"無題の文書"_s);
    EXPECT_EQ(ReaderDocumentIdentity::title(reading(u" \t\n\u3000"_s, u"  "_s, {heading(0, 3)})), u"無題の文書"_s);
    EXPECT_EQ(ReaderDocumentIdentity::untitled(), u"無題の文書"_s);
}

// Titles and chapter names are trimmed of general category Z, tab, U+000A to U+000D and U+0085, and of
// nothing else: QString::trimmed, which every trim of the workspace uses, removes exactly that set.
TEST(ReaderDocumentIdentity, TrimmingRemovesExactlyTheUnicodeWhiteSpaceAndLineBreakSet) {
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        const auto category = QChar::category(c);
        const bool inSet = category == QChar::Separator_Space || category == QChar::Separator_Line ||
                           category == QChar::Separator_Paragraph || c == 0x09 || (c >= 0x0A && c <= 0x0D) || c == 0x85;
        ASSERT_EQ(QStringView(QChar::fromUcs4(c)).toString().trimmed().isEmpty(), inSet)
            << std::hex << static_cast<quint32>(c);
    }
}

}  // namespace
}  // namespace tavrine
