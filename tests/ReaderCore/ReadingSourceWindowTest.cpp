#include "ReaderCore/ReadingSourceWindow.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <functional>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Span = ReadingDocument::Span;

// A text of one-unit characters whose every unit tells its offset apart from its neighbours'.
QString plainText(qsizetype length) {
    QString text(length, Qt::Uninitialized);
    for (qsizetype i = 0; i < length; ++i) text[i] = QChar(static_cast<char16_t>(u'a' + i % 26));
    return text;
}

ReadingDocument documentOf(const QString& text, QList<Span> spans = {}) {
    return ReadingDocument{std::nullopt, text, std::move(spans)};
}

TEST(ReadingSourceWindow, TextsUpToTheLimitAreTheirOwnWindowWithTheirSections) {
    const ReadingDocument whole{
        QList<ReadingDocument::Section>{{u"a"_s, std::nullopt, 0, 12'000}, {u"b"_s, u"B"_s, 12'000, 20'000}},
        plainText(20'000),
        {{Span::Kind::strong, 5, 19'999, 2}}};
    const auto window = ReadingSourceWindow::around(whole, 15'000);
    EXPECT_EQ(window.document, whole);
    EXPECT_EQ(window.sourceRange, (TextRange{0, 20'000}));
    EXPECT_EQ(window.totalLength, 20'000);

    EXPECT_EQ(ReadingSourceWindow::around(ReadingDocument{}, 3).sourceRange, (TextRange{0, 0}));

    ReadingDocument cut = whole;
    cut.text.append(u'z');
    cut.sections->last().end = 20'001;
    const auto cutWindow = ReadingSourceWindow::around(cut, 15'000);
    EXPECT_EQ(cutWindow.sourceRange, (TextRange{10'904, 20'001}));
    EXPECT_FALSE(cutWindow.document.sections.has_value());
    EXPECT_EQ(cutWindow.totalLength, 20'001);
}

TEST(ReadingSourceWindow, CutsAroundTheStartMiddleAndEndWithoutSplittingACharacterSequence) {
    const auto plain = [](QString&) {};
    const struct {
        const char* what;
        qsizetype offset;
        TextRange expected;
        std::function<void(QString&)> edit;
    } cases[] = {
        {"the one-unit character at the nominal end is included", 10'000, {5'904, 18'193}, plain},
        {"starts at 0 and still reaches past 12,288", 100, {0, 12'289}, plain},
        {"a negative position is the first unit", -7, {0, 12'289}, plain},
        {"the lead reaches exactly the start", 4'096, {0, 12'289}, plain},
        {"one unit later", 4'097, {1, 12'290}, plain},
        {"not moved back: only the last 4,097 units", 49'999, {45'903, 50'000}, plain},
        {"past the end is the last unit", 70'000, {45'903, 50'000}, plain},
        {"the nominal end equals the length", 41'808, {37'712, 50'000}, plain},
        {"emoji across both nominal ends",
         10'000,
         {5'903, 18'193},
         [](QString& t) { t.replace(5'903, 2, u"\U0001F600"_s).replace(18'191, 2, u"\U0001F600"_s); }},
        {"an emoji that begins at the nominal end is whole",
         10'000,
         {5'904, 18'194},
         [](QString& t) { t.replace(18'192, 2, u"\U0001F600"_s); }},
        {"marks belong to the sequence before them, at both ends",
         10'000,
         {5'903, 18'194},
         [](QString& t) { t[5'904] = QChar(0x0301), t[18'192] = QChar(0x0301), t[18'193] = QChar(0x0308); }},
        {"a start at the first unit never moves", 0, {0, 12'289}, [](QString& t) { t.replace(0, 2, u"\U0001F600"_s); }},
    };
    for (const auto& c : cases) {
        QString text = plainText(50'000);
        c.edit(text);
        const auto window = ReadingSourceWindow::around(documentOf(text), c.offset);
        EXPECT_EQ(window.sourceRange, c.expected) << c.what;
        EXPECT_TRUE(window.document.text == text.mid(c.expected.lowerBound, c.expected.length())) << c.what;
        EXPECT_EQ(window.totalLength, 50'000);
        EXPECT_FALSE(window.document.sections.has_value());
    }
}

TEST(ReadingSourceWindow, ClipsAndShiftsTheSpansThatOverlapIt) {
    const ReadingDocument document = documentOf(plainText(50'000), {
                                                                       {Span::Kind::paragraph, 0, 50'000, 0},
                                                                       {Span::Kind::heading, 100, 5'904, 1},
                                                                       {Span::Kind::strong, 5'903, 5'905, 3},
                                                                       {Span::Kind::code, 9'000, 9'010, 0},
                                                                       {Span::Kind::emphasis, 18'192, 18'193, 0},
                                                                       {Span::Kind::quote, 18'193, 30'000, 0},
                                                                   });
    const auto window = ReadingSourceWindow::around(document, 10'000);  // 5904 ..< 18193
    const QList<Span> expected{
        {Span::Kind::paragraph, 0, 12'289, 0},
        {Span::Kind::strong, 0, 1, 3},
        {Span::Kind::code, 3'096, 3'106, 0},
        {Span::Kind::emphasis, 12'288, 12'289, 0},
    };
    EXPECT_EQ(window.document.spans, expected);
}

TEST(ReadingSourceWindow, LocalRangeClipsToTheWindow) {
    const auto window = ReadingSourceWindow::around(documentOf(plainText(50'000)), 10'000);  // 5904 ..< 18193
    EXPECT_EQ(window.localRange(std::nullopt), std::nullopt);
    EXPECT_EQ(window.localRange(TextRange{100, 5'904}), std::nullopt);      // ends where the window starts
    EXPECT_EQ(window.localRange(TextRange{7'000, 7'000}), std::nullopt);    // empty
    EXPECT_EQ(window.localRange(TextRange{18'193, 18'200}), std::nullopt);  // starts where it ends
    EXPECT_EQ(window.localRange(TextRange{7'000, 7'010}), (TextRange{1'096, 1'106}));
    EXPECT_EQ(window.localRange(TextRange{5'000, 5'910}), (TextRange{0, 6}));
    EXPECT_EQ(window.localRange(TextRange{18'190, 19'000}), (TextRange{12'286, 12'289}));

    const auto whole = ReadingSourceWindow::around(documentOf(u"short"_s), 2);
    EXPECT_EQ(whole.localRange(TextRange{1, 3}), (TextRange{1, 3}));
}

}  // namespace
}  // namespace tavrine
