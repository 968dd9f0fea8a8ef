#include "ReaderWidgets/Style/AccessibleValue.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QVariant>

namespace tavrine {
namespace {

constexpr char kValueProperty[] = "tavrineAccessibleValue";

class ButtonWithValue : public QAccessibleWidget {
public:
    explicit ButtonWithValue(QAbstractButton* button) : QAccessibleWidget(button, QAccessible::Button) {}

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Value) return widget()->property(kValueProperty).toString();
        if (kind == QAccessible::Name && widget()->accessibleName().isEmpty()) return button()->text();
        return QAccessibleWidget::text(kind);
    }

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.pressed = button()->isDown();
        return state;
    }

    QStringList actionNames() const override { return QStringList{pressAction()} + QAccessibleWidget::actionNames(); }

    void doAction(const QString& action) override {
        if (action != pressAction()) return QAccessibleWidget::doAction(action);
        if (button()->isEnabled()) button()->click();
    }

private:
    QAbstractButton* button() const { return static_cast<QAbstractButton*>(widget()); }
};

QAccessibleInterface* valuedButtonFactory(const QString&, QObject* object) {
    auto* button = qobject_cast<QAbstractButton*>(object);
    if (!button || !button->property(kValueProperty).isValid()) return nullptr;
    return new ButtonWithValue(button);
}

}  // namespace

void setAccessibleValue(QAbstractButton& button, const QString& value) {
    static const bool installed = [] {
        QAccessible::installFactory(valuedButtonFactory);
        return true;
    }();
    Q_UNUSED(installed);
    const QVariant previous = button.property(kValueProperty);
    if (previous.isValid() && previous.toString() == value) return;
    button.setProperty(kValueProperty, value);
    if (previous.isValid()) {
        QAccessibleValueChangeEvent event(&button, value);
        QAccessible::updateAccessibility(&event);
    }
}

}  // namespace tavrine
