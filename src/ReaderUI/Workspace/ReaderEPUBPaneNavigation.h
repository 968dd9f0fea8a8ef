#pragma once

// A Qt header first: moc reads the standard library's concepts only after Qt's own configuration.
#include <QObject>

#include "ReaderUI/Workspace/ReaderEPUBContents.h"
#include "ReaderUI/Workspace/ReaderEPUBPaneCallbacks.h"

#include <QList>
#include <QUuid>

#include <optional>

namespace tavrine {

class ReaderEPUBPaneModel;
class ReadingPlayer;

// What the user does in the table-of-contents pane of one reading, without its widgets: the selected
// entry, the chapter group, the keys, the choice that moves the player, and closing.
//
// Rows are painted, not widgets, so no row button ever holds the keyboard focus: the list holds it as a
// whole and a click on a row is that row's button's action (select). Moving the selection never moves the
// player; choosing does, pausing it at the destination, and leaves the pane open. Main thread; the model
// and the player must outlive it.
class ReaderEPUBPaneNavigation final : public QObject {
    Q_OBJECT

public:
    using Selection = ReaderEPUBContents::Selection;

    using Callbacks = ReaderEPUBPaneCallbacks;

    // For the pane of the reading readingID over the player.
    ReaderEPUBPaneNavigation(ReaderEPUBPaneModel& model, ReadingPlayer& player, QUuid readingID, Callbacks callbacks,
                             QObject* parent = nullptr);

    const ReaderEPUBContents& contents() const;
    QUuid readingID() const { return m_readingID; }

    const std::optional<Selection>& selection() const { return m_selection; }
    void setSelection(std::optional<Selection> selection);

    bool showsChapters() const;
    // Collapsing the group while a chapter is selected moves the selection to the first entry offered
    // first, or to nothing; under the fallback, which always shows the chapters, nothing changes.
    void setShowsChapters(bool shows);

    // The entries the arrow keys move through: those offered first, then the chapters while the group is
    // expanded.
    QList<Selection> visibleEntries() const;

    // Up or Down (key-down and repeat): false, the key passing on, when a modifier is held; otherwise the
    // list takes the focus and the selection moves one step, stopping at both ends; from nothing (or from
    // a selection not shown) Down takes the first entry and Up the last.
    bool arrowKey(bool down, Qt::KeyboardModifiers modifiers);
    // Return or Space: chooses the selected entry; false, the key passing on, when a modifier is held or
    // nothing is selected.
    bool activationKey(Qt::KeyboardModifiers modifiers);

    // Chooses key: nothing when it has no destination or when the player no longer holds this pane's
    // reading; otherwise selects it, calls onSelect and moves the player there (its refusal is ignored).
    void select(const Selection& key);

    // Esc or the close button: onClose, then onFocusDeparture. The focus is given up once: a
    // disappearance that follows calls nothing more.
    void close();

    bool isListFocused() const { return m_isListFocused; }
    void setListFocused(bool focused) { m_isListFocused = focused; }
    // The pane leaves the screen: onFocusDeparture when the list holds the focus.
    void disappeared();

signals:
    // The selection became key (a new value, never nothing): its row is to be scrolled into view.
    void selected(const tavrine::ReaderEPUBContents::Selection& key);
    // The selection became nothing.
    void selectionCleared();

private:
    ReaderEPUBPaneModel& m_model;
    ReadingPlayer& m_player;
    const QUuid m_readingID;
    const Callbacks m_callbacks;
    std::optional<Selection> m_selection;
    bool m_isListFocused = false;
};

}  // namespace tavrine
