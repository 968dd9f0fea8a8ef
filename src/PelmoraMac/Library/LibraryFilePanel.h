#pragma once

#include <functional>

class QWidget;

namespace tavrine {

class ReaderHistoryModel;

// Lets the user choose one existing text or EPUB file in a dialog modal to window (the desktop's own
// dialog where there is one, else Qt's) and hands it to model's file import. Closing the dialog imports
// nothing; a choice that is no file the import can take a place from is told in the model's notice.
// Returns at once: the dialog reports when the user has chosen. onClosed, when given, runs once as the
// dialog closes, whatever was chosen (not when the window takes the open dialog away with it).
void openLibraryFilePanel(QWidget& window, ReaderHistoryModel& model, std::function<void()> onClosed = {});

}  // namespace tavrine
