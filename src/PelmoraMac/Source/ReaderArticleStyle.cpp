#include "PelmoraMac/Source/ReaderArticleStyle.h"

#include "ReaderCore/Characters.h"
#include "ReaderCore/MainThread.h"
#include "ReaderCore/Paragraphs.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderWidgets/Style/ReaderTypography.h"
#include "ReaderWidgets/Style/ToQColor.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QHash>

#include <algorithm>
#include <cmath>

namespace tavrine::ReaderArticleStyle {
namespace {

using Kind = ReadingDocument::Span::Kind;

constexpr double kReferencePointSize = 15;
constexpr double kIndentStep = 18;
constexpr double kMarkerHang = 14;
constexpr double kColumnWidth = 96;

double scaleOf(double pointSize) {
    return pointSize / kReferencePointSize;
}

bool isBlockKind(Kind kind) {
    return std::ranges::find(blockKinds, kind) != blockKinds.end();
}

// The character styling of a stretch of text, as few values as the formats differ by.
enum class FontRole : quint8 { body, heading1, heading2, heading3, monospaced };

struct CharacterStyle {
    FontRole font = FontRole::body;
    bool bold = false;
    bool oblique = false;
    bool secondary = false;
    bool background = false;

    bool operator==(const CharacterStyle&) const = default;
};

FontRole headingRole(qint64 level) {
    if (level <= 1) return FontRole::heading1;
    return level == 2 ? FontRole::heading2 : FontRole::heading3;
}

QFont fontFor(FontRole role, double pointSize) {
    const double scale = scaleOf(pointSize);
    switch (role) {
    case FontRole::body: return bodyFont(pointSize);
    case FontRole::heading1:
    case FontRole::heading2:
    case FontRole::heading3: {
        const double size = role == FontRole::heading1 ? 25 : role == FontRole::heading2 ? 21 : 18;
        QFont font = bodyFont(size * scale);
        font.setWeight(QFont::Bold);
        return font;
    }
    case FontRole::monospaced: {
        QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        // Rounded to a whole pixel as the reading font is.
        font.setPixelSize(bodyFont(14 * scale).pixelSize());
        font.setWeight(QFont::Normal);
        font.setStyle(QFont::StyleNormal);
        return font;
    }
    }
    Q_UNREACHABLE();
}

QTextCharFormat makeCharacterFormat(const CharacterStyle& style, double pointSize) {
    QTextCharFormat format;
    QFont font = fontFor(style.font, pointSize);
    if (style.bold) font.setWeight(QFont::Bold);
    // No slant attribute exists, and text formats keep only an italic flag (an oblique style comes back
    // as italic): italic, which the font engine draws as a synthesised slant where the family has no
    // italic or oblique face, as the reading family has none.
    if (style.oblique) font.setItalic(true);
    format.setFont(font, QTextCharFormat::FontPropertiesAll);
    format.setForeground(toQColor(style.secondary ? ReaderPalette::secondaryText : ReaderPalette::text));
    if (style.background) format.setBackground(toQColor(ReaderPalette::sidebar));
    return format;
}

// Later spans in document order override earlier ones; strong and emphasis apply to whatever font the
// earlier spans chose.
CharacterStyle styleOf(const QList<const ReadingDocument::Span*>& active) {
    CharacterStyle style;
    bool strong = false;
    for (const ReadingDocument::Span* span : active) {
        switch (span->kind) {
        case Kind::heading: style.font = headingRole(span->level); break;
        case Kind::quote: style.secondary = true; break;
        case Kind::codeBlock:
        case Kind::code:
            style.font = FontRole::monospaced;
            style.background = true;
            break;
        case Kind::emphasis: style.oblique = true; break;
        case Kind::strong:
        case Kind::tableHeader: strong = true; break;
        default: break;
        }
    }
    // Heading faces are bold already.
    style.bold = strong || (style.font != FontRole::body && style.font != FontRole::monospaced);
    return style;
}

bool stylesCharacters(Kind kind) {
    switch (kind) {
    case Kind::heading:
    case Kind::quote:
    case Kind::codeBlock:
    case Kind::code:
    case Kind::strong:
    case Kind::emphasis: return true;
    default: return false;
    }
}

// Character runs over the whole text: the spans that style characters, plus the header cells of grid
// tables (as strong), swept once from the start. Neighbouring stretches of one style form one run.
QList<QTextLayout::FormatRange> characterRuns(qsizetype length, const QList<ReadingDocument::Span>& spans,
                                              const QList<ReaderGridTable>& tables, double pointSize) {
    QList<const ReadingDocument::Span*> styling;
    for (const ReadingDocument::Span& span : spans) {
        if (stylesCharacters(span.kind) && span.start < span.end) styling.append(&span);
    }
    for (const ReaderGridTable& table : tables) {
        for (const ReaderGridCell& cell : table.cells) {
            if (cell.isHeader()) styling.append(&cell.span);
        }
    }
    QList<qsizetype> boundaries{0, length};
    for (const ReadingDocument::Span* span : styling) {
        boundaries.append(span->start);
        boundaries.append(span->end);
    }
    std::ranges::sort(boundaries);
    boundaries.erase(std::unique(boundaries.begin(), boundaries.end()), boundaries.end());
    // Document order decides overrides: keep each span's place in `styling` (header cells come last, but
    // they only make text bold, which nothing undoes).
    QList<qsizetype> byStart(styling.size());
    for (qsizetype i = 0; i < styling.size(); ++i) byStart[i] = i;
    std::ranges::stable_sort(byStart, {}, [&](qsizetype i) { return styling[i]->start; });

    // The few styles a text uses, each format made once.
    QList<std::pair<CharacterStyle, QTextCharFormat>> formats;
    QList<QTextLayout::FormatRange> runs;
    QList<qsizetype> active;
    QList<const ReadingDocument::Span*> ordered;
    qsizetype next = 0;
    std::optional<CharacterStyle> previous;
    for (qsizetype b = 0; b + 1 < boundaries.size(); ++b) {
        const qsizetype start = boundaries[b];
        const qsizetype end = boundaries[b + 1];
        while (next < byStart.size() && styling[byStart[next]]->start <= start) active.append(byStart[next++]);
        active.removeIf([&](qsizetype i) { return styling[i]->end <= start; });
        std::ranges::sort(active);
        ordered.clear();
        for (qsizetype i : active) ordered.append(styling[i]);
        const CharacterStyle style = styleOf(ordered);
        if (previous == style) {
            runs.last().length += static_cast<int>(end - start);
            continue;
        }
        previous = style;
        auto format = std::ranges::find(formats, style, &std::pair<CharacterStyle, QTextCharFormat>::first);
        if (format == formats.end())
            format = formats.insert(formats.end(), {style, makeCharacterFormat(style, pointSize)});
        runs.append({static_cast<int>(start), static_cast<int>(end - start), format->second});
    }
    return runs;
}

// One format per paragraph from the block spans that cover it, met with one cursor over the spans sorted
// by start and a short list of those still open.
QList<ReaderStyledParagraph> paragraphStyles(const QString& text, const QList<ReadingDocument::Span>& spans,
                                             double pointSize) {
    const double scale = scaleOf(pointSize);
    QList<const ReadingDocument::Span*> blocks;
    for (const ReadingDocument::Span& span : spans) {
        if (isBlockKind(span.kind)) blocks.append(&span);
    }
    std::ranges::stable_sort(blocks, {}, [](const ReadingDocument::Span* span) { return span->start; });

    const QTextBlockFormat base = baseParagraphFormat(pointSize);
    QList<ReaderStyledParagraph> paragraphs;
    QList<const ReadingDocument::Span*> active;
    qsizetype next = 0;
    for (qsizetype start = 0; start < text.size();) {
        const qsizetype end = paragraphEnd(text, start);
        while (next < blocks.size() && blocks[next]->start < end) active.append(blocks[next++]);
        active.removeIf([&](const ReadingDocument::Span* span) { return span->end <= start; });

        qint64 quoteDepth = 0;
        qint64 listLevel = 0;
        bool heading = false;
        bool code = false;
        for (const ReadingDocument::Span* span : active) {
            if (span->kind == Kind::quote) ++quoteDepth;
            if (span->kind == Kind::listItem) listLevel = std::max(listLevel, span->level);
            heading = heading || span->kind == Kind::heading;
            code = code || span->kind == Kind::codeBlock;
        }
        QTextBlockFormat format = base;
        const qint64 depth = std::min(quoteDepth + listLevel, kMaximumIndentDepth);
        const double headIndent = static_cast<double>(depth) * kIndentStep * scale;
        // A list item's first line hangs to the left, where its marker stands.
        const double firstLine = listLevel >= 1 ? std::max(0.0, headIndent - kMarkerHang * scale) : headIndent;
        format.setLeftMargin(headIndent);
        format.setTextIndent(firstLine - headIndent);
        if (heading) {
            format.setTopMargin(12 * scale);
            format.setBottomMargin(8 * scale);
        }
        if (code) {
            format.setBottomMargin(0);
            format.setLineHeight(3 * scale, QTextBlockFormat::LineDistanceHeight);
        }
        paragraphs.append({{start, end}, format});
        start = end;
    }
    return paragraphs;
}

}  // namespace

QList<ReaderGridTable> gridTables(const ReadingDocument& document, double pointSize) {
    QList<ReaderGridTable> tables;
    for (const ReadingDocument::Span& span : document.spans) {
        if (span.kind != Kind::table) continue;
        const std::optional<QList<ReadingDocument::Span>> cells = tableCells(span, document, true);
        if (!cells) continue;
        ReaderGridTable table{.span = span, .cells = {}};
        const int columns = static_cast<int>(span.level);
        for (qsizetype i = 0; i < cells->size(); ++i) {
            const ReadingDocument::Span& cell = (*cells)[i];
            table.cells.append({.span = cell,
                                .table = span.start,
                                .row = static_cast<int>(i / columns),
                                .column = static_cast<int>(i % columns),
                                .columns = columns,
                                .format = cellFormat(cell.kind == Kind::tableHeader, pointSize)});
        }
        tables.append(std::move(table));
    }
    return tables;
}

namespace {

// Widths of composed character sequences in one font: the advance, widened by ink that reaches past it
// on either side.
class GlyphWidths {
public:
    explicit GlyphWidths(const QFont& font) : m_metrics(font) {}

    double width(QStringView sequence) {
        const QString key = sequence.toString();
        const auto cached = m_widths.constFind(key);
        if (cached != m_widths.constEnd()) return *cached;
        double advance = 0;
        QRectF ink;
        // A single unit goes through the metrics' unshaped path, far cheaper than shaping a string.
        if (sequence.size() == 1) {
            advance = m_metrics.horizontalAdvance(sequence.front());
            ink = m_metrics.boundingRect(sequence.front());
        } else {
            advance = m_metrics.horizontalAdvance(key);
            ink = m_metrics.boundingRect(key);
        }
        const double width = std::max(advance, ink.right()) - std::min(ink.left(), 0.0);
        m_widths.insert(key, width);
        return width;
    }

private:
    QFontMetricsF m_metrics;
    QHash<QString, double> m_widths;
};

}  // namespace

QFont bodyFont(double pointSize) {
    QFont font = ReaderTypography::readingFont(pointSize);
    font.setWeight(QFont::Normal);
    return font;
}

QTextBlockFormat baseParagraphFormat(double pointSize) {
    const double scale = scaleOf(pointSize);
    QTextBlockFormat format;
    format.setLineHeight(4 * scale, QTextBlockFormat::LineDistanceHeight);
    format.setTopMargin(0);
    format.setBottomMargin(10 * scale);
    format.setLeftMargin(0);
    format.setTextIndent(0);
    return format;
}

QTextTableFormat tableFormat(int columns) {
    QTextTableFormat format;
    format.setColumns(columns);
    format.setBorderCollapse(true);
    format.setBorder(0);
    format.setCellSpacing(0);
    format.setCellPadding(0);
    format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
    format.setColumnWidthConstraints(
        QList<QTextLength>(columns, QTextLength(QTextLength::PercentageLength, 100.0 / columns)));
    return format;
}

QTextTableCellFormat cellFormat(bool isHeader, double pointSize) {
    QTextTableCellFormat format;
    format.setPadding(7 * scaleOf(pointSize));
    format.setBorder(0.5);
    format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
    format.setBorderBrush(toQColor(ReaderPalette::border));
    format.setVerticalAlignment(QTextCharFormat::AlignTop);
    if (isHeader) format.setBackground(toQColor(ReaderPalette::sidebar));
    return format;
}

void applyCellParagraph(QTextBlockFormat& format, double pointSize) {
    format.setBottomMargin(3 * scaleOf(pointSize));
    format.setTopMargin(0);
    format.setLeftMargin(0);
    format.setTextIndent(0);
}

void makeBold(QTextCharFormat& format) {
    format.setFontWeight(QFont::Bold);
}

ReaderAttributedString attributedString(const ReadingDocument& document, double pointSize) {
    Q_ASSERT(isMainThread());
    ReaderAttributedString result{.text = document.text, .runs = {}, .paragraphs = {}, .tables = {}};
    if (document.text.isEmpty()) return result;
    static const QList<ReadingDocument::Span> none;
    const bool valid = document.isValid();
    const QList<ReadingDocument::Span>& spans = valid ? document.spans : none;

    result.paragraphs = paragraphStyles(document.text, spans, pointSize);
    if (valid) result.tables = gridTables(document, pointSize);
    for (const ReaderGridTable& table : result.tables) {
        for (const ReaderGridCell& cell : table.cells) {
            // Cells end with a line feed and the table starts a line, so cells hold whole paragraphs.
            for (qsizetype i = result.paragraphIndex(cell.span.start);
                 i < result.paragraphs.size() && result.paragraphs[i].range.lowerBound < cell.span.end; ++i) {
                applyCellParagraph(result.paragraphs[i].format, pointSize);
            }
        }
    }
    result.runs = characterRuns(document.text.size(), spans, result.tables, pointSize);
    return result;
}

double minimumWidth(const ReadingDocument& document, double pointSize, const ReaderAttributedString* attributedString) {
    Q_ASSERT(isMainThread());
    const double scale = scaleOf(pointSize);
    qint64 maximumColumns = 0;
    if (document.isValid()) {
        for (const ReadingDocument::Span& span : document.spans) {
            if (span.kind == Kind::table && tableCells(span, document, true)) {
                maximumColumns = std::max(maximumColumns, span.level);
            }
        }
    }
    std::optional<ReaderAttributedString> built;
    if (!attributedString) {
        built = ReaderArticleStyle::attributedString(document, pointSize);
        attributedString = &*built;
    }
    const ReaderAttributedString& styled = *attributedString;

    // One cache per font for this call; the run walk finds the font once per run.
    QHash<QString, GlyphWidths> caches;
    double width = 0;
    qsizetype run = 0;
    qsizetype paragraph = 0;
    GlyphWidths* widths = nullptr;
    qsizetype runEnd = 0;
    forEachCharacter(styled.text, [&](TextRange sequence) {
        if (!widths || sequence.lowerBound >= runEnd) {
            run = styled.runIndex(sequence.lowerBound);
            const QTextLayout::FormatRange& range = styled.runs[run];
            runEnd = range.start + range.length;
            const QFont font = range.format.font();
            auto cache = caches.find(font.key());
            if (cache == caches.end()) cache = caches.insert(font.key(), GlyphWidths(font));
            widths = &cache.value();
        }
        while (styled.paragraphs[paragraph].range.upperBound <= sequence.lowerBound) ++paragraph;
        const QTextBlockFormat& format = styled.paragraphs[paragraph].format;
        const double indent = format.leftMargin() + std::max(0.0, format.textIndent());
        width = std::max(
            width, widths->width(QStringView(styled.text).sliced(sequence.lowerBound, sequence.length())) + indent);
        return true;
    });
    const double grid = maximumColumns > 0 ? static_cast<double>(maximumColumns) * kColumnWidth : 0;
    return std::max(std::ceil(width) + 24, scale * grid + 18);
}

std::optional<QList<ReadingDocument::Span>> tableCells(const ReadingDocument::Span& span,
                                                       const ReadingDocument& document, bool skipValidation) {
    if (span.kind != Kind::table) return std::nullopt;
    if (span.level < 1 || span.level > kMaximumGridColumns) return std::nullopt;
    if (!skipValidation && !document.isValid()) return std::nullopt;
    QList<ReadingDocument::Span> cells;
    for (const ReadingDocument::Span& candidate : document.spans) {
        if ((candidate.kind == Kind::tableCell || candidate.kind == Kind::tableHeader) &&
            candidate.start >= span.start && candidate.end <= span.end) {
            cells.append(candidate);
            if (cells.size() > kMaximumGridCells) return std::nullopt;
        }
    }
    if (cells.isEmpty() || cells.size() % span.level != 0) return std::nullopt;
    std::ranges::stable_sort(cells, {}, &ReadingDocument::Span::start);
    const QString& text = document.text;
    if (span.start > 0 && text[span.start - 1] != u'\n') return std::nullopt;
    qsizetype expected = span.start;
    for (const ReadingDocument::Span& cell : cells) {
        if (cell.start != expected || cell.end <= cell.start || text[cell.end - 1] != u'\n') return std::nullopt;
        expected = cell.end;
    }
    if (expected != span.end) return std::nullopt;
    return cells;
}

}  // namespace tavrine::ReaderArticleStyle
