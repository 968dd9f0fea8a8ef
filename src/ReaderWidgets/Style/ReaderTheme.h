#pragma once

#include <QPalette>

class QWidget;

namespace tavrine {

// The dark theme of every reader window: a QPalette built from the reader's palette, so that widgets
// without colours of their own draw in it whatever the desktop's theme. Meant for the Fusion style,
// which the application and the widget tests set, and which draws from these roles alone.
//
// | role                                | colour           |
// |-------------------------------------|------------------|
// | Window, Shadow                      | background       |
// | WindowText, Text, ButtonText        | text             |
// | Base, Button, ToolTipBase           | surface          |
// | AlternateBase                       | sidebar          |
// | ToolTipText                         | text             |
// | PlaceholderText                     | secondaryText    |
// | Highlight (the tint of controls)    | control          |
// | HighlightedText                     | background       |
// | Light, Midlight, Mid                | border           |
// | Dark                                | sidebar          |
// | Link, LinkVisited, BrightText       | gold             |
// | disabled WindowText, Text, ButtonText | secondaryText  |
class ReaderTheme {
public:
    ReaderTheme() = delete;

    static QPalette palette();

    // Gives widget the palette and has it fill its background with the window colour, so the dark
    // background reaches every edge of the widget.
    static void apply(QWidget& widget);
};

}  // namespace tavrine
