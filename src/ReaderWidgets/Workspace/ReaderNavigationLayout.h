#pragma once

#include <QLayout>
#include <QList>

namespace tavrine {

// The layout of the reading area and the table-of-contents pane: its first item is the reading area, the
// second the pane, the third the rule between them, each placed at its frame of ReaderNavigationFrames for
// the rectangle given, offset by the rectangle's origin. Further items are not placed. It takes all the
// space it is given and measures none of its items; the frames follow from that space and the flag alone,
// so a flag set without a pane still leaves the pane's room empty. Main thread.
class ReaderNavigationLayout final : public QLayout {
    Q_OBJECT

public:
    explicit ReaderNavigationLayout(QWidget* parent = nullptr);
    ~ReaderNavigationLayout() override;

    bool showsNavigation() const { return m_showsNavigation; }
    void setShowsNavigation(bool shows);

    void addItem(QLayoutItem* item) override;
    int count() const override { return int(m_items.size()); }
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    void setGeometry(const QRect& rect) override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    Qt::Orientations expandingDirections() const override { return Qt::Horizontal | Qt::Vertical; }

private:
    QList<QLayoutItem*> m_items;
    bool m_showsNavigation = false;
};

}  // namespace tavrine
