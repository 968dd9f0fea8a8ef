#include "ReaderStorage/ReadingStore.h"
#include "ReaderStorage/SnapshotValidation.h"

#include "FaultyFileSystem.h"
#include "StoreTestSupport.h"
#include "support/QtPrinters.h"
#include "support/RunTask.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <QFile>

#include <cerrno>
#include <functional>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using test::epubRecord;
using test::failureOf;
using test::historyRecord;
using test::idNumber;
using test::invalidData;
using test::textRecord;

const QUuid kRevision = idNumber(99);

// A store of the current form: version 3, a revision, tombstones.
ReadingStoreSnapshot currentSnapshot(QList<StoredReading> documents, qint64 version = 3) {
    ReadingStoreSnapshot snapshot;
    snapshot.version = version;
    snapshot.revision = kRevision;
    snapshot.removedIDs = QSet<QUuid>();
    snapshot.documents = std::move(documents);
    return snapshot;
}

class ReadingStoreLoadTest : public testing::Test {
protected:
    const QString kStore = u"data/reading-store.json"_s;

    QString storePath() const { return directory.filePath(kStore); }
    ReadingStoreFiles files() const { return ReadingStoreFiles(storePath()); }

    void writeStoreJson(const QJsonObject& json) { directory.write(kStore, encodeJson(json)); }
    void writeSideFile(const QUuid& revision, const QJsonObject& json) {
        directory.write(kStore + u".progress-"_s + uuidString(revision) + u".json"_s, encodeJson(json));
    }
    // Writes the snapshot as the store file and, from version 3 on, the side file of its revision.
    void writeStore(const ReadingStoreSnapshot& snapshot) {
        writeStoreJson(toJson(snapshot).toObject());
        if (snapshot.revision && snapshot.version >= 3) {
            directory.write(kStore + u".progress-"_s + uuidString(*snapshot.revision) + u".json"_s,
                            *encodeMetadata(snapshot));
        }
    }
    void keepOriginal(const QUuid& id, const QByteArray& bytes) {
        directory.write(kStore + u".originals/"_s + ReadingStoreFiles::originalFileName(id), bytes);
    }

    StoreResult<std::unique_ptr<ReadingStore>> open() { return ReadingStore::open(storePath(), fileSystem); }
    std::optional<StoreFailure> openFailure() { return failureOf(open()); }
    ReadingStoreState stateOf(ReadingStore& store) { return *test::runTask(store.currentState()); }

    test::TemporaryDirectory directory;
    std::shared_ptr<test::FaultyFileSystem> fileSystem = std::make_shared<test::FaultyFileSystem>();
};

TEST_F(ReadingStoreLoadTest, WithoutAStoreFileTheStoreStartsEmptyAndCreatesNothing) {
    auto store = open();
    ASSERT_TRUE(store) << describeStoreFailure(store.error()).toStdString();
    EXPECT_EQ(stateOf(**store), ReadingStoreState::of(ReadingStoreSnapshot::empty()));
    EXPECT_FALSE(*test::runTask((*store)->historyEnabled()));
    EXPECT_EQ(*test::runTask((*store)->historyLimit()), 100);
    EXPECT_TRUE(directory.list().isEmpty());

    // The same with the folder present but empty.
    directory.write(u"data/.keep"_s, "");
    EXPECT_TRUE(open());
    EXPECT_EQ(directory.list(u"data"_s), QStringList{u".keep"_s});
}

TEST_F(ReadingStoreLoadTest, ADamagedStoreFileFailsInsteadOfLoadingAsAnEmptyStore) {
    writeStore(currentSnapshot({textRecord(idNumber(1))}));
    const QByteArray good = directory.read(kStore);
    for (const QByteArray& damaged :
         {QByteArray(), good.left(good.size() / 2), QByteArray("[]"), QByteArray("{}"),
          QByteArray(R"({"version":"3"})"), QByteArray(R"({"version":3.5})"), QByteArray("\0\0\0\0", 4)}) {
        directory.write(kStore, damaged);
        EXPECT_TRUE(test::isDecodingError(openFailure())) << damaged.toStdString();
        EXPECT_EQ(directory.read(kStore), damaged);  // left exactly as found
    }

    // Read errors other than a missing file are failures too.
    directory.write(kStore, good);
    fileSystem->failOn(FileError::Operation::read, storePath(), EACCES);
    EXPECT_EQ(openFailure(), StoreFailure(FileError{FileError::Operation::read, EACCES, storePath()}));
}

TEST_F(ReadingStoreLoadTest, AStoreFileThatIsAFolderIsAnError) {
    directory.write(kStore + u"/inside"_s, "");
    const auto failure = openFailure();
    ASSERT_TRUE(failure && std::holds_alternative<FileError>(*failure));
    EXPECT_EQ(std::get<FileError>(*failure).code, EISDIR);
}

TEST_F(ReadingStoreLoadTest, OnlyVersionsOneToFourAreReadAndTheVersionIsJudgedFirst) {
    for (const qint64 version : {0, 5, -1, 1000}) {
        writeStoreJson({{u"version"_s, version}, {u"documents"_s, 7}});
        EXPECT_EQ(openFailure(), StoreFailure(ReadingStoreError::unsupportedVersionOf(version))) << version;
    }
}

TEST_F(ReadingStoreLoadTest, MissingOrMistypedKeysAreDecodingErrors) {
    const QJsonObject good = toJson(currentSnapshot({textRecord(idNumber(1))})).toObject();
    const auto withChange = [&](const std::function<void(QJsonObject&)>& change) {
        QJsonObject json = good;
        change(json);
        return json;
    };
    const QList<QJsonObject> broken{
        withChange([](QJsonObject& json) { json.remove(u"documents"_s); }),
        withChange([](QJsonObject& json) { json.remove(u"historyLimit"_s); }),
        withChange([](QJsonObject& json) { json.insert(u"historyEnabled"_s, 1); }),
        withChange([](QJsonObject& json) { json.insert(u"revision"_s, u"not-a-uuid"_s); }),
        withChange([](QJsonObject& json) {
            json.insert(u"removedIDs"_s, QJsonArray{u"{00000000-0000-0000-0000-000000000000}"_s});
        }),
        withChange([](QJsonObject& json) {
            QJsonArray documents = json[u"documents"_s].toArray();
            QJsonObject document = documents[0].toObject();
            document.remove(u"progress"_s);
            documents[0] = document;
            json.insert(u"documents"_s, documents);
        }),
    };
    for (const QJsonObject& json : broken) {
        writeStoreJson(json);
        EXPECT_TRUE(test::isDecodingError(openFailure())) << encodeJson(json).toStdString();
    }
}

TEST_F(ReadingStoreLoadTest, OlderVersionsFollowTheirOwnRules) {
    // Version 1: no tombstones needed, no side file; each document carries its own position.
    ReadingStoreSnapshot v1;
    v1.version = 1;
    v1.historyEnabled = true;
    StoredReading played = textRecord(idNumber(1), u"abcdef"_s, {}, Date{30});
    played.progress = {4, false};
    v1.documents = {played};
    writeStoreJson(toJson(v1).toObject());
    auto store = open();
    ASSERT_TRUE(store) << describeStoreFailure(store.error()).toStdString();
    const ReadingStoreState state = stateOf(**store);
    EXPECT_TRUE(state.removedDocumentIDs.isEmpty());
    ASSERT_EQ(state.history.size(), 1);
    EXPECT_EQ(state.history[0], played);

    // Version 2 requires the tombstones.
    v1.version = 2;
    writeStoreJson(toJson(v1).toObject());
    EXPECT_EQ(openFailure(), invalidData());
    v1.removedIDs = QSet<QUuid>{idNumber(5)};
    writeStoreJson(toJson(v1).toObject());
    ASSERT_TRUE((store = open()));
    EXPECT_EQ(stateOf(**store).removedDocumentIDs, QSet<QUuid>{idNumber(5)});

    // Version 3 requires a revision, and the side file it names.
    v1.version = 3;
    writeStoreJson(toJson(v1).toObject());
    EXPECT_EQ(openFailure(), invalidData());
    v1.revision = kRevision;
    writeStoreJson(toJson(v1).toObject());
    EXPECT_TRUE(test::isNoSuchFile(openFailure(), files().progressFile(kRevision)));
}

TEST_F(ReadingStoreLoadTest, TheSideFileIsTheAuthorityForPositionsAndPlays) {
    StoredReading stored = textRecord(idNumber(1), u"abcdef"_s);
    writeStoreJson(toJson(currentSnapshot({stored})).toObject());
    StoredReading current = stored;
    current.progress = {6, true};
    current.lastPlayedAt = Date{42};
    directory.write(kStore + u".progress-"_s + uuidString(kRevision) + u".json"_s,
                    *encodeMetadata(currentSnapshot({current})));

    auto store = open();
    ASSERT_TRUE(store) << describeStoreFailure(store.error()).toStdString();
    EXPECT_EQ(*test::runTask((*store)->storedReading(idNumber(1))), current);
    EXPECT_EQ(*test::runTask((*store)->history()), QList<StoredReading>{current});
    EXPECT_EQ(*test::runTask((*store)->storedReading(idNumber(2))), std::nullopt);
    EXPECT_EQ(**test::runTask((*store)->loadState()), stateOf(**store));
}

TEST_F(ReadingStoreLoadTest, ASideFileThatDoesNotMatchItsStoreFileFails) {
    const ReadingStoreSnapshot snapshot =
        currentSnapshot({textRecord(idNumber(1)), historyRecord(idNumber(2), Date{1})});
    const QJsonObject good = toJson(*decodeJsonText<ReadingStoreMetadata>(*encodeMetadata(snapshot))).toObject();
    const QJsonObject entry1 = good[u"entries"_s][0].toObject();
    const QJsonObject entry2 = good[u"entries"_s][1].toObject();
    QJsonObject unknown = entry1;
    unknown.insert(u"id"_s, uuidString(idNumber(3)));
    QJsonObject cleared = entry2;
    cleared.remove(u"lastPlayedAt"_s);  // would leave the history-only reading in neither list
    QJsonObject pastTheEnd = entry1;
    pastTheEnd.insert(u"progress"_s, QJsonObject{{u"utf16Offset"_s, 3}, {u"isCompleted"_s, true}});

    const auto with = [&](const QString& key, const QJsonValue& value) {
        QJsonObject json = good;
        json.insert(key, value);
        return json;
    };
    writeStoreJson(toJson(snapshot).toObject());
    for (const QJsonObject& side :
         {with(u"version"_s, 2), with(u"revision"_s, uuidString(idNumber(98))),
          with(u"entries"_s, QJsonArray{entry1, entry2, entry1}),
          with(u"entries"_s, QJsonArray{entry1, entry2, unknown}), with(u"entries"_s, QJsonArray{entry1}),
          with(u"entries"_s, QJsonArray{entry1, cleared}), with(u"entries"_s, QJsonArray{pastTheEnd, entry2})}) {
        writeSideFile(kRevision, side);
        EXPECT_EQ(openFailure(), invalidData()) << encodeJson(side).toStdString();
    }
    // The entries may come in any order.
    writeSideFile(kRevision, with(u"entries"_s, QJsonArray{entry2, entry1}));
    EXPECT_TRUE(open());

    directory.write(kStore + u".progress-"_s + uuidString(kRevision) + u".json"_s, "{\"version\":1,");
    EXPECT_TRUE(test::isDecodingError(openFailure()));
    writeSideFile(kRevision, with(u"entries"_s, QJsonObject()));
    EXPECT_TRUE(test::isDecodingError(openFailure()));
}

TEST_F(ReadingStoreLoadTest, EachRuleOfTheContentFailsTheLoad) {
    const StoredReading fromFile = test::textFileRecord(idNumber(1), u"notes.txt"_s, "\xEF\xBB\xBFnotes\n");
    const auto valid = currentSnapshot({fromFile, textRecord(idNumber(2)), historyRecord(idNumber(3), Date{3})});
    writeStore(valid);
    ASSERT_TRUE(open());

    using Change = std::function<void(ReadingStoreSnapshot&)>;
    const QList<std::pair<const char*, Change>> breaches{
        {"a history limit of 0", [](auto& s) { s.historyLimit = 0; }},
        {"more plays than the limit",
         [](auto& s) {
             s.historyLimit = 2;
             s.documents[1].lastPlayedAt = Date{1};
             s.documents[0].lastPlayedAt = Date{2};
         }},
        {"a stored identifier among the tombstones", [](auto& s) { s.removedIDs->insert(idNumber(2)); }},
        {"an identifier stored twice", [](auto& s) { s.documents[1].reading.id = idNumber(3); }},
        {"a reading in neither list", [](auto& s) { s.documents[1].isInLibrary = false; }},
        {"an invalid document",
         [](auto& s) {
             s.documents[1].reading.document.spans = {{{}, 0, 99, 0}};
         }},
        {"a position past the end", [](auto& s) { s.documents[1].progress.utf16Offset = 3; }},
        {"a position inside a surrogate pair",
         [](auto& s) {
             s.documents[1].reading.document.text = u"\U0001F600"_s;
             s.documents[1].progress.utf16Offset = 1;
         }},
        {"a text file that no longer gives the document",
         [](auto& s) { s.documents[0].reading.document.text = u"x"_s; }},
        {"a text file that does not decode", [](auto& s) { s.documents[0].originalTextFile->data = "\xFF"; }},
        {"a text file under another title", [](auto& s) { s.documents[0].reading.title = u"Notes.txt"_s; }},
        {"a text file reading that left the library",
         [](auto& s) {
             s.documents[0].isInLibrary = false;
             s.documents[0].lastPlayedAt = Date{5};
         }},
        {"an EPUB reading in a version 3 file", [](auto& s) { s.documents[1] = epubRecord(idNumber(2), "book"); }},
    };
    for (const auto& [name, change] : breaches) {
        ReadingStoreSnapshot broken = valid;
        change(broken);
        writeStore(broken);
        EXPECT_EQ(openFailure(), invalidData()) << name;
    }
}

TEST_F(ReadingStoreLoadTest, EPUBReadingsNeedVersionFourAndTheirExactOriginal) {
    const QByteArray book = "PK\x03\x04 the bytes of a book";
    const StoredReading epub = epubRecord(idNumber(1), book);
    keepOriginal(idNumber(1), book);
    writeStore(currentSnapshot({epub}, 4));
    auto store = open();
    ASSERT_TRUE(store) << describeStoreFailure(store.error()).toStdString();
    EXPECT_EQ(*test::runTask((*store)->library()), QList<StoredReading>{epub});

    const auto withRecord = [&](const std::function<void(StoredReading&)>& change) {
        StoredReading record = epub;
        change(record);
        writeStore(currentSnapshot({record}, 4));
        return openFailure();
    };
    EXPECT_EQ(withRecord([](auto& r) { r.isInLibrary = false, r.lastPlayedAt = Date{1}; }), invalidData());
    EXPECT_EQ(withRecord([](auto& r) { r.originalTextFile = LibraryTextFile{u"a.txt"_s, "a"}; }), invalidData());
    EXPECT_EQ(withRecord([](auto& r) { r.reading.epub.reset(); }), invalidData());
    EXPECT_EQ(withRecord([](auto& r) { r.originalEPUB.reset(); }), invalidData());
    EXPECT_EQ(withRecord([](auto& r) { r.reading.epub->packagePath.clear(); }), invalidData());
    EXPECT_EQ(withRecord([](auto& r) { r.originalEPUB->filename = u"book.zip"_s; }), invalidData());
    EXPECT_EQ(withRecord([](auto& r) { r.originalEPUB->sha256 = r.originalEPUB->sha256.toUpper(); }), invalidData());
}

TEST_F(ReadingStoreLoadTest, AMissingChangedOrLinkedOriginalFailsTheLoad) {
    const QByteArray book(5000, 'b');
    writeStore(currentSnapshot({epubRecord(idNumber(1), book)}, 4));
    const QString original = files().originalFile(idNumber(1));
    EXPECT_TRUE(test::isNoSuchFile(openFailure(), original));

    keepOriginal(idNumber(1), book.left(4999));
    EXPECT_EQ(openFailure(), invalidData());
    QByteArray changed = book;
    changed[2500] = 'c';
    keepOriginal(idNumber(1), changed);
    EXPECT_EQ(openFailure(), invalidData());

    // A link to a correct copy is refused.
    const QString copy = directory.write(u"elsewhere/copy.epub"_s, book);
    QFile::remove(original);
    ASSERT_TRUE(QFile::link(copy, original));
    EXPECT_EQ(openFailure(), invalidData());

    QFile::remove(original);
    keepOriginal(idNumber(1), book);
    fileSystem->failOn(FileError::Operation::open, original, EACCES);
    EXPECT_EQ(openFailure(), StoreFailure(FileError{FileError::Operation::open, EACCES, original}));
}

TEST_F(ReadingStoreLoadTest, OrphanedOriginalsArePrunedAtOpening) {
    const QByteArray book = "book";
    writeStore(currentSnapshot({epubRecord(idNumber(1), book), textRecord(idNumber(2))}, 4));
    keepOriginal(idNumber(1), book);
    keepOriginal(idNumber(2), "the text reading has no original");
    keepOriginal(idNumber(3), "deleted long ago");
    directory.write(kStore + u".originals/notes.epub"_s, "not an identifier");
    directory.write(kStore + u".originals/"_s + uuidString(idNumber(4)) + u".EPUB"_s, "other case");
    directory.write(kStore + u".originals/"_s + uuidString(idNumber(5)) + u".tmp"_s, "other extension");

    ASSERT_TRUE(open());
    EXPECT_EQ(directory.list(kStore + u".originals"_s),
              (QStringList{ReadingStoreFiles::originalFileName(idNumber(1)), uuidString(idNumber(4)) + u".EPUB"_s,
                           uuidString(idNumber(5)) + u".tmp"_s, u"notes.epub"_s}));

    // With no store file every identifier-named original is an orphan.
    QFile::remove(storePath());
    ASSERT_TRUE(open());
    EXPECT_EQ(
        directory.list(kStore + u".originals"_s),
        (QStringList{uuidString(idNumber(4)) + u".EPUB"_s, uuidString(idNumber(5)) + u".tmp"_s, u"notes.epub"_s}));
}

TEST_F(ReadingStoreLoadTest, AFailedLoadPrunesNothing) {
    writeStore(currentSnapshot({textRecord(idNumber(1))}));
    keepOriginal(idNumber(3), "orphan");
    fileSystem->failOn(FileError::Operation::read, files().progressFile(kRevision), EIO);
    EXPECT_EQ(openFailure(), StoreFailure(FileError{FileError::Operation::read, EIO, files().progressFile(kRevision)}));
    EXPECT_TRUE(directory.exists(kStore + u".originals/"_s + ReadingStoreFiles::originalFileName(idNumber(3))));

    // A failure to prune fails the load.
    fileSystem = std::make_shared<test::FaultyFileSystem>();
    fileSystem->failOn(FileError::Operation::remove, files().originalFile(idNumber(3)), EPERM);
    EXPECT_EQ(openFailure(),
              StoreFailure(FileError{FileError::Operation::remove, EPERM, files().originalFile(idNumber(3))}));
}

TEST_F(ReadingStoreLoadTest, StampsNeedEveryAttribute) {
    writeStore(currentSnapshot({textRecord(idNumber(1))}));
    fileSystem->alterStatus = [&](const QString& path, FileStatus& status) {
        if (path == storePath()) status.modified.reset();
    };
    EXPECT_EQ(openFailure(), invalidData());
    fileSystem->alterStatus = nullptr;
    EXPECT_TRUE(open());
}

}  // namespace
}  // namespace tavrine
