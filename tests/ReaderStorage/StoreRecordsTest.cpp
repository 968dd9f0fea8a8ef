#include "ReaderStorage/ReadingStoreError.h"
#include "ReaderStorage/ReadingStoreState.h"

#include "StoreTestSupport.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using test::historyRecord;
using test::idNumber;
using test::textRecord;

QList<QUuid> idsOf(const QList<StoredReading>& records) {
    QList<QUuid> ids;
    for (const StoredReading& record : records) ids.append(record.id());
    return ids;
}

ReadingStoreSnapshot snapshotOf(QList<StoredReading> documents) {
    ReadingStoreSnapshot snapshot;
    snapshot.documents = std::move(documents);
    return snapshot;
}

TEST(StoredReading, OptionalFieldsAreLeftOutAndRequiredOnesEnforced) {
    const StoredReading plain = textRecord(idNumber(1), u"本文"_s, Date{5});
    const QJsonObject json = toJson(plain).toObject();
    EXPECT_EQ(json.keys(), (QStringList{u"isInLibrary"_s, u"progress"_s, u"reading"_s}));
    EXPECT_EQ(decodeJson(json, JsonPath(), std::type_identity<StoredReading>{}), plain);

    StoredReading full = test::textFileRecord(idNumber(2), u"a.txt"_s, "text");
    full.lastPlayedAt = Date{12.5};
    full.progress = {2, true};
    EXPECT_EQ(decodeJson(toJson(full), JsonPath(), std::type_identity<StoredReading>{}), full);

    for (const QString& key : {u"reading"_s, u"isInLibrary"_s, u"progress"_s}) {
        QJsonObject missing = json;
        missing.remove(key);
        EXPECT_FALSE(decodeJson(missing, JsonPath(), std::type_identity<StoredReading>{})) << key;
    }
    QJsonObject nulls = json;
    nulls.insert(u"lastPlayedAt", QJsonValue::Null);
    nulls.insert(u"originalEPUB", QJsonValue::Null);
    EXPECT_EQ(decodeJson(nulls, JsonPath(), std::type_identity<StoredReading>{}), plain);
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
    auto both = textRecord(idNumber(3), u"x"_s, Date{1}, Date{100});
    auto snapshot =
        snapshotOf({textRecord(idNumber(2), u"x"_s, Date{1}), historyRecord(idNumber(9), Date{50}),
                    textRecord(idNumber(1), u"x"_s, Date{1}), both, textRecord(idNumber(4), u"x"_s, Date{7})});
    snapshot.historyLimit = 1;
    snapshot.historyEnabled = false;
    const ReadingStoreState state = ReadingStoreState::of(snapshot);
    EXPECT_EQ(idsOf(state.library), (QList<QUuid>{idNumber(4), idNumber(1), idNumber(2), idNumber(3)}));
    // Over the limit and switched off, the history still shows what is stored; a record can be in both.
    EXPECT_EQ(idsOf(state.history), (QList<QUuid>{idNumber(3), idNumber(9)}));
    EXPECT_FALSE(state.historyEnabled);
    EXPECT_EQ(state.historyLimit, 1);

    // A record in neither list shows in neither.
    const auto orphan = ReadingStoreState::of(snapshotOf({textRecord(idNumber(5), u"x"_s, {}, {}, false)}));
    EXPECT_TRUE(orphan.history.isEmpty() && orphan.library.isEmpty());
}

TEST(ReadingStoreStateEquality, ListsCompareInOrderAndRemovedIdentifiersAsASet) {
    ReadingStoreSnapshot snapshot =
        snapshotOf({historyRecord(idNumber(1), Date{1}), historyRecord(idNumber(2), Date{2})});
    EXPECT_TRUE(ReadingStoreState::of(snapshot).removedDocumentIDs.isEmpty());

    snapshot.removedIDs = QSet<QUuid>{idNumber(7), idNumber(8)};
    ReadingStoreState state = ReadingStoreState::of(snapshot);
    ReadingStoreState reordered = state;
    reordered.removedDocumentIDs = QSet<QUuid>{idNumber(8), idNumber(7)};
    EXPECT_EQ(reordered, state);
    std::swap(reordered.history[0], reordered.history[1]);
    EXPECT_NE(reordered, state);
}

TEST(ReadingStoreError, VersionMattersOnlyForUnsupportedVersion) {
    using Error = ReadingStoreError;
    EXPECT_EQ(Error::unsupportedVersionOf(5), Error::unsupportedVersionOf(5));
    EXPECT_NE(Error::unsupportedVersionOf(5), Error::unsupportedVersionOf(6));
    EXPECT_NE(Error::unsupportedVersionOf(5), Error::invalidData());
    EXPECT_EQ(Error::invalidData(), (Error{Error::Kind::invalidData, 3}));
}

}  // namespace
}  // namespace tavrine
