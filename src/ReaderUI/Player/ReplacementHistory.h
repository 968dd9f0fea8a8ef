#pragma once

// A Qt header first: moc reads the standard library's concepts only after Qt's own configuration.
#include <QObject>

#include "ReaderUI/Player/PlaybackPersistence.h"
#include "ReaderUI/Player/ReplacementSnapshot.h"

#include <QSet>
#include <QUuid>

#include <optional>

namespace tavrine {

// The player's one level of replacement undo, and the imports it has applied. After an import that
// allows undo the history keeps what the import replaced (the snapshot) and expects the import's reading
// to stay open; undo swaps the two, and then redo swaps them back, back and forth. Whatever else opens
// or leaves the store ends the history: the player clears it. Owned by the player, main thread only;
// each property signals when it changes (snapshot and handledImportIDs on every write).
class ReplacementHistory final : public QObject {
    Q_OBJECT

public:
    explicit ReplacementHistory(QObject* parent = nullptr);

    // What a swap brings back; absent when there is nothing to swap.
    const std::optional<ReplacementSnapshot>& snapshot() const { return m_snapshot; }
    // The reading that must be open for the swap to be offered (absent: no reading).
    const std::optional<QUuid>& expectedID() const { return m_expectedID; }
    // False: the snapshot undoes an import; true: it redoes one.
    bool isRedo() const { return m_isRedo; }
    // The imports applied so far: each is applied once.
    const QSet<QUuid>& handledImportIDs() const { return m_handledImportIDs; }

    // Whether the swap of this direction (redo false: undo) is offered while current is open; no reading
    // open and none expected count as the same reading.
    bool offers(bool redo, const std::optional<QUuid>& current) const;
    bool hasHandled(const QUuid& importID) const { return m_handledImportIDs.contains(importID); }

    // The import importID was applied, replacing what replaced keeps (absent for an import that does not
    // allow undo): the history expects the import's reading and offers undo when it keeps something.
    void recordImport(const QUuid& importID, std::optional<ReplacementSnapshot> replaced);
    // The swap on offer was made: the player brought the snapshot back and leaves what leaving keeps. The
    // history now keeps that, expects the reading brought back and offers the other direction. Nothing
    // without a snapshot.
    void exchange(ReplacementSnapshot leaving);
    // Neither undo nor redo is offered any more; the applied imports stay known.
    void clear();

    // A store outcome of the reading id: the reading kept follows it (its saved flag and notice), and its
    // removal ends the history.
    void follow(const QUuid& id, PlaybackPersistence::Outcome outcome);
    // The store no longer has the readings removed: the history ends when it keeps one of them.
    void forgetRemoved(const QSet<QUuid>& removed);

signals:
    void snapshotChanged();
    void expectedIDChanged();
    void isRedoChanged();
    void handledImportIDsChanged();

private:
    // Whether the snapshot keeps the reading id.
    bool keeps(const QUuid& id) const;
    void setSnapshot(std::optional<ReplacementSnapshot> snapshot);
    void setExpectedID(std::optional<QUuid> id);
    void setIsRedo(bool value);

    std::optional<ReplacementSnapshot> m_snapshot;
    std::optional<QUuid> m_expectedID;
    bool m_isRedo = false;
    QSet<QUuid> m_handledImportIDs;
};

}  // namespace tavrine
