#pragma once

#include <QAccessible>
#include <QString>

#include <functional>

class QWidget;

namespace tavrine {

// Gives a widget that Qt's own interfaces describe too little of (a painted panel, a slider whose value
// is words, a label with a spoken value) an accessible interface with the given role and a value in
// words; with ignoresChildren it shows assistive technology no children. Call it before anything asks
// for the widget's accessible interface: the interface made on the first request is kept for the
// widget's life. Name and description stay the widget's accessibleName and accessibleDescription.
void makeAccessibleElement(QWidget& widget, QAccessible::Role role, bool ignoresChildren = false);

// Leaves widget out of the children that an element made above reports (a caption whose words another
// element speaks).
void hideFromAccessibility(QWidget& widget);

// Gives the element made above the increase and decrease actions of an adjustable control (a slider),
// each calling step (with true to increase) while the widget is enabled, and named with the arrow keys
// that do the same (Right, Left).
void setAccessibleStepActions(QWidget& widget, std::function<void(bool increase)> step);

// The element's value; assistive technology is told when it changes.
void setAccessibleElementValue(QWidget& widget, const QString& value);

}  // namespace tavrine
