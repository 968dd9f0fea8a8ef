#pragma once

#include "ReaderCore/TextRange.h"

#include <QObject>
#include <QUuid>

#include <optional>

namespace tavrine {

class ReaderWorkspaceController;
struct ReadingDocument;

// What the workspace hands the application's source view, and the two roads back: the document to show,
// the cursor (a UTF-16 offset into the document's text) with its setter, the token whose every new value
// asks the view to give up the keyboard focus, the range of the phrase being read (absent while the
// text in the view differs from the loaded one), and the report of any other interaction.
//
// The values follow the workspace: they are taken again after each of its update passes (the token at
// once), and each signal fires only when its value really changed, at most once per pass. A view reacts
// to the signals and must not write the cursor back for a change it did not make: setCursor is the
// user's move, which makes the player jump. Main thread; made by the reading column over its controller,
// which must outlive it.
class ReaderSourceViewBinding final : public QObject {
    Q_OBJECT

public:
    explicit ReaderSourceViewBinding(ReaderWorkspaceController& workspace, QObject* parent = nullptr);
    ~ReaderSourceViewBinding() override;

    const ReadingDocument& document() const;
    qsizetype cursor() const { return m_cursor; }
    QUuid releaseEditorFocus() const { return m_releaseEditorFocus; }
    const std::optional<TextRange>& highlightedRange() const { return m_highlightedRange; }

    // The user moved the cursor: the player jumps there (see ReaderWorkspaceController::setSourceCursorValue).
    void setCursor(qsizetype offset);
    // The user worked the view otherwise (scrolled, clicked, selected): playback pauses, saving.
    void interact();

signals:
    void documentChanged();
    void cursorChanged(qsizetype cursor);
    void releaseEditorFocusChanged(QUuid token);
    void highlightedRangeChanged();

private:
    void refresh();

    ReaderWorkspaceController& m_workspace;
    quint64 m_documentRevision;
    qsizetype m_cursor;
    QUuid m_releaseEditorFocus;
    std::optional<TextRange> m_highlightedRange;
};

}  // namespace tavrine
