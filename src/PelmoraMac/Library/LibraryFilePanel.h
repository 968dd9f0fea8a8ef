#pragma once

class QWidget;

namespace tavrine {

class ReaderHistoryModel;

// Slot: filled by the file panel. Until then it opens nothing.
//
// Lets the user choose a text or EPUB file over window and hands it to model's file import.
inline void openLibraryFilePanel(QWidget& window, ReaderHistoryModel& model) {
    static_cast<void>(window);
    static_cast<void>(model);
}

}  // namespace tavrine
