#pragma once

#include "ReaderCore/ImportedReading.h"
#include "ReaderCore/ReadingDocument.h"
#include "ReaderCore/ReadingSourceWindow.h"
#include "ReaderUI/Workspace/PlayerDocumentContext.h"
#include "ReaderUI/Workspace/ReaderDocumentContext.h"
#include "ReaderUI/Workspace/ReaderWorkspaceController.h"

#include <optional>

namespace tavrine {

// The workspace controller's state held in the reading model's value types, kept out of its header.
struct ReaderWorkspaceController::Values {
    // The window of the empty document: the source window while the player offers none.
    static ReadingSourceWindow emptyWindow() { return ReadingSourceWindow::around(ReadingDocument{}, 0); }

    std::optional<ImportedReading> importedText;
    // The imported reading the change handler last handled.
    std::optional<ImportedReading> handledImportedText;
    ReadingDocument sourceDocument;
    ReadingSourceWindow sourceWindow = emptyWindow();
    ReaderDocumentContext documentContext;
    PlayerDocumentContext contextSource;
};

}  // namespace tavrine
