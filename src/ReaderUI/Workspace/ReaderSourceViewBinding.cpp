#include "ReaderUI/Workspace/ReaderSourceViewBinding.h"

#include "ReaderCore/MainThread.h"
#include "ReaderUI/PropertyWrite.h"
#include "ReaderUI/Workspace/ReaderWorkspaceController.h"

namespace tavrine {

ReaderSourceViewBinding::ReaderSourceViewBinding(ReaderWorkspaceController& workspace, QObject* parent)
    : QObject(parent),
      m_workspace(workspace),
      m_documentRevision(workspace.sourceDocumentRevision()),
      m_cursor(workspace.sourceCursor()),
      m_releaseEditorFocus(workspace.releaseEditorFocus()),
      m_highlightedRange(workspace.highlightedRange()) {
    Q_ASSERT(isMainThread());
    connect(&workspace, &ReaderWorkspaceController::changed, this, &ReaderSourceViewBinding::refresh);
    connect(&workspace, &ReaderWorkspaceController::releaseEditorFocusChanged, this, [this](QUuid token) {
        if (assignIfChanged(m_releaseEditorFocus, token)) emit releaseEditorFocusChanged(token);
    });
}

ReaderSourceViewBinding::~ReaderSourceViewBinding() = default;

const ReadingDocument& ReaderSourceViewBinding::document() const {
    return m_workspace.sourceDocument();
}

void ReaderSourceViewBinding::setCursor(qsizetype offset) {
    Q_ASSERT(isMainThread());
    m_workspace.setSourceCursorValue(offset);
    // The view made this change: it hears of it, as of any other, only through the pass that follows.
}

void ReaderSourceViewBinding::interact() {
    Q_ASSERT(isMainThread());
    m_workspace.sourceInteraction();
}

void ReaderSourceViewBinding::refresh() {
    // The document first: a view that reloads on it then sees the cursor and range of the new text.
    if (assignIfChanged(m_documentRevision, m_workspace.sourceDocumentRevision())) emit documentChanged();
    if (assignIfChanged(m_cursor, m_workspace.sourceCursor())) emit cursorChanged(m_cursor);
    if (assignIfChanged(m_highlightedRange, m_workspace.highlightedRange())) emit highlightedRangeChanged();
}

}  // namespace tavrine
