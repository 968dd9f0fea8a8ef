#include "ReaderCore/ImportedReading.h"
#include "ReaderCore/ReadingProgress.h"
#include "ReaderCore/SavedReading.h"
#include "ReaderCore/Uuid.h"

#include "support/FakeClock.h"
#include "support/JsonTesting.h"
#include "support/NavigationTrees.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Kind = DecodingError::Kind;

ReadingDocument plain(const QString& text) {
    return ReadingDocument{std::nullopt, text, {}};
}

TEST(SavedReadingCoding, WritesOnlyPresentOptionalsAndReadsThemBack) {
    const SavedReading bare =
        SavedReading::create(plain(u"本文"_s), std::nullopt, std::nullopt, std::nullopt, Date{700'000'000.123456});
    const QJsonObject object = test::writtenObject(bare);
    EXPECT_EQ(QStringList(object.keys()), (QStringList{u"document"_s, u"id"_s, u"importedAt"_s}));
    EXPECT_EQ(object.value(u"id"_s).toString(), uuidString(bare.id));
    EXPECT_EQ(decodeJsonText<SavedReading>(encodeJson(bare)), bare);

    EPUBBook::Information epub{{}, {test::entry(u"a"_s, test::at(u"s"_s, 0))}, {}, {}, u"content.opf"_s};
    const SavedReading full = SavedReading::create(plain(u"x"_s), u"題"_s, epub, u"clipboard"_s, Date{-3.5});
    EXPECT_EQ(test::writtenObject(full).size(), 6);
    EXPECT_EQ(decodeJsonText<SavedReading>(encodeJson(full)), full);
}

TEST(SavedReadingCoding, NullMeansAbsentAndTheDateIsRequired) {
    const auto decoded = decodeJsonText<SavedReading>(R"({"id": "e621e1f8-c36c-495a-93fc-0c247a3e6e5f",
        "title": null, "source": null, "epub": null, "document": {"text": "a", "spans": []}, "importedAt": 12})");
    ASSERT_TRUE(decoded) << decoded.error().debugDescription;
    EXPECT_EQ(decoded->title, std::nullopt);
    EXPECT_EQ(decoded->epub, std::nullopt);
    EXPECT_EQ(uuidString(decoded->id), u"E621E1F8-C36C-495A-93FC-0C247A3E6E5F"_s);

    const auto undated = decodeJsonText<SavedReading>(R"({"id": "E621E1F8-C36C-495A-93FC-0C247A3E6E5F",
        "document": {"text": "a", "spans": []}})");
    ASSERT_FALSE(undated);
    EXPECT_EQ(undated.error().kind, Kind::keyNotFound);
}

TEST(ReadingProgress, IsAnOffsetOfTheTextCodedWithBothFieldsRequired) {
    EXPECT_TRUE((ReadingProgress{4, true}).isValid(plain(u"a\U0001F600b"_s)));
    EXPECT_FALSE((ReadingProgress{2, false}).isValid(plain(u"a\U0001F600b"_s)));
    EXPECT_EQ((ReadingProgress{500, true}).resumeOffset(), 0);  // a finished reading starts again

    const ReadingProgress progress{1234, true};
    EXPECT_EQ(encodeJson(progress), QByteArray(R"({"isCompleted":true,"utf16Offset":1234})"));
    EXPECT_EQ(decodeJsonText<ReadingProgress>(encodeJson(progress)), progress);
    EXPECT_EQ(decodeJsonText<ReadingProgress>(R"({"utf16Offset": 3})").error().kind, Kind::keyNotFound);
    EXPECT_EQ(decodeJsonText<ReadingProgress>(R"({"utf16Offset": 3, "isCompleted": 1})").error().kind,
              Kind::typeMismatch);
}

TEST(ImportedReading, CarriesANewReadingImportedNow) {
    test::FakeClock clock(Date{123.25});
    const ImportedReading imported =
        ImportedReading::create(plain(u"本文"_s), true, u"題"_s, u"記事"_s, /*allowsReplacementUndo=*/true, clock);
    EXPECT_EQ(imported.reading.importedAt, Date{123.25});
    EXPECT_EQ(imported.reading.source, u"記事"_s);
    EXPECT_TRUE(imported.allowsReplacementUndo);

    // Every value is a reading of its own, even of the same text at the same moment.
    const ImportedReading text = ImportedReading::fromText(u"本文"_s, false, clock);
    EXPECT_FALSE(text.id().isNull());
    EXPECT_NE(text.id(), ImportedReading::fromText(u"本文"_s, false, clock).id());
    EXPECT_EQ(text.document(), plain(u"本文"_s));
    EXPECT_FALSE(text.allowsReplacementUndo);
}

}  // namespace
}  // namespace tavrine
