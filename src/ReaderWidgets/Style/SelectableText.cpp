#include "ReaderWidgets/Style/SelectableText.h"

#include <QLabel>
#include <QTextEdit>

namespace tavrine {

namespace {

Qt::TextInteractionFlags flags(TextSelection selection) {
    return selection == TextSelection::byMouseAndKeys ? Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard
                                                      : Qt::TextSelectableByMouse;
}

Qt::FocusPolicy focusPolicy(TextSelection selection) {
    return selection == TextSelection::byMouseAndKeys ? Qt::TabFocus : Qt::NoFocus;
}

}  // namespace

void setSelectableText(QLabel& label, TextSelection selection) {
    label.setTextInteractionFlags(flags(selection));
    // After the flags, which give the label the focus by click (and by Tab with the keys' selection).
    label.setFocusPolicy(focusPolicy(selection));
}

void setSelectableText(QTextEdit& text, TextSelection selection) {
    text.setReadOnly(true);
    text.setTextInteractionFlags(flags(selection));
    // A text view takes the focus by click and by Tab whatever its flags; Tab moves on from it.
    text.setFocusPolicy(focusPolicy(selection));
    text.setTabChangesFocus(true);
}

}  // namespace tavrine
