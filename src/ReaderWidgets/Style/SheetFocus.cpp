#include "ReaderWidgets/Style/SheetFocus.h"

#include "ReaderCore/MainThread.h"
#include "ReaderWidgets/Style/ReaderFocusRing.h"
#include "ReaderWidgets/Style/SelectableText.h"

#include <QDialog>
#include <QLabel>
#include <QMessageBox>

namespace tavrine {

void ringSheetFocus(QDialog& sheet) {
    Q_ASSERT(isMainThread());
    new ReaderFocusRing(sheet);
    if (!qobject_cast<QMessageBox*>(&sheet)) return;
    // The box's texts take the focus by click for their links, of which they have none.
    for (QLabel* label : sheet.findChildren<QLabel*>()) {
        if (label->textInteractionFlags() != Qt::NoTextInteraction) setSelectableText(*label, TextSelection::byMouse);
    }
}

}  // namespace tavrine
