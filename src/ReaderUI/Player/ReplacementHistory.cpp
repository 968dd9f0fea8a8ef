#include "ReaderUI/Player/ReplacementHistory.h"

#include "ReaderCore/MainThread.h"
#include "ReaderUI/Player/StorageStanding.h"
#include "ReaderUI/PropertyWrite.h"

namespace tavrine {

using Outcome = PlaybackPersistence::Outcome;

ReplacementHistory::ReplacementHistory(QObject* parent) : QObject(parent) {
    Q_ASSERT(isMainThread());
}

bool ReplacementHistory::offers(bool redo, const std::optional<QUuid>& current) const {
    return m_snapshot && m_isRedo == redo && current == m_expectedID;
}

void ReplacementHistory::recordImport(const QUuid& importID, std::optional<ReplacementSnapshot> replaced) {
    Q_ASSERT(isMainThread());
    setSnapshot(std::move(replaced));
    setExpectedID(importID);
    setIsRedo(false);
    m_handledImportIDs.insert(importID);
    emit handledImportIDsChanged();
}

void ReplacementHistory::exchange(ReplacementSnapshot leaving) {
    Q_ASSERT(isMainThread());
    if (!m_snapshot) return;
    std::optional<QUuid> restored;
    if (m_snapshot->reading) restored = m_snapshot->reading->id;
    setSnapshot(std::move(leaving));
    setExpectedID(restored);
    setIsRedo(!m_isRedo);
}

void ReplacementHistory::clear() {
    Q_ASSERT(isMainThread());
    setSnapshot(std::nullopt);
    setExpectedID(std::nullopt);
    setIsRedo(false);
}

void ReplacementHistory::follow(const QUuid& id, Outcome outcome) {
    Q_ASSERT(isMainThread());
    if (!keeps(id)) return;
    if (outcome == Outcome::removed) {
        clear();
        return;
    }
    ReplacementSnapshot snapshot = *m_snapshot;
    const StorageStanding standing = following({.saved = snapshot.saved, .notice = snapshot.message}, outcome);
    snapshot.saved = standing.saved;
    snapshot.message = standing.notice;
    setSnapshot(std::move(snapshot));
}

void ReplacementHistory::forgetRemoved(const QSet<QUuid>& removed) {
    Q_ASSERT(isMainThread());
    if (m_snapshot && m_snapshot->reading && removed.contains(m_snapshot->reading->id)) clear();
}

bool ReplacementHistory::keeps(const QUuid& id) const {
    return m_snapshot && m_snapshot->reading && m_snapshot->reading->id == id;
}

void ReplacementHistory::setSnapshot(std::optional<ReplacementSnapshot> snapshot) {
    m_snapshot = std::move(snapshot);
    emit snapshotChanged();
}

void ReplacementHistory::setExpectedID(std::optional<QUuid> id) {
    writeProperty(this, m_expectedID, id, &ReplacementHistory::expectedIDChanged);
}

void ReplacementHistory::setIsRedo(bool value) {
    writeProperty(this, m_isRedo, value, &ReplacementHistory::isRedoChanged);
}

}  // namespace tavrine
