#include "PelmoraMac/Window/ReaderToolbarTitle.h"

#include "PelmoraMac/Window/ReaderPresentation.h"
#include "ReaderCore/MainThread.h"
#include "ReaderCore/SavedReading.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderUI/Workspace/ReaderDocumentIdentity.h"
#include "ReaderWidgets/Style/ToQColor.h"
#include "ReaderWidgets/Workspace/ReaderEPUBNavigationButton.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetricsF>
#include <QLabel>
#include <QLayout>
#include <QPointer>
#include <QTimer>
#include <QToolBar>

#include <algorithm>
#include <cmath>

namespace tavrine {
using namespace Qt::StringLiterals;

ReaderToolbarTitle::ReaderToolbarTitle(ReaderPresentation& presentation, QWidget* parent)
    : QWidget(parent),
      m_presentation(presentation),
      m_navigation(new ReaderEPUBNavigationButton(this)),
      m_title(new QLabel(this)) {
    Q_ASSERT(isMainThread());
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setMinimumWidth(kMinimumWidth);
    setMaximumWidth(kMaximumWidth);
    setFixedHeight(kPreferredSize.height());

    QFont font = QApplication::font();
    font.setPixelSize(kFontPixelSize);
    font.setWeight(QFont::DemiBold);
    m_title->setFont(font);
    m_title->setObjectName(u"readerDocumentTitle"_s);
    m_title->setTextFormat(Qt::PlainText);
    m_title->setWordWrap(false);
    m_title->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // The 2 pixels of padding on each side that the label's width includes.
    m_title->setContentsMargins(2, 0, 2, 0);
    QPalette palette = m_title->palette();
    palette.setColor(QPalette::WindowText, toQColor(ReaderPalette::text));
    m_title->setPalette(palette);
    setReading(nullptr);

    connect(&presentation, &ReaderPresentation::readerLeadingChanged, this, &ReaderToolbarTitle::layoutPartsLater);
}

ReaderToolbarTitle::~ReaderToolbarTitle() = default;

void ReaderToolbarTitle::setReading(const SavedReading* reading) {
    Q_ASSERT(isMainThread());
    m_name = reading && !reading->document.text.isEmpty() ? ReaderDocumentIdentity::shownTitle(*reading) : QString();
    m_title->setVisible(!m_name.isEmpty());
    m_title->setToolTip(m_name);
    m_title->setAccessibleName(u"現在の文書："_s + m_name);
    setToolTip(m_name);
    layoutParts();
}

void ReaderToolbarTitle::prepareToolbar(QToolBar& toolbar) {
    toolbar.setMovable(false);
    toolbar.setFloatable(false);
    toolbar.setContentsMargins(0, 0, 0, 0);
    toolbar.layout()->setContentsMargins(0, 0, 0, 0);
}

void ReaderToolbarTitle::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutParts();
}

bool ReaderToolbarTitle::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::ParentChange:
    case QEvent::Move:
    case QEvent::Show: layoutPartsLater(); break;
    default: break;
    }
    return QWidget::event(event);
}

void ReaderToolbarTitle::layoutPartsLater() {
    layoutParts();
    QTimer::singleShot(0, this, &ReaderToolbarTitle::layoutParts);
}

void ReaderToolbarTitle::layoutParts() {
    Q_ASSERT(isMainThread());
    const int viewWidth = width();
    const int viewHeight = height();
    const int x0 = mapTo(window(), QPoint(0, 0)).x();
    const double leading = m_presentation.readerLeading();
    const int button = static_cast<int>(
        std::min<double>(std::max(viewWidth - kButtonWidth, 0), std::max(std::round(leading) - x0, 0.0)));
    m_navigation->setGeometry(button, 0, kButtonWidth, viewHeight);

    const int start = button + kTitleOffset;
    const int room = std::max(viewWidth - start, 0);
    const QFontMetricsF metrics(m_title->font());
    const int wanted = static_cast<int>(std::ceil(metrics.horizontalAdvance(m_name))) + 4;
    const int lineHeight = static_cast<int>(std::ceil(metrics.height())) + 2;
    const int titleWidth = std::min(wanted, room);
    m_title->setGeometry(start, static_cast<int>(std::floor((viewHeight - lineHeight) * 0.5)), titleWidth, lineHeight);
    // Cut at the end, within the label's 2-pixel padding on each side.
    m_title->setText(titleWidth < wanted
                         ? QFontMetrics(m_title->font()).elidedText(m_name, Qt::ElideRight, std::max(titleWidth - 4, 0))
                         : m_name);
}

}  // namespace tavrine
