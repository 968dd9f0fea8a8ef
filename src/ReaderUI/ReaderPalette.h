#pragma once

#include "ReaderUI/ReaderColor.h"

namespace tavrine {

// The reader's fixed colours: a dark, navy-based scheme with warm off-white text and an amber accent,
// the same in every window whatever the desktop's theme. There is no other variant and no colour read
// from the system. Constants, readable from any thread.
//
// Each colour has one name. A colour that serves another role under another name is a reference to its
// source, so the two can never drift apart (the same object, compared by address in tests).
struct ReaderPalette {
    ReaderPalette() = delete;

    // The accent navy of the brand.
    static constexpr ReaderColor navy{16, 32, 48};
    // The amber accent: the play control, the current phrase of the source pane.
    static constexpr ReaderColor gold{255, 208, 56};
    // The window background.
    static constexpr ReaderColor background{11, 20, 32};
    // Raised areas: the source text and its scroll view.
    static constexpr ReaderColor surface{17, 30, 45};
    // Side panes (the document list, the table of contents), code and table header cells.
    static constexpr ReaderColor sidebar{13, 23, 36};
    // The default foreground: the phrase of the reading display and the reader's body text.
    static constexpr ReaderColor text{244, 240, 228};
    // Secondary labels, and the label of a disabled reading control.
    static constexpr ReaderColor secondaryText{179, 189, 201};
    // Dividers, table cell borders.
    static constexpr ReaderColor border{41, 57, 74};
    // The frame of something that takes the user's action, such as a drop the window can receive.
    static constexpr const ReaderColor& strongBorder = secondaryText;
    // The fill of a selected row and of selected text.
    static constexpr ReaderColor selectedControl{27, 45, 62};

    // The tint of every themed control.
    static constexpr const ReaderColor& control = secondaryText;
    // The keyboard focus ring, and the outline of a selected row.
    static constexpr const ReaderColor& focus = secondaryText;
    // The background of the phrase being read, highlighted in the source text.
    static constexpr const ReaderColor& playbackHighlight = gold;
    // The foreground of that phrase.
    static constexpr const ReaderColor& playbackHighlightText = background;

    // A translucent wash over selected text where the selection is drawn by hand.
    static constexpr ReaderColor selectionOverlay = secondaryText.withAlpha(0.28);
};

}  // namespace tavrine
