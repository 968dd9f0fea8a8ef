#include "ReaderText/MarkdownReader.h"
#include "ReaderText/internal/MarkdownChecks.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Failure = MarkdownReader::Failure;
using Kind = ReadingDocument::Span::Kind;
using Span = ReadingDocument::Span;

MarkdownReader::Result read(const QString& markdown, const CancellationToken& token = CancellationToken::none()) {
    return MarkdownReader::read(markdown, token);
}

std::optional<Failure> failureOf(const MarkdownReader::Result& result) {
    return result ? std::nullopt : std::optional(result.error());
}

struct Case {
    const char* markdown;
    QString text;
    QList<Span> spans;  // in the order their elements finish
};

void expectConverted(const Case& c, MarkdownReader::LineEnds lineEnds = MarkdownReader::LineEnds::joined) {
    const QString markdown = QString::fromUtf8(c.markdown);
    const auto document = MarkdownReader::readWithLineEnds(markdown, lineEnds);
    ASSERT_TRUE(document) << c.markdown << " failed with " << int(document.error());
    EXPECT_EQ(document->text, c.text) << c.markdown;
    EXPECT_EQ(document->spans, c.spans) << c.markdown;
    EXPECT_EQ(document->sections, std::nullopt);
}

TEST(MarkdownReader, BlocksEachEndTheirLineAndSpanIt) {
    const Case cases[] = {
        {"Hello *world*", u"Hello world"_s, {{Kind::emphasis, 6, 11, 0}, {Kind::paragraph, 0, 11, 0}}},
        // ATX and setext headings; a soft break in English is a space.
        {"# Title\n\nFirst\nline.\n\nSub\n---\n\n###### six",
         u"Title\nFirst line.\nSub\nsix"_s,
         {{Kind::heading, 0, 6, 1},
          {Kind::paragraph, 6, 18, 0},
          {Kind::heading, 18, 22, 2},
          {Kind::heading, 22, 25, 6}}},
        // A quote's level is its depth.
        {"> a\n>\n> > b\n\nc",
         u"a\nb\nc"_s,
         {{Kind::paragraph, 0, 2, 0},
          {Kind::paragraph, 2, 4, 0},
          {Kind::quote, 2, 4, 2},
          {Kind::quote, 0, 4, 1},
          {Kind::paragraph, 4, 5, 0}}},
        // Code lines verbatim, the info string hidden, fenced or indented.
        {"```js title\nlet x  = 1;\n\n  indented\n```\n\n    four\n    spaces\n\nafter",
         u"let x  = 1;\n\n  indented\nfour\nspaces\nafter"_s,
         {{Kind::codeBlock, 0, 24, 0}, {Kind::codeBlock, 24, 36, 0}, {Kind::paragraph, 36, 41, 0}}},
        // Items numbered from the list's start, not indented; the level is the list's depth.
        {"3. one\n4. two\n   - inner\n     - deeper\n\ntext",
         u"3. one\n4. two\n• inner\n• deeper\ntext"_s,
         {{Kind::listItem, 0, 7, 1},
          {Kind::listItem, 22, 31, 3},
          {Kind::listItem, 14, 31, 2},
          {Kind::listItem, 7, 31, 1},
          {Kind::paragraph, 31, 35, 0}}},
        // The first block of an item shares the marker's line; ")" lists read "n. " too.
        {"- a\n\n  b\n- c\n\n1) # Head",
         u"• a\nb\n• c\n1. Head"_s,
         {{Kind::paragraph, 2, 4, 0},
          {Kind::paragraph, 4, 6, 0},
          {Kind::listItem, 0, 6, 1},
          {Kind::paragraph, 8, 10, 0},
          {Kind::listItem, 6, 10, 1},
          {Kind::heading, 13, 17, 1},
          {Kind::listItem, 10, 17, 1}}},
        // Task boxes are not shown.
        {"- [x] done\n- [ ] todo", u"• done\n• todo"_s, {{Kind::listItem, 0, 7, 1}, {Kind::listItem, 7, 13, 1}}},
        // A thematic break only ends a line.
        {"a\n\n---\n\nb\n***\n- c",
         u"a\nb\n• c"_s,
         {{Kind::paragraph, 0, 2, 0}, {Kind::paragraph, 2, 4, 0}, {Kind::listItem, 4, 7, 1}}},
        // Raw HTML, inline or as a block, is left out; the text inside inline tags stays.
        {"a <b>bold</b> c\n\n<div>\nblock\n</div>\n\nz",
         u"a bold c\nz"_s,
         {{Kind::paragraph, 0, 9, 0}, {Kind::paragraph, 9, 10, 0}}},
        // Line feeds at the end are dropped and the spans cut with them.
        {"```\ncode\n\n\n```", u"code"_s, {{Kind::codeBlock, 0, 4, 0}}},
        // CR LF line ends, also in a code block.
        {"# T\r\n\r\none\r\ntwo  \r\nthree\r\n\r\n```\r\nx\r\n```\r\n",
         u"T\none two\nthree\nx"_s,
         {{Kind::heading, 0, 2, 1}, {Kind::paragraph, 2, 16, 0}, {Kind::codeBlock, 16, 17, 0}}},
    };
    for (const Case& c : cases) expectConverted(c);
}

// Loose lists put each block of an item in a paragraph, as DocBook and Sphinx do in HTML.
TEST(MarkdownReader, AnItemsFirstBlockSharesItsMarkersLine) {
    const Case cases[] = {
        {"- first item\n\n- two",
         u"• first item\n• two"_s,
         {{Kind::paragraph, 2, 13, 0},
          {Kind::listItem, 0, 13, 1},
          {Kind::paragraph, 15, 18, 0},
          {Kind::listItem, 13, 18, 1}}},
        // A paragraph then a nested list, whose item goes on a line of its own.
        {"- first\n\n  - inner",
         u"• first\n• inner"_s,
         {{Kind::paragraph, 2, 8, 0}, {Kind::listItem, 8, 15, 2}, {Kind::listItem, 0, 15, 1}}},
        // Only the first block shares the line.
        {"3. one\n\n   more",
         u"3. one\nmore"_s,
         {{Kind::paragraph, 3, 7, 0}, {Kind::paragraph, 7, 11, 0}, {Kind::listItem, 0, 11, 1}}},
        // A list as the first block puts its first marker on the outer marker's line.
        {"- 1. x\n  2. y",
         u"• 1. x\n2. y"_s,
         {{Kind::listItem, 2, 7, 2}, {Kind::listItem, 7, 11, 2}, {Kind::listItem, 0, 11, 1}}},
        // A first block that shows nothing ends no line: the next block takes the marker's line.
        {"- [](u)\n\n  y", u"• y"_s, {{Kind::paragraph, 2, 3, 0}, {Kind::listItem, 0, 3, 1}}},
        {"- <!-- note -->\n\n  y", u"• y"_s, {{Kind::paragraph, 2, 3, 0}, {Kind::listItem, 0, 3, 1}}},
        // A soft break after what shows nothing adds no second space after the marker.
        {"- [](u)\n  *x*", u"• x"_s, {{Kind::emphasis, 2, 3, 0}, {Kind::listItem, 0, 3, 1}}},
    };
    for (const Case& c : cases) expectConverted(c);
}

TEST(MarkdownReader, ALineThatEndsRightAfterAMarkerLosesTheMarkersSpace) {
    const Case cases[] = {
        // Empty items, the last one at the very end of the text.
        {"-\n- b\n-",
         u"•\n• b\n•"_s,
         {{Kind::listItem, 0, 2, 1}, {Kind::listItem, 2, 6, 1}, {Kind::listItem, 6, 7, 1}}},
        {"1. a\n2.\n3. c",
         u"1. a\n2.\n3. c"_s,
         {{Kind::listItem, 0, 5, 1}, {Kind::listItem, 5, 8, 1}, {Kind::listItem, 8, 12, 1}}},
        // An empty item inside an item: only the inner marker's space goes.
        {"- -\n- b", u"• •\n• b"_s, {{Kind::listItem, 2, 4, 2}, {Kind::listItem, 0, 4, 1}, {Kind::listItem, 4, 7, 1}}},
        // An item of nothing a reader sees.
        {"- <!-- note -->\n- b", u"•\n• b"_s, {{Kind::listItem, 0, 2, 1}, {Kind::listItem, 2, 5, 1}}},
        // A hard break right after the marker ends the marker's line; spans opened after the marker
        // begin after it.
        {"- \\\n  x\n- y", u"•\nx\n• y"_s, {{Kind::listItem, 0, 4, 1}, {Kind::listItem, 4, 7, 1}}},
        {"- *\\\n  x*\n\n- y",
         u"•\nx\n• y"_s,
         {{Kind::emphasis, 2, 3, 0},
          {Kind::paragraph, 2, 4, 0},
          {Kind::listItem, 0, 4, 1},
          {Kind::paragraph, 6, 7, 0},
          {Kind::listItem, 4, 7, 1}}},
        // A code block whose first line is empty: its span begins after the marker's line.
        {"- ```\n\n  z\n  ```", u"•\nz"_s, {{Kind::codeBlock, 2, 3, 0}, {Kind::listItem, 0, 3, 1}}},
        // A thematic break too.
        {"- ***\n- y", u"•\n• y"_s, {{Kind::listItem, 0, 2, 1}, {Kind::listItem, 2, 5, 1}}},
        // An empty first cell: its span, and the table's, take the line feed.
        {"- | | b |\n  |---|---|\n  | 1 | 2 |",
         u"•\nb\n1\n2"_s,
         {{Kind::tableHeader, 1, 2, 0},
          {Kind::tableHeader, 2, 4, 0},
          {Kind::tableCell, 4, 6, 0},
          {Kind::tableCell, 6, 7, 0},
          {Kind::table, 1, 7, 2},
          {Kind::listItem, 0, 7, 1}}},
    };
    for (const Case& c : cases) expectConverted(c);
}

TEST(MarkdownReader, TablesAreOneLinePerCellEveryRowAsWideAsTheHeader) {
    const Case cases[] = {
        // A missing cell is an empty line, a cell beyond the header's is dropped.
        {"| A | B |\n|---|:-:|\n| 1 |\n| 2 | 3 | 4 |\n\nnext",
         u"A\nB\n1\n\n2\n3\nnext"_s,
         {{Kind::tableHeader, 0, 2, 0},
          {Kind::tableHeader, 2, 4, 0},
          {Kind::tableCell, 4, 6, 0},
          {Kind::tableCell, 6, 7, 0},
          {Kind::tableCell, 7, 9, 0},
          {Kind::tableCell, 9, 11, 0},
          {Kind::table, 0, 11, 2},
          {Kind::paragraph, 11, 15, 0}}},
        // The line feeds at the very end go: an empty last cell loses its span, the cells and the table are cut.
        {"|a|b|\n|---|---|\n|1|",
         u"a\nb\n1"_s,
         {{Kind::tableHeader, 0, 2, 0},
          {Kind::tableHeader, 2, 4, 0},
          {Kind::tableCell, 4, 5, 0},
          {Kind::table, 0, 5, 2}}},
    };
    for (const Case& c : cases) expectConverted(c);
}

TEST(MarkdownReader, InlineMarksImagesAndReferences) {
    const Case cases[] = {
        // Strikethrough and links give their text, an autolink its address; no link target is shown.
        {"**bold** _em_ `code  x` ~~gone~~ [link](http://l \"t\") <http://a.b> www.c.org\n\n[ref][r]\n\n[r]: http://r",
         u"bold em code  x gone link http://a.b www.c.org\nref"_s,
         {{Kind::strong, 0, 4, 0},
          {Kind::emphasis, 5, 7, 0},
          {Kind::code, 8, 15, 0},
          {Kind::paragraph, 0, 47, 0},
          {Kind::paragraph, 47, 50, 0}}},
        // An image is a placeholder with its alternative text, marks and nested images flattened into it.
        {"![](x) ![  ](x) ![Alt *em*](y) ![a ![b](z) c](w) *![i](x)*",
         u"［画像］ ［画像］ ［画像：Alt em］ ［画像：a b c］ ［画像：i］"_s,
         {{Kind::emphasis, 33, 39, 0}, {Kind::paragraph, 0, 39, 0}}},
        {"&amp; &lt;&gt;&quot;&apos; &copy; &hellip; &#65;&#x1F600; &#0; &bogus; &AMP;",
         u"& <>\"' \u00A9 \u2026 A😀 \uFFFD &bogus; &AMP;"_s,
         {{Kind::paragraph, 0, 30, 0}}},
        // Supplementary-plane characters and combining marks inside the marks.
        {"*😀e\u0301* **𠮷**野家 e*\u0301x*",
         u"😀e\u0301 𠮷野家 e\u0301x"_s,
         {{Kind::emphasis, 0, 4, 0},
          {Kind::strong, 5, 7, 0},
          {Kind::emphasis, 11, 13, 0},
          {Kind::paragraph, 0, 13, 0}}},
    };
    for (const Case& c : cases) expectConverted(c);

    const auto withNull = read(u"a\0b"_s);
    ASSERT_TRUE(withNull);
    EXPECT_EQ(withNull->text, u"a\uFFFDb"_s);
}

TEST(MarkdownReader, ASoftBreakVanishesBetweenWideCharactersOtherThanHangul) {
    const Case cases[] = {
        {"日本\n語と\n漢字", u"日本語と漢字"_s, {{Kind::paragraph, 0, 6, 0}}},
        {"全角\n（括弧）", u"全角（括弧）"_s, {{Kind::paragraph, 0, 6, 0}}},
        {"ｱｲ\nｳ", u"ｱｲｳ"_s, {{Kind::paragraph, 0, 3, 0}}},  // halfwidth
        {"한국\n어", u"한국 어"_s, {{Kind::paragraph, 0, 4, 0}}},
        {"日本\nabc", u"日本 abc"_s, {{Kind::paragraph, 0, 6, 0}}},
        // The space stays outside a mark that opens after the break.
        {"a\n*b*", u"a b"_s, {{Kind::emphasis, 2, 3, 0}, {Kind::paragraph, 0, 3, 0}}},
        {"日本\n*語*", u"日本語"_s, {{Kind::emphasis, 2, 3, 0}, {Kind::paragraph, 0, 3, 0}}},
        // Left-out HTML does not stand between the two sides.
        {"日本\n<b>語</b>", u"日本語"_s, {{Kind::paragraph, 0, 3, 0}}},
        {"日本\n![](x)", u"日本［画像］"_s, {{Kind::paragraph, 0, 6, 0}}},
        // A break held in a paragraph that shows nothing ends with it.
        {"a\n\n<b></b>\n<i>\n\nnext", u"a\nnext"_s, {{Kind::paragraph, 0, 2, 0}, {Kind::paragraph, 2, 6, 0}}},
        // A hard break is a line feed; a soft break after it gives no space at the line's start.
        {"line  \nnext\\\nlast", u"line\nnext\nlast"_s, {{Kind::paragraph, 0, 14, 0}}},
        {"a  \n[](u)\nb", u"a\nb"_s, {{Kind::paragraph, 0, 3, 0}}},
    };
    for (const Case& c : cases) expectConverted(c);
}

// A text captured as it shows keeps every line end it has, between Japanese characters too: a heading stays
// apart from the sentence after it and a terminal's lines stay lines. Blank lines still part paragraphs and
// what Markdown marks is read as ever; a file wrapped by hand, read as a file, still joins its lines.
TEST(MarkdownReader, ACapturedTextKeepsItsLineEndsWhereAFileJoinsThem) {
    const Case captured[] = {
        {"第二章　旅立ち\n朝早く、彼は家を出た。\n\n駅までは歩いて十分だった。",
         u"第二章　旅立ち\n朝早く、彼は家を出た。\n駅までは歩いて十分だった。"_s,
         {{Kind::paragraph, 0, 20, 0}, {Kind::paragraph, 20, 33, 0}}},
        {"第一章\n吾輩は猫である。\nabc\nde", u"第一章\n吾輩は猫である。\nabc\nde"_s, {{Kind::paragraph, 0, 19, 0}}},
        // Marks, headings and list items are Markdown's; a line end inside an item or a mark stays.
        {"# 見出し\n本文\n- 一つ\n  続き\n- *強\n調*",
         u"見出し\n本文\n• 一つ\n続き\n• 強\n調"_s,
         {{Kind::heading, 0, 4, 1},
          {Kind::paragraph, 4, 7, 0},
          {Kind::listItem, 7, 15, 1},
          {Kind::emphasis, 17, 20, 0},
          {Kind::listItem, 15, 20, 1}}},
    };
    for (const Case& c : captured) expectConverted(c, MarkdownReader::LineEnds::kept);

    const QString wrapped =
        u"吾輩は猫である。名前はまだ無い。\nどこで生れたかとんと見当がつかぬ。\n何でも薄暗い所で泣いていた。"_s;
    const auto file = read(wrapped);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->text, QString(wrapped).remove(u'\n'));
    EXPECT_EQ(file->spans, (QList<Span>{{Kind::paragraph, 0, qsizetype(file->text.size()), 0}}));
}

// Where a wrap is joined, the marks across it and after it move back with the text; kept, every line stays.
// (ParagraphWrapsTest holds which line ends are wraps.)
TEST(MarkdownReader, AWrappedParagraphReadsWholeWithItsMarks) {
    const QString wrapped =
        u"吾輩は猫である。名前はまだ無い。どこで生れたかとんと**見当が\n"
        u"つかぬ**。何でも薄暗いじめじめした所でいつもニャーニャー泣い\nていた事だけは記憶している。*以上*"_s;
    const auto document = MarkdownReader::readWithLineEnds(wrapped, MarkdownReader::LineEnds::unwrapped);
    ASSERT_TRUE(document);
    EXPECT_EQ(document->text,
              u"吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。何でも薄暗いじめじめした所で"
              u"いつもニャーニャー泣いていた事だけは記憶している。以上"_s);
    EXPECT_EQ(document->spans,
              (QList<Span>{{Kind::strong, 26, 32, 0}, {Kind::emphasis, 72, 74, 0}, {Kind::paragraph, 0, 74, 0}}));
    const auto kept = MarkdownReader::readKeepingLineEnds(wrapped);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->text, QString(wrapped).remove(u"*"_s));

    // Quoted with "＞" on every line: the marks the joined lines repeat vanish with their line ends.
    const auto quoted = MarkdownReader::readWithLineEnds(u"＞"_s + QString(wrapped).replace(u"\n"_s, u"\n＞"_s),
                                                         MarkdownReader::LineEnds::unwrapped);
    ASSERT_TRUE(quoted);
    EXPECT_EQ(quoted->text, u"＞"_s + document->text);
    EXPECT_EQ(quoted->spans,
              (QList<Span>{{Kind::strong, 27, 33, 0}, {Kind::emphasis, 73, 75, 0}, {Kind::paragraph, 0, 75, 0}}));
}

QString repeated(const QString& piece, qsizetype count) {
    return piece.repeated(count);
}

TEST(MarkdownReader, LimitsAndChecksInTheirOrder) {
    // 20,000 units convert, also as a plain paragraph whose closing line feed would make 20,001.
    const auto longest = read(repeated(u"a"_s, 20'000));
    ASSERT_TRUE(longest);
    EXPECT_EQ(longest->text.size(), 20'000);
    EXPECT_EQ(longest->spans, (QList<Span>{{Kind::paragraph, 0, 20'000, 0}}));
    EXPECT_TRUE(read(repeated(u"😀"_s, 10'000)));
    EXPECT_EQ(failureOf(read(repeated(u"a"_s, 20'001))), Failure::tooLong);
    EXPECT_EQ(failureOf(read(repeated(u"😀"_s, 10'000) + u"a"_s)), Failure::tooLong);
    // Measured before conversion, though this one would convert to one character.
    EXPECT_EQ(failureOf(read(u"[a]("_s + repeated(u"x"_s, 19'996) + u")"_s)), Failure::tooLong);

    EXPECT_EQ(failureOf(read(u" \t\n\r\n\u3000\u00A0"_s)), Failure::empty);
    EXPECT_EQ(failureOf(read(QString())), Failure::empty);
    EXPECT_EQ(failureOf(read(u"<!-- only a note -->\n"_s)), Failure::empty);

    // Placeholders push the converted text past the limit though the input is within it.
    const QString images = repeated(u"![a] "_s, 3'900) + u"\n\n[a]: x"_s;
    ASSERT_LE(images.size(), 20'000);
    EXPECT_EQ(failureOf(read(images)), Failure::tooLong);
    const auto converted = MarkdownReader::convert(images.toUtf8());
    ASSERT_TRUE(converted);
    EXPECT_GT(converted->text.size(), 20'000);
    EXPECT_TRUE(converted->isValid());
}

TEST(MarkdownReader, NestingAndTableWidthStopAtOneHundred) {
    const auto quotes = read(repeated(u"> "_s, 100) + u"x"_s);
    ASSERT_TRUE(quotes);
    EXPECT_EQ(quotes->spans.size(), 101);
    EXPECT_EQ(quotes->spans[1], (Span{Kind::quote, 0, 1, 100}));
    EXPECT_EQ(quotes->spans.back(), (Span{Kind::quote, 0, 1, 1}));
    EXPECT_EQ(failureOf(read(repeated(u"> "_s, 101) + u"x"_s)), Failure::tooComplex);

    const auto lists = read(repeated(u"- "_s, 100) + u"x"_s);
    ASSERT_TRUE(lists);
    EXPECT_EQ(lists->text, repeated(u"• "_s, 100) + u"x"_s);
    EXPECT_EQ(lists->spans.front(), (Span{Kind::listItem, 198, 201, 100}));
    EXPECT_EQ(failureOf(read(repeated(u"- "_s, 101) + u"x"_s)), Failure::tooComplex);
    // Quotes and lists count together.
    EXPECT_EQ(failureOf(read(repeated(u"> "_s, 50) + repeated(u"- "_s, 51) + u"x"_s)), Failure::tooComplex);

    const auto table = [](int columns) {
        return read(repeated(u"|a"_s, columns) + u"|\n"_s + repeated(u"|---"_s, columns) + u"|\n"_s);
    };
    const auto widest = table(100);
    ASSERT_TRUE(widest);
    EXPECT_EQ(widest->spans.back(), (Span{Kind::table, 0, 199, 100}));
    EXPECT_EQ(failureOf(table(101)), Failure::tooComplex);
}

TEST(MarkdownReader, CancellationIsCheckedBeforeAndAfterTheConversion) {
    CancellationToken cancelled;
    cancelled.cancel();
    EXPECT_EQ(failureOf(read(u"text"_s, cancelled)), Failure::cancelled);
    // The limits come first.
    EXPECT_EQ(failureOf(read(repeated(u"a"_s, 20'001), cancelled)), Failure::tooLong);
    EXPECT_EQ(failureOf(read(u"  "_s, cancelled)), Failure::empty);

    // Cancelled while converting: the outcome of the conversion, whatever it is, is dropped.
    for (const MarkdownReader::Result& outcome : {MarkdownReader::Result(ReadingDocument{std::nullopt, u"text"_s, {}}),
                                                  MarkdownReader::Result(tl::unexpected(Failure::tooComplex))}) {
        CancellationToken token;
        const auto result = internal::readMarkdownWith(u"text"_s, token, [&](QByteArrayView) {
            token.cancel();
            return outcome;
        });
        EXPECT_EQ(failureOf(result), Failure::cancelled);
    }
}

TEST(MarkdownReader, TheConvertedDocumentIsCheckedForValidityThenLengthThenBlankness) {
    const auto readConverted = [](ReadingDocument document) {
        return failureOf(internal::readMarkdownWith(u"text"_s, CancellationToken::none(),
                                                    [&](QByteArrayView) { return MarkdownReader::Result(document); }));
    };
    const QString tooLong = repeated(u"a"_s, 20'001);
    // A span past the end of a text that is also too long: invalid wins.
    EXPECT_EQ(readConverted({std::nullopt, tooLong, {{Kind::paragraph, 0, 20'002, 0}}}), Failure::unreadable);
    EXPECT_EQ(readConverted({std::nullopt, tooLong, {}}), Failure::tooLong);
    EXPECT_EQ(readConverted({std::nullopt, u" \n"_s, {{Kind::paragraph, 0, 2, 0}}}), Failure::empty);
    EXPECT_EQ(readConverted({std::nullopt, u"text"_s, {}}), std::nullopt);
    EXPECT_EQ(failureOf(internal::readMarkdownWith(
                  u"text"_s, CancellationToken::none(),
                  [](QByteArrayView) { return MarkdownReader::Result(tl::unexpected(Failure::unreadable)); })),
              Failure::unreadable);
}

// The text a stand-in parser reports inside one paragraph, as an offset from the input it is handed and a
// size (a constant of its own when the offset is absent).
struct ReportedText {
    std::optional<qint64> offset;
    MD_SIZE size;
};
ReportedText g_reported;

int reportingParse(const MD_CHAR* input, MD_SIZE, const MD_PARSER* parser, void* data) {
    static const char kIndentation[] = "    ";
    const MD_CHAR* text = g_reported.offset ? input + *g_reported.offset : kIndentation;
    if (parser->enter_block(MD_BLOCK_DOC, nullptr, data) != 0 || parser->enter_block(MD_BLOCK_P, nullptr, data) != 0 ||
        parser->text(MD_TEXT_NORMAL, text, g_reported.size, data) != 0) {
        return 1;
    }
    parser->leave_block(MD_BLOCK_P, nullptr, data);
    return parser->leave_block(MD_BLOCK_DOC, nullptr, data);
}

// The parser is trusted with no size: a text that reaches past the input, or starts past it, is refused
// before it is read; the input's own bytes and the parser's short constants are taken.
TEST(MarkdownReader, AParserTextBeyondTheInputIsUnreadable) {
    const auto convertedText = [](ReportedText reported) -> std::optional<QString> {
        g_reported = reported;
        const auto document = internal::convertMarkdownWith("0123456789", &reportingParse);
        if (!document) return std::nullopt;
        return document->text;
    };
    EXPECT_EQ(convertedText({0, 10}), u"0123456789"_s);
    EXPECT_EQ(convertedText({4, 6}), u"456789"_s);
    EXPECT_EQ(convertedText({std::nullopt, 4}), u"    "_s);
    EXPECT_EQ(convertedText({std::nullopt, 0}), u""_s);
    EXPECT_EQ(convertedText({0, 11}), std::nullopt);
    EXPECT_EQ(convertedText({4, 0xFFFFFFFF}), std::nullopt);
    EXPECT_EQ(convertedText({10, 1}), std::nullopt);
    EXPECT_EQ(convertedText({11, 1}), std::nullopt);
    EXPECT_EQ(convertedText({-1, 2}), std::nullopt);
    EXPECT_EQ(convertedText({std::nullopt, MarkdownReader::kMaximumLength}), std::nullopt);
    g_reported = {0, 11};
    EXPECT_EQ(failureOf(internal::convertMarkdownWith("0123456789", &reportingParse)), Failure::unreadable);
}

// Random mixtures of Markdown syntax, wide and narrow text, surrogate pairs, combining marks, references
// and HTML: the converter itself must never produce an invalid document.
TEST(MarkdownReader, RandomMarkdownAlwaysConvertsToAValidDocument) {
    const QString pieces[] = {
        u"# "_s,   u"> "_s,      u"- "_s,     u"1. "_s,       u"* "_s,   u"  "_s,         u"    "_s,    u"\n"_s,
        u"\r\n"_s, u"\n\n"_s,    u"*"_s,      u"**"_s,        u"_"_s,    u"`"_s,          u"```"_s,     u"~~"_s,
        u"["_s,    u"]"_s,       u"]("_s,     u")"_s,         u"!["_s,   u"<http://a>"_s, u"www.b.c"_s, u"|"_s,
        u"|---"_s, u"- [x] "_s,  u"&amp;"_s,  u"&#x1F600;"_s, u"&#0;"_s, u"&nbsp"_s,      u"<b>"_s,     u"</b>"_s,
        u"<!--"_s, u"-->"_s,     u"\\"_s,     u"---"_s,       u"==="_s,  u"word"_s,       u"日本語"_s,  u"한국"_s,
        u"😀"_s,    u"e\u0301"_s, u"\u0301"_s, u"ｱ"_s,         u"（"_s,   u"\t"_s,         u" "_s,       u"\0"_s,
    };
    // A line long enough to be joined to the next where lines are unwrapped.
    const QString longLine = u"a line that is long enough to wrap a paragraph, "_s;
    std::uint32_t state = 20'240'601;
    const auto next = [&state] {
        state = state * 1'664'525u + 1'013'904'223u;
        return state >> 8;
    };
    for (int round = 0; round < 3'000; ++round) {
        QString markdown;
        const std::uint32_t count = 1 + next() % 60;
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint32_t piece = next() % (std::size(pieces) + 1);
            markdown += piece < std::size(pieces) ? pieces[piece] : longLine;
        }
        for (const auto lineEnds : {MarkdownReader::LineEnds::joined, MarkdownReader::LineEnds::unwrapped}) {
            const auto document = MarkdownReader::convert(markdown.toUtf8(), lineEnds);
            ASSERT_TRUE(document) << markdown;
            ASSERT_TRUE(document->isValid()) << markdown;
            EXPECT_FALSE(document->text.endsWith(u'\n')) << markdown;
            // No line ends in a bullet's space (the pieces hold no bullet).
            EXPECT_FALSE(document->text.contains(u"• \n"_s) || document->text.endsWith(u"• "_s)) << markdown;
        }
    }
}

}  // namespace
}  // namespace tavrine
