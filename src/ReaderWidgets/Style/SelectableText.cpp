#include "ReaderWidgets/Style/SelectableText.h"

#include <QLabel>

namespace tavrine {

void setSelectableText(QLabel& label, TextSelection selection) {
    const bool byKeys = selection == TextSelection::byMouseAndKeys;
    label.setTextInteractionFlags(byKeys ? Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard
                                         : Qt::TextSelectableByMouse);
    // After the flags, which give the label the focus by click (and by Tab with the keys' selection).
    label.setFocusPolicy(byKeys ? Qt::TabFocus : Qt::NoFocus);
}

}  // namespace tavrine
