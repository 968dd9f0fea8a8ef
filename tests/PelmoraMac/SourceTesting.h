#pragma once

#include "PelmoraMac/Source/ReaderSourceView.h"
#include "ReaderCore/ReadingDocument.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace tavrine::test {

// The width the source pane gives a bounded view showing a grid table of 20 columns: far wider than the
// view.
inline constexpr double kWideTableWidth =
    20 * ReaderSourceView::kTableColumnWidth + ReaderSourceView::kBoundedMinimumWidth;

// A paragraph, a grid table of `columns` columns (its first row of headers, every cell "行R列C" on a
// line of its own) and a paragraph after it.
inline ReadingDocument wideTableDocument(int columns = 20, int rows = 3) {
    using namespace Qt::StringLiterals;
    using Kind = ReadingDocument::Span::Kind;
    ReadingDocument document;
    document.text = u"表の前の段落。\n"_s;
    const qsizetype table = document.text.size();
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            const QString cell = u"行%1列%2\n"_s.arg(row + 1).arg(column + 1);
            document.spans.append({.kind = row == 0 ? Kind::tableHeader : Kind::tableCell,
                                   .start = document.text.size(),
                                   .end = document.text.size() + cell.size(),
                                   .level = 0});
            document.text += cell;
        }
    }
    document.spans.append({.kind = Kind::table, .start = table, .end = document.text.size(), .level = columns});
    document.text += u"表の後の段落。\n"_s;
    return document;
}

// A document of the paragraph before, a grid table of two columns whose first row holds headers, each
// cell one of cells (each ending in its line feed), and the paragraph after; starts receives where each
// cell begins.
inline ReadingDocument twoColumnTableDocument(const QString& before, const QStringList& cells, const QString& after,
                                              QList<qsizetype>& starts) {
    using Kind = ReadingDocument::Span::Kind;
    ReadingDocument document{.sections = std::nullopt, .text = before + cells.join(QString()) + after, .spans = {}};
    qsizetype at = before.size();
    for (qsizetype i = 0; i < cells.size(); ++i) {
        starts.append(at);
        document.spans.append({.kind = i < 2 ? Kind::tableHeader : Kind::tableCell,
                               .start = at,
                               .end = at + cells[i].size(),
                               .level = 0});
        at += cells[i].size();
    }
    document.spans.append({.kind = Kind::table, .start = before.size(), .end = at, .level = 2});
    return document;
}

}  // namespace tavrine::test
