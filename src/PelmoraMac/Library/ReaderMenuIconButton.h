#pragma once

#include <QToolButton>

namespace tavrine {

// The "…" button of the document list's menus (the history's and each row's), drawn without a plate:
// the three dots in the tint, a faint wash of the tint under the pointer and a stronger one while
// pressed (the rule of the reader's icon buttons), dimmed when disabled, and the focus ring. Only its
// square takes clicks and hover. With a ring margin the widget is that much larger on every side and the
// ring lies outside the square, in the margin; without one it lies inside the square's edge. Main
// thread; owned by its parent widget.
class ReaderMenuIconButton final : public QToolButton {
public:
    static constexpr int kSize = 28;
    static constexpr int kGlyphSize = 16;
    static constexpr double kCornerRadius = 6;

    explicit ReaderMenuIconButton(int ringMargin, QWidget* parent = nullptr);

    // The clickable square, in the button's coordinates.
    QRectF square() const;
    bool isHovered() const { return m_hovered; }

    // The three dots, centred in square: what the button draws, for whatever paints the glyph in its
    // place.
    static void paintGlyph(QPainter& painter, const QRectF& square, const QColor& colour);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& position) const override;
    bool event(QEvent* event) override;

private:
    void setHovered(bool hovered);

    int m_ringMargin;
    bool m_hovered = false;
};

}  // namespace tavrine
