#include "ReaderWidgets/Style/ReaderFocusScrollView.h"

#include "ReaderCore/MainThread.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderWidgets/Style/ReaderFocusRing.h"
#include "ReaderWidgets/Style/ToQColor.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QPainterPath>

namespace tavrine {

// The ring, drawn over the viewport and the scroll bars, which would cover anything the scroll area drew
// itself; it takes no input.
class ReaderFocusScrollView::Ring final : public QWidget {
public:
    explicit Ring(QWidget* parent) : QWidget(parent) {
        Q_ASSERT(isMainThread());
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const double inset = kRingWidth / 2;
        QPainterPath ring;
        ring.addRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), kCornerRadius - inset,
                            kCornerRadius - inset);
        painter.strokePath(ring, QPen(toQColor(ReaderPalette::focus), kRingWidth));
    }
};

ReaderFocusScrollView::ReaderFocusScrollView(QWidget* parent) : QScrollArea(parent), m_ring(new Ring(this)) {
    Q_ASSERT(isMainThread());
    // The content takes the focus, never the view around it; the window's own ring would also ring a
    // content focused by a click.
    setFocusPolicy(Qt::NoFocus);
    ReaderFocusRing::setDrawsOwnRing(*this);
    m_ring->hide();
    m_followsFocus = connect(qApp, &QApplication::focusChanged, this, [this] {
        if (showsFocusRing() == m_ring->isHidden()) updateFocusRing();
    });
}

// QWidget's destructor moves the focus off a content that has it, and closes the view that is a window of
// its own: the application tells of that focus change when this part of the view is already gone.
ReaderFocusScrollView::~ReaderFocusScrollView() {
    disconnect(m_followsFocus);
}

void ReaderFocusScrollView::setContentIsFocused(bool focused) {
    Q_ASSERT(isMainThread());
    m_contentIsFocused = focused;
    updateFocusRing();
}

bool ReaderFocusScrollView::showsFocusRing() const {
    return m_contentIsFocused && window()->isActiveWindow() && holdsWindowFocus();
}

bool ReaderFocusScrollView::holdsWindowFocus() const {
    const QWidget* focus = window()->focusWidget();
    return focus && (focus == this || focus == widget());
}

bool ReaderFocusScrollView::event(QEvent* event) {
    const bool handled = QScrollArea::event(event);
    switch (event->type()) {
    case QEvent::WindowActivate:
        // The focus moved on while the window was inactive: the content no longer counts as focused.
        if (!holdsWindowFocus()) m_contentIsFocused = false;
        updateFocusRing();
        break;
    case QEvent::WindowDeactivate:
    case QEvent::ParentChange:
    case QEvent::PaletteChange: updateFocusRing(); break;
    // The area's own size; the viewport's resizes reach resizeEvent instead.
    case QEvent::Resize: m_ring->setGeometry(rect()); break;
    default: break;
    }
    return handled;
}

void ReaderFocusScrollView::updateFocusRing() {
    m_ring->setGeometry(rect());
    m_ring->setVisible(showsFocusRing());
    m_ring->raise();
    m_ring->update();
}

}  // namespace tavrine
