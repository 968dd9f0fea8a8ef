#pragma once

class QLabel;

namespace tavrine {

// How a label's text can be selected: with the mouse alone, or with the keys too once Tab reaches it.
enum class TextSelection { byMouse, byMouseAndKeys };

// Makes a label's text selectable without a click taking the keyboard focus there: a notice is read
// beside the reading, whose keys (Space plays and pauses) stay where they were while the user selects its
// text with the mouse and copies it (the label's context menu; on X11 the selection is also the primary
// one). Selectable with the keys too, the label is a stop of Tab, ringed there, where Ctrl+C copies. Use
// it in place of setTextInteractionFlags, with which a click gives the label the focus.
void setSelectableText(QLabel& label, TextSelection selection = TextSelection::byMouseAndKeys);

}  // namespace tavrine
