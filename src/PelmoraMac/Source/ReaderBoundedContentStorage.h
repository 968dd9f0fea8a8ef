#pragma once

#include "PelmoraMac/Source/ReaderArticleTextStorage.h"
#include "PelmoraMac/Source/ReaderBoundedParagraph.h"

#include <QHash>
#include <QObject>
#include <QTextCharFormat>

#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace tavrine {

class ReaderBoundedLayoutManager;

// The content of the bounded text view, for texts too long or with paragraphs or tables too large for
// the ordinary engine. It cuts the text into pieces of at most 256 units inside real paragraphs and hands
// them out as small styled elements (ReaderBoundedParagraph), made on demand and cached; a paragraph of
// 100,000 units is about 400 elements, of which only those near the view exist at a time. Elements are
// styled from attribute prototypes, one per combination of style spans; the colours drawn over them come
// from an article storage (ReaderArticleTextStorage) kept as the source of characters and colours, with
// the highlight decorations on top. Main thread only; owned by the bounded view, one per document and
// point size.
//
// Caching: every enumeration schedules one trim for the next event-loop turn (however many enumerations
// that turn makes). The trim evicts the least recently handed-out elements until at most 512 elements
// and 32,768 units stay, never one that meets the layout manager's protected range (so the cache may
// stay above the limits while that range is larger), asks the layout manager to invalidate each run of
// contiguous evicted pieces, then drops them.
class ReaderBoundedContentStorage {
public:
    static constexpr qsizetype kPieceLength = 256;
    static constexpr qsizetype kCachedElementLimit = 512;
    static constexpr qsizetype kCachedUnitLimit = 32'768;

    enum class Direction { forward, reverse };
    using ElementVisitor = std::function<bool(const std::shared_ptr<const ReaderBoundedParagraph>&)>;

    // A highlight drawn over a range of the document.
    struct Decoration {
        TextRange range;
        QTextCharFormat format;
        bool operator==(const Decoration&) const = default;
    };

    ReaderBoundedContentStorage(ReadingDocument document, double pointSize);
    ReaderBoundedContentStorage(const ReaderBoundedContentStorage&) = delete;
    ReaderBoundedContentStorage& operator=(const ReaderBoundedContentStorage&) = delete;

    ReaderArticleTextStorage& article() { return m_article; }
    const QString& source() const { return m_article.source(); }
    qsizetype length() const { return m_article.length(); }
    double pointSize() const { return m_article.pointSize(); }

    // The pieces in order, tiling the text; an empty text has none.
    const QList<TextRange>& ranges() const { return m_ranges; }
    // For each piece, the real paragraph that holds it (separator included).
    const QList<TextRange>& paragraphs() const { return m_paragraphs; }
    // The index of the first piece that ends after location (the number of pieces when none does).
    qsizetype pieceIndex(qsizetype location) const;
    // The real paragraph of the piece that holds location; past the last piece, the empty range there.
    TextRange paragraphRange(qsizetype location) const;

    // Hands elements to visit, forward from the piece that holds location (the start when none is given),
    // or in reverse from the piece before the one that holds it (the last piece when none is given),
    // until visit answers false or the pieces run out. Returns the end (forward) or start (reverse) of the
    // last element handed out, or nothing when none was. Always schedules a trim.
    std::optional<qsizetype> enumerateTextElements(std::optional<qsizetype> location, Direction direction,
                                                   const ElementVisitor& visit);

    // The layout manager consulted by the trim; none (the default) makes a trim do nothing. It must
    // outlive its registration: a view clears it before it goes.
    void setLayoutManager(ReaderBoundedLayoutManager* manager) { m_layoutManager = manager; }
    // Evicts elements as described above; scheduled by enumerations, callable directly.
    void trimCache();
    bool isTrimPending() const { return m_trimPending; }
    qsizetype cachedElementCount() const { return m_elements.size(); }
    qsizetype cachedUnits() const;
    bool isCached(qsizetype piece) const { return m_elements.contains(piece); }

    // What is drawn over range besides the elements' own fonts: the article's colours (foreground and
    // background runs, no font, paragraph format or slant), then each decoration cut to range, in key
    // order. Offsets are relative to range's start; a later entry draws over an earlier one.
    QList<QTextLayout::FormatRange> renderingAttributes(TextRange range);

    // Highlights, by key (one per kind of highlight); setting a key replaces its decoration.
    void setDecoration(const QString& key, Decoration decoration) { m_decorations[key] = std::move(decoration); }
    void removeDecoration(const QString& key) { m_decorations.erase(key); }
    const std::map<QString, Decoration>& decorations() const { return m_decorations; }

    // Whether the bounded view draws grid tables (the text would not need bounded layout but for its
    // length); otherwise tables read as their cells' text.
    bool drawsGridTables() const { return m_drawsGridTables; }
    // The grid cell that holds the whole of range, when grid tables are drawn.
    std::optional<ReaderGridCell> gridCell(TextRange range) const;

private:
    struct Prototype {
        QTextCharFormat character;
        QTextBlockFormat paragraph;
    };

    void cutPieces();
    const Prototype& prototype(const QList<const ReadingDocument::Span*>& spans);
    std::shared_ptr<const ReaderBoundedParagraph> makeParagraph(qsizetype piece);
    void scheduleTrim();

    ReaderArticleTextStorage m_article;
    QList<TextRange> m_ranges;
    QList<TextRange> m_paragraphs;
    QList<ReadingDocument::Span> m_styleSpans;
    QList<qsizetype> m_spanEnds;
    QHash<QString, Prototype> m_prototypes;
    QHash<qsizetype, std::shared_ptr<const ReaderBoundedParagraph>> m_elements;
    QHash<qsizetype, qint64> m_recency;
    qint64 m_clock = 0;
    bool m_trimPending = false;
    bool m_drawsGridTables = false;
    std::map<QString, Decoration> m_decorations;
    ReaderBoundedLayoutManager* m_layoutManager = nullptr;
    // The scheduled trim's receiver: it goes with the storage, and the trim with it.
    QObject m_trimContext;
};

}  // namespace tavrine
