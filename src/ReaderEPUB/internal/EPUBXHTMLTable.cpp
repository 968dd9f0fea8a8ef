#include "ReaderCore/Characters.h"
#include "ReaderEPUB/internal/EPUBXHTML.h"
#include "ReaderEPUB/internal/EPUBXMLNamespaces.h"

#include <QStringView>

#include <algorithm>
#include <initializer_list>
#include <span>

// Tables: a plain grid is laid out one line per cell, every row padded to the same number of lines;
// any other table is flattened into ordinary lines with a notice.
namespace tavrine {
namespace {
using Names = std::initializer_list<QStringView>;

// The widest grid, and the most cells, that are still laid out cell by cell.
constexpr qsizetype kMaximumGridColumns = 32;
constexpr qsizetype kMaximumGridCells = 2'000;

bool isXHTMLNamed(const EPUBXMLNode& element, Names names) {
    return element.namespaceName() == EPUBXMLNamespace::xhtml &&
           std::find(names.begin(), names.end(), QStringView(element.name())) != names.end();
}

EPUBXMLNode::Elements childrenNamed(const EPUBXMLNode& element, Names names) {
    EPUBXMLNode::Elements result;
    for (const EPUBXMLNode* child : element.elements()) {
        if (isXHTMLNamed(*child, names)) result.push_back(child);
    }
    return result;
}

// Whether the element, and recursively what it holds, has the shape of a plain table: only the table
// parts in their places, nothing hidden, nothing but white space between the parts. Captions and cells
// may hold anything.
bool hasSimpleTableStructure(const EPUBXMLNode& element) {
    if (element.namespaceName() != EPUBXMLNamespace::xhtml || element.attribute(u"hidden")) return false;
    static constexpr QStringView tableParts[] = {u"caption", u"thead", u"tbody", u"tfoot", u"tr", u"colgroup"};
    static constexpr QStringView rows[] = {u"tr"};
    static constexpr QStringView cells[] = {u"td", u"th"};
    static constexpr QStringView columns[] = {u"col"};
    const QString& name = element.name();
    std::span<const QStringView> allowed;
    if (name == u"table") {
        allowed = tableParts;
    } else if (name == u"thead" || name == u"tbody" || name == u"tfoot") {
        allowed = rows;
    } else if (name == u"tr") {
        allowed = cells;
    } else if (name == u"colgroup") {
        allowed = columns;
    } else {
        return name == u"caption" || name == u"td" || name == u"th" || name == u"col";
    }
    for (const EPUBXMLNode::Content& item : element.content()) {
        if (const EPUBXMLNode* child = item.element()) {
            // The child's namespace is checked by its own test.
            if (std::find(allowed.begin(), allowed.end(), QStringView(child->name())) == allowed.end()) return false;
            if (!hasSimpleTableStructure(*child)) return false;
        } else if (!isBlank(item.text())) {
            return false;
        }
    }
    return true;
}

// A span of exactly one column and one row, compared as written: " 1" or "01" is not one.
bool spansOneCell(const EPUBXMLNode& cell) {
    const std::optional<QString> columns = cell.attribute(u"colspan");
    const std::optional<QString> rows = cell.attribute(u"rowspan");
    return (!columns || *columns == u"1") && (!rows || *rows == u"1");
}

// The column count of a table that is laid out as a grid, or nothing for a table to flatten.
std::optional<qsizetype> gridColumns(const EPUBXMLNode& table) {
    if (!hasSimpleTableStructure(table)) return std::nullopt;
    const EPUBXMLNode::Elements parts = table.elements();
    const QStringView xhtml = EPUBXMLNamespace::xhtml;
    if (!EPUBXMLNode::descendants(parts, u"table", xhtml).empty()) return std::nullopt;

    const EPUBXMLNode::Elements rows = EPUBXMLNode::descendants(parts, u"tr", xhtml);
    qsizetype columns = 0;
    for (const EPUBXMLNode* row : rows) {
        columns = std::max(columns, qsizetype(childrenNamed(*row, {u"td", u"th"}).size()));
    }
    if (columns < 1 || columns > kMaximumGridColumns) return std::nullopt;
    if (qsizetype(rows.size()) * columns > kMaximumGridCells) return std::nullopt;

    for (const QStringView cellName : {QStringView(u"td"), QStringView(u"th")}) {
        for (const EPUBXMLNode* cell : EPUBXMLNode::descendants(parts, cellName, xhtml)) {
            if (!spansOneCell(*cell)) return std::nullopt;
        }
    }
    return columns;
}

}  // namespace

EPUBXHTML::Step EPUBXHTML::renderTable(const EPUBXMLNode& table) {
    if (auto failure = m_text.blockBoundary()) return failure;
    recordAnchor(table);
    if (const std::optional<qsizetype> columns = gridColumns(table)) return renderGrid(table, *columns);

    // Rows and cells still start lines of their own: tr, td and th are blocks.
    m_notices.insert(EPUBBook::Notice::Kind::tableFlattened);
    if (auto failure = renderContent(table)) return failure;
    return m_text.blockBoundary();
}

// Captions come first, each on its own line and outside the table's span; the row groups follow in
// document order (a foot written before the body stays before it).
EPUBXHTML::Step EPUBXHTML::renderGrid(const EPUBXMLNode& table, qsizetype columns) {
    for (const EPUBXMLNode* caption : childrenNamed(table, {u"caption"})) {
        if (auto failure = visit(*caption)) return failure;
        if (auto failure = m_text.blockBoundary()) return failure;
    }
    qsizetype start = m_text.length();
    const bool onMarkerLine = m_text.afterMarker();
    for (const EPUBXMLNode* group : childrenNamed(table, {u"thead", u"tbody", u"tfoot", u"tr"})) {
        if (auto failure = renderRowGroup(*group, columns)) return failure;
    }
    // An empty first cell on a list marker's line ended that line in place of the marker's space.
    if (onMarkerLine && start > 0 && m_text.text()[start - 1] == u'\n') --start;
    recordSpan(SpanKind::table, start, columns);
    return std::nullopt;
}

EPUBXHTML::Step EPUBXHTML::renderRowGroup(const EPUBXMLNode& group, qsizetype columns) {
    if (group.name() == u"tr") return renderRow(group, columns);
    recordAnchor(group);
    for (const EPUBXMLNode* child : childrenNamed(group, {u"thead", u"tbody", u"tfoot", u"tr"})) {
        if (auto failure = renderRowGroup(*child, columns)) return failure;
    }
    return std::nullopt;
}

// Every row yields exactly `columns` lines: one per cell, each ended by its own line feed even when the
// cell's content already ended a line, and an empty line for each cell the row lacks.
EPUBXHTML::Step EPUBXHTML::renderRow(const EPUBXMLNode& row, qsizetype columns) {
    recordAnchor(row);
    const EPUBXMLNode::Elements cells = childrenNamed(row, {u"td", u"th"});
    for (qsizetype column = 0; column < columns; ++column) {
        const qsizetype start = m_text.length();
        const EPUBXMLNode* cell = column < qsizetype(cells.size()) ? cells[std::size_t(column)] : nullptr;
        if (cell) {
            recordAnchor(*cell);
            if (auto failure = renderContent(*cell)) return failure;
        }
        if (auto failure = m_text.appendLineFeed()) return failure;
        // A cell's span takes at least its line feed, also when an empty first cell on a list marker's
        // line ended that line in place of the marker's space.
        recordSpan(cell && cell->name() == u"th" ? SpanKind::tableHeader : SpanKind::tableCell,
                   std::min(start, m_text.length() - 1), 0);
    }
    return std::nullopt;
}

}  // namespace tavrine
