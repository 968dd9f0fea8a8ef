#pragma once

class QDialog;

namespace tavrine {

// Shows a sheet's keys as the reader window shows its own: the sheet (an information or details sheet, a
// confirmation) gets a ReaderFocusRing, so the control that has the keys is ringed from the moment the
// sheet opens (the style marks a focused button only after a Tab) and at every stop of Tab. A message
// box's texts become selectable with the mouse and take no keys, so that a click on them leaves the keys
// on its button; call it once the box has its texts. Main thread.
void ringSheetFocus(QDialog& sheet);

}  // namespace tavrine
