#pragma once

#include <QString>

class QAbstractButton;

namespace tavrine {

// Gives a button an accessible value (its state in words, "表示中"), which Qt's own button interfaces
// have no slot for, and tells assistive technology when it changes. Call it first before anything asks
// for the button's accessible interface: the interface made on the first request is kept for the
// button's life. The interface keeps the button's role, name, description and press action.
void setAccessibleValue(QAbstractButton& button, const QString& value);

}  // namespace tavrine
