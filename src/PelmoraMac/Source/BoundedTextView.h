#pragma once

#include "PelmoraMac/Source/InteractionTextView.h"
#include "PelmoraMac/Source/ReaderBoundedContentStorage.h"
#include "PelmoraMac/Source/ReaderBoundedLayoutManager.h"
#include "PelmoraMac/Source/internal/HeightIndex.h"
#include "PelmoraMac/Source/internal/InteractionRules.h"

#include <QAbstractScrollArea>
#include <QHash>
#include <QTextLayout>
#include <QTimer>

#include <map>
#include <memory>
#include <vector>

namespace tavrine {

// The bounded source text view, for texts the text document would lay out whole too slowly: it lays out
// and draws only what is near the visible area, from the bounded storage's styled pieces.
//
// A layout block is the pieces of one real paragraph, at most 16 of them (4,096 units), laid out as one
// QTextLayout, so a long paragraph's lines run on across the pieces' edges. When the storage draws grid
// tables, a grid table is one block: a QTextLayout per cell paragraph, in boxes of equal columns that
// share the text's width, each row as tall as its tallest cell. A height index over the
// blocks (exact once a block is laid out, estimated before) maps the scroll position to text; when an
// estimate above the top line is corrected the view moves with it, so the text in view stays still.
// Layouts far from the view are dropped, and so are those whose pieces the storage evicts.
//
// It is a full text view: caret, mouse and Shift selection, double-click word selection, arrows by
// composed character sequence, Ctrl with the arrows by word, Up and Down keeping the caret's x, the Page
// keys, Home and End, select all and copy; a drag past an edge scrolls while the button is held (sideways
// too, where a wide grid table makes the text wider than the view). The selection is a translucent wash over the text.
// Main thread only.
class BoundedTextView final : public QAbstractScrollArea,
                              public InteractionTextView,
                              public ReaderBoundedLayoutManager {
public:
    static constexpr qsizetype kPiecesPerBlock = 16;
    static constexpr int kInset = 8;

    explicit BoundedTextView(QWidget* parent = nullptr);
    ~BoundedTextView() override;

    QAbstractScrollArea* scrollArea() override { return this; }
    void load(const ReadingDocument& document, double pointSize) override;
    const QString& source() const override;
    void setOnInteraction(std::function<void()> onInteraction) override { m_onInteraction = std::move(onInteraction); }

    void setOnSelectionChanged(std::function<void()> onSelectionChanged) override {
        m_onSelectionChanged = std::move(onSelectionChanged);
    }
    QList<TextRange> selectedRanges() const override;
    void setSelectedRange(TextRange range) override;
    std::optional<qsizetype> visibleOffset() const override;

    void scrollRangeToVisible(TextRange range) override;
    bool hasPendingReveal() const override { return m_pendingReveal.has_value(); }
    void setInitialRevealRange(TextRange range) override;
    bool hasContentHeight() const override;

    void drawHighlight(Highlight highlight, std::optional<TextRange> range) override;
    void copySelection() override;

    void setMinimumDocumentWidth(double width);
    double documentWidth() const;

    std::optional<TextRange> protectedRange() const override;
    void invalidate(TextRange range) override;

    ReaderBoundedContentStorage* storage() const { return m_storage.get(); }
    // The visual line that holds offset (laid out on demand); none without text.
    std::optional<TextRange> lineRange(qsizetype offset);
    qsizetype layoutCount() const { return static_cast<qsizetype>(m_layouts.size()); }

    // The caret (the moving end of the selection); setting it drops the selection.
    qsizetype caretPosition() const { return m_position; }
    void setCaretPosition(qsizetype position) { setSelectedRange({position, position}); }
    // The caret's rectangle before offset, and the offset nearest a point, in viewport coordinates.
    QRectF characterRect(qsizetype offset);
    qsizetype offsetAtViewportPoint(QPointF point);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    struct Block {
        qsizetype firstPiece = 0;
        qsizetype pieceCount = 0;
        TextRange range;
        // A grid table's cells, as indexes into the article's cells; none for a paragraph.
        qsizetype firstCell = 0;
        qsizetype cellCount = 0;
        int columns = 0;

        bool isTable() const { return cellCount > 0; }
    };
    // One laid-out paragraph (a whole block, or one paragraph of a grid cell), its lines placed from its
    // origin, which is relative to the block's top left.
    struct Part {
        std::unique_ptr<QTextLayout> text;
        TextRange range;
        QPointF origin;
        double lineSpacing = 0;
        double height = 0;
    };
    struct CellBox {
        qsizetype cell = 0;
        QRectF box;
        qsizetype firstPart = 0;
        qsizetype partCount = 0;
    };
    struct Layout {
        std::vector<Part> parts;
        std::vector<CellBox> cells;
        double height = 0;
    };

    void cutBlocks();
    double estimatedHeight(const Block& block) const;
    // Lays block out (once) at the current width, corrects its height in the index and answers it.
    Layout& layout(qsizetype block);
    // The paragraph of pieces [firstPiece, firstPiece + pieceCount) laid out width wide, at origin 0.
    Part layOutParagraph(qsizetype firstPiece, qsizetype pieceCount, double width);
    void layOutTable(const Block& block, Layout& layout);
    static const Part& partHolding(const Layout& layout, qsizetype offset);
    // The part nearest a point relative to the block's top left.
    const Part& partAt(const Layout& layout, QPointF point) const;
    void dropLayouts();
    qsizetype blockHolding(qsizetype offset) const;
    // Line positions inside a laid-out block, relative to the block's top.
    double lineTop(const Layout& layout, int line) const;
    double textWidth() const;
    void updateScrollBars();
    double contentTop() const;

    // Hit testing and caret geometry, in content coordinates (x from the text's left edge).
    qsizetype offsetAt(QPointF point);
    QRectF caretRect(qsizetype offset);
    void moveCaret(qsizetype position, bool extend);
    qsizetype characterAfter(qsizetype offset) const;
    qsizetype characterBefore(qsizetype offset) const;
    // The offset at x on the first line above (direction -1) or below (1) the caret's line, whose edge
    // (top or bottom) is given.
    qsizetype offsetOnNextLine(double x, double edge, int direction);
    // The start of the next or the previous word (the text's end or start when there is none).
    qsizetype wordStart(qsizetype offset, bool forward) const;
    void autoScroll();

    void revealPending();
    void revealInitialRange(quint64 generation);
    void userInteracted();
    void cancelReveal();

    std::unique_ptr<ReaderBoundedContentStorage> m_storage;
    QList<Block> m_blocks;
    HeightIndex m_heights;
    std::map<qsizetype, Layout> m_layouts;
    double m_layoutWidth = 0;
    double m_minimumDocumentWidth = 0;
    double m_unitWidth = 8;
    double m_lineHeight = 20;
    double m_paragraphSpacing = 0;
    std::optional<TextRange> m_highlights[2];

    qsizetype m_anchor = 0;
    qsizetype m_position = 0;
    std::optional<double> m_goalX;
    bool m_caretVisible = false;
    // While a drag holds the button beyond an edge, the view scrolls on this timer.
    QTimer m_autoScroll;
    QPointF m_dragPoint;

    std::function<void()> m_onInteraction;
    std::function<void()> m_onSelectionChanged;
    std::optional<TextRange> m_pendingReveal;
    std::optional<TextRange> m_initialReveal;
    quint64 m_initialRevealGeneration = 0;
    bool m_handlingKey = false;
    qsizetype m_visibleFirstBlock = 0;
    qsizetype m_visibleLastBlock = -1;
    ViewportUpdateQueue m_viewportUpdate{this};
};

}  // namespace tavrine
