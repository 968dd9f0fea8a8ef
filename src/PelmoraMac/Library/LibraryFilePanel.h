#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace tavrine {

class Defaults;
class ReaderHistoryModel;

// The settings key of the folder the file panel last imported from (a string: an absolute path).
inline const QString kLibraryFilePanelFolderKey = QStringLiteral("libraryFilePanelFolder");

// Lets the user choose one existing text or EPUB file in a dialog modal to window (the desktop's own
// dialog where there is one, else Qt's, in the reader's theme) and hands it to model's file import. The
// dialog opens in the folder of the last file chosen in it, kept in defaults, or in the user's home
// folder when there is none or it is gone. Closing the dialog imports nothing; a choice that is no file
// the import can take a place from is told in the model's notice. Returns at once: the dialog reports
// when the user has chosen. onClosed, when given, runs once as the dialog closes, whatever was chosen
// (not when the window takes the open dialog away with it).
void openLibraryFilePanel(QWidget& window, ReaderHistoryModel& model, Defaults& defaults,
                          std::function<void()> onClosed = {});

}  // namespace tavrine
