#include "ReaderStorage/SnapshotValidation.h"

#include "StoreTestSupport.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <limits>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using test::failureOf;
using test::historyRecord;
using test::idNumber;
using test::invalidData;
using test::textRecord;

ReadingStoreSnapshot snapshotOf(QList<StoredReading> documents) {
    ReadingStoreSnapshot snapshot;
    snapshot.revision = idNumber(99);
    snapshot.removedIDs = QSet<QUuid>();
    snapshot.documents = std::move(documents);
    return snapshot;
}

// Dates that no JSON file can carry still reach the checks through the store's own operations.
TEST(SnapshotValidation, DatesMustBeFinite) {
    const auto snapshot = snapshotOf({textRecord(idNumber(1))});
    for (const double bad : {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN()}) {
        StoredReading imported = textRecord(idNumber(1), u"x"_s, Date{bad});
        EXPECT_FALSE(isValidStoredReading(imported, snapshot));
        StoredReading played = historyRecord(idNumber(1), Date{bad});
        EXPECT_FALSE(isValidStoredReading(played, snapshot));
        EXPECT_EQ(failureOf(validateHistory(snapshotOf({played}))), invalidData());
    }
    EXPECT_TRUE(isValidStoredReading(textRecord(idNumber(1), u"x"_s, Date{1e300}), snapshot));
}

TEST(SnapshotValidation, HistoryChecksHoldAfterPositionsChange) {
    auto snapshot = snapshotOf({textRecord(idNumber(1), u"abc"_s), historyRecord(idNumber(2), Date{1})});
    EXPECT_TRUE(validateHistory(snapshot));

    auto pastTheEnd = snapshot;
    pastTheEnd.documents[0].progress.utf16Offset = 4;
    EXPECT_EQ(failureOf(validateHistory(pastTheEnd)), invalidData());
    auto overLimit = snapshot;
    overLimit.historyLimit = 1;
    overLimit.documents[0].lastPlayedAt = Date{2};
    EXPECT_EQ(failureOf(validateHistory(overLimit)), invalidData());
    auto inNeither = snapshot;
    inNeither.documents[1].lastPlayedAt.reset();
    EXPECT_EQ(failureOf(validateHistory(inNeither)), invalidData());
}

TEST(SnapshotValidation, ASuccessorIsCheckedFullyWhereItsContentChanged) {
    const StoredReading fromFile = test::textFileRecord(idNumber(1), u"notes.txt"_s, "notes");
    const auto validated = snapshotOf({fromFile});
    ASSERT_TRUE(validateSnapshot(validated));

    // A record whose file no longer gives its document: taken as it was, its content is not judged
    // again; as a new record, or with any change of content, it is.
    StoredReading broken = fromFile;
    broken.originalTextFile->data = "other";
    auto successor = snapshotOf({broken});
    EXPECT_TRUE(validateSuccessor(successor, snapshotOf({broken})));
    EXPECT_EQ(failureOf(validateSuccessor(successor, validated)), invalidData());
    EXPECT_EQ(failureOf(validateSuccessor(successor, snapshotOf({}))), invalidData());

    // Positions, play dates and membership are always checked, as are the rules of the whole.
    auto moved = validated;
    moved.documents[0].progress.utf16Offset = 6;
    EXPECT_EQ(failureOf(validateSuccessor(moved, validated)), invalidData());
    auto repeated = snapshotOf({fromFile, fromFile});
    EXPECT_EQ(failureOf(validateSuccessor(repeated, validated)), invalidData());
    auto tombstoned = validated;
    tombstoned.removedIDs->insert(idNumber(1));
    EXPECT_EQ(failureOf(validateSuccessor(tombstoned, validated)), invalidData());
}

TEST(SnapshotValidation, TheSideFileRecordsEveryDocumentInStoredOrder) {
    StoredReading first = textRecord(idNumber(2), u"abc"_s);
    first.progress = {3, true};
    const auto snapshot = snapshotOf({first, historyRecord(idNumber(1), Date{7.25})});
    const auto encoded = encodeMetadata(snapshot);
    ASSERT_TRUE(encoded);
    const auto metadata = decodeJsonText<ReadingStoreMetadata>(*encoded);
    ASSERT_TRUE(metadata);
    EXPECT_EQ(*metadata,
              (ReadingStoreMetadata{
                  1, idNumber(99), {{idNumber(2), {3, true}, std::nullopt}, {idNumber(1), {}, Date{7.25}}}}));
    EXPECT_FALSE(encoded->contains("null"));

    // Applying it to a copy of the stored form gives the positions back.
    auto stale = snapshot;
    stale.documents[0].progress = {};
    stale.documents[1].lastPlayedAt = Date{1};
    ASSERT_TRUE(applyProgressMetadata(stale, *metadata));
    EXPECT_EQ(stale, snapshot);

    auto withoutRevision = snapshot;
    withoutRevision.revision.reset();
    EXPECT_EQ(failureOf(encodeMetadata(withoutRevision)), invalidData());
}

TEST(SnapshotValidation, ApplyingASideFileNeedsTheSameSetOfDocuments) {
    // Two records under one identifier and an entry for a stranger: as many entries as documents, but not
    // the same set.
    auto snapshot = snapshotOf({textRecord(idNumber(1)), textRecord(idNumber(1))});
    const ReadingStoreMetadata metadata{1, idNumber(99), {{idNumber(1), {}, {}}, {idNumber(2), {}, {}}}};
    EXPECT_EQ(failureOf(applyProgressMetadata(snapshot, metadata)), invalidData());
}

}  // namespace
}  // namespace tavrine
