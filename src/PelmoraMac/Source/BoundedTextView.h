#pragma once

#include "PelmoraMac/Source/InteractionTextView.h"
#include "PelmoraMac/Source/ReaderBoundedContentStorage.h"
#include "PelmoraMac/Source/ReaderBoundedLayoutManager.h"
#include "PelmoraMac/Source/internal/BoundedTextLayout.h"
#include "PelmoraMac/Source/internal/InteractionRules.h"

#include <QAbstractScrollArea>
#include <QTimer>

#include <memory>
#include <optional>

namespace tavrine {

// The bounded source text view, for texts the text document would lay out whole too slowly: it lays out
// and draws only what is near the visible area, from the bounded storage's styled pieces. Where the text
// lies (blocks, heights, kept layouts, hit testing) is its BoundedTextLayout's; the view scrolls over it,
// paints it, and keeps the caret and the selection.
//
// It is a full text view: caret, mouse and Shift selection, double-click word selection, arrows by
// composed character sequence, Ctrl with the arrows by word, Up and Down keeping the caret's x, the Page
// keys, Home and End, select all and copy; a drag past an edge scrolls while the button is held (sideways
// too, where a wide grid table makes the text wider than the view). The selection is a translucent wash
// over the text. Main thread only.
class BoundedTextView final : public QAbstractScrollArea,
                              public InteractionTextView,
                              public ReaderBoundedLayoutManager {
public:
    static constexpr qsizetype kPiecesPerBlock = BoundedTextLayout::kPiecesPerBlock;
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
    void setInitialTopOffset(qsizetype offset) override;
    bool hasContentHeight() const override;
    void setFollowedRange(std::optional<TextRange> range) override { m_followedRange = range; }

    void drawHighlight(Highlight highlight, std::optional<TextRange> range) override;
    void copySelection() override;

    void setMinimumDocumentWidth(double width);
    double documentWidth() const;

    std::optional<TextRange> protectedRange() const override;
    void invalidate(TextRange range) override;

    ReaderBoundedContentStorage* storage() const { return m_storage.get(); }
    // The visual line that holds offset (laid out on demand); none without text.
    std::optional<TextRange> lineRange(qsizetype offset);
    qsizetype layoutCount() const { return m_layout ? m_layout->layoutCount() : 0; }

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
    // Where a key puts the caret, and the x that Up, Down and the Page keys keep (none for the others).
    struct CaretMove {
        qsizetype target = 0;
        std::optional<double> goalX;
    };

    double textWidth() const;
    double lineHeight() const;
    void updateScrollBars();
    // The layout's view follows the scroll bar and the viewport; and the scroll bar the layout, when a
    // correction above the text in view moved its top.
    void syncViewTop();
    void followViewTop();
    // The view's exact top in content coordinates: the scroll bar's value and the fraction kept beside it.
    double scrollTop() const;

    // Painting, in viewport coordinates: a block at origin, a part's selection wash, the caret.
    void paintBlock(QPainter& painter, const BoundedTextLayout::BlockLayout& laidOut, QPointF origin,
                    const QRect& dirty, TextRange selection);
    void paintSelection(QPainter& painter, const BoundedTextLayout::Part& part, QPointF origin,
                        TextRange selection) const;

    // Hit testing and caret geometry, in content coordinates (x from the document's left edge).
    qsizetype offsetAt(QPointF point);
    QRectF caretRect(qsizetype offset);
    void moveCaret(qsizetype position, bool extend);

    // The keys: those that act on the view as a whole (Tab, copy, select all), then the moves.
    bool handleCommandKey(QKeyEvent& event);
    CaretMove caretMove(int key, Qt::KeyboardModifiers modifiers);
    CaretMove horizontalMove(bool forward, Qt::KeyboardModifiers modifiers) const;
    CaretMove pageMove(int direction, double x, const QRectF& caret);
    CaretMove lineEdgeMove(bool end, bool control);
    // The caret a key moved stays in view (the user's own move, not a reveal).
    void keepCaretInView();
    void autoScroll();

    void revealPending();
    // After a relayout that kept the top line: reveals the followed range when that left it out of view.
    void keepFollowedInView();
    // Lays out around offset and scrolls its line to the top, below the inset.
    void placeAtTop(qsizetype offset);
    void userInteracted();
    void cancelReveal();

    std::unique_ptr<ReaderBoundedContentStorage> m_storage;
    std::unique_ptr<BoundedTextLayout> m_layout;
    double m_minimumDocumentWidth = 0;
    // How far the view's exact top lies below the scroll bar's whole pixel (at most half a pixel either
    // way): what the layout's corrections above the view leave over.
    double m_topFraction = 0;
    std::optional<TextRange> m_highlights[2];

    qsizetype m_anchor = 0;
    qsizetype m_position = 0;
    // Up, Down and the Page keys keep this x (layout coordinates) across lines of different lengths.
    std::optional<double> m_goalX;
    bool m_caretVisible = false;
    // While a drag holds the button beyond an edge, the view scrolls on this timer.
    QTimer m_autoScroll;
    QPointF m_dragPoint;

    std::function<void()> m_onInteraction;
    std::function<void()> m_onSelectionChanged;
    std::optional<TextRange> m_pendingReveal;
    std::optional<TextRange> m_followedRange;
    std::optional<InteractionRules::PlacedTop> m_placedTop;
    InteractionRules::InitialRevealSlot m_initialReveal{
        this,
        {[this] { return hasContentHeight(); }, [this] { return textLength(); },
         [this](TextRange range) { scrollRangeToVisible(range); }, [this](qsizetype offset) { placeAtTop(offset); }}};
    bool m_handlingKey = false;
    ViewportUpdateQueue m_viewportUpdate{this};
};

}  // namespace tavrine
