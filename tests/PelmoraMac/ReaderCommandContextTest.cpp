#include "PelmoraMac/Window/ReaderCommandContext.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {

ReaderListState loadedList() {
    return {.isLoaded = true, .canAddCurrentToLibrary = true};
}

// An open reader window with a loaded list, nothing blocking and nothing running.
ReaderCommandInputs idle() {
    return {.list = loadedList(), .hasStore = true, .hasDocumentText = true};
}

TEST(ReaderCommandContextTest, EveryBlockerBlocksAloneAndDisablesEverythingButTheLibraryFlag) {
    const std::vector<std::pair<const char*, void (*)(ReaderCommandInputs&)>> blockers = {
        {"sheet", [](ReaderCommandInputs& in) { in.readerHasSheet = true; }},
        {"modal", [](ReaderCommandInputs& in) { in.hasModalWindow = true; }},
        {"file panel", [](ReaderCommandInputs& in) { in.showsFilePicker = true; }},
        {"settings focus", [](ReaderCommandInputs& in) { in.settingsHasFocus = true; }},
        {"busy list", [](ReaderCommandInputs& in) { in.list->isBusy = true; }},
        {"saving list", [](ReaderCommandInputs& in) { in.list->isSavingFile = true; }},
    };
    EXPECT_FALSE(isCommandBlocked(idle()));
    for (const auto& [name, apply] : blockers) {
        ReaderCommandInputs inputs = idle();
        inputs.list->isCurrentInLibrary = true;
        apply(inputs);
        const ReaderCommandContext state = commandContext(inputs);
        EXPECT_TRUE(state.isBlocked) << name;
        EXPECT_FALSE(state.canToggleHistory) << name;
        EXPECT_FALSE(state.canToggleSource) << name;
        EXPECT_EQ(state.imports, (ReaderImportAvailability{.isCurrentInLibrary = true})) << name;
    }
    // The list's own blockers count only while the list exists.
    ReaderCommandInputs withoutList = idle();
    withoutList.list.reset();
    EXPECT_FALSE(isCommandBlocked(withoutList));
}

TEST(ReaderCommandContextTest, ImportAvailabilityFollowsListStoreAndCapture) {
    using A = ReaderImportAvailability;
    // Before the list exists only the clipboard (and the sample) can come in.
    EXPECT_EQ(importAvailability(std::nullopt, false, false, true), (A{.canImportClipboard = true}));
    EXPECT_EQ(importAvailability(std::nullopt, true, false, true), A{});
    EXPECT_EQ(importAvailability(loadedList(), false, false, true),
              (A{.canImportFile = true, .canImportClipboard = true, .canAddCurrent = true}));
    // A store that failed to open takes no file; a list still loading neither.
    EXPECT_EQ(importAvailability(loadedList(), false, false, false),
              (A{.canImportClipboard = true, .canAddCurrent = true}));
    ReaderListState loading = loadedList();
    loading.isLoaded = false;
    loading.canAddCurrentToLibrary = false;
    EXPECT_EQ(importAvailability(loading, false, false, true), (A{.canImportClipboard = true}));
    // Capturing or blocked: nothing, but the library flag still shows in the menu titles.
    ReaderListState inLibrary = loadedList();
    inLibrary.isCurrentInLibrary = true;
    EXPECT_EQ(importAvailability(inLibrary, true, false, true), (A{.isCurrentInLibrary = true}));
    // A busy list refuses even when the caller did not count it as blocking.
    ReaderListState busy = inLibrary;
    busy.isBusy = true;
    EXPECT_EQ(importAvailability(busy, false, false, true), (A{.isCurrentInLibrary = true}));
}

TEST(ReaderCommandContextTest, FlagsOfTheSnapshot) {
    ReaderCommandInputs inputs = idle();
    inputs.hasDocumentText = false;
    EXPECT_FALSE(commandContext(inputs).canToggleSource);
    EXPECT_TRUE(commandContext(inputs).canToggleHistory);

    // The compact list counts as showing the list although the split view shows none.
    inputs.showsCompactHistory = true;
    EXPECT_TRUE(commandContext(inputs).showsHistory);

    inputs = idle();
    inputs.list->isImportingFile = true;
    EXPECT_TRUE(commandContext(inputs).isImporting);
    EXPECT_FALSE(commandContext(inputs).isBlocked);
    inputs.list.reset();
    EXPECT_FALSE(commandContext(inputs).isImporting);
    inputs.isCapturing = true;
    EXPECT_TRUE(commandContext(inputs).isImporting);
}

TEST(ReaderCommandContextTest, WhenTheStripsOpen) {
    EXPECT_FALSE(showsCaptureStrip({}));
    // A clipboard failure that the start view shows keeps the strip closed unless something else holds.
    EXPECT_FALSE(showsCaptureStrip({.hasFailure = true, .startViewShowsFailure = true}));
    EXPECT_TRUE(showsCaptureStrip({.hasFailure = true, .startViewShowsFailure = true, .isCapturing = true}));
    EXPECT_TRUE(showsCaptureStrip({.hasFailure = true}));
    EXPECT_TRUE(showsCaptureStrip({.clipboardShortcutHasError = true}));
    EXPECT_TRUE(showsCaptureStrip({.shortcutHasError = true}));

    ReaderCommandInputs importing = idle();
    importing.list->isImportingFile = true;
    EXPECT_TRUE(showsFileImportStrip(importing));
    ReaderCommandInputs failed = idle();
    failed.list->fileImportFailed = true;
    EXPECT_TRUE(showsFileImportStrip(failed));
    // The list pane on screen shows the import itself; without a text or a list the strip stays closed.
    for (auto change : {+[](ReaderCommandInputs& in) { in.presentationShowsHistory = true; },
                        +[](ReaderCommandInputs& in) { in.hasDocumentText = false; },
                        +[](ReaderCommandInputs& in) { in.list.reset(); }}) {
        ReaderCommandInputs inputs = importing;
        change(inputs);
        EXPECT_FALSE(showsFileImportStrip(inputs));
    }
}

}  // namespace
}  // namespace tavrine
