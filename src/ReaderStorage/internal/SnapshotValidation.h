#pragma once

#include "ReaderStorage/StoreFailure.h"
#include "ReaderStorage/internal/ReadingStoreProgressFile.h"
#include "ReaderStorage/internal/ReadingStoreSnapshot.h"

#include <QByteArray>

namespace tavrine {

// The consistency rules of the store's content, shared by loading and writing: a snapshot that fails
// them is never taken from disk and never written. Every failure is invalidData. Pure functions.

// Every rule, in this order: a history limit of at least 1; a revision from version 3 and tombstones from
// version 2 on; no stored document under a tombstoned or repeated identifier; no more documents with a
// play date than the limit; then each document in stored order by isValidStoredReading().
StoreResult<void> validateSnapshot(const ReadingStoreSnapshot& snapshot);

// The same rules for the successor of a snapshot that passed them. A document whose content is unchanged
// from the document of its identifier in `validated` (sameContent) gave the same answer then, so only
// what can change without its content is checked again: its membership, its progress and its play date.
// This spares decoding every kept text file again at each write.
StoreResult<void> validateSuccessor(const ReadingStoreSnapshot& snapshot, const ReadingStoreSnapshot& validated);

// One document against the snapshot that holds it: it is in the library or the history; an EPUB reading
// is a version 4 library reading with valid book information and a well-formed original record, and no
// text file; its document and progress are valid; a reading from a text file is in the library, and the
// file still decodes to exactly its document under its title; its dates are finite.
bool isValidStoredReading(const StoredReading& record, const ReadingStoreSnapshot& snapshot);

// The rules that a change of positions and play dates can break, checked after the progress file is
// applied and before a progress file is written: no more documents with a play date than the limit, and for
// each document membership of the library or the history, a valid progress and a finite play date.
StoreResult<void> validateHistory(const ReadingStoreSnapshot& snapshot);

// Takes each document's progress and play date from the progress file of the snapshot's revision, which must
// be of version 1, name the same revision and hold exactly one entry per stored document. An entry without
// a play date clears the document's.
StoreResult<void> applyProgressFile(ReadingStoreSnapshot& snapshot, const ReadingStoreProgressFile& progress);

// The progress file of a snapshot: its revision and one entry per document, in stored order.
StoreResult<QByteArray> encodeProgressFile(const ReadingStoreSnapshot& snapshot);

}  // namespace tavrine
