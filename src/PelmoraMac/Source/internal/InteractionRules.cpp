#include "PelmoraMac/Source/internal/InteractionRules.h"

#include "ReaderUI/ReaderPalette.h"
#include "ReaderWidgets/Style/ToQColor.h"

#include <QAbstractScrollArea>
#include <QKeyEvent>
#include <QRectF>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace tavrine::InteractionRules {

bool isNavigationKey(const QKeyEvent& event) {
    switch (event.key()) {
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down: return true;
    default: return false;
    }
}

bool isPlaybackKey(const QKeyEvent& event) {
    const auto modifiers = event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    return event.key() == Qt::Key_Space && modifiers == Qt::NoModifier;
}

void reportUserScrolling(QAbstractScrollArea& area, QObject* context, std::function<void()> onUserScroll) {
    for (QScrollBar* bar : {area.verticalScrollBar(), area.horizontalScrollBar()}) {
        QObject::connect(bar, &QScrollBar::sliderPressed, context, onUserScroll);
        QObject::connect(bar, &QScrollBar::actionTriggered, context, [onUserScroll](int action) {
            if (action != QAbstractSlider::SliderMove) onUserScroll();
        });
    }
}

void describeForAssistiveTechnology(QWidget& view) {
    view.setAccessibleName(u"読む文章"_s);
    view.setAccessibleDescription(
        u"矢印キーで読む位置を選び、Spaceキーで再生または一時停止します。"
        u"選択した文章はコピーできます。Tabキーで次の操作へ移ります。"_s);
}

void scrollToReveal(QAbstractScrollArea& area, const QRectF& bounds, double left) {
    // Reveals keep this far from the viewport's edges.
    constexpr double kMargin = 8;
    const int visibleHeight = area.viewport()->height();
    const double top = std::max(bounds.top() - kMargin, 0.0);
    const double height = std::min(bounds.height(), std::max(visibleHeight - 2.0 * kMargin, 1.0));
    const double bottom = bounds.top() + height + kMargin;
    QScrollBar* vertical = area.verticalScrollBar();
    if (top < vertical->value()) {
        vertical->setValue(static_cast<int>(std::floor(top)));
    } else if (bottom > vertical->value() + visibleHeight) {
        vertical->setValue(static_cast<int>(std::ceil(bottom - visibleHeight)));
    }
    QScrollBar* horizontal = area.horizontalScrollBar();
    const double start = std::max(left - kMargin, 0.0);
    if (start < horizontal->value() || start >= horizontal->value() + area.viewport()->width()) {
        horizontal->setValue(static_cast<int>(start));
    }
}

QTextCharFormat highlightFormat(InteractionTextView::Highlight highlight) {
    QTextCharFormat format;
    if (highlight == InteractionTextView::Highlight::playback) {
        format.setBackground(toQColor(ReaderPalette::playbackHighlight));
        format.setForeground(toQColor(ReaderPalette::playbackHighlightText));
    } else {
        format.setFontUnderline(true);
    }
    return format;
}

void InitialRevealSlot::set(InitialReveal reveal) {
    m_waiting = reveal;
    const quint64 generation = ++m_generation;
    QTimer::singleShot(0, m_context, [this, generation] { tryRun(generation); });
}

void InitialRevealSlot::clear() {
    m_waiting.reset();
    ++m_generation;
}

void InitialRevealSlot::tryRun(quint64 generation) {
    if (generation != m_generation || !m_waiting || !m_hooks.hasContentHeight()) return;
    const InitialReveal reveal = *std::exchange(m_waiting, std::nullopt);
    if (reveal.range.lowerBound < 0 || reveal.range.upperBound > m_hooks.textLength()) return;
    if (reveal.atTop) {
        m_hooks.placeAtTop(reveal.range.lowerBound);
    } else {
        m_hooks.reveal(reveal.range);
    }
}

std::optional<qsizetype> placedTopOffset(const std::optional<InitialReveal>& waiting,
                                         const std::optional<PlacedTop>& placed, int scrollValue) {
    if (waiting && waiting->atTop) return waiting->range.lowerBound;
    if (placed && placed->scrollValue == scrollValue) return placed->offset;
    return std::nullopt;
}

}  // namespace tavrine::InteractionRules
