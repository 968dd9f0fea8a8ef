#include "PelmoraMac/Window/ReaderDocumentLayout.h"

#include "PelmoraMac/Window/ReaderPresentation.h"
#include "ReaderCore/MainThread.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderWidgets/Style/ToQColor.h"

#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace tavrine {

// The invisible zone over the divider that the pointer drags.
class ReaderDocumentLayout::DividerGrip final : public QWidget {
public:
    explicit DividerGrip(ReaderDocumentLayout& layout) : QWidget(&layout), m_layout(layout) {
        Q_ASSERT(isMainThread());
        setCursor(Qt::SplitHCursor);
        setAttribute(Qt::WA_NoSystemBackground);
    }

protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton) return event->ignore();
        // Where in the grip the pointer took hold, so the divider does not jump under it.
        m_grabOffset = event->position().x() - kGrabMargin;
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        if (!(event->buttons() & Qt::LeftButton)) return event->ignore();
        m_layout.dragDivider(m_layout.mapFromGlobal(event->globalPosition()).x() - m_grabOffset);
    }

private:
    ReaderDocumentLayout& m_layout;
    double m_grabOffset = 0;
};

ReaderDocumentLayout::ReaderDocumentLayout(ReaderPresentation& presentation, QWidget* sidebar, QWidget* content,
                                           std::function<void()> onHideSidebar, QWidget* parent)
    : QWidget(parent),
      m_presentation(presentation),
      m_sidebar(sidebar),
      m_content(content),
      m_grip(new DividerGrip(*this)),
      m_onHideSidebar(std::move(onHideSidebar)) {
    Q_ASSERT(isMainThread());
    m_sidebar->setParent(this);
    m_sidebar->hide();
    m_content->setParent(this);
    m_grip->hide();
    connect(&presentation, &ReaderPresentation::prefersHistoryChanged, this, &ReaderDocumentLayout::layoutPanes);
    connect(&presentation, &ReaderPresentation::historyWidthChanged, this, &ReaderDocumentLayout::layoutPanes);
}

ReaderDocumentLayout::~ReaderDocumentLayout() = default;

double ReaderDocumentLayout::dragDivider(double position) {
    Q_ASSERT(isMainThread());
    const double most = std::min(width() - ReaderPresentation::kMinimumReaderWidth - ReaderPresentation::kDividerWidth,
                                 ReaderPresentation::kMaximumHistoryWidth);
    const double limited = std::max(std::min(position, most), ReaderPresentation::kMinimumHistoryWidth);
    m_presentation.setHistoryWidth(limited);
    return limited;
}

QSize ReaderDocumentLayout::sizeHint() const {
    return m_content->sizeHint();
}

QSize ReaderDocumentLayout::minimumSizeHint() const {
    return m_content->minimumSizeHint();
}

void ReaderDocumentLayout::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutPanes();
}

void ReaderDocumentLayout::paintEvent(QPaintEvent*) {
    if (!m_showsSidebar) return;
    QPainter painter(this);
    painter.fillRect(QRect(m_sidebarWidth, 0, int(ReaderPresentation::kDividerWidth), height()),
                     toQColor(ReaderPalette::border));
}

void ReaderDocumentLayout::layoutPanes() {
    Q_ASSERT(isMainThread());
    const int layoutWidth = width();
    const int layoutHeight = height();
    if (layoutWidth <= 0) return;

    const bool shows = m_presentation.prefersHistory() && ReaderPresentation::isWideEnoughForHistory(layoutWidth);
    int sidebarWidth = 0;
    int dividerWidth = 0;
    if (shows) {
        // Whole pixels: the stored width may be fractional (a drag on a scaled screen).
        sidebarWidth =
            int(std::lround(ReaderPresentation::historyPaneWidth(layoutWidth, m_presentation.historyWidth())));
        dividerWidth = int(ReaderPresentation::kDividerWidth);
        m_sidebar->setGeometry(0, 0, sidebarWidth, layoutHeight);
        m_grip->setGeometry(sidebarWidth - kGrabMargin, 0, dividerWidth + 2 * kGrabMargin, layoutHeight);
    }
    if (shows != m_showsSidebar) {
        m_showsSidebar = shows;
        m_sidebar->setVisible(shows);
        m_grip->setVisible(shows);
        if (!shows) {
            QTimer::singleShot(0, this, [this] {
                if (m_onHideSidebar) m_onHideSidebar();
            });
        }
    }
    m_sidebarWidth = sidebarWidth;
    m_content->setGeometry(sidebarWidth + dividerWidth, 0, layoutWidth - sidebarWidth - dividerWidth, layoutHeight);
    m_grip->raise();
    update();

    if (m_reportedWidth != layoutWidth) {
        m_reportedWidth = layoutWidth;
        QTimer::singleShot(0, this, [this, layoutWidth] { m_presentation.setAvailableWidth(layoutWidth); });
    }
}

}  // namespace tavrine
