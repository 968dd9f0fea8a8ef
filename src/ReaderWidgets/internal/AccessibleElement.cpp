#include "ReaderWidgets/internal/AccessibleElement.h"

#include <QAccessibleWidget>
#include <QHash>
#include <QVariant>
#include <QWidget>

namespace tavrine {
namespace {

constexpr char kRoleProperty[] = "tavrineAccessibleRole";
constexpr char kIgnoresChildrenProperty[] = "tavrineAccessibleIgnoresChildren";
constexpr char kValueProperty[] = "tavrineAccessibleElementValue";
constexpr char kHiddenProperty[] = "tavrineAccessibleHidden";

// The step actions of each widget that has them, dropped with the widget.
QHash<const QObject*, std::function<void(bool)>>& stepActions() {
    static QHash<const QObject*, std::function<void(bool)>> actions;
    return actions;
}

bool isHidden(const QAccessibleInterface* child) {
    return child && child->object() && child->object()->property(kHiddenProperty).toBool();
}

class Element : public QAccessibleWidget {
public:
    Element(QWidget* widget, QAccessible::Role role, bool ignoresChildren)
        : QAccessibleWidget(widget, role), m_ignoresChildren(ignoresChildren) {}

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Value) return widget()->property(kValueProperty).toString();
        return QAccessibleWidget::text(kind);
    }

    QStringList actionNames() const override {
        QStringList names = QAccessibleWidget::actionNames();
        if (stepActions().contains(object())) names << increaseAction() << decreaseAction();
        return names;
    }
    void doAction(const QString& name) override {
        const auto step = stepActions().constFind(object());
        if (step != stepActions().constEnd() && (name == increaseAction() || name == decreaseAction())) {
            if (widget()->isEnabled()) (*step)(name == increaseAction());
            return;
        }
        QAccessibleWidget::doAction(name);
    }
    QStringList keyBindingsForAction(const QString& name) const override {
        if (stepActions().contains(object())) {
            if (name == increaseAction()) return {QStringLiteral("Right")};
            if (name == decreaseAction()) return {QStringLiteral("Left")};
        }
        return QAccessibleWidget::keyBindingsForAction(name);
    }

    int childCount() const override { return int(children().size()); }
    QAccessibleInterface* child(int index) const override {
        const QList<QAccessibleInterface*> shown = children();
        return index >= 0 && index < shown.size() ? shown.at(index) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return int(children().indexOf(const_cast<QAccessibleInterface*>(child)));
    }

private:
    QList<QAccessibleInterface*> children() const {
        QList<QAccessibleInterface*> shown;
        if (m_ignoresChildren) return shown;
        for (int index = 0, count = QAccessibleWidget::childCount(); index < count; ++index) {
            QAccessibleInterface* child = QAccessibleWidget::child(index);
            if (child && !isHidden(child)) shown.append(child);
        }
        return shown;
    }

    bool m_ignoresChildren;
};

QAccessibleInterface* elementFactory(const QString&, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget) return nullptr;
    const QVariant role = widget->property(kRoleProperty);
    if (!role.isValid()) return nullptr;
    return new Element(widget, static_cast<QAccessible::Role>(role.toInt()),
                       widget->property(kIgnoresChildrenProperty).toBool());
}

}  // namespace

void makeAccessibleElement(QWidget& widget, QAccessible::Role role, bool ignoresChildren) {
    static const bool installed = [] {
        QAccessible::installFactory(elementFactory);
        return true;
    }();
    Q_UNUSED(installed);
    widget.setProperty(kRoleProperty, int(role));
    widget.setProperty(kIgnoresChildrenProperty, ignoresChildren);
}

void hideFromAccessibility(QWidget& widget) {
    widget.setProperty(kHiddenProperty, true);
}

void setAccessibleStepActions(QWidget& widget, std::function<void(bool increase)> step) {
    const bool known = stepActions().contains(&widget);
    stepActions().insert(&widget, std::move(step));
    if (!known) {
        QObject::connect(&widget, &QObject::destroyed, [](QObject* gone) { stepActions().remove(gone); });
    }
}

void setAccessibleElementValue(QWidget& widget, const QString& value) {
    const QVariant previous = widget.property(kValueProperty);
    if (previous.isValid() && previous.toString() == value) return;
    widget.setProperty(kValueProperty, value);
    if (previous.isValid() && QAccessible::isActive()) {
        QAccessibleValueChangeEvent event(&widget, value);
        QAccessible::updateAccessibility(&event);
    }
}

}  // namespace tavrine
