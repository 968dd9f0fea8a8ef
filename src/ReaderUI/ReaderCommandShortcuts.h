#pragma once

#include <QKeyCombination>
#include <Qt>

namespace tavrine {

// The one key combination of each reader command. Menus bind these, and every help text that names a
// command's keys shows the same constant in its native text ("再生（Ctrl+Return）"), so a key and its
// mention cannot disagree. Ctrl stands where a Mac reader presses Command, Meta where it presses Control.
struct ReaderCommandShortcuts {
    ReaderCommandShortcuts() = delete;

    // Playback.
    static constexpr QKeyCombination togglePlayback{Qt::ControlModifier, Qt::Key_Return};
    static constexpr QKeyCombination replay{Qt::ControlModifier, Qt::Key_R};
    static constexpr QKeyCombination backSentence{Qt::ControlModifier, Qt::Key_BracketLeft};
    static constexpr QKeyCombination forwardSentence{Qt::ControlModifier, Qt::Key_BracketRight};
    static constexpr QKeyCombination backChapter{Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_BracketLeft};
    static constexpr QKeyCombination forwardChapter{Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_BracketRight};
    static constexpr QKeyCombination slower{Qt::ControlModifier | Qt::AltModifier, Qt::Key_Down};
    static constexpr QKeyCombination faster{Qt::ControlModifier | Qt::AltModifier, Qt::Key_Up};

    // Panes.
    static constexpr QKeyCombination toggleEPUBNavigation{Qt::ControlModifier | Qt::MetaModifier, Qt::Key_T};
    static constexpr QKeyCombination toggleSource{Qt::ControlModifier | Qt::MetaModifier | Qt::ShiftModifier,
                                                  Qt::Key_S};

    // Find in the document.
    static constexpr QKeyCombination findInDocument{Qt::ControlModifier, Qt::Key_F};

    // The application.
    static constexpr QKeyCombination quit{Qt::ControlModifier, Qt::Key_Q};

    // Closes a sheet, besides Escape.
    static constexpr QKeyCombination dismissSheet{Qt::ControlModifier, Qt::Key_Period};
};

}  // namespace tavrine
