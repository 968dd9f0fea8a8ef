#pragma once

#include "ReaderUI/Player/PlaybackPersistence.h"

#include <QString>

#include <optional>

namespace tavrine {

// What the reader knows of a reading's place in the store: whether the store holds it, and the storage
// notice shown for it. The current reading has one, and so has the reading the replacement history
// keeps, which follows its outcomes as if it were open.
struct StorageStanding {
    bool saved = false;
    std::optional<QString> notice;

    bool operator==(const StorageStanding&) const = default;
};

// The standing after a save outcome other than removed (which ends the reading instead; it leaves the
// standing as it is here): a save stores the reading and clears any notice; putting a stored reading in
// the library clears only the notice of a failed addition; a play record the history refused leaves the
// reading unsaved; a failure leaves its notice, and whatever was saved before stays saved.
StorageStanding following(StorageStanding standing, PlaybackPersistence::Outcome outcome);

}  // namespace tavrine
