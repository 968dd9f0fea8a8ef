#pragma once

#include "ReaderUI/Player/ReaderPlaybackRequest.h"

#include <functional>

namespace tavrine {

// The application's commands that the reader window, its toolbar and the menus call. Each gathers the
// command context afresh and checks its own guard, so a command enabled by an older state is refused once
// the state has changed; a refused command does nothing. Called on the main thread.
struct ReaderCommandActions {
    // A new playback request for the workspace, unless importing, blocked, or the player cannot perform
    // the action.
    std::function<void(ReaderPlaybackRequest::Action)> requestPlayback;
    std::function<void()> toggleHistory;
    std::function<void()> toggleSource;
    std::function<void()> toggleEPUBNavigation;
    // No widget keeps the keyboard focus, and the reader's display is asked to take it.
    std::function<void()> focusReader;
    std::function<void()> openSample;
    std::function<void(bool plainText)> importClipboard;
    std::function<void()> importFile;
    std::function<void()> addCurrentToLibrary;
    // Undo (redo false) or redo of a clipboard replacement.
    std::function<void(bool redo)> restoreReplacement;
    std::function<void()> findInDocument;
    // Brings the failed capture's source application to the front.
    std::function<void()> retryFromSourceApplication;
    // Registers both capture hot keys again.
    std::function<void()> registerShortcuts;
    std::function<void()> openReader;
    std::function<void()> openSettings;
};

}  // namespace tavrine
