#include "EPUBArchiveTestSupport.h"

#include "support/TestEPUBBuilder.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {
using namespace test;
using Kind = EPUBReader::Failure::Kind;
using Limit = EPUBReader::ResourceLimit;

TEST(EPUBArchive, ReadsEveryEntryOfABookUnderItsStoredName) {
    RawZipBuilder builder = TestEPUBBuilder().zip();
    builder.addStored(QByteArrayLiteral("OEBPS/images/"), {});
    RawZipEntry japanese;
    japanese.name = QStringLiteral("OEBPS/text/第二章.xhtml").toUtf8();
    japanese.data = QByteArrayLiteral("<p>二</p>");
    japanese.flags = 0x0800;
    japanese.method = 8;
    japanese.dataDescriptor = true;
    builder.add(japanese);
    RawZipEntry unsigned_;
    unsigned_.name = QByteArrayLiteral("OEBPS/empty.txt");
    unsigned_.dataDescriptor = true;
    unsigned_.descriptorSignature = false;
    builder.add(unsigned_);

    const auto files = readArchive(builder.build().bytes, {}, CancellationToken::none());
    ASSERT_TRUE(files) << failureName(files.error());
    EXPECT_EQ(files->size(), 8);
    EXPECT_EQ(files->value(QStringLiteral("mimetype")), QByteArrayLiteral("application/epub+zip"));
    EXPECT_EQ(files->value(QStringLiteral("OEBPS/text/第二章.xhtml")), QByteArrayLiteral("<p>二</p>"));
    EXPECT_EQ(files->value(QString::fromLatin1(TestEPUBBuilder::kChapterPath)),
              TestEPUBBuilder().zip().entries()[4].data);
    ASSERT_TRUE(files->contains(QStringLiteral("OEBPS/images/")));
    EXPECT_TRUE(files->value(QStringLiteral("OEBPS/images/")).isEmpty());
    EXPECT_TRUE(files->contains(QStringLiteral("OEBPS/empty.txt")));
}

TEST(EPUBArchive, InvalidLimitsAreRefusedBeforeTheBytesAreLookedAt) {
    EPUBReader::Limits limits;
    limits.entries = 0;
    EXPECT_EQ(archiveFailure(QByteArray(), limits), failure(Kind::invalidLimits));
    EXPECT_EQ(archiveFailure(QByteArray()), failure(Kind::invalidArchive));
}

TEST(EPUBArchive, TheArchiveSizeIsBoundedBeforeAnythingElse) {
    const QByteArray bytes = smallArchive().build().bytes;
    EPUBReader::Limits limits;
    limits.archiveBytes = bytes.size();
    EXPECT_EQ(archiveFailure(bytes, limits), std::nullopt);
    limits.archiveBytes = bytes.size() - 1;
    EXPECT_EQ(archiveFailure(bytes, limits), exceeded(Limit::archiveBytes));
    limits.archiveBytes = 21;
    EXPECT_EQ(archiveFailure(QByteArray(22, '\0'), limits), exceeded(Limit::archiveBytes));
    EXPECT_EQ(archiveFailure(QByteArray(21, '\0')), failure(Kind::invalidArchive));
}

TEST(EPUBArchive, TheEndRecordMustCloseTheFileExactly) {
    // The longest comment a record can announce is still found.
    EXPECT_EQ(archiveFailure(smallArchive().setComment(QByteArray(0xFFFF, 'c')).build().bytes), std::nullopt);
    // A comment length that does not reach the end hides the record, also behind a single byte.
    EXPECT_EQ(archiveFailure(smallArchive().setComment("note").setTrailing("x").build().bytes),
              failure(Kind::invalidArchive));
    // A second end record inside the comment does not count unless it too ends exactly at the end.
    RawZip zip = smallArchive().setComment(QByteArray(40, 'c')).build();
    zip.put32(zip.bytes.size() - 30, 0x06054B50);
    EXPECT_EQ(archiveFailure(zip.bytes), std::nullopt);
    EXPECT_EQ(archiveFailure(QByteArray(100'000, '\0')), failure(Kind::invalidArchive));
}

TEST(EPUBArchive, TheEndRecordDescribesOneDiskWithoutZip64) {
    struct Case {
        int field;
        int width;
        quint32 value;
        EPUBReader::Failure expected;
    };
    const std::vector<Case> cases{
        {4, 2, 1, failure(Kind::unsupportedArchive)},            // this disk
        {6, 2, 1, failure(Kind::unsupportedArchive)},            // disk of the directory
        {8, 2, 1, failure(Kind::unsupportedArchive)},            // entries on this disk differ from the total
        {8, 2, 0xFFFF, failure(Kind::unsupportedArchive)},       // both counts are the ZIP64 marker
        {12, 4, 0xFFFFFFFF, failure(Kind::unsupportedArchive)},  // directory size
        {16, 4, 0xFFFFFFFF, failure(Kind::unsupportedArchive)},  // directory offset
        {16, 4, 0, failure(Kind::invalidArchive)},               // the directory does not end at the record
    };
    for (const Case& c : cases) {
        RawZip zip = smallArchive().build();
        const qint64 offset = zip.endRecord + c.field;
        c.width == 2 ? zip.put16(offset, static_cast<quint16>(c.value)) : zip.put32(offset, c.value);
        if (c.field == 8 && c.value == 0xFFFF) zip.put16(zip.endRecord + 10, 0xFFFF);
        EXPECT_EQ(archiveFailure(zip.bytes), c.expected) << "field +" << c.field;
    }
}

TEST(EPUBArchive, TheEntryCountIsBetweenOneAndTheLimit) {
    RawZipBuilder builder = smallArchive();
    builder.addStored("a.txt", "a");
    const QByteArray three = builder.build().bytes;
    EPUBReader::Limits limits;
    limits.entries = 3;
    EXPECT_EQ(archiveFailure(three, limits), std::nullopt);
    limits.entries = 2;
    EXPECT_EQ(archiveFailure(three, limits), exceeded(Limit::entries));

    RawZip empty = RawZipBuilder().build();
    EXPECT_EQ(archiveFailure(empty.bytes), exceeded(Limit::entries));
}

TEST(EPUBArchive, TheDirectoryHoldsExactlyItsRecords) {
    EXPECT_EQ(archiveFailure(smallArchive().setGapBeforeEndRecord("gap").build().bytes), failure(Kind::invalidArchive));
    EXPECT_EQ(archiveFailure(smallArchive().setDirectoryPadding(QByteArray(46, '\0')).build().bytes),
              failure(Kind::invalidArchive));
    // Bytes between the data and the directory belong to nothing and are harmless.
    EXPECT_EQ(archiveFailure(smallArchive().setGapBeforeDirectory("unused").build().bytes), std::nullopt);
    // A count that promises more records than the directory holds runs into the end record.
    RawZip zip = smallArchive().build();
    zip.put16(zip.endRecord + 8, 3);
    zip.put16(zip.endRecord + 10, 3);
    EXPECT_EQ(archiveFailure(zip.bytes), failure(Kind::invalidArchive));
}

TEST(EPUBArchive, OnlyTheSupportedSubsetOfZipIsAccepted) {
    struct Case {
        const char* what;
        void (*change)(RawZipEntry&);
        std::optional<EPUBReader::Failure> expected;
    };
    const std::vector<Case> cases{
        {"encrypted", [](RawZipEntry& e) { e.flags = 0x0001; }, failure(Kind::encrypted)},
        {"strong encryption", [](RawZipEntry& e) { e.flags = 0x0040; }, failure(Kind::encrypted)},
        {"patched data", [](RawZipEntry& e) { e.flags = 0x0020; }, failure(Kind::unsupportedArchive)},
        {"unknown flag", [](RawZipEntry& e) { e.flags = 0x0010; }, failure(Kind::unsupportedArchive)},
        {"deflate options", [](RawZipEntry& e) { e.flags = 0x0006; }, std::nullopt},
        {"bzip2", [](RawZipEntry& e) { e.method = 12; }, failure(Kind::unsupportedArchive)},
        {"shrunk", [](RawZipEntry& e) { e.method = 1; }, failure(Kind::unsupportedArchive)},
        {"version 4.5", [](RawZipEntry& e) { e.versionNeeded = 45; }, failure(Kind::unsupportedArchive)},
        {"version 2.1", [](RawZipEntry& e) { e.versionNeeded = 21; }, failure(Kind::unsupportedArchive)},
        {"version 2.0", [](RawZipEntry& e) { e.versionNeeded = 20; }, std::nullopt},
        {"ZIP64 size", [](RawZipEntry& e) { e.uncompressedSize = 0xFFFFFFFF; }, failure(Kind::unsupportedArchive)},
    };
    for (const Case& c : cases) {
        RawZipBuilder builder = smallArchive();
        c.change(builder.entries()[1]);
        EXPECT_EQ(archiveFailure(builder.build().bytes), c.expected) << c.what;
    }

    RawZip zip = smallArchive().build();
    zip.put16(zip.centralRecords[1] + 34, 1);  // disk number start
    EXPECT_EQ(archiveFailure(zip.bytes), failure(Kind::unsupportedArchive));
    zip = smallArchive().build();
    zip.put32(zip.centralRecords[1] + 42, 0xFFFFFFFF);  // local header offset
    EXPECT_EQ(archiveFailure(zip.bytes), failure(Kind::unsupportedArchive));
}

TEST(EPUBArchive, EntryNamesMustBeSafeAndUnique) {
    struct Case {
        QByteArray name;
        quint16 flags;
        std::optional<EPUBReader::Failure> expected;
    };
    const auto ambiguous = failure(Kind::ambiguousPath);
    const std::vector<Case> cases{
        {"OEBPS/../x.xhtml", 0, ambiguous},
        {"OEBPS/./x.xhtml", 0, ambiguous},
        {"..", 0, ambiguous},
        {"OEBPS//x.xhtml", 0, ambiguous},
        {"/OEBPS/x.xhtml", 0, ambiguous},
        {"OEBPS\\x.xhtml", 0, ambiguous},
        {"C:x.xhtml", 0, ambiguous},
        {"x.xhtml?a", 0, ambiguous},
        {"x.xhtml#a", 0, ambiguous},
        {"x\t.xhtml", 0, ambiguous},
        {QByteArray("x\0.xhtml", 8), 0, ambiguous},
        {"x\x7f.xhtml", 0, ambiguous},
        {"OEBPS/", 0, std::nullopt},
        // Not UTF-8: a lone continuation byte, an overlong "/", an encoded surrogate.
        {"x\x80.xhtml", 0x0800, ambiguous},
        {"x\xC0\xAF.xhtml", 0x0800, ambiguous},
        {"x\xED\xA0\x80.xhtml", 0x0800, ambiguous},
        // Non-ASCII names need the UTF-8 flag; decomposed names are refused even with it.
        {"\xE7\xAB\xA0.xhtml", 0, ambiguous},
        {"\xE7\xAB\xA0.xhtml", 0x0800, std::nullopt},
        {"e\xCC\x81.xhtml", 0x0800, ambiguous},
        {"\xC3\xA9.xhtml", 0x0800, std::nullopt},
        // Control characters from U+0080 on pass.
        {"x\xC2\x85.xhtml", 0x0800, std::nullopt},
        {"OEBPS/ch1.xhtml", 0, ambiguous},  // the name of the chapter again
        {"mimetype", 0, ambiguous},
    };
    for (const Case& c : cases) {
        RawZipBuilder builder = smallArchive();
        RawZipEntry entry;
        entry.name = c.name;
        entry.flags = c.flags;
        builder.add(entry);
        EXPECT_EQ(archiveFailure(builder.build().bytes), c.expected) << c.name.toStdString();
    }
}

TEST(EPUBArchive, NameLengthIsBoundedBeforeTheNameIsJudged) {
    const auto withName = [](QByteArray name) {
        RawZipBuilder builder = smallArchive();
        builder.addStored(std::move(name), "x");
        return builder.build().bytes;
    };
    EXPECT_EQ(archiveFailure(withName(QByteArray(1'024, 'a'))), std::nullopt);
    EXPECT_EQ(archiveFailure(withName(QByteArray(1'025, 'a'))), failure(Kind::invalidArchive));
    // Too long wins over unsafe: the length is checked first.
    EXPECT_EQ(archiveFailure(withName("../" + QByteArray(1'022, 'a'))), failure(Kind::invalidArchive));
    EXPECT_EQ(archiveFailure(withName({})), failure(Kind::invalidArchive));
    // The limit bounds names as given, also when it is tightened.
    EPUBReader::Limits limits;
    limits.pathBytes = 15;
    EXPECT_EQ(archiveFailure(smallArchive().build().bytes, limits), std::nullopt);
    limits.pathBytes = 14;
    EXPECT_EQ(archiveFailure(smallArchive().build().bytes, limits), failure(Kind::invalidArchive));
}

TEST(EPUBArchive, DeclaredSizesAreBoundedBeforeAnythingIsInflated) {
    RawZipBuilder builder = smallArchive();
    builder.addDeflated("big.txt", QByteArray(1'000, 'a'));
    const QByteArray bytes = builder.build().bytes;
    const qint64 chapter = builder.entries()[1].data.size();
    const qint64 total = 20 + chapter + 1'000;

    EPUBReader::Limits limits;
    limits.entryBytes = 1'000;
    limits.expandedBytes = total;
    EXPECT_EQ(archiveFailure(bytes, limits), std::nullopt);
    limits.entryBytes = 999;
    EXPECT_EQ(archiveFailure(bytes, limits), exceeded(Limit::entryBytes));
    limits.entryBytes = 1'000;
    limits.expandedBytes = total - 1;
    EXPECT_EQ(archiveFailure(bytes, limits), exceeded(Limit::expandedBytes));

    // A declared size beyond the limit fails before the lie could be found by inflating.
    RawZipBuilder lying = smallArchive();
    lying.entries()[1].uncompressedSize = 8'388'609;
    EXPECT_EQ(archiveFailure(lying.build().bytes), exceeded(Limit::entryBytes));
}

TEST(EPUBArchive, LocalHeadersMustAgreeWithTheDirectory) {
    struct Case {
        const char* what;
        void (*change)(RawZipEntry&);
    };
    const std::vector<Case> cases{
        {"name", [](RawZipEntry& e) { e.localName = QByteArrayLiteral("OEBPS/ch2.xhtml"); }},
        {"name length", [](RawZipEntry& e) { e.localName = QByteArrayLiteral("OEBPS/ch1.xhtm"); }},
        {"flags", [](RawZipEntry& e) { e.localFlags = 0x0002; }},
        {"stored sizes",
         [](RawZipEntry& e) {
             e.method = 0;
             e.compressedSize = 3;
         }},
        {"data past the directory", [](RawZipEntry& e) { e.compressedSize = 10'000; }},
    };
    for (const Case& c : cases) {
        RawZipBuilder builder = smallArchive();
        c.change(builder.entries()[1]);
        EXPECT_EQ(archiveFailure(builder.build().bytes), failure(Kind::invalidArchive)) << c.what;
    }

    // The header's CRC and sizes, or the descriptor's, must repeat the directory's.
    for (const int field : {14, 18, 22}) {
        RawZip zip = smallArchive().build();
        zip.put32(zip.localHeaders[1] + field, 1);
        EXPECT_EQ(archiveFailure(zip.bytes), failure(Kind::invalidArchive)) << "local +" << field;
    }
    RawZipBuilder described = smallArchive();
    described.entries()[1].dataDescriptor = true;
    RawZip zip = described.build();
    EXPECT_EQ(archiveFailure(zip.bytes), std::nullopt);
    zip.put32(zip.centralDirectory - 12, 0);  // the descriptor's CRC
    EXPECT_EQ(archiveFailure(zip.bytes), failure(Kind::invalidArchive));

    zip = smallArchive().build();
    zip.put32(zip.centralRecords[1] + 42, static_cast<quint32>(zip.bytes.size() - 10));
    EXPECT_EQ(archiveFailure(zip.bytes), failure(Kind::invalidArchive));
    zip = smallArchive().build();
    zip.put32(zip.centralRecords[1] + 42, static_cast<quint32>(zip.localHeaders[1] + 1));
    EXPECT_EQ(archiveFailure(zip.bytes), failure(Kind::invalidArchive));
}

TEST(EPUBArchive, MimetypeIsTheStoredFirstRecordWithExactlyItsTwentyBytes) {
    RawZipBuilder second;
    second.addDeflated("OEBPS/ch1.xhtml", "x").addMimetype();
    EXPECT_EQ(archiveFailure(second.build().bytes), failure(Kind::invalidArchive));

    const QByteArray extra("\x34\x12\x00\x00", 4);
    const std::vector<std::pair<const char*, void (*)(RawZipEntry&)>> changes{
        {"deflated", [](RawZipEntry& e) { e.method = 8; }},
        {"descriptor", [](RawZipEntry& e) { e.dataDescriptor = true; }},
        {"local extra", [](RawZipEntry& e) { e.localExtra = QByteArray("\x34\x12\x00\x00", 4); }},
        {"line feed", [](RawZipEntry& e) { e.data = "application/epub+zip\n"; }},
        {"byte-order mark", [](RawZipEntry& e) { e.data.prepend("\xEF\xBB\xBF"); }},
        {"other type", [](RawZipEntry& e) { e.data = "application/zip"; }},
        {"absent", [](RawZipEntry& e) { e.name = "mimetype.txt"; }},
    };
    for (const auto& [what, change] : changes) {
        RawZipBuilder builder = smallArchive();
        change(builder.entries()[0]);
        EXPECT_EQ(archiveFailure(builder.build().bytes), failure(Kind::invalidArchive)) << what;
    }
    // An extra field in the directory alone does not move the data.
    RawZipBuilder builder = smallArchive();
    builder.entries()[0].centralExtra = extra;
    EXPECT_EQ(archiveFailure(builder.build().bytes), std::nullopt);
}

TEST(EPUBArchive, TwoEntriesMayNotShareBytes) {
    // The second entry's local header is hidden inside the data of the first.
    const QByteArray hidden = RawZipBuilder().addStored("b.txt", "hidden").build().bytes;
    const qint64 hiddenRecordLength = 30 + 5 + 6;
    RawZipBuilder builder;
    builder.addMimetype().addStored("a.bin", hidden.left(hiddenRecordLength)).addStored("b.txt", "hidden");
    RawZip zip = builder.build();
    EXPECT_EQ(archiveFailure(zip.bytes), std::nullopt);
    zip.put32(zip.centralRecords[2] + 42, static_cast<quint32>(zip.localHeaders[1] + 30 + 5));
    EXPECT_EQ(archiveFailure(zip.bytes), failure(Kind::invalidArchive));

    // Two records naming one local header.
    zip = smallArchive().build();
    zip.put32(zip.centralRecords[1] + 42, 0);
    EXPECT_EQ(archiveFailure(zip.bytes), failure(Kind::invalidArchive));
}

TEST(EPUBArchive, ACancelledImportReadsNothing) {
    CancellationToken token;
    token.cancel();
    const auto files = readArchive(smallArchive().build().bytes, {}, token);
    ASSERT_FALSE(files);
    EXPECT_EQ(files.error(), EPUBReader::Failure::cancelled());
}

}  // namespace
}  // namespace tavrine
