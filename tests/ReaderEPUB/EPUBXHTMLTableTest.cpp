#include "EPUBXHTMLTestSupport.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using test::rendered;
using test::span;
using Kind = ReadingDocument::Span::Kind;
using Notice = EPUBBook::Notice::Kind;
using Spans = QList<ReadingDocument::Span>;
using Notices = std::set<Notice>;

QByteArray row(int cells, const QByteArray& attributes = {}) {
    QByteArray result = "<tr>";
    for (int i = 0; i < cells; ++i) result += "<td" + attributes + ">c</td>";
    return result + "</tr>";
}

QByteArray rows(int count, int cells) {
    return row(cells).repeated(count);
}

// Whether the table that `body` ends with was flattened; a grid's span is recorded last.
bool isFlattened(const QByteArray& body) {
    const EPUBRendered result = rendered(body);
    const bool flattened = result.notices.contains(Notice::tableFlattened);
    EXPECT_NE(flattened, !result.spans.isEmpty() && result.spans.last().kind == Kind::table) << body.toStdString();
    return flattened;
}

// --- grids ---------------------------------------------------------------------------------------------

TEST(EPUBXHTMLTableGrid, EachCellTakesOneLineAndShortRowsArePaddedWithEmptyLines) {
    const EPUBRendered result = rendered("<table><tr><th>A</th><th>B</th></tr><tr><td>1</td></tr></table>");
    EXPECT_EQ(result.text, u"A\nB\n1\n\n"_s);
    EXPECT_EQ(result.spans,
              (Spans{span(Kind::tableHeader, 0, 2), span(Kind::tableHeader, 2, 4), span(Kind::tableCell, 4, 6),
                     span(Kind::tableCell, 6, 7), span(Kind::table, 0, 7, 2)}));
    EXPECT_TRUE(result.notices.empty());
}

TEST(EPUBXHTMLTableGrid, ACellEndsItsOwnLineEvenAfterABlockEndedOne) {
    const EPUBRendered result = rendered("<p>x</p><table><tr><td> <p>a</p> </td><td>b <em>c</em> </td></tr></table>");
    EXPECT_EQ(result.text, u"x\na\n\nb c\n"_s);
    EXPECT_EQ(result.spans,
              (Spans{span(Kind::paragraph, 0, 2), span(Kind::paragraph, 2, 4), span(Kind::tableCell, 2, 5),
                     span(Kind::emphasis, 7, 8), span(Kind::tableCell, 5, 9), span(Kind::table, 2, 9, 2)}));
}

TEST(EPUBXHTMLTableGrid, CaptionsComeFirstOnTheirOwnLinesOutsideTheTableSpan) {
    const EPUBRendered result = rendered(
        "text<table><tr><td>a</td></tr><caption>Cap <b>t</b> </caption>"
        "<caption>Two</caption></table>");
    EXPECT_EQ(result.text, u"text\nCap t\nTwo\na\n"_s);
    EXPECT_EQ(result.spans,
              (Spans{span(Kind::strong, 9, 10), span(Kind::tableCell, 15, 17), span(Kind::table, 15, 17, 1)}));
}

TEST(EPUBXHTMLTableGrid, RowGroupsKeepTheirDocumentOrder) {
    const EPUBRendered result = rendered(
        "<table><colgroup><col/><col/></colgroup><thead><tr><th>h</th></tr></thead>"
        "<tfoot><tr><td>f</td></tr></tfoot><tbody>\n <tr><td>b</td></tr> </tbody><tr><td>r</td></tr></table>");
    EXPECT_EQ(result.text, u"h\nf\nb\nr\n"_s);
    EXPECT_EQ(result.spans,
              (Spans{span(Kind::tableHeader, 0, 2), span(Kind::tableCell, 2, 4), span(Kind::tableCell, 4, 6),
                     span(Kind::tableCell, 6, 8), span(Kind::table, 0, 8, 1)}));
}

TEST(EPUBXHTMLTableGrid, TheTableItsGroupsRowsAndCellsAreAnchored) {
    const EPUBRendered result = rendered(R"(<p>x</p><table id="t"><tbody id="g"><tr id="r1"><td id="c1">a</td>)"
                                         R"(<td id="c2"/></tr><tr id="r2"><td>b</td></tr></tbody>)"
                                         R"(<colgroup id="cols"/></table><p>y</p>)");
    EXPECT_EQ(result.text, u"x\na\n\nb\n\ny\n"_s);
    const QHash<QString, qsizetype> expected{{u"t"_s, 2},  {u"g"_s, 2},  {u"r1"_s, 2},
                                             {u"c1"_s, 2}, {u"c2"_s, 4}, {u"r2"_s, 5}};
    EXPECT_EQ(result.anchors, expected);
}

TEST(EPUBXHTMLTableGrid, TheLargestGridsStillLayOutCellByCell) {
    EXPECT_FALSE(isFlattened("<table>" + rows(1, 32) + "</table>"));
    EXPECT_FALSE(isFlattened("<table>" + rows(62, 32) + "</table>"));  // 1,984 cells
    EXPECT_FALSE(isFlattened("<table>" + rows(80, 25) + "</table>"));  // exactly 2,000
    // The widest row sets the column count: one wide row among short ones.
    const EPUBRendered result = rendered("<table>" + row(1) + row(3) + "</table>");
    EXPECT_EQ(result.text, u"c\n\n\nc\nc\nc\n"_s);
    EXPECT_EQ(result.spans.last(), span(Kind::table, 0, 10, 3));
}

TEST(EPUBXHTMLTableGrid, OneAsTheSpanOfACellIsAcceptedOnlyAsWritten) {
    EXPECT_FALSE(isFlattened(R"(<table><tr><td colspan="1" rowspan="1">a</td></tr></table>)"));
    for (const QByteArray attribute : {R"(colspan="2")", R"(rowspan="3")", R"(colspan=" 1")", R"(rowspan="01")",
                                       R"(colspan="")", R"(rowspan="1.0")"}) {
        EXPECT_TRUE(isFlattened("<table>" + row(2, " " + attribute) + "</table>")) << attribute.toStdString();
    }
}

// --- flattened tables ----------------------------------------------------------------------------------

TEST(EPUBXHTMLTableFlattened, TablesThatAreNotPlainGridsAreFlattened) {
    const QList<QByteArray> tables = {
        "<table>" + rows(1, 33) + "</table>",   // too wide
        "<table>" + rows(67, 30) + "</table>",  // too many cells
        R"(<table><tr hidden=""><td>a</td></tr><tr><td>b</td></tr></table>)",
        "<table><tr><td>a</td></tr>stray<tr><td>b</td></tr></table>",
        "<table><tr><td>a</td></tr><div>b</div></table>",
        "<table><tbody><caption>c</caption><tr><td>a</td></tr></tbody></table>",
        "<table><tr><td>a</td><p>b</p></tr></table>",
        "<table><colgroup><col/>x</colgroup><tr><td>a</td></tr></table>",
        "<table><caption>only a caption</caption></table>",  // no rows, no columns
    };
    for (const QByteArray& table : tables) EXPECT_TRUE(isFlattened(table)) << table.toStdString();
}

TEST(EPUBXHTMLTableFlattened, RowsAndCellsStillStartLinesButRecordNoTableSpans) {
    const EPUBRendered result =
        rendered(R"(<table><caption>Cap</caption><thead><tr><th>a</th><th colspan="2">b</th></tr></thead>)"
                 R"(<tr><td>c <b>d</b></td></tr></table>after)");
    EXPECT_EQ(result.text, u"Cap\na\nb\nc d\nafter\n"_s);
    EXPECT_EQ(result.spans, (Spans{span(Kind::strong, 10, 11)}));
    EXPECT_EQ(result.notices, Notices{Notice::tableFlattened});
}

TEST(EPUBXHTMLTableFlattened, AnEmptyTableAddsOnlyItsNotice) {
    const EPUBRendered result = rendered("<p>x</p><table> </table>");
    EXPECT_EQ(result.text, u"x\n"_s);
    EXPECT_EQ(result.spans, (Spans{span(Kind::paragraph, 0, 2)}));
    EXPECT_EQ(result.notices, Notices{Notice::tableFlattened});
}

// A nested table flattens the outer one, whatever the inner one is.
TEST(EPUBXHTMLTableFlattened, ANestedGridKeepsItsOwnLayoutInsideAFlattenedTable) {
    const EPUBRendered result =
        rendered("<table><tr><td>out</td><td><table><tr><td>1</td><td>2</td></tr></table></td></tr></table>");
    EXPECT_EQ(result.text, u"out\n1\n2\n"_s);
    EXPECT_EQ(result.spans,
              (Spans{span(Kind::tableCell, 4, 6), span(Kind::tableCell, 6, 8), span(Kind::table, 4, 8, 2)}));
    EXPECT_EQ(result.notices, Notices{Notice::tableFlattened});
}

TEST(EPUBXHTMLTableFlattened, ContentOfAFlattenedTableFollowsTheRulesOfTheText) {
    const auto unsupported = EPUBReader::Failure::of(EPUBReader::Failure::Kind::unsupportedContent);
    EXPECT_EQ(test::failureOf("<table><tr><td><script/></td></tr>stray</table>"), unsupported);
    // A cell of another vocabulary is no grid cell, and flattening then meets it as foreign content.
    EXPECT_EQ(test::failureOf(R"(<table><tr><td xmlns="urn:other">a</td></tr></table>)"), unsupported);
    const EPUBRendered result = rendered(R"(<table><tr hidden=""><td>h</td></tr><tr><td><img/></td></tr></table>)");
    EXPECT_EQ(result.text, u"［画像］\n"_s);
    EXPECT_EQ(result.notices, (Notices{Notice::omittedHidden, Notice::imagePlaceholder, Notice::tableFlattened}));
}

// --- limits ----------------------------------------------------------------------------------------------

TEST(EPUBXHTMLTableLimits, EveryLineOfAGridCountsAgainstTheTextLimit) {
    // Two cells, one of them empty: "a\n\n" is three units.
    const QByteArray table = "<table><tr><td>a</td><td/></tr></table>";
    EXPECT_TRUE(test::renderBody(table, 3).has_value());
    auto over = test::renderBody(table, 2);
    ASSERT_FALSE(over.has_value());
    EXPECT_EQ(over.error(), EPUBReader::Failure::limit(EPUBReader::ResourceLimit::textUTF16));
}

}  // namespace
}  // namespace tavrine
