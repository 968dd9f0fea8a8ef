#pragma once

#include <QList>
#include <QStyledItemDelegate>

class QAbstractItemModel;
class QListView;

namespace tavrine {

// Paints the rows of the table-of-contents pane (ReaderEPUBPaneModel) and measures them: an entry's
// label wraps onto as many lines as it needs, indented by its depth, with the current-position symbol at
// its trailing edge (whose room every entry keeps, so a moving mark never changes a height); an
// unavailable entry's reason under its label; a chapter's symbol before its title; the chapter group's
// chevron; the fallback header and note.
//
// Heights are measured once per row and width and kept: the view's relayouts after an expanded or
// collapsed group or a repaint cost no text layout. Main thread; the view must outlive it.
class ReaderEPUBPaneDelegate final : public QStyledItemDelegate {
    Q_OBJECT

public:
    static constexpr int kHorizontalInset = 10;
    static constexpr int kVerticalInset = 5;
    static constexpr int kSymbolSize = 12;
    static constexpr int kSpacing = 6;
    static constexpr int kReasonSpacing = 3;

    // For the rows of model shown in view.
    ReaderEPUBPaneDelegate(QListView& view, QAbstractItemModel& model);

    // The width rows are laid out in: the view's less the room of a vertical scroll bar, shown or not, so
    // that the bar appearing does not change every height.
    int rowWidth() const;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    void follow(QAbstractItemModel* model);

    QListView& m_view;
    mutable int m_heightsWidth = -1;
    mutable QList<int> m_heights;
};

}  // namespace tavrine
