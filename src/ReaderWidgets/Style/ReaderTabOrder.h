#pragma once

#include <QList>

class QWidget;

namespace tavrine {

// Tab in the order widgets stand on screen, whatever order they were made or moved in: a walk of the
// window's widget tree in which each widget's shown children come row by row from the top and left to
// right within a row (children whose vertical middle lies within another's height share its row), each
// child followed by its own descendants. A region drawn as one block (a side pane, a toolbar) is thus
// walked whole before the one beside or below it. Main thread.
namespace ReaderTabOrder {

// The shown, enabled widgets of window that Tab stops at (their focus policy includes Tab), in screen
// order. Child windows and widgets that lend their focus to a proxy are left out.
QList<QWidget*> tabStops(QWidget& window);

// The Tab stop after current (before it when forward is false), wrapping around at the ends. current
// need not be a stop: for the window itself, or nothing, the first (or last) stop; for any other widget,
// the first stop that stands after (or before) it. Nothing when the window has no stop.
QWidget* next(QWidget& window, QWidget* current, bool forward);

// Moves the keyboard focus to the next stop as Tab (or Shift+Tab) does, scrolling every enclosing scroll
// area to show it. Returns whether there was a stop to go to.
bool focusNext(QWidget& window, bool forward);

}  // namespace ReaderTabOrder

}  // namespace tavrine
