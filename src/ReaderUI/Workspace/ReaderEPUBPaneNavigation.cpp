#include "ReaderUI/Workspace/ReaderEPUBPaneNavigation.h"

#include "ReaderCore/MainThread.h"
#include "ReaderUI/Player/ReadingPlayer.h"
#include "ReaderUI/ReaderHeldModifiers.h"
#include "ReaderUI/Workspace/ReaderEPUBPaneModel.h"

#include <algorithm>

namespace tavrine {

ReaderEPUBPaneNavigation::ReaderEPUBPaneNavigation(ReaderEPUBPaneModel& model, ReadingPlayer& player, QUuid readingID,
                                                   Callbacks callbacks, QObject* parent)
    : QObject(parent), m_model(model), m_player(player), m_readingID(readingID), m_callbacks(std::move(callbacks)) {
    Q_ASSERT(isMainThread());
}

const ReaderEPUBContents& ReaderEPUBPaneNavigation::contents() const {
    return m_model.contents();
}

void ReaderEPUBPaneNavigation::setSelection(std::optional<Selection> selection) {
    Q_ASSERT(isMainThread());
    if (m_selection == selection) return;
    m_selection = std::move(selection);
    if (m_selection) {
        emit selected(*m_selection);
    } else {
        emit selectionCleared();
    }
}

bool ReaderEPUBPaneNavigation::showsChapters() const {
    return m_model.showsChapters();
}

void ReaderEPUBPaneNavigation::setShowsChapters(bool shows) {
    if (m_model.showsChapters() == shows) return;
    m_model.setShowsChapters(shows);
    if (shows || contents().usesChapterFallback) return;
    if (m_selection && m_selection->kind == Selection::Kind::chapter) {
        const QList<Selection>& primary = contents().primarySelections;
        setSelection(primary.isEmpty() ? std::nullopt : std::optional(primary.first()));
    }
}

QList<ReaderEPUBPaneNavigation::Selection> ReaderEPUBPaneNavigation::visibleEntries() const {
    QList<Selection> entries = contents().primarySelections;
    if (!contents().usesChapterFallback && m_model.showsChapters()) entries += contents().chapterSelections;
    return entries;
}

bool ReaderEPUBPaneNavigation::arrowKey(bool down, Qt::KeyboardModifiers modifiers) {
    if (holdsModifier(modifiers)) return false;
    m_isListFocused = true;
    const QList<Selection> entries = visibleEntries();
    if (entries.isEmpty()) {
        setSelection(std::nullopt);
        return true;
    }
    const qsizetype position = m_selection ? entries.indexOf(*m_selection) : -1;
    if (position < 0) {
        setSelection(down ? entries.first() : entries.last());
    } else {
        setSelection(entries[std::clamp<qsizetype>(position + (down ? 1 : -1), 0, entries.size() - 1)]);
    }
    return true;
}

bool ReaderEPUBPaneNavigation::activationKey(Qt::KeyboardModifiers modifiers) {
    if (holdsModifier(modifiers) || !m_selection) return false;
    select(*m_selection);
    return true;
}

void ReaderEPUBPaneNavigation::select(const Selection& key) {
    Q_ASSERT(isMainThread());
    const auto destination = contents().destinations.constFind(key);
    if (destination == contents().destinations.cend()) return;
    // The pane may outlive its reading by a moment: a choice then belongs to nothing the player holds.
    if (m_player.readingID() != m_readingID) return;
    const EPUBBook::Destination target = *destination;
    setSelection(key);
    if (m_callbacks.onSelect) m_callbacks.onSelect();
    m_player.navigate(target, m_readingID);
}

void ReaderEPUBPaneNavigation::close() {
    Q_ASSERT(isMainThread());
    if (m_callbacks.onClose) m_callbacks.onClose();
    m_isListFocused = false;
    if (m_callbacks.onFocusDeparture) m_callbacks.onFocusDeparture();
}

void ReaderEPUBPaneNavigation::disappeared() {
    if (!m_isListFocused) return;
    m_isListFocused = false;
    if (m_callbacks.onFocusDeparture) m_callbacks.onFocusDeparture();
}

}  // namespace tavrine
