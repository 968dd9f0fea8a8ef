#include "ReaderStorage/internal/ReadingStoreLoader.h"
#include "ReaderStorage/internal/SnapshotValidation.h"

#include "StoreFixture.h"
#include "StoreSample.h"
#include "support/CheckoutPaths.h"
#include "support/JsonTesting.h"
#include "support/SpecialFiles.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <functional>

namespace tavrine::test {
namespace {
using namespace Qt::StringLiterals;

const QUuid kRevision = idNumber(99);

// A store of the current form: a revision and tombstones.
ReadingStoreSnapshot snapshotOf(QList<StoredReading> documents, qint64 version = 3) {
    return ReadingStoreSnapshot{version, kRevision, false, 100, std::move(documents), QSet<QUuid>()};
}

class ReadingStoreLoadTest : public StoreFixture {
protected:
    QString progressFile() const { return files().progressFile(kRevision); }
    // Writes the snapshot as the store file and, from version 3 on, the progress file of its revision.
    void writeStore(const ReadingStoreSnapshot& snapshot) {
        directory.write(storePath(), encodeJson(snapshot));
        if (snapshot.revision && snapshot.version >= 3) {
            directory.write(files().progressFile(*snapshot.revision), *encodeProgressFile(snapshot));
        }
    }
    void keepOriginal(const QUuid& id, const QByteArray& bytes) { directory.write(files().originalFile(id), bytes); }
};

TEST_F(ReadingStoreLoadTest, WithoutAStoreFileTheStoreStartsEmptyAndCreatesNothing) {
    auto store = open();
    ASSERT_TRUE(store);
    EXPECT_EQ(stateOf(*store), ReadingStoreState::of(ReadingStoreSnapshot::empty()));
    EXPECT_TRUE(directory.list().isEmpty());
}

TEST_F(ReadingStoreLoadTest, ADamagedStoreFileFailsInsteadOfLoadingAsAnEmptyStore) {
    writeStore(snapshotOf({textRecord(idNumber(1))}));
    const QByteArray good = *directory.read(storePath());
    const auto replaced = [&](const char* from, const char* to) { return QByteArray(good).replace(from, to); };
    // Not JSON, cut short, not an object, no or a mistyped version; then required keys missing (a
    // document's progress among them) or of the wrong type.
    for (const QByteArray& damaged :
         {QByteArray(), QByteArray("\0\0\0\0", 4), good.left(good.size() / 2), QByteArray("[]"), QByteArray("{}"),
          QByteArray(R"({"version":"3"})"), QByteArray(R"({"version":3.5})"), replaced("\"documents\"", "\"d\""),
          replaced("\"historyLimit\"", "\"h\""), replaced("\"progress\"", "\"p\""), replaced("\"reading\"", "\"r\""),
          replaced("\"isInLibrary\"", "\"i\""), replaced("\"historyEnabled\":false", "\"historyEnabled\":1"),
          replaced("0000-000000000099", "not-a-uuid"),
          replaced("\"removedIDs\":[]", "\"removedIDs\":[\"{00000000-0000-0000-0000-000000000000}\"]")}) {
        directory.write(storePath(), damaged);
        EXPECT_TRUE(isDecodingError(openFailure())) << damaged.toStdString();
        EXPECT_EQ(directory.read(storePath()), damaged);  // left exactly as found
    }

    // Read errors other than a missing file are failures too.
    directory.write(storePath(), good);
    fileSystem->failOn(FileError::Operation::read, storePath(), EACCES);
    EXPECT_EQ(openFailure(), StoreFailure(FileError{FileError::Operation::read, EACCES, storePath()}));
}

TEST_F(ReadingStoreLoadTest, OnlyVersionsOneToFourAreReadAndTheVersionIsJudgedFirst) {
    for (const qint64 version : {0, 5, -1, 1000}) {
        directory.write(storePath(), jsonText(QJsonObject{{u"version"_s, version}, {u"documents"_s, 7}}));
        EXPECT_EQ(openFailure(), StoreFailure(ReadingStoreError::unsupportedVersionOf(version))) << version;
    }
}

TEST_F(ReadingStoreLoadTest, OlderVersionsFollowTheirOwnRules) {
    // Version 1: no tombstones needed, no progress file; each document carries its own position.
    ReadingStoreSnapshot v1{1, std::nullopt, true, 100, {}, std::nullopt};
    StoredReading played = textRecord(idNumber(1), u"abcdef"_s, {}, Date{30});
    played.progress = {4, false};
    v1.documents = {played};
    writeStore(v1);
    auto store = open();
    ASSERT_TRUE(store);
    EXPECT_EQ(stateOf(*store).history, QList{played});
    store.reset();  // it holds the files against every other opener

    // Version 2 requires the tombstones.
    v1.version = 2;
    writeStore(v1);
    EXPECT_EQ(openFailure(), kInvalid);
    v1.tombstones = QSet<QUuid>{idNumber(5)};
    writeStore(v1);
    ASSERT_TRUE((store = open()));
    EXPECT_EQ(stateOf(*store).tombstones, QSet<QUuid>{idNumber(5)});
    store.reset();

    // Version 3 requires a revision, and the progress file it names.
    v1.version = 3;
    directory.write(storePath(), encodeJson(v1));
    EXPECT_EQ(openFailure(), kInvalid);
    v1.revision = kRevision;
    directory.write(storePath(), encodeJson(v1));
    EXPECT_TRUE(isNoSuchFile(openFailure(), progressFile()));
}

TEST_F(ReadingStoreLoadTest, TheProgressFileHoldsPositionsAndPlaysAndMustMatchItsStoreFile) {
    ReadingStoreSnapshot snapshot =
        snapshotOf({textRecord(idNumber(1), u"abcdef"_s), historyRecord(idNumber(2), Date{1})});
    snapshot.historyLimit = 1;
    writeStore(snapshot);
    snapshot.documents[0].progress = {6, true};
    snapshot.documents[1].lastPlayedAt = Date{42};
    directory.write(progressFile(), *encodeProgressFile(snapshot));
    auto store = open();
    ASSERT_TRUE(store);
    EXPECT_EQ(stateOf(*store), ReadingStoreState::of(snapshot));
    store.reset();

    const QJsonObject good = QJsonDocument::fromJson(*encodeProgressFile(snapshot)).object();
    const QJsonObject e1 = good[u"entries"_s][0].toObject();
    const QJsonObject e2 = good[u"entries"_s][1].toObject();
    const auto entry = [](QJsonObject json, const QString& key, const QJsonValue& value) {
        value.isUndefined() ? void(json.remove(key)) : void(json.insert(key, value));
        return json;
    };
    const auto with = [&](const QString& key, const QJsonValue& value) { return entry(good, key, value); };
    const QJsonObject unknown = entry(e1, u"id"_s, uuidString(idNumber(3)));
    const QJsonObject played = entry(e1, u"lastPlayedAt"_s, 5.0);                     // two plays over a limit of one
    const QJsonObject cleared = entry(e2, u"lastPlayedAt"_s, QJsonValue::Undefined);  // in neither list
    const QJsonObject pastTheEnd =
        entry(e1, u"progress"_s, QJsonObject{{u"utf16Offset"_s, 7}, {u"isCompleted"_s, true}});

    for (const QJsonObject& side :
         {with(u"version"_s, 2), with(u"revision"_s, uuidString(idNumber(98))),
          with(u"entries"_s, QJsonArray{e1, e2, e1}), with(u"entries"_s, QJsonArray{e1, e2, unknown}),
          with(u"entries"_s, QJsonArray{e1, unknown}), with(u"entries"_s, QJsonArray{e1}),
          with(u"entries"_s, QJsonArray{e1, cleared}), with(u"entries"_s, QJsonArray{pastTheEnd, e2}),
          with(u"entries"_s, QJsonArray{played, e2})}) {
        directory.write(progressFile(), jsonText(side));
        EXPECT_EQ(openFailure(), kInvalid) << jsonText(side).toStdString();
    }
    // The entries may come in any order.
    directory.write(progressFile(), jsonText(with(u"entries"_s, QJsonArray{e2, e1})));
    EXPECT_TRUE(open());

    for (const QByteArray& damaged : {QByteArray("{\"version\":1,"), jsonText(with(u"entries"_s, QJsonObject()))}) {
        directory.write(progressFile(), damaged);
        EXPECT_TRUE(isDecodingError(openFailure()));
    }
}

TEST_F(ReadingStoreLoadTest, EachRuleOfTheContentFailsTheLoad) {
    const QByteArray book = "PK\x03\x04 the bytes of a book";
    const auto valid =
        snapshotOf({textFileRecord(idNumber(1), u"notes.txt"_s, "\xEF\xBB\xBFnotes\n"), textRecord(idNumber(2)),
                    historyRecord(idNumber(3), Date{3}), epubRecord(idNumber(4), book)},
                   4);
    keepOriginal(idNumber(4), book);
    writeStore(valid);
    auto store = open();
    ASSERT_TRUE(store);
    EXPECT_EQ(stateOf(*store), ReadingStoreState::of(valid));
    store.reset();

    // Each breach changes the snapshot s, whose documents d are a text file, a text, a history entry and a book.
    using Change = std::function<void(ReadingStoreSnapshot & s, QList<StoredReading> & d)>;
    const QList<std::pair<const char*, Change>> breaches{
        {"a history limit of 0", [](auto& s, auto&) { s.historyLimit = 0; }},
        {"more plays than the limit",
         [](auto& s, auto& d) { s.historyLimit = 2, d[1].lastPlayedAt = Date{1}, d[0].lastPlayedAt = Date{2}; }},
        {"a stored identifier among the tombstones", [](auto& s, auto&) { s.tombstones->insert(idNumber(2)); }},
        {"an identifier stored twice", [](auto&, auto& d) { d[1].reading.id = idNumber(3); }},
        {"a reading in neither list", [](auto&, auto& d) { d[1].isInLibrary = false; }},
        {"an invalid document",
         [](auto&, auto& d) {
             d[1].reading.document.spans = {{{}, 0, 99, 0}};
         }},
        {"a position past the end", [](auto&, auto& d) { d[1].progress.utf16Offset = 3; }},
        {"a text file that no longer gives the document", [](auto&, auto& d) { d[0].reading.document.text = u"x"_s; }},
        {"a text file that does not decode", [](auto&, auto& d) { d[0].originalTextFile->data = "\xFF"; }},
        {"a text file under another title", [](auto&, auto& d) { d[0].reading.title = u"Notes.txt"_s; }},
        {"a text file reading out of the library",
         [](auto&, auto& d) { d[0].isInLibrary = false, d[0].lastPlayedAt = Date{5}; }},
        {"a book in a version 3 file", [](auto& s, auto&) { s.version = 3; }},
        {"a book out of the library", [](auto&, auto& d) { d[3].isInLibrary = false, d[3].lastPlayedAt = Date{1}; }},
        {"a book from a text file",
         [](auto&, auto& d) {
             d[3].originalTextFile = LibraryTextFile{u"a.txt"_s, "a"};
         }},
        {"a book without its information", [](auto&, auto& d) { d[3].reading.epub.reset(); }},
        {"a book without its original", [](auto&, auto& d) { d[3].originalEPUB.reset(); }},
        {"invalid book information", [](auto&, auto& d) { d[3].reading.epub->packagePath.clear(); }},
        {"an original not named .epub", [](auto&, auto& d) { d[3].originalEPUB->filename = u"book.zip"_s; }},
        {"an upper-case digest",
         [](auto&, auto& d) { d[3].originalEPUB->sha256 = d[3].originalEPUB->sha256.toUpper(); }},
    };
    for (const auto& [name, change] : breaches) {
        ReadingStoreSnapshot broken = valid;
        change(broken, broken.documents);
        writeStore(broken);
        EXPECT_EQ(openFailure(), kInvalid) << name;
    }
}

// What a desktop can leave where the store file or its progress file should be. Each fails the opening at
// once with its error (invalidData for what is refused unread); nothing waits for a writer or reads on.
TEST_F(ReadingStoreLoadTest, AStandInThatIsNoRegularFileFailsAtOnce) {
    writeStore(snapshotOf({textRecord(idNumber(1))}));
    const QByteArray storeBytes = *directory.read(storePath());
    const QByteArray progressBytes = *directory.read(progressFile());
    struct StandIn {
        const char* name;
        std::function<void(const QString&)> make;
        std::optional<int> code;  // the file error's, else invalidData
    };
    const QList<StandIn> standIns{
        {"a FIFO", makeFifo, std::nullopt},
        {"a socket", makeSocket, ENXIO},
        {"a folder", [](const QString& path) { QDir().mkdir(path); }, EISDIR},
        {"a link to an endless device", [](const QString& path) { QFile::link(u"/dev/zero"_s, path); }, std::nullopt},
        {"a file longer than any store file",
         [](const QString& path) { makeSparseFile(path, ReadingStoreSnapshot::kLargestFileBytes + 1); }, std::nullopt},
    };
    for (const QString& target : {storePath(), progressFile()}) {
        for (const StandIn& standIn : standIns) {
            SCOPED_TRACE(standIn.name);
            QDir(target).removeRecursively();
            QFile::remove(target);
            standIn.make(target);
            const auto failure = withinDeadline([this] { return openFailure(); });
            if (standIn.code) {
                EXPECT_EQ(failure, StoreFailure(FileError{FileError::Operation::read, *standIn.code, target}));
            } else {
                EXPECT_EQ(failure, kInvalid);
            }
        }
        QDir(target).removeRecursively();
        QFile::remove(target);
        directory.write(storePath(), storeBytes);
        directory.write(progressFile(), progressBytes);
    }
    EXPECT_TRUE(open());
}

TEST_F(ReadingStoreLoadTest, EachFileIsReadUpToTheLargestTheStoreWrites) {
    writeStore(snapshotOf({textRecord(idNumber(1))}));
    // The progress file made the larger of the two (JSON may end in white space).
    const qint64 largest = directory.read(storePath())->size() + 10;
    directory.write(progressFile(), directory.read(progressFile())->leftJustified(largest, ' '));
    const auto loadedWithin = [&](qint64 limit) {
        return failureOf(ReadingStoreLoader(*fileSystem, files(), limit).readSnapshot());
    };
    EXPECT_EQ(loadedWithin(largest), std::nullopt);
    EXPECT_EQ(loadedWithin(largest - 1), kInvalid);
    EXPECT_EQ(loadedWithin(largest - 10), kInvalid);  // the store file alone is within
    EXPECT_EQ(loadedWithin(largest - 11), kInvalid);
}

TEST_F(ReadingStoreLoadTest, AMissingChangedOrLinkedOriginalFailsTheLoad) {
    const QByteArray book(5000, 'b');
    writeStore(snapshotOf({epubRecord(idNumber(1), book)}, 4));
    const QString original = files().originalFile(idNumber(1));
    EXPECT_TRUE(isNoSuchFile(openFailure(), original));

    QByteArray changed = book;
    changed[2500] = 'c';
    for (const QByteArray& bytes : {book.left(4999), changed}) {
        keepOriginal(idNumber(1), bytes);
        EXPECT_EQ(openFailure(), kInvalid);
    }

    // A link to a correct copy is refused.
    QFile::remove(original);
    ASSERT_TRUE(QFile::link(directory.write(u"elsewhere/copy.epub"_s, book), original));
    EXPECT_EQ(openFailure(), kInvalid);

    QFile::remove(original);
    keepOriginal(idNumber(1), book);
    fileSystem->failOn(FileError::Operation::open, original, EACCES);
    EXPECT_EQ(openFailure(), StoreFailure(FileError{FileError::Operation::open, EACCES, original}));
}

// fixtures/ holds storeSample() as the QJsonDocument-based writer left it. It loads as that store, and
// today's writer gives the same JSON (the same keys and values), which that earlier loader reads.
TEST_F(ReadingStoreLoadTest, AStoreOfTheEarlierWriterLoadsAsItWasAndIsWrittenAlike) {
    const auto fixture = [](const char* name) {
        QFile file(test::inCheckout(STORE_FIXTURES_DIR "/%1").arg(QLatin1StringView(name)));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray storeBytes = fixture("reading-store.json");
    const QByteArray progressBytes = fixture("progress.json");
    ASSERT_FALSE(storeBytes.isEmpty() || progressBytes.isEmpty());
    const ReadingStoreSnapshot sample = storeSample();

    directory.write(storePath(), storeBytes);
    directory.write(files().progressFile(*sample.revision), progressBytes);
    keepOriginal(sample.documents.first().id(), sampleOriginal());
    auto store = open();
    ASSERT_TRUE(store);
    EXPECT_EQ(stateOf(*store), ReadingStoreState::of(sample));
    store.reset();

    EXPECT_EQ(decodeJsonText<ReadingStoreSnapshot>(encodeJson(sample)), sample);
    EXPECT_EQ(QJsonDocument::fromJson(encodeJson(sample)), QJsonDocument::fromJson(storeBytes));
    EXPECT_EQ(QJsonDocument::fromJson(*encodeProgressFile(sample)), QJsonDocument::fromJson(progressBytes));
}

TEST_F(ReadingStoreLoadTest, OrphanedOriginalsArePrunedAtOpening) {
    const QUuid kept = *parseUuid(u"0000000A-0000-0000-0000-000000000001"_s);
    writeStore(snapshotOf({epubRecord(kept, "book"), textRecord(idNumber(2))}, 4));
    keepOriginal(kept, "book");
    keepOriginal(idNumber(2), "the text reading has no original");
    const QString originals = files().originalsDirectory() + u'/';
    // The kept name is upper case: a lower-case copy of the same identifier is an orphan.
    directory.write(originals + ReadingStoreFiles::originalFileName(kept).toLower(), "book");
    directory.write(originals + ReadingStoreFiles::originalFileName(idNumber(6)) + u"/inside"_s, "a folder");
    // Not named by an identifier and ".epub": never the store's.
    QStringList others{uuidString(idNumber(4)) + u".EPUB"_s, uuidString(idNumber(5)) + u".tmp"_s, u"notes.epub"_s};
    for (const QString& name : others) directory.write(originals + name, "not an original");

    ASSERT_TRUE(open());
    QStringList expected = others + QStringList{ReadingStoreFiles::originalFileName(kept)};
    expected.sort();
    EXPECT_EQ(directory.list(originals), expected);

    // With no store file every identifier-named original is an orphan.
    QFile::remove(storePath());
    ASSERT_TRUE(open());
    EXPECT_EQ(directory.list(originals), others);
}

TEST_F(ReadingStoreLoadTest, AFailedLoadPrunesNothingAndAFailedPruningFailsTheLoad) {
    writeStore(snapshotOf({textRecord(idNumber(1))}));
    keepOriginal(idNumber(3), "orphan");
    fileSystem->failOn(FileError::Operation::read, progressFile(), EIO);
    EXPECT_EQ(openFailure(), StoreFailure(FileError{FileError::Operation::read, EIO, progressFile()}));
    EXPECT_TRUE(directory.exists(files().originalFile(idNumber(3))));

    for (const auto& [operation, path] : {std::pair{FileError::Operation::remove, files().originalFile(idNumber(3))},
                                          std::pair{FileError::Operation::list, files().originalsDirectory()}}) {
        fileSystem->clearFaults();
        fileSystem->failOn(operation, path, EPERM);
        EXPECT_EQ(openFailure(), StoreFailure(FileError{operation, EPERM, path}));
    }

    // A folder that may only be read (a read-only file system, no write permission) keeps its orphan,
    // and the store opens.
    for (const int code : {EROFS, EACCES}) {
        fileSystem->clearFaults();
        fileSystem->failOn(FileError::Operation::remove, files().originalFile(idNumber(3)), code);
        EXPECT_EQ(openFailure(), std::nullopt) << code;
        EXPECT_TRUE(directory.exists(files().originalFile(idNumber(3))));
    }
}

TEST_F(ReadingStoreLoadTest, StampsNeedEveryAttribute) {
    writeStore(snapshotOf({textRecord(idNumber(1))}));
    fileSystem->alterStatus = [&](const QString& path, FileStatus& status) {
        if (path == storePath()) status.modified.reset();
    };
    EXPECT_EQ(openFailure(), kInvalid);
    fileSystem->alterStatus = nullptr;
    EXPECT_TRUE(open());
}

// A store that does not open says which of its files it stumbled on, so the user knows what to restore:
// the store file, the progress file of its revision, a kept original with the name its book had, an
// entry of the originals folder that could not be removed, the lock file.
TEST_F(ReadingStoreLoadTest, AFailedOpeningNamesTheFileItConcerns) {
    using File = StoreOpeningFailure::File;
    const auto opening = [&] {
        auto opened = ReadingStore::openNamingFile(storePath(), fileSystem, clock);
        return opened ? std::optional<StoreOpeningFailure>() : std::optional(opened.error());
    };
    const auto failure = [](StoreFailure failure, File file, QString path, std::optional<QString> name = {}) {
        return std::optional(StoreOpeningFailure{std::move(failure), file, std::move(path), std::move(name)});
    };
    const QByteArray book(5000, 'b');
    writeStore(snapshotOf({textRecord(idNumber(1)), epubRecord(idNumber(2), book)}, 4));
    const QString original = files().originalFile(idNumber(2));
    keepOriginal(idNumber(2), book);
    EXPECT_EQ(opening(), std::nullopt);

    QByteArray changed = book;
    changed[10] = 'c';
    keepOriginal(idNumber(2), changed);
    EXPECT_EQ(opening(), failure(kInvalid, File::original, original, u"Neko.epub"_s));
    QFile::remove(original);
    const auto missing = opening();
    ASSERT_TRUE(missing);
    EXPECT_TRUE(isNoSuchFile(missing->failure, original));
    EXPECT_EQ(missing->file, File::original);
    EXPECT_EQ(missing->originalName, u"Neko.epub"_s);
    keepOriginal(idNumber(2), book);

    keepOriginal(idNumber(3), "orphan");
    fileSystem->failOn(FileError::Operation::remove, files().originalFile(idNumber(3)), EPERM);
    EXPECT_EQ(opening(), failure(FileError{FileError::Operation::remove, EPERM, files().originalFile(idNumber(3))},
                                 File::originals, files().originalFile(idNumber(3))));
    fileSystem->clearFaults();

    const QByteArray progress = *directory.read(progressFile());
    QFile::remove(progressFile());
    const auto noProgress = opening();
    ASSERT_TRUE(noProgress);
    EXPECT_TRUE(isNoSuchFile(noProgress->failure, progressFile()));
    EXPECT_EQ(noProgress->file, File::progress);
    directory.write(progressFile(), QByteArray(progress).replace("\"version\":1", "\"version\":2"));
    EXPECT_EQ(opening(), failure(kInvalid, File::progress, progressFile()));
    directory.write(progressFile(), progress);

    const QByteArray good = *directory.read(storePath());
    directory.write(storePath(), good.left(good.size() / 2));
    const auto damaged = opening();
    ASSERT_TRUE(damaged);
    EXPECT_TRUE(isDecodingError(damaged->failure));
    EXPECT_EQ(damaged->file, File::store);
    EXPECT_EQ(damaged->path, storePath());
    directory.write(storePath(), R"({"version":9})");
    EXPECT_EQ(opening(), failure(ReadingStoreError::unsupportedVersionOf(9), File::store, storePath()));
    directory.write(storePath(), good);

    fileSystem->failOn(FileError::Operation::lock, files().lockFile(), EACCES);
    EXPECT_EQ(opening(), failure(FileError{FileError::Operation::lock, EACCES, files().lockFile()}, File::lock,
                                 files().lockFile()));
}

}  // namespace
}  // namespace tavrine::test
