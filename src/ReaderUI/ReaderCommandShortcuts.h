#pragma once

#include <QKeyCombination>
#include <Qt>

namespace tavrine {

// The one key combination of each reader command. Menus bind these, and every help text that names a
// command's keys shows the same constant in its native text ("再生（Ctrl+Return）"), so a key and its
// mention cannot disagree. Ctrl stands where a Mac reader presses Command, Meta where it presses Control
// and Alt where it presses Option, with one exception: the speed keys. Linux desktops (openbox, Xfce,
// GNOME) keep Ctrl+Alt with the arrows to switch workspaces, so those keys would never reach us; the
// speed steps take Ctrl+Shift with the arrows, which no desktop and no text field of ours uses.
struct ReaderCommandShortcuts {
    ReaderCommandShortcuts() = delete;

    // Playback.
    static constexpr QKeyCombination togglePlayback{Qt::ControlModifier, Qt::Key_Return};
    static constexpr QKeyCombination replay{Qt::ControlModifier, Qt::Key_R};
    static constexpr QKeyCombination backSentence{Qt::ControlModifier, Qt::Key_BracketLeft};
    static constexpr QKeyCombination forwardSentence{Qt::ControlModifier, Qt::Key_BracketRight};
    static constexpr QKeyCombination backChapter{Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_BracketLeft};
    static constexpr QKeyCombination forwardChapter{Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_BracketRight};
    static constexpr QKeyCombination slower{Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_Down};
    static constexpr QKeyCombination faster{Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_Up};

    // Panes.
    static constexpr QKeyCombination toggleEPUBNavigation{Qt::ControlModifier | Qt::MetaModifier, Qt::Key_T};
    static constexpr QKeyCombination toggleSource{Qt::ControlModifier | Qt::MetaModifier | Qt::ShiftModifier,
                                                  Qt::Key_S};
    static constexpr QKeyCombination toggleHistory{Qt::ControlModifier | Qt::MetaModifier, Qt::Key_S};

    // Text sizes: the RSVP display's, then the source pane's.
    static constexpr QKeyCombination rsvpLarger{Qt::ControlModifier, Qt::Key_Plus};
    static constexpr QKeyCombination rsvpSmaller{Qt::ControlModifier, Qt::Key_Minus};
    static constexpr QKeyCombination rsvpDefaultSize{Qt::ControlModifier, Qt::Key_0};
    static constexpr QKeyCombination sourceLarger{Qt::ControlModifier | Qt::AltModifier, Qt::Key_Plus};
    static constexpr QKeyCombination sourceSmaller{Qt::ControlModifier | Qt::AltModifier, Qt::Key_Minus};
    static constexpr QKeyCombination sourceDefaultSize{Qt::ControlModifier | Qt::MetaModifier, Qt::Key_0};

    // Find in the document.
    static constexpr QKeyCombination findInDocument{Qt::ControlModifier, Qt::Key_F};
    static constexpr QKeyCombination findNext{Qt::ControlModifier, Qt::Key_G};
    static constexpr QKeyCombination findPrevious{Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_G};

    // Editing, the library and the clipboard.
    static constexpr QKeyCombination undo{Qt::ControlModifier, Qt::Key_Z};
    static constexpr QKeyCombination redo{Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_Z};
    static constexpr QKeyCombination importFile{Qt::ControlModifier, Qt::Key_O};
    static constexpr QKeyCombination addCurrent{Qt::ControlModifier, Qt::Key_D};
    static constexpr QKeyCombination importClipboard{Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_V};
    static constexpr QKeyCombination importPlainText{Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier,
                                                     Qt::Key_V};

    // The application: these work in every window of it.
    static constexpr QKeyCombination settings{Qt::ControlModifier, Qt::Key_Comma};
    static constexpr QKeyCombination quit{Qt::ControlModifier, Qt::Key_Q};

    // Closes a sheet, besides Escape.
    static constexpr QKeyCombination dismissSheet{Qt::ControlModifier, Qt::Key_Period};
};

}  // namespace tavrine
