#pragma once

#include "PelmoraMac/Window/ReaderImportAvailability.h"

#include <optional>

namespace tavrine {

// What the reader window's rules read of the document list; nothing while the list does not exist yet.
struct ReaderListState {
    bool isLoaded = false;
    bool isBusy = false;
    bool isSavingFile = false;
    bool isImportingFile = false;
    bool fileImportFailed = false;
    bool isCurrentInLibrary = false;
    bool canAddCurrentToLibrary = false;

    bool operator==(const ReaderListState&) const = default;
};

// Everything the reader window's commands and strips depend on, as plain values gathered at one moment.
struct ReaderCommandInputs {
    // A sheet is attached to the reader window.
    bool readerHasSheet = false;
    // The application shows a modal dialog or a window-modal top level.
    bool hasModalWindow = false;
    bool showsFilePicker = false;
    bool settingsHasFocus = false;
    std::optional<ReaderListState> list;
    bool isCapturing = false;
    // The reading store could be opened at start.
    bool hasStore = false;
    // The list pane is on screen beside the reader column.
    bool presentationShowsHistory = false;
    bool showsCompactHistory = false;
    bool prefersSource = false;
    bool showsEPUBNavigation = false;
    // The player has a document whose text is not empty.
    bool hasDocumentText = false;

    bool operator==(const ReaderCommandInputs&) const = default;
};

// True when anything keeps the window's commands from running, in this order: a sheet of the reader
// window, a modal window, the file panel, the settings window's focus, a busy or saving document list.
bool isCommandBlocked(const ReaderCommandInputs& inputs);

// Which imports are possible: none while capturing or blocked; only the clipboard before the list exists;
// none while the list is busy or saving; otherwise the clipboard, adding the current reading when the
// list allows it, and a file once the store is open and the list has loaded. Whether the current reading
// is in the library is reported in every case (false without a list).
ReaderImportAvailability importAvailability(const std::optional<ReaderListState>& list, bool isCapturing,
                                            bool isBlocked, bool hasStore);

// The snapshot of the reader window that the menus and the toolbar read. Its actions are the
// application's commands, each of which gathers a fresh context and checks its own guard.
struct ReaderCommandContext {
    // The list pane is on screen, or the compact list is open.
    bool showsHistory = false;
    bool showsSource = false;
    bool showsEPUBNavigation = false;
    bool canToggleHistory = false;
    bool canToggleSource = false;
    ReaderImportAvailability imports;
    // A capture or a file import runs.
    bool isImporting = false;
    bool isBlocked = false;

    bool operator==(const ReaderCommandContext&) const = default;
};

ReaderCommandContext commandContext(const ReaderCommandInputs& inputs);

// What the capture status strip reads.
struct ReaderCaptureStripInputs {
    bool hasFailure = false;
    // The failure is a clipboard failure that the start view shows instead.
    bool startViewShowsFailure = false;
    bool isCapturing = false;
    bool shortcutHasError = false;
    bool clipboardShortcutHasError = false;
};

// The capture strip opens for a failure the start view does not show, a running capture, or an error of
// either hot key.
bool showsCaptureStrip(const ReaderCaptureStripInputs& inputs);

// The file-import strip opens only while the list pane is off screen, a text is open, and the list
// imports a file or its import failed.
bool showsFileImportStrip(const ReaderCommandInputs& inputs);

}  // namespace tavrine
