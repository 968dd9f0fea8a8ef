#pragma once

#include "ReaderStorage/StoredReading.h"

#include <QList>
#include <QSet>
#include <QUuid>

namespace tavrine {

struct ReadingStoreSnapshot;

// The read-only picture of the whole store that callers and listeners receive, with the history and
// the library as ready-sorted lists. Built afresh from a snapshot, never changed in place. Neither list
// is cut, and a history that is switched off still lists what is stored.
struct ReadingStoreState {
    // The history limit of a store that was never given one.
    static constexpr qint64 kDefaultHistoryLimit = 100;

    bool historyEnabled = false;
    qint64 historyLimit = kDefaultHistoryLimit;
    // The documents that have a lastPlayedAt, in history order.
    QList<StoredReading> history;
    // The documents in the library, in library order.
    QList<StoredReading> library;
    // The tombstones: the identifiers of deleted documents, which may not come back.
    QSet<QUuid> tombstones;

    static ReadingStoreState of(const ReadingStoreSnapshot& snapshot);

    bool operator==(const ReadingStoreState&) const = default;
};

// History order: the most recently played first; readings played at the same instant in ascending order
// of their identifier's upper-case canonical text. The history limit drops entries from the end of it.
QList<StoredReading> historyEntries(const ReadingStoreSnapshot& snapshot);

// Library order: the most recently imported first; ties as in the history.
QList<StoredReading> libraryEntries(const ReadingStoreSnapshot& snapshot);

}  // namespace tavrine
