#include "ReaderWidgets/Style/ReaderTabOrder.h"

#include <QScrollArea>
#include <QWidget>

#include <algorithm>

namespace tavrine::ReaderTabOrder {

namespace {

// The shown children of parent in screen order: rows from the top, left to right within a row.
QList<QWidget*> childrenInScreenOrder(const QWidget& parent) {
    QList<QWidget*> children;
    for (QObject* object : parent.children()) {
        auto* child = qobject_cast<QWidget*>(object);
        if (child && !child->isWindow() && child->isVisible()) children.append(child);
    }
    std::stable_sort(children.begin(), children.end(),
                     [](const QWidget* a, const QWidget* b) { return a->geometry().top() < b->geometry().top(); });
    QList<QWidget*> ordered;
    ordered.reserve(children.size());
    for (qsizetype start = 0; start < children.size();) {
        // A row: the first child left and every later one whose middle lies within the row's height.
        int top = children.at(start)->geometry().top();
        int bottom = children.at(start)->geometry().bottom();
        qsizetype end = start + 1;
        while (end < children.size()) {
            const QRect next = children.at(end)->geometry();
            const int middle = next.center().y();
            if (middle < top || middle > bottom) break;
            bottom = std::max(bottom, next.bottom());
            ++end;
        }
        const auto rowEnd = children.begin() + end;
        std::stable_sort(children.begin() + start, rowEnd, [](const QWidget* a, const QWidget* b) {
            return a->geometry().left() < b->geometry().left();
        });
        ordered.append(QList<QWidget*>(children.begin() + start, rowEnd));
        start = end;
    }
    return ordered;
}

bool isStop(const QWidget& widget) {
    return (widget.focusPolicy() & Qt::TabFocus) && widget.isEnabled() && !widget.focusProxy();
}

// Every shown widget below parent, in screen order.
void walk(const QWidget& parent, QList<QWidget*>& widgets) {
    for (QWidget* child : childrenInScreenOrder(parent)) {
        widgets.append(child);
        walk(*child, widgets);
    }
}

}  // namespace

QList<QWidget*> tabStops(QWidget& window) {
    QList<QWidget*> widgets;
    walk(window, widgets);
    widgets.removeIf([](const QWidget* widget) { return !isStop(*widget); });
    return widgets;
}

QWidget* next(QWidget& window, QWidget* current, bool forward) {
    QList<QWidget*> widgets;
    walk(window, widgets);
    if (!forward) std::reverse(widgets.begin(), widgets.end());
    // Where current stands in the walk: the widget itself, or its nearest shown ancestor.
    qsizetype position = -1;
    for (const QWidget* widget = current; widget && widget != &window && position < 0;
         widget = widget->parentWidget()) {
        position = widgets.indexOf(widget);
    }
    const qsizetype count = widgets.size();
    for (qsizetype step = 1; step <= count; ++step) {
        QWidget* candidate = widgets.at(position < 0 ? step - 1 : (position + step) % count);
        if (candidate != current && isStop(*candidate)) return candidate;
    }
    return nullptr;
}

bool focusNext(QWidget& window, bool forward) {
    QWidget* stop = next(window, window.focusWidget(), forward);
    if (!stop) return false;
    stop->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    for (QWidget* ancestor = stop->parentWidget(); ancestor && ancestor != &window;
         ancestor = ancestor->parentWidget()) {
        if (auto* area = qobject_cast<QScrollArea*>(ancestor);
            area && area->widget() && area->widget()->isAncestorOf(stop)) {
            area->ensureWidgetVisible(stop, 0, 0);
        }
    }
    return true;
}

}  // namespace tavrine::ReaderTabOrder
