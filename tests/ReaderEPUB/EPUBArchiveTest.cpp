// The archive intake, and the archive paths and references that name its entries.
#include "ReaderEPUB/internal/EPUBExtractionBudget.h"
#include "ReaderEPUB/internal/EPUBReference.h"

#include "EPUBTestSupport.h"

namespace tavrine {

void PrintTo(EPUBBookReferenceError error, std::ostream* out) {
    *out << (error == EPUBBookReferenceError::invalid ? "invalid" : "external");
}
void PrintTo(const EPUBResolvedReference& reference, std::ostream* out) {
    *out << reference.path << " #" << reference.fragment.value_or(QString());
}

namespace {
using namespace Qt::StringLiterals;
using namespace test;
using Kind = Failure::Kind;
using Change = void (*)(RawZipEntry&);

// The archive with one record of the small archive changed.
QByteArray changed(Change change, int record = 1) {
    RawZipBuilder builder = smallArchive();
    change(builder.entries()[record]);
    return builder.build().bytes;
}

// An entry whose deflate stream inflates to `actual` bytes while its headers declare `declared`.
RawZipEntry inflating(QByteArray name, qint64 actual, quint32 declared) {
    return {.name = std::move(name), .data = QByteArray(actual, '\0'), .method = 8, .uncompressedSize = declared};
}

TEST(EPUBArchive, ReadsEveryEntryUnderItsStoredName) {
    RawZipBuilder builder = smallArchive();
    builder.addStored("OEBPS/images/", {});
    builder.add({.name = u"OEBPS/第二章.xhtml"_s.toUtf8(),
                 .data = "<p>二</p>",
                 .method = 8,
                 .flags = 0x0800,
                 .dataDescriptor = true});
    builder.add({.name = "OEBPS/empty.txt", .dataDescriptor = true, .descriptorSignature = false});
    const auto files = readArchive(builder.build().bytes, {}, CancellationToken::none());
    ASSERT_TRUE(files) << failureName(files.error());
    EXPECT_EQ(*files, (EPUBArchiveFiles{{u"mimetype"_s, "application/epub+zip"},
                                        {u"OEBPS/ch1.xhtml"_s, "<p>本文</p>"},
                                        {u"OEBPS/images/"_s, {}},
                                        {u"OEBPS/第二章.xhtml"_s, "<p>二</p>"},
                                        {u"OEBPS/empty.txt"_s, {}}}));
}

TEST(EPUBArchive, CancellationLimitsSizeAndEntryCountAreCheckedBeforeAnyEntryIsRead) {
    const QByteArray bytes = smallArchive().build().bytes;
    CancellationToken cancelled;
    cancelled.cancel();
    EXPECT_EQ(failureOf(readArchive(bytes, {}, cancelled)), Failure::cancelled());
    Limits limits;
    limits.entries = 0;
    EXPECT_EQ(archiveFailure(bytes, limits), failure(Kind::invalidLimits));
    limits = {};
    limits.archiveBytes = bytes.size();
    EXPECT_EQ(archiveFailure(bytes, limits), std::nullopt);
    limits.archiveBytes = bytes.size() - 1;
    EXPECT_EQ(archiveFailure(bytes, limits), exceeded(Limit::archiveBytes));
    EXPECT_EQ(archiveFailure(QByteArray(21, '\0')), failure(Kind::invalidArchive));
    // Between one entry and the limit.
    limits = {};
    limits.entries = 2;
    EXPECT_EQ(archiveFailure(bytes, limits), std::nullopt);
    limits.entries = 1;
    EXPECT_EQ(archiveFailure(bytes, limits), exceeded(Limit::entries));
    EXPECT_EQ(archiveFailure(RawZipBuilder().build().bytes), exceeded(Limit::entries));
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

TEST(EPUBArchive, TheEndRecordDescribesOneDiskWithoutZip64AndExactlyItsDirectory) {
    struct Case {
        int field;
        quint32 value;
        Kind expected;
    };
    const Case cases[] = {
        {4, 1, Kind::unsupportedArchive},            // this disk
        {6, 1, Kind::unsupportedArchive},            // disk of the directory
        {8, 1, Kind::unsupportedArchive},            // entries on this disk differ from the total
        {8, 0xFFFF, Kind::unsupportedArchive},       // both counts are the ZIP64 marker
        {12, 0xFFFFFFFF, Kind::unsupportedArchive},  // directory size
        {16, 0xFFFFFFFF, Kind::unsupportedArchive},  // directory offset
        {16, 0, Kind::invalidArchive},               // the directory does not end at the record
        {8, 3, Kind::invalidArchive},                // more records than the directory holds
    };
    for (const Case& c : cases) {
        RawZip zip = smallArchive().build();
        c.field < 12 ? zip.put16(zip.endRecord + c.field, quint16(c.value))
                     : zip.put32(zip.endRecord + c.field, c.value);
        if (c.field == 8 && c.value != 1) zip.put16(zip.endRecord + 10, quint16(c.value));
        EXPECT_EQ(archiveFailure(zip.bytes), failure(c.expected)) << "field +" << c.field << " " << c.value;
    }
    EXPECT_EQ(archiveFailure(smallArchive().setGapBeforeEndRecord("gap").build().bytes), failure(Kind::invalidArchive));
    EXPECT_EQ(archiveFailure(smallArchive().setDirectoryPadding(QByteArray(46, '\0')).build().bytes),
              failure(Kind::invalidArchive));
    // Bytes between the data and the directory belong to nothing and are harmless.
    EXPECT_EQ(archiveFailure(smallArchive().setGapBeforeDirectory("unused").build().bytes), std::nullopt);
}

TEST(EPUBArchive, OnlyTheSupportedSubsetOfZipIsAccepted) {
    struct Case {
        const char* what;
        Change change;
        std::optional<Kind> expected;
    };
    const Case cases[] = {
        {"encrypted", [](RawZipEntry& e) { e.flags = 0x0001; }, Kind::encrypted},
        {"strong encryption", [](RawZipEntry& e) { e.flags = 0x0040; }, Kind::encrypted},
        {"patched data", [](RawZipEntry& e) { e.flags = 0x0020; }, Kind::unsupportedArchive},
        {"unknown flag", [](RawZipEntry& e) { e.flags = 0x0010; }, Kind::unsupportedArchive},
        {"deflate options", [](RawZipEntry& e) { e.flags = 0x0006; }, std::nullopt},
        {"bzip2", [](RawZipEntry& e) { e.method = 12; }, Kind::unsupportedArchive},
        {"shrunk", [](RawZipEntry& e) { e.method = 1; }, Kind::unsupportedArchive},
        {"version 2.1", [](RawZipEntry& e) { e.versionNeeded = 21; }, Kind::unsupportedArchive},
        {"ZIP64 size", [](RawZipEntry& e) { e.uncompressedSize = 0xFFFFFFFF; }, Kind::unsupportedArchive},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(archiveFailure(changed(c.change)), c.expected ? std::optional(failure(*c.expected)) : std::nullopt)
            << c.what;
    }
    // The disk number start and a ZIP64 local header offset.
    for (const auto& [field, value] : {std::pair{34, 1u}, std::pair{42, 0xFFFFFFFFu}}) {
        RawZip zip = smallArchive().build();
        field == 34 ? zip.put16(zip.centralRecords[1] + field, quint16(value))
                    : zip.put32(zip.centralRecords[1] + field, value);
        EXPECT_EQ(archiveFailure(zip.bytes), failure(Kind::unsupportedArchive)) << field;
    }
}

TEST(EPUBArchive, EntryNamesMustBeSafeUniqueAndPrecomposedUTF8) {
    const auto withName = [](QByteArray name, quint16 flags = 0x0800) {
        return archiveFailure(smallArchive().add({.name = std::move(name), .flags = flags}).build().bytes);
    };
    // ".", ".." and empty components, a leading "/", "\\", ":", "?", "#", control characters below U+0080;
    // bytes that are not UTF-8 (a lone continuation byte, an overlong "/", an encoded surrogate), a
    // decomposed "é", and the names of the chapter and of "mimetype" again.
    const QList<QByteArray> refused = {
        "OEBPS/../x", "OEBPS/./x", "..",        "OEBPS/..",      "OEBPS//x",  "/OEBPS/x",
        "OEBPS\\x",   "C:x",       "x?a",       "x#a",           "x\t",       QByteArray("x\0", 2),
        "x\x7f",      "x\x80",     "x\xC0\xAF", "x\xED\xA0\x80", "e\xCC\x81", "OEBPS/ch1.xhtml",
        "mimetype",   "\x8F\xCD"};
    // The same with the UTF-8 flag or without it: an EPUB's names are UTF-8 whatever the flag says, and a
    // name that is not (Shift_JIS "章" last) is never read in a legacy code page.
    for (const quint16 flags : {quint16(0x0800), quint16(0)}) {
        for (const QByteArray& name : refused) {
            EXPECT_EQ(withName(name, flags), failure(Kind::ambiguousPath)) << name.toStdString() << " " << flags;
        }
        for (const QByteArray name : {"OEBPS/", "...", ".hidden/a..b", "\xE7\xAB\xA0", "\xC3\xA9", "x\xC2\x85"}) {
            EXPECT_EQ(withName(name, flags), std::nullopt) << name.toStdString() << " " << flags;
        }
    }
}

TEST(EPUBArchive, AUTF8NameWithoutTheFlagIsReadAsUTF8AndEveryOtherGateStays) {
    RawZipBuilder builder = smallArchive();
    builder.add({.name = u"OEBPS/第二章.xhtml"_s.toUtf8(), .data = "<p>二</p>", .method = 8});
    const auto files = readArchive(builder.build().bytes, {}, CancellationToken::none());
    ASSERT_TRUE(files) << failureName(files.error());
    EXPECT_EQ(files->value(u"OEBPS/第二章.xhtml"_s), "<p>二</p>");

    // A "mimetype" that is not the stored first entry of exactly its 20 bytes is refused as before.
    builder.entries()[0].data = "application/epub+zip\n";
    EXPECT_EQ(archiveFailure(builder.build().bytes), failure(Kind::invalidArchive));
    builder.entries()[0].data = "application/epub+zip";
    builder.entries().swapItemsAt(0, 2);
    EXPECT_EQ(archiveFailure(builder.build().bytes), failure(Kind::invalidArchive));
}

TEST(EPUBArchive, NameLengthIsBoundedBeforeTheNameIsJudged) {
    const auto withName = [](QByteArray name) { return smallArchive().addStored(std::move(name), "x").build().bytes; };
    EXPECT_EQ(archiveFailure(withName(QByteArray(1'024, 'a'))), std::nullopt);
    EXPECT_EQ(archiveFailure(withName(QByteArray(1'025, 'a'))), failure(Kind::invalidArchive));
    // Too long wins over unsafe: the length is checked first.
    EXPECT_EQ(archiveFailure(withName("../" + QByteArray(1'022, 'a'))), failure(Kind::invalidArchive));
    EXPECT_EQ(archiveFailure(withName({})), failure(Kind::invalidArchive));
}

TEST(EPUBArchive, DeclaredSizesAreBoundedBeforeAnythingIsInflated) {
    const QByteArray bytes = smallArchive().addDeflated("big.txt", QByteArray(1'000, 'a')).build().bytes;
    const qint64 total = 20 + QByteArray("<p>本文</p>").size() + 1'000;
    Limits limits;
    limits.entryBytes = 1'000;
    limits.expandedBytes = total;
    EXPECT_EQ(archiveFailure(bytes, limits), std::nullopt);
    limits.entryBytes = 999;
    EXPECT_EQ(archiveFailure(bytes, limits), exceeded(Limit::entryBytes));
    limits.entryBytes = 1'000;
    limits.expandedBytes = total - 1;
    EXPECT_EQ(archiveFailure(bytes, limits), exceeded(Limit::expandedBytes));
    // A declared size beyond the limit fails before the lie could be found by inflating.
    EXPECT_EQ(archiveFailure(changed([](RawZipEntry& e) { e.uncompressedSize = 8'388'609; })),
              exceeded(Limit::entryBytes));
}

TEST(EPUBArchive, ARecordMustAgreeWithItsLocalHeaderAndItsData) {
    const Change changes[] = {
        [](RawZipEntry& e) { e.localName = QByteArrayLiteral("OEBPS/ch2.xhtml"); },
        [](RawZipEntry& e) { e.localName = QByteArrayLiteral("OEBPS/ch1.xhtm"); },
        [](RawZipEntry& e) { e.localFlags = 0x0002; },
        [](RawZipEntry& e) { e.compressedSize = 10'000; },           // data past the directory
        [](RawZipEntry& e) { e.method = 0, e.compressedSize = 3; },  // stored, with sizes that differ
        [](RawZipEntry& e) { e.crc = 0x12345678; },
        [](RawZipEntry& e) { e.method = 0, e.crc = 0x12345678; },
        [](RawZipEntry& e) { e.payload = QByteArray(64, '\xFF'); },
        [](RawZipEntry& e) { e.data = QByteArray(5'000, 'x'), e.payload = deflateRaw(e.data).left(5); },  // cut short
        [](RawZipEntry& e) { e.name = "OEBPS/"; },  // a directory with content
    };
    for (const Change change : changes) EXPECT_EQ(archiveFailure(changed(change)), failure(Kind::invalidArchive));

    // The header's CRC and sizes, or the descriptor's, must repeat the directory's; the header must be
    // where the directory says.
    const auto patched = [](RawZipBuilder builder, auto offset) {
        RawZip zip = builder.build();
        zip.put32(offset(zip), 1);
        return archiveFailure(zip.bytes);
    };
    for (const int field : {14, 18, 22}) {
        EXPECT_EQ(patched(smallArchive(), [&](const RawZip& z) { return z.localHeaders[1] + field; }),
                  failure(Kind::invalidArchive));
    }
    RawZipBuilder described = smallArchive();
    described.entries()[1].dataDescriptor = true;
    EXPECT_EQ(archiveFailure(described.build().bytes), std::nullopt);
    EXPECT_EQ(patched(described, [](const RawZip& z) { return z.centralDirectory - 12; }),
              failure(Kind::invalidArchive));
    for (const qint64 shift : {1, 10}) {
        RawZip zip = smallArchive().build();
        zip.put32(zip.centralRecords[1] + 42, quint32(shift == 1 ? zip.localHeaders[1] + 1 : zip.bytes.size() - 10));
        EXPECT_EQ(archiveFailure(zip.bytes), failure(Kind::invalidArchive));
    }
}

TEST(EPUBArchive, MimetypeIsTheStoredFirstRecordWithExactlyItsTwentyBytes) {
    EXPECT_EQ(archiveFailure(RawZipBuilder().addDeflated("OEBPS/ch1.xhtml", "x").addMimetype().build().bytes),
              failure(Kind::invalidArchive));
    const Change changes[] = {
        [](RawZipEntry& e) { e.method = 8; },
        [](RawZipEntry& e) { e.dataDescriptor = true; },
        [](RawZipEntry& e) { e.localExtra = QByteArray("\x34\x12\x00\x00", 4); },
        [](RawZipEntry& e) { e.data = "application/epub+zip\n"; },
        [](RawZipEntry& e) { e.data.prepend("\xEF\xBB\xBF"); },
        [](RawZipEntry& e) { e.data = "application/zip"; },
        [](RawZipEntry& e) { e.name = "mimetype.txt"; },
    };
    for (const Change change : changes) EXPECT_EQ(archiveFailure(changed(change, 0)), failure(Kind::invalidArchive));
    // An extra field in the directory alone does not move the data.
    EXPECT_EQ(archiveFailure(changed([](RawZipEntry& e) { e.centralExtra = QByteArray("\x34\x12\x00\x00", 4); }, 0)),
              std::nullopt);
}

TEST(EPUBArchive, TwoRecordsMayNotShareBytes) {
    // The second entry's local header is hidden inside the data of the first.
    const QByteArray hidden = RawZipBuilder().addStored("b.txt", "hidden").build().bytes;
    RawZip zip =
        RawZipBuilder().addMimetype().addStored("a.bin", hidden.left(30 + 5 + 6)).addStored("b.txt", "hidden").build();
    EXPECT_EQ(archiveFailure(zip.bytes), std::nullopt);
    zip.put32(zip.centralRecords[2] + 42, quint32(zip.localHeaders[1] + 30 + 5));
    EXPECT_EQ(archiveFailure(zip.bytes), failure(Kind::invalidArchive));
    // Two records naming one local header.
    zip = smallArchive().build();
    zip.put32(zip.centralRecords[1] + 42, 0);
    EXPECT_EQ(archiveFailure(zip.bytes), failure(Kind::invalidArchive));
}

TEST(EPUBArchiveExtraction, SymbolicLinksAndUnicodePathFieldsCannotRedirectAnEntry) {
    RawZipBuilder builder = smallArchive();
    builder.entries()[1].externalAttributes = 0120777u << 16;
    EXPECT_EQ(archiveFailure(builder.build().bytes), failure(Kind::ambiguousPath));
    // The same mode from a system whose attributes are not Unix modes is only a number.
    builder.entries()[1].versionMadeBy = 0x0014;
    EXPECT_EQ(archiveFailure(builder.build().bytes), std::nullopt);

    // An Info-ZIP Unicode path field, which the ZIP library prefers to the name in the header.
    const auto unicodePath = [](const QByteArray& name) {
        RawZip field{QByteArray(9, '\0') + name};
        field.put16(0, 0x7075);
        field.put16(2, quint16(5 + name.size()));
        field.bytes[4] = '\x01';
        field.put32(5, crc32Of("OEBPS/ch1.xhtml"));
        RawZipBuilder builder = smallArchive();
        builder.entries()[1].centralExtra = field.bytes;
        return archiveFailure(builder.build().bytes);
    };
    EXPECT_EQ(unicodePath("../evil.xhtml"), failure(Kind::ambiguousPath));
    EXPECT_EQ(unicodePath("OEBPS/ch1.xhtml"), std::nullopt);
}

TEST(EPUBArchiveExtraction, EntriesThatInflatePastTheirDeclaredSizeOrALimitAreStopped) {
    // Within the limits the lie is found when the entry ends; past a limit it is stopped there.
    EXPECT_EQ(archiveFailure(smallArchive().add(inflating("a.bin", 100'000, 1'000)).build().bytes),
              failure(Kind::invalidArchive));
    EXPECT_EQ(archiveFailure(smallArchive().add(inflating("bomb.bin", 8'388'608 + 1, 1'000)).build().bytes),
              exceeded(Limit::entryBytes));
    EXPECT_EQ(archiveFailure(smallArchive().add(inflating("exact.bin", 8'388'608, 8'388'608)).build().bytes),
              std::nullopt);
    Limits limits;
    limits.expandedBytes = 150'000;
    RawZipBuilder spread = smallArchive();
    spread.add(inflating("a.bin", 90'000, 90'000)).add(inflating("b.bin", 90'000, 1'000));
    EXPECT_EQ(archiveFailure(spread.build().bytes, limits), exceeded(Limit::expandedBytes));
}

TEST(EPUBExtractionBudget, ChargesEachPieceAndStopsAtTheFirstOnePastALimit) {
    Limits limits;
    limits.entryBytes = 40'000;
    limits.expandedBytes = 60'000;
    const QByteArray piece(EPUBExtractionBudget::kPieceBytes, 'a');
    EPUBExtractionBudget entry(limits, CancellationToken::none());
    entry.beginEntry(100);
    ASSERT_TRUE(entry.append(piece));
    ASSERT_TRUE(entry.append(piece));
    ASSERT_TRUE(entry.append(QByteArray(40'000 - 2 * piece.size(), 'a')));  // exactly the entry limit
    EXPECT_EQ(entry.append("a"), tl::unexpected(exceeded(Limit::entryBytes)));
    EXPECT_EQ(entry.takeEntryData().size(), 40'000);  // the refused piece was not kept

    // The archive's total runs on across entries, each entry's data starts afresh.
    CancellationToken token;
    EPUBExtractionBudget archive(limits, token);
    archive.beginEntry(100);
    ASSERT_TRUE(archive.append(QByteArray(39'999, 'b')));
    archive.beginEntry(100);
    EXPECT_TRUE(archive.entryData().isEmpty());
    ASSERT_TRUE(archive.append(QByteArray(20'000, 'c')));
    ASSERT_TRUE(archive.append("c"));
    EXPECT_EQ(archive.extractedBytes(), 60'000);
    EXPECT_EQ(archive.append("c"), tl::unexpected(exceeded(Limit::expandedBytes)));
    token.cancel();
    EXPECT_EQ(archive.append({}), tl::unexpected(Failure::cancelled()));
}

TEST(EPUBExtractionBudget, AnEntryMayDeliverOnlyItsAllowanceOfPieces) {
    Limits limits;
    limits.entryBytes = 2 * EPUBExtractionBudget::kPieceBytes;
    EPUBExtractionBudget budget(limits, CancellationToken::none());
    // Compressed 16,384 bytes: 1 + 2 + 4 pieces. Empty pieces count too: they are calls all the same.
    for (const QByteArray& piece : {QByteArray("x"), QByteArray()}) {
        budget.beginEntry(piece.isEmpty() ? 0 : EPUBExtractionBudget::kPieceBytes);
        for (int i = 0; i < (piece.isEmpty() ? 6 : 7); ++i) ASSERT_TRUE(budget.append(piece)) << i;
        EXPECT_EQ(budget.append(piece), tl::unexpected(failure(Kind::invalidArchive)));
    }
}

using Resolved = tl::expected<EPUBResolvedReference, EPUBBookReferenceError>;

Resolved resolved(const char* path, std::optional<const char*> fragment = std::nullopt) {
    return EPUBResolvedReference{QString::fromUtf8(path),
                                 fragment ? std::optional(QString::fromUtf8(*fragment)) : std::nullopt};
}

const Resolved kInvalid = tl::unexpected(EPUBBookReferenceError::invalid);
const Resolved kExternal = tl::unexpected(EPUBBookReferenceError::external);

TEST(EPUBReference, ResolvesAgainstTheReferringFilesDirectoryWithoutClimbingOutOfTheArchive) {
    struct Case {
        const char* reference;
        Resolved expected;
    };
    const Case cases[] = {
        {"ch2.xhtml#p3", resolved("OEBPS/text/ch2.xhtml", "p3")},
        {"../images/a%20b.png", resolved("OEBPS/images/a b.png")},
        {"./ch2.xhtml", resolved("OEBPS/text/ch2.xhtml")},
        {"sub/.", resolved("OEBPS/text/sub")},
        {"sub/../ch2.xhtml", resolved("OEBPS/text/ch2.xhtml")},
        {"%E7%AB%A0.xhtml", resolved("OEBPS/text/章.xhtml")},
        {"章.xhtml", resolved("OEBPS/text/章.xhtml")},
        // A fragment alone names the referring file; fragments are decoded and may hold what a path may
        // not.
        {"#note1", resolved("OEBPS/text/ch1.xhtml", "note1")},
        {"#", resolved("OEBPS/text/ch1.xhtml")},
        {"", resolved("OEBPS/text/ch1.xhtml")},
        {"ch2.xhtml#", resolved("OEBPS/text/ch2.xhtml")},
        {"#%E6%B3%A8", resolved("OEBPS/text/ch1.xhtml", "注")},
        {"#a/b:c", resolved("OEBPS/text/ch1.xhtml", "a/b:c")},
        {"../../x.xhtml", resolved("x.xhtml")},
        // A scheme before the fragment makes a reference external.
        {"https://example.org/book.html", kExternal},
        {"mailto:someone@example.org", kExternal},
        {"a:b#c", kExternal},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(resolveReference(QString::fromUtf8(c.reference), u"OEBPS/text/ch1.xhtml"), c.expected) << c.reference;
    }
    // From a file at the root, as the container's package path and the encryption file's references are.
    EXPECT_EQ(resolveReference(u"OEBPS/content.opf", u"container.xml"), resolved("OEBPS/content.opf"));
    EXPECT_EQ(resolveReference(u"../x.xhtml", u"container.xml"), kInvalid);
}

TEST(EPUBReference, RefusesMalformedAndSmuggledPaths) {
    // Encoded separators, a query or a backslash, empty pieces, undecodable escapes, control characters,
    // "?", "#" or ":" once decoded, decomposed characters; a second "#", paths out of the archive or
    // absolute, and web addresses that one of these refusals catches before their scheme.
    const QList<const char*> refused[] = {
        {"a%2Fb.xhtml",   "a%2fb.xhtml",   "a%5cb.xhtml",    "a%5Cb.xhtml", "ch2.xhtml?x=1", "ch2.xhtml#x?y",
         "a\\b.xhtml",    "a//b.xhtml",    "sub/",           "a%2",         "a%zz.xhtml",    "a%C3.xhtml",
         "a%C0%AF.xhtml", "a%00b.xhtml",   "a\tb.xhtml",     "a%7Fb.xhtml", "a%3Fb.xhtml",   "a%23b.xhtml",
         "a%3Ab.xhtml",   "e%CC%81.xhtml", "e\xCC\x81.xhtml"},
        {"ch2.xhtml#a%23b", "ch2.xhtml#a#b", "ch2.xhtml#a%09b", "ch2.xhtml#a%zz", "../../../x.xhtml", "../..",
         "../../a/../../x.xhtml", "/OEBPS/text/ch2.xhtml", "%2FOEBPS/text/ch2.xhtml", "https://example.org/?q=1",
         "//example.org/x"}};
    for (const char* reference : refused[0] + refused[1]) {
        EXPECT_EQ(resolveReference(QString::fromUtf8(reference), u"OEBPS/text/ch1.xhtml"), kInvalid) << reference;
    }
    EXPECT_EQ(resolveReference(QStringView(u"a\xD800.xhtml"), u"OEBPS/text/ch1.xhtml"), kInvalid);  // a lone surrogate

    // A package resource is a plain path.
    const QString package = u"OEBPS/content.opf"_s;
    EXPECT_EQ(resolveResource(u"text/ch1.xhtml", package), u"OEBPS/text/ch1.xhtml"_s);
    EXPECT_EQ(resolveResource(u"#", package), package);
    for (const std::optional<QStringView> reference :
         {std::optional<QStringView>(), std::optional<QStringView>(u""), std::optional<QStringView>(u"a.xhtml#top"),
          std::optional<QStringView>(u"https://example.org/a.xhtml"), std::optional<QStringView>(u"../../a.xhtml")}) {
        EXPECT_EQ(failureOf(resolveResource(reference, package)), failure(Failure::Kind::invalidPackage));
    }
}

}  // namespace
}  // namespace tavrine
