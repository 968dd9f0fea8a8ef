#include "PelmoraMac/Source/ReaderBoundedContentStorage.h"

#include "PelmoraMac/Source/ReaderArticleStyle.h"
#include "PelmoraMac/Source/ReaderBoundedLayoutManager.h"
#include "ReaderCore/Json.h"
#include "ReaderCore/MainThread.h"
#include "ReaderCore/Paragraphs.h"
#include "ReaderUI/Source/NeedsBoundedLayout.h"

#include <QTimer>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tavrine {
namespace {

using Kind = ReadingDocument::Span::Kind;

bool stylesPieces(Kind kind) {
    switch (kind) {
    case Kind::heading:
    case Kind::listItem:
    case Kind::quote:
    case Kind::codeBlock:
    case Kind::strong:
    case Kind::emphasis:
    case Kind::code:
    case Kind::tableHeader: return true;
    case Kind::paragraph:
    case Kind::table:
    case Kind::tableCell: return false;
    }
    Q_UNREACHABLE();
}

bool intersects(TextRange a, TextRange b) {
    return std::max(a.lowerBound, b.lowerBound) < std::min(a.upperBound, b.upperBound);
}

// "kind:level" of each span, joined by commas; the empty key for no span.
QString styleKey(const QList<const ReadingDocument::Span*>& spans) {
    QString key;
    for (const ReadingDocument::Span* span : spans) {
        if (!key.isEmpty()) key += u',';
        key += rawValue(span->kind) + QChar(u':') + QString::number(span->level);
    }
    return key;
}

}  // namespace

ReaderBoundedContentStorage::ReaderBoundedContentStorage(ReadingDocument document, double pointSize)
    : m_article(std::move(document), pointSize) {
    Q_ASSERT(isMainThread());
    cutPieces();
    for (const ReadingDocument::Span& span : m_article.validSpans()) {
        if (stylesPieces(span.kind)) m_styleSpans.append(span);
    }
    std::ranges::stable_sort(m_styleSpans, {}, &ReadingDocument::Span::start);
    qsizetype runningEnd = 0;
    for (const ReadingDocument::Span& span : m_styleSpans) {
        runningEnd = std::max(runningEnd, span.end);
        m_spanEnds.append(runningEnd);
    }
    m_drawsGridTables = !m_article.cells().isEmpty() && !needsBoundedLayout(source(), m_article.validSpans());
}

void ReaderBoundedContentStorage::cutPieces() {
    const QString& text = source();
    const qsizetype length = text.size();
    for (qsizetype start = 0; start < length;) {
        const TextRange paragraph{start, paragraphEnd(text, start)};
        for (qsizetype pieceStart = start; pieceStart < paragraph.upperBound;) {
            qsizetype cut = std::min(pieceStart + kPieceLength, paragraph.upperBound);
            // Only a cut inside the paragraph can split a sequence; the paragraph's end never does.
            if (cut < paragraph.upperBound) {
                const TextRange sequence = m_article.composedCharacterSequence(cut);
                cut = sequence.lowerBound > pieceStart ? sequence.lowerBound : sequence.upperBound;
            }
            m_ranges.append({pieceStart, cut});
            m_paragraphs.append(paragraph);
            pieceStart = cut;
        }
        start = paragraph.upperBound;
    }
}

qsizetype ReaderBoundedContentStorage::pieceIndex(qsizetype location) const {
    const auto found = std::ranges::upper_bound(m_ranges, location, {}, &TextRange::upperBound);
    return std::distance(m_ranges.begin(), found);
}

TextRange ReaderBoundedContentStorage::paragraphRange(qsizetype location) const {
    const qsizetype piece = pieceIndex(location);
    if (piece == m_ranges.size()) return {location, location};
    return m_paragraphs[piece];
}

const ReaderBoundedContentStorage::Prototype& ReaderBoundedContentStorage::prototype(
    const QList<const ReadingDocument::Span*>& spans) {
    const QString key = styleKey(spans);
    auto found = m_prototypes.constFind(key);
    if (found != m_prototypes.constEnd()) return *found;
    Q_ASSERT(isMainThread());
    // The typography of a one-character document under these spans; a header cell reads as strong text.
    ReadingDocument sample{.sections = std::nullopt, .text = u"x"_s, .spans = {}};
    for (const ReadingDocument::Span* span : spans) {
        sample.spans.append({.kind = span->kind == Kind::tableHeader ? Kind::strong : span->kind,
                             .start = 0,
                             .end = 1,
                             .level = span->level});
    }
    const ReaderAttributedString styled = ReaderArticleStyle::attributedString(sample, pointSize());
    return *m_prototypes.insert(key, {styled.runs.first().format, styled.paragraphs.first().format});
}

std::shared_ptr<const ReaderBoundedParagraph> ReaderBoundedContentStorage::makeParagraph(qsizetype piece) {
    const TextRange range = m_ranges[piece];
    // The spans that touch the piece: from the first whose running end passes its start, while they start
    // before its end.
    QList<const ReadingDocument::Span*> touching;
    QList<qsizetype> boundaries{range.lowerBound, range.upperBound};
    const auto first = std::ranges::upper_bound(m_spanEnds, range.lowerBound);
    for (qsizetype i = std::distance(m_spanEnds.begin(), first);
         i < m_styleSpans.size() && m_styleSpans[i].start < range.upperBound; ++i) {
        const ReadingDocument::Span& span = m_styleSpans[i];
        if (span.end <= range.lowerBound) continue;
        touching.append(&span);
        boundaries.append(std::clamp(span.start, range.lowerBound, range.upperBound));
        boundaries.append(std::clamp(span.end, range.lowerBound, range.upperBound));
    }
    std::ranges::sort(boundaries);
    boundaries.erase(std::unique(boundaries.begin(), boundaries.end()), boundaries.end());

    auto element = std::make_shared<ReaderBoundedParagraph>();
    element->range = range;
    element->text = source().sliced(range.lowerBound, range.length());
    QList<const ReadingDocument::Span*> active;
    for (qsizetype b = 0; b + 1 < boundaries.size(); ++b) {
        const qsizetype start = boundaries[b];
        const qsizetype end = boundaries[b + 1];
        active.clear();
        for (const ReadingDocument::Span* span : touching) {
            if (span->start < end && span->end > start) active.append(span);
        }
        const Prototype& style = prototype(active);
        if (b == 0) element->format = style.paragraph;
        QList<QTextLayout::FormatRange>& formats = element->formats;
        if (!formats.isEmpty() && formats.last().format == style.character) {
            formats.last().length += static_cast<int>(end - start);
        } else {
            formats.append(
                {static_cast<int>(start - range.lowerBound), static_cast<int>(end - start), style.character});
        }
    }
    const TextRange paragraph = m_paragraphs[piece];
    if (range.upperBound < paragraph.upperBound) element->format.setBottomMargin(0);
    if (range.lowerBound > paragraph.lowerBound) {
        element->format.setTopMargin(0);
        element->format.setTextIndent(0);
    }
    if (m_drawsGridTables && gridCell(range)) ReaderArticleStyle::applyCellParagraph(element->format, pointSize());
    return element;
}

std::optional<qsizetype> ReaderBoundedContentStorage::enumerateTextElements(std::optional<qsizetype> location,
                                                                            Direction direction,
                                                                            const ElementVisitor& visit) {
    const bool forward = direction == Direction::forward;
    const qsizetype offset = location.value_or(forward ? 0 : length());
    qsizetype piece = pieceIndex(offset) - (forward ? 0 : 1);
    std::optional<qsizetype> result;
    while (piece >= 0 && piece < m_ranges.size()) {
        auto cached = m_elements.constFind(piece);
        if (cached == m_elements.constEnd()) cached = m_elements.insert(piece, makeParagraph(piece));
        // A copy: visit may reach back into the storage.
        const std::shared_ptr<const ReaderBoundedParagraph> element = *cached;
        m_recency.insert(piece, ++m_clock);
        result = forward ? element->range.upperBound : element->range.lowerBound;
        if (!visit(element)) break;
        piece += forward ? 1 : -1;
    }
    scheduleTrim();
    return result;
}

void ReaderBoundedContentStorage::scheduleTrim() {
    if (m_trimPending) return;
    m_trimPending = true;
    QTimer::singleShot(0, &m_trimContext, [this] { trimCache(); });
}

qsizetype ReaderBoundedContentStorage::cachedUnits() const {
    qsizetype units = 0;
    for (auto it = m_elements.keyBegin(); it != m_elements.keyEnd(); ++it) units += m_ranges[*it].length();
    return units;
}

void ReaderBoundedContentStorage::trimCache() {
    m_trimPending = false;
    if (!m_layoutManager) return;
    const std::optional<TextRange> kept = m_layoutManager->protectedRange();
    qsizetype units = cachedUnits();
    QList<qsizetype> candidates = m_elements.keys();
    std::ranges::sort(candidates, {}, [&](qsizetype piece) { return m_recency.value(piece, 0); });
    QList<qsizetype> chosen;
    for (qsizetype piece : candidates) {
        if (m_elements.size() - chosen.size() <= kCachedElementLimit && units <= kCachedUnitLimit) break;
        if (kept && intersects(m_ranges[piece], *kept)) continue;
        chosen.append(piece);
        units -= m_ranges[piece].length();
    }
    if (chosen.isEmpty()) return;
    std::ranges::sort(chosen);
    // One invalidation per run of neighbouring pieces.
    TextRange run = m_ranges[chosen.first()];
    for (qsizetype i = 1; i <= chosen.size(); ++i) {
        if (i < chosen.size() && m_ranges[chosen[i]].lowerBound == run.upperBound) {
            run.upperBound = m_ranges[chosen[i]].upperBound;
            continue;
        }
        m_layoutManager->invalidate(run);
        if (i < chosen.size()) run = m_ranges[chosen[i]];
    }
    for (qsizetype piece : chosen) {
        m_elements.remove(piece);
        m_recency.remove(piece);
    }
}

QList<QTextLayout::FormatRange> ReaderBoundedContentStorage::renderingAttributes(TextRange range) {
    range = range.clamped(0, length());
    QList<QTextLayout::FormatRange> attributes;
    for (qsizetype position = range.lowerBound; position < range.upperBound;) {
        TextRange run;
        const ReaderTextAttributes styled = m_article.attributes(position, &run);
        const qsizetype end = std::min(run.upperBound, range.upperBound);
        if (end <= position) break;
        QTextCharFormat colours;
        if (styled.character.hasProperty(QTextFormat::ForegroundBrush))
            colours.setForeground(styled.character.foreground());
        if (styled.character.hasProperty(QTextFormat::BackgroundBrush))
            colours.setBackground(styled.character.background());
        const int start = static_cast<int>(position - range.lowerBound);
        if (!attributes.isEmpty() && attributes.last().format == colours &&
            attributes.last().start + attributes.last().length == start) {
            attributes.last().length += static_cast<int>(end - position);
        } else {
            attributes.append({start, static_cast<int>(end - position), colours});
        }
        position = end;
    }
    for (const auto& entry : m_decorations) {
        const Decoration& decoration = entry.second;
        const TextRange cut = decoration.range.clamped(range.lowerBound, range.upperBound);
        if (cut.isEmpty()) continue;
        attributes.append(
            {static_cast<int>(cut.lowerBound - range.lowerBound), static_cast<int>(cut.length()), decoration.format});
    }
    return attributes;
}

std::optional<ReaderGridCell> ReaderBoundedContentStorage::gridCell(TextRange range) const {
    if (!m_drawsGridTables || range.lowerBound < 0 || range.lowerBound >= length()) return std::nullopt;
    std::optional<ReaderGridCell> cell = m_article.cell(range.lowerBound);
    if (cell && range.upperBound > cell->span.end) return std::nullopt;
    return cell;
}

}  // namespace tavrine
