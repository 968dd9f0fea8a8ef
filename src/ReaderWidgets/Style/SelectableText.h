#pragma once

class QLabel;
class QTextEdit;

namespace tavrine {

// How a label's text can be selected: with the mouse alone, or with the keys too once Tab reaches it.
enum class TextSelection { byMouse, byMouseAndKeys };

// Makes a label's text selectable without a click taking the keyboard focus there: a notice is read
// beside the reading, whose keys (Space plays and pauses) stay where they were while the user selects its
// text with the mouse and copies it (the label's context menu; on X11 the selection is also the primary
// one). Selectable with the keys too, the label is a stop of Tab, ringed there, where Ctrl+C copies. Use
// it in place of setTextInteractionFlags, with which a click gives the label the focus.
void setSelectableText(QLabel& label, TextSelection selection = TextSelection::byMouseAndKeys);

// The same for a text shown read-only in a text view (a value that must break inside a long word): a click
// selects without taking the keys, and Tab reaches it only when its text is selectable with the keys too.
void setSelectableText(QTextEdit& text, TextSelection selection = TextSelection::byMouseAndKeys);

}  // namespace tavrine
