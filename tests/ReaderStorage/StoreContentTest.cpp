#include "ReaderStorage/SnapshotValidation.h"

#include "StoreFixture.h"

#include <limits>

namespace tavrine::test {
namespace {
using namespace Qt::StringLiterals;

ReadingStoreSnapshot snapshotOf(QList<StoredReading> documents) {
    return ReadingStoreSnapshot{3, idNumber(99), false, 100, std::move(documents), QSet<QUuid>()};
}

// Absent optional fields are left out of the store file and read back from an absent key or a null.
TEST(StoredReading, OptionalFieldsAreLeftOutAndReadFromNull) {
    const StoredReading plain = textRecord(idNumber(1), u"本文"_s, Date{5});
    QJsonObject json = toJson(plain).toObject();
    EXPECT_EQ(json.keys(), (QStringList{u"isInLibrary"_s, u"progress"_s, u"reading"_s}));
    json.insert(u"lastPlayedAt", QJsonValue::Null);
    json.insert(u"originalEPUB", QJsonValue::Null);
    EXPECT_EQ(decodeJson(json, JsonPath(), std::type_identity<StoredReading>{}), plain);
}

TEST(StoreLists, HistoryIsMostRecentlyPlayedFirstWithTiesByIdentifierText) {
    // Ties go by the upper-case text, whatever case was read and whatever order the binary values have:
    // QUuid orders these two by their variant bits, the other way round.
    const QUuid a = *parseUuid(u"00000001-0000-0000-c000-000000000000"_s);
    const QUuid b = *parseUuid(u"00000002-0000-0000-0000-000000000000"_s);
    const QUuid nine = *parseUuid(u"00000000-0000-0000-0000-000000000009"_s);
    ASSERT_TRUE(b < a);
    const auto snapshot = snapshotOf({historyRecord(b, Date{10}), historyRecord(a, Date{10}), textRecord(idNumber(1)),
                                      historyRecord(nine, Date{10}), historyRecord(idNumber(2), Date{20}),
                                      historyRecord(idNumber(3), Date{-5})});
    EXPECT_EQ(idsOf(historyEntries(snapshot)), (QList<QUuid>{idNumber(2), nine, a, b, idNumber(3)}));
}

TEST(StoreLists, LibraryIsMostRecentlyImportedFirstAndNeitherListIsCut) {
    auto snapshot =
        snapshotOf({textRecord(idNumber(2), u"x"_s, Date{1}), historyRecord(idNumber(9), Date{50}),
                    textRecord(idNumber(1), u"x"_s, Date{1}), textRecord(idNumber(3), u"x"_s, Date{1}, Date{100}),
                    textRecord(idNumber(4), u"x"_s, Date{7}), textRecord(idNumber(5), u"x"_s, {}, {}, false)});
    snapshot.historyLimit = 1;
    const ReadingStoreState state = ReadingStoreState::of(snapshot);
    EXPECT_EQ(idsOf(state.library), (QList<QUuid>{idNumber(4), idNumber(1), idNumber(2), idNumber(3)}));
    // Over the limit and switched off, the history still shows what is stored; a record can be in both, and
    // one in neither list shows in neither.
    EXPECT_EQ(idsOf(state.history), (QList<QUuid>{idNumber(3), idNumber(9)}));
}

// Dates that no JSON file can carry still reach the checks through the store's own operations.
TEST(SnapshotValidation, DatesMustBeFinite) {
    const auto snapshot = snapshotOf({textRecord(idNumber(1))});
    for (const double bad : {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN()}) {
        EXPECT_FALSE(isValidStoredReading(textRecord(idNumber(1), u"x"_s, Date{bad}), snapshot));
        EXPECT_FALSE(isValidStoredReading(historyRecord(idNumber(1), Date{bad}), snapshot));
        EXPECT_EQ(failureOf(validateHistory(snapshotOf({historyRecord(idNumber(1), Date{bad})}))), kInvalid);
    }
    EXPECT_TRUE(isValidStoredReading(textRecord(idNumber(1), u"x"_s, Date{1e300}), snapshot));
}

TEST(SnapshotValidation, ASuccessorIsCheckedFullyWhereItsContentChanged) {
    const StoredReading fromFile = textFileRecord(idNumber(1), u"notes.txt"_s, "notes");
    const auto validated = snapshotOf({fromFile});
    ASSERT_TRUE(validateSnapshot(validated));
    // A record whose file no longer gives its document: taken as it was, its content is not judged
    // again; as a new record, or with any change of content, it is.
    StoredReading broken = fromFile;
    broken.originalTextFile->data = "other";
    EXPECT_TRUE(validateSuccessor(snapshotOf({broken}), snapshotOf({broken})));
    EXPECT_EQ(failureOf(validateSuccessor(snapshotOf({broken}), validated)), kInvalid);
    EXPECT_EQ(failureOf(validateSuccessor(snapshotOf({broken}), snapshotOf({}))), kInvalid);

    // Positions, play dates and membership are always checked, as are the rules of the whole.
    auto moved = validated;
    moved.documents[0].progress.utf16Offset = 6;
    auto tombstoned = validated;
    tombstoned.removedIDs->insert(idNumber(1));
    for (const auto& successor : {moved, tombstoned, snapshotOf({fromFile, fromFile})}) {
        EXPECT_EQ(failureOf(validateSuccessor(successor, validated)), kInvalid);
    }
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
}

}  // namespace
}  // namespace tavrine::test
