// The source pane's typography and the text document built from it: sizes that scale with the point
// size, the grid check, the minimum width, and the map between document positions and source offsets.
#include "PelmoraMac/Source/ReaderArticleDocument.h"
#include "PelmoraMac/Source/ReaderArticleStyle.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderWidgets/Style/ToQColor.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>
#include <QFontDatabase>
#include <QTextTable>

#include <cmath>

using namespace Qt::StringLiterals;

namespace tavrine {
namespace {

using Kind = ReadingDocument::Span::Kind;
using Span = ReadingDocument::Span;

ReadingDocument documentOf(QString text, QList<Span> spans = {}) {
    return {.sections = std::nullopt, .text = std::move(text), .spans = std::move(spans)};
}

Span span(Kind kind, qsizetype start, qsizetype end, qint64 level = 0) {
    return {.kind = kind, .start = start, .end = end, .level = level};
}

// A table of rows × columns cells "c<i>\n" starting at offset start of a text that the caller assembles.
QList<Span> tableSpans(qsizetype start, int rows, int columns, bool headerRow = false) {
    QList<Span> spans;
    qsizetype offset = start;
    for (int i = 0; i < rows * columns; ++i) {
        const qsizetype length = QString::number(i).size() + 2;
        spans.append(span(headerRow && i < columns ? Kind::tableHeader : Kind::tableCell, offset, offset + length));
        offset += length;
    }
    spans.prepend(span(Kind::table, start, offset, columns));
    return spans;
}

QString tableText(int cells) {
    QString text;
    for (int i = 0; i < cells; ++i) text += u'c' + QString::number(i) + u'\n';
    return text;
}

const QTextLayout::FormatRange& runAt(const ReaderAttributedString& styled, qsizetype offset) {
    return styled.runs[styled.runIndex(offset)];
}

const QTextBlockFormat& paragraphAt(const ReaderAttributedString& styled, qsizetype offset) {
    return styled.paragraphs[styled.paragraphIndex(offset)].format;
}

TEST(ArticleStyleTest, SizesAndIndentsScaleWithThePointSizeAndFontsRoundToWholePixels) {
    // Point size 11 gives fractional lengths: fonts round, margins and indents do not.
    for (const double pointSize : {15.0, 30.0, 11.0}) {
        SCOPED_TRACE(pointSize);
        const double scale = pointSize / 15;
        // heading 2 | item level 2 in one quote | quote alone | 10 quotes + item level 5 | heading + code
        const QString text = u"Head\nitem\nquoted\ndeep\ncode\n"_s;
        QList<Span> spans{span(Kind::heading, 0, 5, 2), span(Kind::quote, 5, 17), span(Kind::listItem, 5, 10, 2)};
        for (int i = 0; i < 10; ++i) spans.append(span(Kind::quote, 17, 22));
        spans.append(span(Kind::listItem, 17, 22, 5));
        spans.append(span(Kind::heading, 22, 27, 1));
        spans.append(span(Kind::codeBlock, 22, 27));
        const ReaderAttributedString styled = ReaderArticleStyle::attributedString(documentOf(text, spans), pointSize);

        ASSERT_EQ(styled.text, text);
        const QFont heading = runAt(styled, 0).format.font();
        EXPECT_EQ(heading.pixelSize(), std::lround(21 * scale));
        EXPECT_EQ(heading.weight(), QFont::Bold);
        EXPECT_EQ(runAt(styled, 5).format.font().pixelSize(), std::lround(pointSize));
        EXPECT_EQ(runAt(styled, 5).format.font().weight(), QFont::Normal);
        EXPECT_DOUBLE_EQ(paragraphAt(styled, 0).topMargin(), 12 * scale);
        EXPECT_DOUBLE_EQ(paragraphAt(styled, 0).bottomMargin(), 8 * scale);
        EXPECT_DOUBLE_EQ(paragraphAt(styled, 0).lineHeight(), 4 * scale);

        // Depth 3: indented 54 × scale, the first line 14 × scale further left for the marker.
        EXPECT_DOUBLE_EQ(paragraphAt(styled, 5).leftMargin(), 54 * scale);
        EXPECT_DOUBLE_EQ(paragraphAt(styled, 5).leftMargin() + paragraphAt(styled, 5).textIndent(), 40 * scale);
        EXPECT_DOUBLE_EQ(paragraphAt(styled, 10).leftMargin(), 18 * scale);
        EXPECT_DOUBLE_EQ(paragraphAt(styled, 10).textIndent(), 0);
        EXPECT_DOUBLE_EQ(paragraphAt(styled, 17).leftMargin(), 12 * 18 * scale);
        EXPECT_DOUBLE_EQ(paragraphAt(styled, 10).bottomMargin(), 10 * scale);

        // A heading that is also a code block: the heading's space before, none after, code's line height.
        EXPECT_DOUBLE_EQ(paragraphAt(styled, 22).topMargin(), 12 * scale);
        EXPECT_DOUBLE_EQ(paragraphAt(styled, 22).bottomMargin(), 0);
        EXPECT_DOUBLE_EQ(paragraphAt(styled, 22).lineHeight(), 3 * scale);
        EXPECT_EQ(paragraphAt(styled, 22).lineHeightType(), QTextBlockFormat::LineDistanceHeight);
        // The code block comes later in document order: its monospaced face wins over the heading's.
        EXPECT_EQ(runAt(styled, 22).format.font().pixelSize(), std::lround(14 * scale));
        EXPECT_EQ(runAt(styled, 22).format.background().color(), toQColor(ReaderPalette::sidebar));
    }
}

TEST(ArticleStyleTest, StrongEmphasisQuotesAndCodeStyleTheirOwnRunsOnly) {
    // "plain" | strong inside code | emphasis | quote
    const QString text = u"plain codeBOLD slant said\n"_s;
    const ReaderAttributedString styled = ReaderArticleStyle::attributedString(
        documentOf(text, {span(Kind::code, 6, 14), span(Kind::strong, 10, 14), span(Kind::emphasis, 15, 20),
                          span(Kind::quote, 21, 26)}),
        15);
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    const QTextCharFormat plain = runAt(styled, 0).format;
    const QTextCharFormat boldCode = runAt(styled, 10).format;
    EXPECT_EQ(boldCode.font().family(), fixed.family());
    EXPECT_EQ(boldCode.font().weight(), QFont::Bold);
    EXPECT_EQ(runAt(styled, 6).format.font().weight(), QFont::Normal);
    EXPECT_EQ(runAt(styled, 6).format.background().color(), toQColor(ReaderPalette::sidebar));
    EXPECT_FALSE(plain.hasProperty(QTextFormat::BackgroundBrush));
    EXPECT_EQ(plain.foreground().color(), toQColor(ReaderPalette::text));

    // Text formats know only italic: the reading family has no italic face, so it is a synthesised slant.
    const QFont slanted = runAt(styled, 15).format.font();
    EXPECT_TRUE(slanted.italic());
    QFont unslanted = slanted;
    unslanted.setItalic(false);
    EXPECT_EQ(unslanted, plain.font());
    EXPECT_EQ(runAt(styled, 21).format.foreground().color(), toQColor(ReaderPalette::secondaryText));

    // Runs tile the text.
    qsizetype covered = 0;
    for (const QTextLayout::FormatRange& run : styled.runs) {
        EXPECT_EQ(run.start, covered);
        covered += run.length;
    }
    EXPECT_EQ(covered, text.size());
}

TEST(ArticleStyleTest, OnlyTablesThatPassTheGridCheckBecomeGridsAndWidenTheMinimumWidth) {
    const QString before = u"intro\n"_s;
    const auto withTable = [&](int cells, qint64 columns, QString prefix = u"intro\n"_s) {
        QList<Span> spans = tableSpans(prefix.size(), 1, cells);
        spans.first().level = columns;
        return documentOf(prefix + tableText(cells), spans);
    };
    const ReadingDocument grid = withTable(6, 3);
    ASSERT_TRUE(ReaderArticleStyle::tableCells(grid.spans.first(), grid, false));
    const ReaderAttributedString styled = ReaderArticleStyle::attributedString(grid, 15);
    ASSERT_EQ(styled.tables.size(), 1);
    EXPECT_EQ(styled.tables.first().rows(), 2);
    EXPECT_EQ(styled.tables.first().cells[4].row, 1);
    EXPECT_EQ(styled.tables.first().cells[4].column, 1);
    EXPECT_GE(ReaderArticleStyle::minimumWidth(grid, 15), 3 * 96 + 18);
    EXPECT_GE(ReaderArticleStyle::minimumWidth(grid, 30), 2 * 3 * 96 + 18);
    // Cell paragraphs: 3 × scale after, nothing before, no indent.
    EXPECT_DOUBLE_EQ(paragraphAt(styled, before.size()).bottomMargin(), 3);
    EXPECT_DOUBLE_EQ(paragraphAt(styled, 0).bottomMargin(), 10);

    ReadingDocument gap = withTable(6, 3);
    gap.spans[2].end -= 1;  // the second cell stops before its line feed
    ReadingDocument midLine = withTable(6, 3, u"intro "_s);
    ReadingDocument noLineFeed = withTable(6, 3);
    noLineFeed.text.chop(1);
    noLineFeed.spans.first().end -= 1;
    noLineFeed.spans.last().end -= 1;
    const QList<std::pair<const char*, ReadingDocument>> refused{
        {"33 columns", withTable(33, 33)}, {"2001 cells", withTable(2001, 1)},     {"not a multiple", withTable(5, 3)},
        {"starts mid-line", midLine},      {"cell without line feed", noLineFeed}, {"gap between cells", gap},
    };
    for (const auto& [name, document] : refused) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(document.isValid());
        EXPECT_FALSE(ReaderArticleStyle::tableCells(document.spans.first(), document, false));
        EXPECT_TRUE(ReaderArticleStyle::attributedString(document, 15).tables.isEmpty());
        EXPECT_LT(ReaderArticleStyle::minimumWidth(document, 15), 3 * 96 + 18);
    }
    EXPECT_TRUE(ReaderArticleStyle::tableCells(withTable(32, 32).spans.first(), withTable(32, 32), false));
    EXPECT_TRUE(ReaderArticleStyle::tableCells(withTable(2000, 1).spans.first(), withTable(2000, 1), false));

    // An invalid document: the body style alone, no grid, unless the caller vouches for it.
    ReadingDocument invalid = withTable(6, 3);
    invalid.spans.append(span(Kind::strong, 0, invalid.text.size() + 1));
    EXPECT_FALSE(ReaderArticleStyle::tableCells(invalid.spans.first(), invalid, false));
    EXPECT_TRUE(ReaderArticleStyle::tableCells(invalid.spans.first(), invalid, true));
    const ReaderAttributedString plain = ReaderArticleStyle::attributedString(invalid, 15);
    EXPECT_EQ(plain.runs.size(), 1);
    EXPECT_TRUE(plain.tables.isEmpty());
}

TEST(ArticleStyleTest, MinimumWidthOfAnEmptyTextAndOfIndentedWideCharacters) {
    EXPECT_DOUBLE_EQ(ReaderArticleStyle::minimumWidth(documentOf(QString()), 15), 24);
    const ReaderAttributedString empty = ReaderArticleStyle::attributedString(documentOf(QString()), 15);
    EXPECT_TRUE(empty.runs.isEmpty());
    EXPECT_TRUE(empty.paragraphs.isEmpty());

    // The widest character plus its indent: deeper nesting widens it by the indent, a bigger size by more.
    const ReadingDocument flat = documentOf(u"漢\n"_s);
    const ReadingDocument nested = documentOf(u"漢\n"_s, {span(Kind::quote, 0, 2), span(Kind::quote, 0, 2)});
    const double flatWidth = ReaderArticleStyle::minimumWidth(flat, 15);
    EXPECT_GT(flatWidth, 24 + 10);
    EXPECT_NEAR(ReaderArticleStyle::minimumWidth(nested, 15) - flatWidth, 36, 1);
    EXPECT_GT(ReaderArticleStyle::minimumWidth(flat, 30), flatWidth + 10);
}

// Checks every source offset of text against the built document: the character at its position, and
// the way back.
void expectExactMap(const ReadingDocument& document) {
    const ReaderAttributedString styled = ReaderArticleStyle::attributedString(document, 15);
    const ReaderArticleDocument built = ReaderArticleDocument::build(styled);
    const QString& text = document.text;
    const ReaderSourceOffsetMap& map = built.offsets;
    ASSERT_EQ(map.toDocument(text.size()), built.document->characterCount() - 1);
    qsizetype previous = -1;
    for (qsizetype offset = 0; offset <= text.size(); ++offset) {
        SCOPED_TRACE(offset);
        const qsizetype position = map.toDocument(offset);
        EXPECT_GE(position, previous);
        previous = position;
        const bool pairedLineFeed =
            offset > 0 && offset < text.size() && text[offset] == u'\n' && text[offset - 1] == u'\r';
        EXPECT_EQ(map.toSource(position), pairedLineFeed ? offset - 1 : offset);
        if (offset == text.size()) break;
        const char16_t unit = text[offset].unicode();
        const QChar shown = built.document->characterAt(static_cast<int>(position));
        if (unit == u'\n' || unit == u'\r' || unit == 0x2029) {
            EXPECT_TRUE(shown == QChar::ParagraphSeparator || shown.unicode() == 0xFDD0 || shown.unicode() == 0xFDD1);
        } else if (unit == 0xFDD0 || unit == 0xFDD1) {
            EXPECT_EQ(shown, QChar::ReplacementCharacter);
        } else {
            EXPECT_EQ(shown.unicode(), unit);
        }
    }
    // Positions that no offset maps to (a table's leading mark) lead to the next offset.
    for (qsizetype position = 0; position < built.document->characterCount(); ++position) {
        EXPECT_GE(map.toDocument(map.toSource(position)), position);
    }
}

TEST(ArticleStyleTest, DocumentPositionsMapToEverySourceOffsetAndBack) {
    const QString table = tableText(4);
    const auto at = [](qsizetype start, int rows, int columns, bool header = false) {
        return tableSpans(start, rows, columns, header);
    };
    struct Case {
        const char* name;
        ReadingDocument document;
    };
    const QList<Case> cases{
        {"line ends of every kind", documentOf(u"a\r\nb\rc\nd\u2029e\u2028f\u0085g\u00A0h\uFDD0i\uFDD1\r\n\r\n"_s)},
        {"table in the middle", documentOf(u"ab\r\n"_s + table + u"tail\r\nend"_s, at(4, 2, 2, true))},
        {"table first and last", documentOf(table, at(0, 2, 2))},
        {"two tables back to back", documentOf(u"x\n"_s + table + table, at(2, 2, 2) + at(2 + table.size(), 1, 4))},
        {"empty cells", documentOf(u"x\n\n\nA\n\n"_s, {span(Kind::table, 2, 7, 2), span(Kind::tableCell, 2, 3),
                                                       span(Kind::tableCell, 3, 4), span(Kind::tableCell, 4, 6),
                                                       span(Kind::tableCell, 6, 7)})},
        {"CR LF inside a cell",
         documentOf(u"x\nA\r\nB\nC\rD\n"_s,
                    {span(Kind::table, 2, 11, 2), span(Kind::tableCell, 2, 7), span(Kind::tableHeader, 7, 11)})},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        ASSERT_TRUE(testCase.document.isValid());
        // Every table here is a grid.
        if (!testCase.document.spans.isEmpty()) {
            ASSERT_FALSE(ReaderArticleStyle::attributedString(testCase.document, 15).tables.isEmpty());
        }
        expectExactMap(testCase.document);
    }

    // The grid goes in as a text table whose header cell has the pane background.
    const ReadingDocument withTable = cases[1].document;
    const ReaderArticleDocument built =
        ReaderArticleDocument::build(ReaderArticleStyle::attributedString(withTable, 15));
    QTextCursor cursor(built.document.get());
    cursor.setPosition(static_cast<int>(built.offsets.toDocument(4)));
    QTextTable* grid = cursor.currentTable();
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->rows(), 2);
    EXPECT_EQ(grid->columns(), 2);
    const QTextTableCellFormat header = grid->cellAt(0, 0).format().toTableCellFormat();
    EXPECT_EQ(header.background().color(), toQColor(ReaderPalette::sidebar));
    EXPECT_DOUBLE_EQ(header.topPadding(), 7);
    EXPECT_DOUBLE_EQ(header.leftBorder(), 0.5);
    EXPECT_EQ(grid->cellAt(1, 0).format().background().style(), Qt::NoBrush);
}

}  // namespace
}  // namespace tavrine
