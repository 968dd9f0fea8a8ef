#pragma once

#include "ReaderCore/Date.h"
#include "ReaderCore/ReadingProgress.h"
#include "ReaderCore/SavedReading.h"
#include "ReaderStorage/StoreFailure.h"
#include "ReaderStorage/internal/ReadingStoreSnapshot.h"

#include <QSet>
#include <QUuid>

#include <optional>

namespace tavrine {

// The library and history operations of the store as pure functions of its content. Each takes the
// current content and gives the content to write, or nothing when the operation leaves the store as it
// is (nothing is then written or announced), or the failure of its first failing check. They keep two
// rules: every stored reading stands in the library, the history or both (a reading that would leave its
// last list is deleted instead), and no more readings stand in the history than its limit (the least
// recently played drop out first). Deleted identifiers become tombstones when the content is written.
class ReadingStoreChanges {
public:
    using Snapshot = ReadingStoreSnapshot;
    // The content to write, or nothing to write.
    using Change = StoreResult<std::optional<Snapshot>>;

    // Always written, also when the setting does not change. Switching the history off keeps its entries.
    static Snapshot setHistoryEnabled(const Snapshot& current, bool enabled);
    // invalidData below 1; a lower limit drops entries at once.
    static StoreResult<Snapshot> setHistoryLimit(const Snapshot& current, qint64 limit);

    // A new library reading, judged as storeNew() judges it.
    static StoreResult<Snapshot> addToLibrary(const Snapshot& current, const SavedReading& reading,
                                              const ReadingProgress& progress);
    // A reading that was never stored enters the history: nothing to write while the history is off (it
    // still fails with missingDocument for a tombstoned identifier, checked first), duplicateIdentity for
    // a stored one.
    static Change recordPlayback(const Snapshot& current, const SavedReading& reading, Date date,
                                 const ReadingProgress& progress);
    // Appends a new record and keeps the history limit: invalidData for a library reading of a blank text,
    // then missingDocument for a tombstoned identifier, duplicateIdentity for a stored one.
    static StoreResult<Snapshot> storeNew(const Snapshot& current, StoredReading record);

    // A stored reading joins the library, keeping its place in stored order: missingDocument when not
    // stored, invalidData for a blank text; nothing to write when it is in the library already.
    static Change addToLibrary(const Snapshot& current, const QUuid& id);
    // A play of a stored reading: the play date only while the history is on, the progress when given.
    static Change recordPlayback(const Snapshot& current, const QUuid& id, Date date,
                                 const std::optional<ReadingProgress>& progress);
    static Change updateProgress(const Snapshot& current, const QUuid& id, const ReadingProgress& progress);
    // Removes a library reading from the library and the history at once; missingDocument for a reading
    // that is not stored or only in the history.
    static StoreResult<Snapshot> deleteDocument(const Snapshot& current, const QUuid& id);

    struct HistoryRemoval {
        // Nothing when the content would not change at all.
        std::optional<Snapshot> snapshot;
        // The readings that left the store: those that were only in the history.
        QSet<QUuid> deleted;
    };
    // Readings only in the history are deleted, library readings leave the history, and every given
    // identifier that no reading keeps, stored or not, becomes a tombstone.
    static HistoryRemoval removeHistoryEntries(const Snapshot& current, const QSet<QUuid>& ids);

    // Drops the entries beyond the limit from the end of the history order: a reading only in the
    // history is removed, a library reading only loses its play date.
    static void enforceHistoryLimit(Snapshot& snapshot);
};

}  // namespace tavrine
