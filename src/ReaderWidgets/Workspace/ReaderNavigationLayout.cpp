#include "ReaderWidgets/Workspace/ReaderNavigationLayout.h"

#include "ReaderCore/MainThread.h"
#include "ReaderUI/Workspace/ReaderNavigationFrames.h"

#include <QWidget>

#include <cmath>

namespace tavrine {
namespace {

constexpr QSize kSizeHint{10, 10};

// Whole pixels that tile: each edge rounded on its own, so neighbours neither overlap nor leave a gap.
QRect pixels(const QRectF& frame, QPoint origin) {
    const int left = int(std::lround(frame.left()));
    const int top = int(std::lround(frame.top()));
    const int right = int(std::lround(frame.right()));
    const int bottom = int(std::lround(frame.bottom()));
    return QRect(origin.x() + left, origin.y() + top, right - left, bottom - top);
}

}  // namespace

ReaderNavigationLayout::ReaderNavigationLayout(QWidget* parent) : QLayout(parent) {
    Q_ASSERT(isMainThread());
    setContentsMargins(0, 0, 0, 0);
    setSpacing(0);
}

ReaderNavigationLayout::~ReaderNavigationLayout() {
    qDeleteAll(m_items);
}

void ReaderNavigationLayout::setShowsNavigation(bool shows) {
    if (m_showsNavigation == shows) return;
    m_showsNavigation = shows;
    invalidate();
}

void ReaderNavigationLayout::addItem(QLayoutItem* item) {
    m_items.append(item);
}

QLayoutItem* ReaderNavigationLayout::itemAt(int index) const {
    return index >= 0 && index < m_items.size() ? m_items[index] : nullptr;
}

QLayoutItem* ReaderNavigationLayout::takeAt(int index) {
    return index >= 0 && index < m_items.size() ? m_items.takeAt(index) : nullptr;
}

QSize ReaderNavigationLayout::sizeHint() const {
    return kSizeHint;
}

QSize ReaderNavigationLayout::minimumSize() const {
    return {0, 0};
}

void ReaderNavigationLayout::setGeometry(const QRect& rect) {
    QLayout::setGeometry(rect);
    const ReaderNavigationFrames frames = ReaderNavigationFrames::make(rect.width(), rect.height(), m_showsNavigation);
    const QRectF placed[] = {frames.reading, frames.pane, frames.divider};
    for (qsizetype index = 0; index < std::min<qsizetype>(m_items.size(), 3); ++index) {
        // A widget gets exactly its frame, whatever its own least or greatest size.
        const QRect frame = pixels(placed[index], rect.topLeft());
        if (QWidget* widget = m_items[index]->widget()) {
            widget->setGeometry(frame);
        } else {
            m_items[index]->setGeometry(frame);
        }
    }
}

}  // namespace tavrine
