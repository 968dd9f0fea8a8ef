#include "ReaderStorage/internal/Sha256.h"
#include "ReaderStorage/internal/SnapshotValidation.h"

#include "ReaderCore/Characters.h"
#include "StoreFixture.h"
#include "support/JsonTesting.h"

#include <openssl/evp.h>

#include <sys/wait.h>
#include <cstdlib>
#include <limits>
#include <semaphore>
#include <thread>

namespace tavrine::test {
namespace {
using namespace Qt::StringLiterals;

ReadingStoreSnapshot snapshotOf(QList<StoredReading> documents) {
    return ReadingStoreSnapshot{3, idNumber(99), false, 100, std::move(documents), QSet<QUuid>()};
}

// Absent optional fields are left out of the store file and read back from an absent key or a null.
TEST(StoredReading, OptionalFieldsAreLeftOutAndReadFromNull) {
    const StoredReading plain = textRecord(idNumber(1), u"本文"_s, Date{5});
    QJsonObject json = writtenObject(plain);
    EXPECT_EQ(json.keys(), (QStringList{u"isInLibrary"_s, u"progress"_s, u"reading"_s}));
    json.insert(u"lastPlayedAt", QJsonValue::Null);
    json.insert(u"originalEPUB", QJsonValue::Null);
    EXPECT_EQ(decodeJsonText<StoredReading>(jsonText(json)), plain);
}

// Records are decoded on several threads at once, yet a store file's failure is always its first one.
TEST(StoredReading, TheFirstBrokenRecordOfAStoreFileIsTheOneReported) {
    QList<StoredReading> records;
    for (int i = 0; i < 40; ++i) records.append(textRecord(idNumber(i + 1), u"本文 %1"_s.arg(i)));
    QJsonObject file = writtenObject(snapshotOf(records));
    QJsonArray documents = file[u"documents"_s].toArray();
    QJsonObject missingTitle = documents[30].toObject();
    missingTitle.remove(u"isInLibrary"_s);
    documents[30] = missingTitle;
    QJsonObject wrongType = documents[35].toObject();
    wrongType[u"isInLibrary"_s] = 1;
    documents[35] = wrongType;
    file[u"documents"_s] = documents;
    const auto broken = decodeJsonText<ReadingStoreSnapshot>(jsonText(file));
    ASSERT_FALSE(broken);
    EXPECT_EQ(broken.error().kind, DecodingError::Kind::keyNotFound);
    EXPECT_EQ(broken.error().codingPath, u"documents.Index 30"_s);

    documents[33] = QJsonValue::Null;
    documents[30] = documents[29];
    file[u"documents"_s] = documents;
    const auto null = decodeJsonText<ReadingStoreSnapshot>(jsonText(file));
    ASSERT_FALSE(null);
    EXPECT_EQ(null.error().kind, DecodingError::Kind::valueNotFound);
    EXPECT_EQ(null.error().codingPath, u"documents.Index 33"_s);

    EXPECT_EQ(decodeJsonText<ReadingStoreSnapshot>(encodeJson(snapshotOf(records)))->documents, records);
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
    tombstoned.tombstones->insert(idNumber(1));
    for (const auto& successor : {moved, tombstoned, snapshotOf({fromFile, fromFile})}) {
        EXPECT_EQ(failureOf(validateSuccessor(successor, validated)), kInvalid);
    }
}

// One entry per document in stored order; an absent play date is left out.
TEST(SnapshotValidation, TheProgressFileRecordsEveryDocumentInStoredOrder) {
    StoredReading first = textRecord(idNumber(2), u"abc"_s);
    first.progress = {3, true};
    EXPECT_EQ(*encodeProgressFile(snapshotOf({first, historyRecord(idNumber(1), Date{7.25})})),
              QByteArray(R"({"entries":[{"id":"00000000-0000-0000-0000-000000000002","progress":{"isCompleted":true,)"
                         R"("utf16Offset":3}},{"id":"00000000-0000-0000-0000-000000000001","lastPlayedAt":7.25,)"
                         R"("progress":{"isCompleted":false,"utf16Offset":0}}],)"
                         R"("revision":"00000000-0000-0000-0000-000000000099","version":1})"));
}

using Failure = LibraryTextFile::Failure;

const QByteArray kMark("\xEF\xBB\xBF");

QByteArray utf8(const QString& text) {
    return text.toUtf8();
}

// Each file is judged by its first failing check: the name, the size, the encoding, then the content.
// The bytes after one leading byte-order mark.
QByteArray textBytesOf(const QByteArray& data) {
    return data.startsWith(kMark) ? data.mid(kMark.size()) : data;
}

TEST(LibraryTextFile, TheGateAcceptsOrRefusesEachFileAtItsFirstFailure) {
    const auto failureOf = [](const QByteArray& data, const QString& name = u"notes.txt"_s) {
        const auto result = LibraryTextFile::decodeText(name, data);
        return result ? std::nullopt : std::optional(result.error());
    };
    for (const QString& name : {u"Notes.TXT"_s, u"a.b.txt"_s, u"メモ.Txt"_s})
        EXPECT_EQ(failureOf("a", name), std::nullopt);
    for (const QString& name :
         {QString(), u"notes.text"_s, u"notes"_s, u"folder/notes.txt"_s, u"notes.txt/"_s, u".txt"_s, u"notes.txt."_s}) {
        EXPECT_EQ(failureOf("a", name), Failure::unsupportedFormat) << name;
    }
    EXPECT_EQ(failureOf(QByteArray(LibraryTextFile::byteLimit + 1, '\xFF'), u"notes.md"_s), Failure::unsupportedFormat);

    constexpr qsizetype kBytes = LibraryTextFile::byteLimit;
    constexpr qsizetype kUnits = LibraryTextFile::utf16Limit;
    constexpr qsizetype kThreshold = kWholeTextLimit;
    // A byte-order mark and 500,000 three-byte characters: exactly at both limits.
    const QByteArray atBothLimits = kMark + utf8(QString(kUnits, u'あ'));
    ASSERT_EQ(atBothLimits.size(), kBytes);
    QString emoji;  // at the UTF-16 limit, two units per character
    for (int i = 0; i < kUnits / 2; ++i) emoji += u"\U0001F600"_s;
    // A text of `length` units whose first Character has `units` units.
    const auto complex = [](qsizetype units, qsizetype length) {
        return utf8(u'a' + QString(units - 1, QChar(0x0301)) + QString(length - units, u'x'));
    };
    constexpr qsizetype kCharacter = kCharacterUTF16Limit;
    const QList<std::pair<std::optional<Failure>, QList<QByteArray>>> groups{
        {std::nullopt,
         {atBothLimits, QByteArray(kUnits, 'a'), utf8(emoji), complex(300, kThreshold),
          complex(kCharacter, kThreshold + 1), kMark + "text", "a\tb\nc\r\nd", utf8(u"no-break\u00A0space"_s)}},
        // The size is judged before the encoding.
        {Failure::tooLong,
         {atBothLimits + '\n', QByteArray(kBytes + 1, '\xFF'), QByteArray(kUnits + 1, 'a'), utf8(emoji + u'a')}},
        {Failure::tooComplex,
         {complex(300, kThreshold + 1), complex(kCharacter + 1, kThreshold + 1),
          utf8(QString(kThreshold, u'x') + u'a' + QString(kCharacter, QChar(0x0301)))}},
        // UTF-16 with its marks, Latin-1, Shift_JIS, an overlong NUL, an encoded surrogate, past U+10FFFF, cut off
        // at the end; the encoding is judged before the content.
        {Failure::invalidEncoding,
         {QByteArray(kBytes, '\xFF'), QByteArray("\xFE\xFF\0a\0b", 6), QByteArray("\xFF\xFE\x61\0\x62\0", 6), "caf\xE9",
          "\x82\xA0\x82\xA2", "\xC0\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "abc\xE3\x81",
          QByteArray("\x01\xFF", 2)}},
        // Controls other than tab and line breaks, and U+FFFD; the content is judged before blankness.
        {Failure::nonText,
         {"a\x0C", QByteArray("a\0", 2), "a\x7F", utf8(u"a\u0085"_s), utf8(u"a\u009F"_s), utf8(u"a\uFFFD"_s),
          "a\x1B[0m", "\x0C"}},
        {Failure::empty, {QByteArray(), kMark, utf8(u" \t\r\n\u3000\u2028\u2029\u00A0 "_s)}},
    };
    for (const auto& [failure, files] : groups) {
        for (qsizetype i = 0; i < files.size(); ++i) {
            EXPECT_EQ(failureOf(files[i]), failure) << "file " << i;
            // The store's check of a kept file agrees with the gate: only the gate's own document matches.
            const LibraryTextFile file{u"notes.txt"_s, files[i]};
            const auto decoded = LibraryTextFile::decodeText(file.filename, file.data);
            const ReadingDocument lenient{std::nullopt, QString::fromUtf8(textBytesOf(files[i])), {}};
            EXPECT_EQ(file.decodesTo(lenient), decoded && *decoded == lenient) << "file " << i;
            if (!decoded) continue;
            EXPECT_TRUE(file.decodesTo(*decoded)) << "file " << i;
            EXPECT_FALSE((LibraryTextFile{u"notes.md"_s, files[i]}.decodesTo(*decoded)));
            ReadingDocument sectioned = *decoded;
            sectioned.sections = QList{ReadingDocument::Section{u"s"_s, std::nullopt, 0, decoded->text.size()}};
            EXPECT_FALSE(file.decodesTo(sectioned)) << "file " << i;
        }
    }
}

TEST(LibraryTextFile, TheTextIsKeptVerbatimWithoutOneLeadingMark) {
    const auto text = [](const QByteArray& data) {
        return LibraryTextFile::decodeText(u"notes.txt"_s, data).value_or(ReadingDocument{}).text;
    };
    EXPECT_EQ(LibraryTextFile::decodeText(u"a.txt"_s, "  first\r\nsecond\n"),
              (ReadingDocument{std::nullopt, u"  first\r\nsecond\n"_s, {}}));
    EXPECT_EQ(text(kMark + utf8(u"吾輩は猫"_s)), u"吾輩は猫"_s);
    EXPECT_EQ(text(kMark + kMark + "a"), u"\uFEFFa"_s);
    EXPECT_EQ(text("a" + kMark), u"a\uFEFF"_s);
}

TEST(LibraryTextFile, TheBytesAreKeptUnchangedAndStoredAsBase64) {
    EXPECT_EQ(LibraryTextFile::create(u"a.txt"_s, kMark + "hi"), (LibraryTextFile{u"a.txt"_s, kMark + "hi"}));
    EXPECT_EQ(LibraryTextFile::create(u"a.txt"_s, "   "), tl::unexpected(Failure::empty));

    const LibraryTextFile file{u"a.txt"_s, QByteArray("\xEF\xBB\xBFhi\0", 6)};
    EXPECT_EQ(writtenObject(file)[u"data"_s].toString(), u"77u/aGkA"_s);
}

TEST(LibraryFileImport, ByteLimitFollowsTheKindOfFile) {
    EXPECT_EQ(LibraryFileImport::byteLimit(u"NOTES.TXT"_s), 1'500'003);
    EXPECT_EQ(LibraryFileImport::byteLimit(u"Book.ePub"_s), 33'554'432);
    for (const QString& name : {u"notes.text"_s, u"archive.zip"_s, u"notes"_s, QString()}) {
        EXPECT_EQ(LibraryFileImport::byteLimit(name), tl::unexpected(Failure::unsupportedFormat)) << name;
    }
}

TEST(EPUBOriginal, TheRecordIsCheckedForFormOnly) {
    const QString digest = sha256Hex("abc");
    EXPECT_EQ(digest, u"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"_s);
    const qint64 kLimit = EPUBOriginal::kByteLimit;
    const QString fullwidth = u"\uFF10\uFF21\uFF46"_s + digest.mid(3);  // 0 A f
    for (const EPUBOriginal& valid :
         {EPUBOriginal{u"novel.epub"_s, 1, digest}, EPUBOriginal{u"novel.EPUB"_s, kLimit, digest.toUpper()},
          EPUBOriginal{u"a.epub"_s, 1, fullwidth}}) {
        EXPECT_TRUE(valid.isValid()) << valid.filename << " " << valid.byteCount << " " << valid.sha256;
    }
    for (const EPUBOriginal& invalid :
         {EPUBOriginal{QString(), 1, digest}, EPUBOriginal{u"books/novel.epub"_s, 1, digest},
          EPUBOriginal{u"novel.epub/"_s, 1, digest}, EPUBOriginal{u"novel.zip"_s, 1, digest},
          EPUBOriginal{u".epub"_s, 1, digest}, EPUBOriginal{u"a.epub"_s, kLimit + 1, digest},
          EPUBOriginal{u"a.epub"_s, 0, digest}, EPUBOriginal{u"a.epub"_s, -1, digest},
          EPUBOriginal{u"a.epub"_s, 1, digest.left(63)}, EPUBOriginal{u"a.epub"_s, 1, digest + u'0'},
          EPUBOriginal{u"a.epub"_s, 1, u'g' + digest.mid(1)},
          EPUBOriginal{u"a.epub"_s, 1, u"\U0001F600"_s + digest.mid(2)}}) {
        EXPECT_FALSE(invalid.isValid()) << invalid.filename << " " << invalid.byteCount << " " << invalid.sha256;
    }
}

TEST(Sha256, GivesTheStandardDigestsWhateverThePieces) {
    EXPECT_EQ(sha256Hex(QByteArray()), u"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"_s);
    // A million "a", fed in pieces of every length from 1 to 1,000 bytes.
    const QByteArray million(1'000'000, 'a');
    Sha256 digest;
    for (qsizetype offset = 0, piece = 1; offset < million.size(); offset += piece, piece = piece % 1000 + 1) {
        digest.add(QByteArrayView(million).sliced(offset, std::min(piece, million.size() - offset)));
    }
    EXPECT_EQ(digest.result().toHex(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    EXPECT_EQ(sha256Hex(million), u"cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"_s);
}

// A thread that hashed and ends only while the process exits, once OpenSSL's own clean-up at exit has run:
// a pool's thread still ending at exit, made certain. The exit handler that lets it end is registered before
// OpenSSL's first use registers that clean-up, so it runs after it; the leak check runs after both.
std::binary_semaphore threadHashed{0};
std::binary_semaphore threadMayEnd{0};
std::thread* lateThread = nullptr;

[[noreturn]] void exitWhileAThreadThatHashedIsEnding() {
    std::atexit([] {
        threadMayEnd.release();
        lateThread->join();
        delete lateThread;
    });
    lateThread = new std::thread([] {
        sha256Hex("a page of a book");
        threadHashed.release();
        threadMayEnd.acquire();
    });
    threadHashed.acquire();
    std::exit(0);
}

// What OpenSSL itself leaks, on a thread that has ended, so that no copy of the pointer stays on a stack.
[[noreturn]] void exitAfterLeakingADigestContext() {
    std::thread([] { static_cast<void>(EVP_MD_CTX_new()); }).join();
    std::exit(0);
}

TEST(Sha256, AThreadThatHashedLeavesNothingOfOpenSSLsBehindHoweverLateItEnds) {
#ifndef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "only a build with the leak checker tells";
#endif
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(exitWhileAThreadThatHashedIsEnding(), testing::ExitedWithCode(0), "");
    // Not because leaks go unreported: OpenSSL's own still are.
    EXPECT_EXIT(
        exitAfterLeakingADigestContext(), [](int status) { return WIFEXITED(status) && WEXITSTATUS(status) != 0; },
        "detected memory leaks");
}

}  // namespace
}  // namespace tavrine::test
