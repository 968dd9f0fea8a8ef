#include "ReaderStorage/ReadingStoreState.h"

#include "ReaderStorage/internal/ReadingStoreSnapshot.h"

#include "ReaderCore/Uuid.h"

#include <algorithm>
#include <compare>

namespace tavrine {
namespace {

// Later dates first; the same instant by ascending identifier text. Dates are compared by IEEE total
// order apart from equality, so even a corrupt date cannot break the sort.
bool comesBefore(Date a, const QUuid& aID, Date b, const QUuid& bID) {
    if (a.secondsSinceReferenceDate == b.secondsSinceReferenceDate) return uuidString(aID) < uuidString(bID);
    return std::strong_order(a.secondsSinceReferenceDate, b.secondsSinceReferenceDate) == std::strong_ordering::greater;
}

}  // namespace

QList<StoredReading> historyEntries(const ReadingStoreSnapshot& snapshot) {
    QList<StoredReading> entries;
    for (const StoredReading& record : snapshot.documents) {
        if (record.lastPlayedAt) entries.append(record);
    }
    std::stable_sort(entries.begin(), entries.end(), [](const StoredReading& a, const StoredReading& b) {
        return comesBefore(*a.lastPlayedAt, a.id(), *b.lastPlayedAt, b.id());
    });
    return entries;
}

QList<StoredReading> libraryEntries(const ReadingStoreSnapshot& snapshot) {
    QList<StoredReading> entries;
    for (const StoredReading& record : snapshot.documents) {
        if (record.isInLibrary) entries.append(record);
    }
    std::stable_sort(entries.begin(), entries.end(), [](const StoredReading& a, const StoredReading& b) {
        return comesBefore(a.reading.importedAt, a.id(), b.reading.importedAt, b.id());
    });
    return entries;
}

ReadingStoreState ReadingStoreState::of(const ReadingStoreSnapshot& snapshot) {
    return ReadingStoreState{snapshot.historyEnabled, snapshot.historyLimit, historyEntries(snapshot),
                             libraryEntries(snapshot), snapshot.tombstones.value_or(QSet<QUuid>())};
}

}  // namespace tavrine
