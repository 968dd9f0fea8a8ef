#include "PelmoraMac/Source/internal/InteractionRules.h"

#include <QAbstractScrollArea>
#include <QKeyEvent>
#include <QScrollBar>

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

}  // namespace tavrine::InteractionRules
