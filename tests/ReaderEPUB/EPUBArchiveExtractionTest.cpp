#include "EPUBArchiveTestSupport.h"

#include "ReaderEPUB/EPUBExtractionBudget.h"

#include "support/SharedData.h"
#include "support/TestEPUBBuilder.h"

#include <gtest/gtest.h>
#include <QFile>

namespace tavrine {
namespace {
using namespace test;
using Kind = EPUBReader::Failure::Kind;
using Limit = EPUBReader::ResourceLimit;

// An entry whose deflate stream inflates to `actual` bytes while its headers declare `declared`.
RawZipEntry inflating(QByteArray name, qint64 actual, quint32 declared) {
    RawZipEntry entry;
    entry.name = std::move(name);
    entry.data = QByteArray(actual, '\0');
    entry.method = 8;
    entry.uncompressedSize = declared;
    return entry;
}

TEST(EPUBArchiveExtraction, DamagedDataIsRefusedByItsChecksum) {
    for (const quint16 method : {0, 8}) {
        RawZipBuilder builder = smallArchive();
        builder.entries()[1].method = method;
        builder.entries()[1].crc = 0x12345678;
        EXPECT_EQ(archiveFailure(builder.build().bytes), failure(Kind::invalidArchive)) << method;
    }
    RawZipBuilder garbage = smallArchive();
    garbage.entries()[1].payload = QByteArray(64, '\xFF');
    EXPECT_EQ(archiveFailure(garbage.build().bytes), failure(Kind::invalidArchive));
    // A deflate stream that ends early.
    RawZipBuilder truncated = smallArchive();
    truncated.entries()[1].data = QByteArray(5'000, 'x');
    truncated.entries()[1].payload = deflateRaw(truncated.entries()[1].data).left(5);
    EXPECT_EQ(archiveFailure(truncated.build().bytes), failure(Kind::invalidArchive));
}

TEST(EPUBArchiveExtraction, SymbolicLinksAreRefused) {
    RawZipBuilder builder = smallArchive();
    builder.entries()[1].externalAttributes = 0120777u << 16;
    EXPECT_EQ(archiveFailure(builder.build().bytes), failure(Kind::ambiguousPath));
    // The same mode from a system whose attributes are not Unix modes is only a number.
    builder.entries()[1].versionMadeBy = 0x0014;
    EXPECT_EQ(archiveFailure(builder.build().bytes), std::nullopt);
}

// An Info-ZIP Unicode path field, which the ZIP library prefers to the name in the header.
QByteArray unicodePathField(const QByteArray& headerName, const QByteArray& unicodeName) {
    QByteArray field;
    const auto append16 = [&](quint32 v) {
        field.append(static_cast<char>(v & 0xFF));
        field.append(static_cast<char>(v >> 8 & 0xFF));
    };
    append16(0x7075);
    append16(static_cast<quint32>(5 + unicodeName.size()));
    field.append('\x01');
    const quint32 crc = crc32Of(headerName);
    append16(crc & 0xFFFF);
    append16(crc >> 16);
    field.append(unicodeName);
    return field;
}

TEST(EPUBArchiveExtraction, AnExtraFieldCannotRenameAnEntry) {
    const QByteArray headerName = QByteArrayLiteral("OEBPS/ch1.xhtml");
    RawZipBuilder builder = smallArchive();
    builder.entries()[1].centralExtra = unicodePathField(headerName, "../evil.xhtml");
    EXPECT_EQ(archiveFailure(builder.build().bytes), failure(Kind::ambiguousPath));
    builder.entries()[1].centralExtra = unicodePathField(headerName, headerName);
    EXPECT_EQ(archiveFailure(builder.build().bytes), std::nullopt);
}

TEST(EPUBArchiveExtraction, EntriesThatInflatePastTheirDeclaredSizeAreStopped) {
    // Within the limits the lie is found when the entry ends.
    RawZipBuilder beyondDeclared = smallArchive();
    beyondDeclared.add(inflating("a.bin", 100'000, 1'000));
    EXPECT_EQ(archiveFailure(beyondDeclared.build().bytes), failure(Kind::invalidArchive));

    // Past a limit it is stopped there.
    EPUBReader::Limits limits;
    limits.entryBytes = 100'000;
    RawZipBuilder bomb = smallArchive();
    bomb.add(inflating("bomb.bin", 1'000'000, 1'000));
    EXPECT_EQ(archiveFailure(bomb.build().bytes, limits), exceeded(Limit::entryBytes));

    limits.expandedBytes = 150'000;
    RawZipBuilder spread = smallArchive();
    spread.add(inflating("a.bin", 90'000, 90'000)).add(inflating("b.bin", 90'000, 1'000));
    EXPECT_EQ(archiveFailure(spread.build().bytes, limits), exceeded(Limit::expandedBytes));

    // A stored entry cannot deliver more than its data.
    RawZipBuilder stored = smallArchive();
    stored.entries()[1].method = 0;
    stored.entries()[1].uncompressedSize = 3;
    stored.entries()[1].compressedSize = 3;
    EXPECT_EQ(archiveFailure(stored.build().bytes), failure(Kind::invalidArchive));
}

TEST(EPUBArchiveExtraction, TheStandardLimitsStopAnEightMebibyteBomb) {
    RawZipBuilder bomb = smallArchive();
    bomb.add(inflating("bomb.bin", 8'388'608 + 1, 1'000));
    EXPECT_EQ(archiveFailure(bomb.build().bytes), exceeded(Limit::entryBytes));
    RawZipBuilder exact = smallArchive();
    exact.add(inflating("exact.bin", 8'388'608, 8'388'608));
    EXPECT_EQ(archiveFailure(exact.build().bytes), std::nullopt);
}

TEST(EPUBExtractionBudget, ChargesEachPieceAndStopsAtTheFirstOnePastALimit) {
    EPUBReader::Limits limits;
    limits.entryBytes = 40'000;
    limits.expandedBytes = 60'000;
    const QByteArray piece(EPUBExtractionBudget::kPieceBytes, 'a');

    EPUBExtractionBudget entry(limits, CancellationToken::none());
    entry.beginEntry(100);
    ASSERT_TRUE(entry.append(piece));
    ASSERT_TRUE(entry.append(piece));
    ASSERT_TRUE(entry.append(QByteArray(40'000 - 2 * piece.size(), 'a')));  // exactly the entry limit
    EXPECT_EQ(entry.append("a"), tl::unexpected(exceeded(Limit::entryBytes)));
    EXPECT_EQ(entry.entryData().size(), 40'000);  // the refused piece was not kept
    EXPECT_EQ(entry.takeEntryData().size(), 40'000);

    // The archive's total runs on across entries, each entry's data starts afresh.
    EPUBExtractionBudget archive(limits, CancellationToken::none());
    archive.beginEntry(100);
    ASSERT_TRUE(archive.append(QByteArray(39'999, 'b')));
    archive.beginEntry(100);
    EXPECT_TRUE(archive.entryData().isEmpty());
    ASSERT_TRUE(archive.append(QByteArray(20'000, 'c')));
    ASSERT_TRUE(archive.append("c"));
    EXPECT_EQ(archive.extractedBytes(), 60'000);
    EXPECT_EQ(archive.append("c"), tl::unexpected(exceeded(Limit::expandedBytes)));
}

TEST(EPUBExtractionBudget, AnEntryMayDeliverOnlyItsAllowanceOfPieces) {
    EPUBReader::Limits limits;
    limits.entryBytes = 2 * EPUBExtractionBudget::kPieceBytes;
    EPUBExtractionBudget budget(limits, CancellationToken::none());
    // Compressed 16,384 bytes: 1 + 2 + 4 pieces.
    budget.beginEntry(EPUBExtractionBudget::kPieceBytes);
    for (int i = 0; i < 7; ++i) ASSERT_TRUE(budget.append("x")) << i;
    EXPECT_EQ(budget.append("x"), tl::unexpected(failure(Kind::invalidArchive)));
    // Empty pieces count too: they are calls all the same.
    budget.beginEntry(0);
    for (int i = 0; i < 6; ++i) ASSERT_TRUE(budget.append({})) << i;
    EXPECT_EQ(budget.append({}), tl::unexpected(failure(Kind::invalidArchive)));
}

TEST(EPUBExtractionBudget, ChecksCancellationAtEveryPiece) {
    CancellationToken token;
    EPUBExtractionBudget budget({}, token);
    budget.beginEntry(100);
    ASSERT_TRUE(budget.append("x"));
    token.cancel();
    EXPECT_EQ(budget.append("x"), tl::unexpected(EPUBReader::Failure::cancelled()));
    EXPECT_EQ(budget.entryData(), QByteArray("x"));
}

TEST(EPUBArchiveExtraction, ReadsARealBookOnlyWhenItsNonASCIINamesAreFlaggedAsUTF8) {
    const QString path = sharedDataFile(QStringLiteral("epub/kusamakura.epub"));
    TAVRINE_SKIP_WITHOUT(path, "epub/kusamakura.epub");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray bytes = file.readAll();

    // As published, its Japanese names do not carry the UTF-8 flag.
    EXPECT_EQ(archiveFailure(bytes), failure(Kind::ambiguousPath));

    setUTF8NameFlags(bytes);
    const auto files = readArchive(bytes, {}, CancellationToken::none());
    ASSERT_TRUE(files) << failureName(files.error());
    EXPECT_EQ(files->size(), 36);
    EXPECT_EQ(files->value(QStringLiteral("mimetype")), QByteArrayLiteral("application/epub+zip"));
    EXPECT_TRUE(files->value(QStringLiteral("OPS/package.opf")).contains("xhtml/表紙.xhtml"));
    EXPECT_EQ(files->value(QStringLiteral("OPS/xhtml/四.xhtml")).size(), 76'024);
    EXPECT_TRUE(files->value(QStringLiteral("OPS/images/")).isEmpty());
    qint64 total = 0;
    for (const QByteArray& data : *files) total += data.size();
    EXPECT_EQ(total, 676'972);
}

}  // namespace
}  // namespace tavrine
