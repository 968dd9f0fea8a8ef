#include "PelmoraMac/Window/ReaderCommandContext.h"

namespace tavrine {

bool isCommandBlocked(const ReaderCommandInputs& inputs) {
    return inputs.readerHasSheet || inputs.hasModalWindow || inputs.showsFilePicker || inputs.settingsHasFocus ||
           (inputs.list && (inputs.list->isBusy || inputs.list->isSavingFile));
}

ReaderImportAvailability importAvailability(const std::optional<ReaderListState>& list, bool isCapturing,
                                            bool isBlocked, bool hasStore) {
    ReaderImportAvailability availability;
    availability.isCurrentInLibrary = list && list->isCurrentInLibrary;
    if (isCapturing || isBlocked) return availability;
    if (!list) {
        availability.canImportClipboard = true;
        return availability;
    }
    if (list->isBusy || list->isSavingFile) return availability;
    availability.canImportClipboard = true;
    availability.canAddCurrent = list->canAddCurrentToLibrary;
    availability.canImportFile = hasStore && list->isLoaded;
    return availability;
}

ReaderCommandContext commandContext(const ReaderCommandInputs& inputs) {
    const bool blocked = isCommandBlocked(inputs);
    return {
        .showsHistory = inputs.presentationShowsHistory || inputs.showsCompactHistory,
        .showsSource = inputs.prefersSource,
        .showsEPUBNavigation = inputs.showsEPUBNavigation,
        .canToggleHistory = !blocked,
        .canToggleSource = !blocked && inputs.hasDocumentText,
        .imports = importAvailability(inputs.list, inputs.isCapturing, blocked, inputs.hasStore),
        .isImporting = inputs.isCapturing || (inputs.list && inputs.list->isImportingFile),
        .isBlocked = blocked,
    };
}

bool showsCaptureStrip(const ReaderCaptureStripInputs& inputs) {
    return (inputs.hasFailure && !inputs.startViewShowsFailure) || inputs.isCapturing || inputs.shortcutHasError ||
           inputs.clipboardShortcutHasError;
}

bool showsFileImportStrip(const ReaderCommandInputs& inputs) {
    return !inputs.presentationShowsHistory && inputs.hasDocumentText && inputs.list &&
           (inputs.list->fileImportFailed || inputs.list->isImportingFile);
}

}  // namespace tavrine
