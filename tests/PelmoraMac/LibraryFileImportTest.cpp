// The file import of the document list over the real file reader, the real player and a real store in a
// temporary folder: every refusal with its words and the store untouched, the accepted edges, a file that
// delivers more than its reported size, the request guards, drops and the drop URL rules.
#include "PelmoraMac/Library/LibraryFilePanel.h"
#include "PelmoraMac/Library/LibraryFileReader.h"
#include "PelmoraMac/Library/LibraryImportFailure.h"
#include "PelmoraMac/Library/MacReadingPlayback.h"
#include "PelmoraMac/Library/ReaderFileDrop.h"
#include "PelmoraMac/Library/ReaderFileDropTarget.h"
#include "PelmoraMac/Library/ReaderHistoryModel.h"
#include "ReaderCore/MemoryDefaults.h"
#include "ReaderStorage/ReadingStore.h"
#include "ReaderUI/Library/ReadingLibrarySearch.h"
#include "ReaderUI/Player/ReadingPlayer.h"

#include "LibraryTesting.h"
#include "support/EPUBRealBookSupport.h"
#include "support/EventLoop.h"
#include "support/FakeClock.h"
#include "support/QtPrinters.h"
#include "support/RawZipBuilder.h"
#include "support/ReadOnlyFolder.h"
#include "support/RunTask.h"
#include "support/SharedData.h"
#include "support/StoreTesting.h"
#include "support/TemporaryDirectory.h"
#include "support/TestEPUBBuilder.h"

#include <gtest/gtest.h>
#include <QCoro/QCoroFuture>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QPromise>

#include <unistd.h>

#include <thread>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Collection = ReaderHistoryModel::Collection;
using test::Gate;
using test::runTask;

SavedReading readingOf(QString text) {
    return SavedReading{.id = QUuid::createUuid(),
                        .document = {.sections = {}, .text = std::move(text), .spans = {}},
                        .title = std::nullopt,
                        .epub = std::nullopt,
                        .source = std::nullopt,
                        .importedAt = {}};
}

class LibraryFileImportTest : public testing::Test {
protected:
    void SetUp() override {
        auto opened = ReadingStore::open(storeFolder.filePath(u"reading-store.json"_s), clock);
        ASSERT_TRUE(opened.has_value());
        store = std::move(*opened);
        for (const QString& text : {u"一冊目の本文"_s, u"二冊目の本文"_s}) {
            const SavedReading reading = readingOf(text);
            ASSERT_TRUE(runTask(store->addToLibrary(reading, ReadingProgress{}))->has_value());
            existing.append(reading.id);
            clock.advance(std::chrono::seconds(1));
        }
    }

    void TearDown() override {
        model.reset();
        playback.reset();
        EXPECT_TRUE(test::releaseStore(store));
    }

    ReaderHistoryModel& start(ReaderHistoryModel::FileLoader loader = ReaderHistoryModel::defaultFileLoader()) {
        playback =
            std::make_unique<MacReadingPlayback>(store, defaults, clock, MacReadingPlayback::readingFontPhraseWidth());
        model = std::make_unique<ReaderHistoryModel>(std::make_unique<ReadingLibrarySearch>(), *playback, nullptr,
                                                     std::move(loader));
        loading.start([this](CancellationToken token) { return model->load(std::move(token)); });
        EXPECT_TRUE(test::processEventsUntil([&] { return model->isLoaded(); }));
        return *model;
    }

    // Counts the load, waits for the gate held then (if any), then reads the file for real.
    QCoro::Task<LibraryFileReader::Result> gatedLoad(QUrl url, CancellationToken token) {
        ++loads;
        co_return co_await test::loadAfterGate(gate, std::move(url), std::move(token));
    }

    void import(const QString& path) {
        model->beginFileImport(ReaderHistoryModel::passThroughURL(QUrl::fromLocalFile(path)));
        EXPECT_TRUE(test::processEventsUntil([&] { return !model->isImportingFile(); })) << path.toStdString();
    }

    // The store's files, byte for byte.
    QMap<QString, QByteArray> storeFiles() const {
        QMap<QString, QByteArray> contents;
        for (const QString& name : storeFolder.list())
            if (!name.endsWith(u".lock"_s)) contents.insert(name, storeFolder.read(name).value_or("?"));
        return contents;
    }

    QList<QUuid> libraryIDs() const {
        QList<QUuid> ids;
        for (const StoredReading& row : model->library()) ids.append(row.id());
        return ids;
    }

    // The notice and state of a successful import of the reading whose text starts with textStart.
    void expectImported(const QString& textStart) {
        ASSERT_EQ(model->library().size(), existing.size() + 1) << model->fileImportMessage().value_or(QString());
        const auto added = std::find_if(model->library().cbegin(), model->library().cend(),
                                        [&](const StoredReading& row) { return !existing.contains(row.id()); });
        ASSERT_NE(added, model->library().cend());
        const QUuid id = added->id();
        imported = *added;
        EXPECT_EQ(model->collection(), Collection::library);
        EXPECT_EQ(model->query(), QString());
        EXPECT_EQ(model->selectedID(), id);
        EXPECT_EQ(playback->player().readingID(), id);
        EXPECT_EQ(model->fileImportMessage(), ReaderHistoryModel::kFileImported);
        EXPECT_EQ(model->fileImportDetails(), std::nullopt);
        EXPECT_FALSE(model->fileImportFailed());
        EXPECT_TRUE(added->reading.document.text.startsWith(textStart));
        existing.prepend(id);
    }

    test::TemporaryDirectory storeFolder;
    test::TemporaryDirectory files;
    test::FakeClock clock;
    MemoryDefaults defaults;
    std::shared_ptr<ReadingStore> store;
    std::unique_ptr<MacReadingPlayback> playback;
    std::unique_ptr<ReaderHistoryModel> model;
    TaskHandle loading;
    QList<QUuid> existing;
    std::shared_ptr<Gate> gate;
    int loads = 0;
    // The reading expectImported() found.
    StoredReading imported;
};

const QString kTooLongDetails =
    u"テキストファイルは本文500,000 UTF-16単位、元ファイル1,500,003バイトまでです。UTF-16単位はアプリが文字の位置を数える単位で、絵文字などは一文字でも複数単位になります。UTF-8（BOM可）の .txt に対応します。"_s;
const QString kEPUBDetails =
    u"EPUBは元ファイル32 MiB、展開後64 MiB、抽出本文500,000 UTF-16単位までです。UTF-16単位は文字の位置を数える単位で、一文字が複数単位になることがあります。目次10,000項目など、構造ごとの上限もあります。DRMなしの単一構成・リフロー型EPUB 2/3に対応します。"_s;
const QString kUnsupported = u"対応するファイルは .txt（UTF-8）と .epub です。単一の対応ファイルを選んでください。"_s;
const QString kNotRegular =
    u"フォルダや通常のファイル以外は追加できません。単一の .txt または .epub を選んでください。"_s;

// The EPUB reader's own texts group the cases a user cannot tell apart; an import's message has texts of
// its own for the limits and for unsafe XML and takes the reader's for every other failure.
TEST(LibraryImportFailure, EPUBFailuresAreWordedByGroupAndTheImportFallsBackOnTheReadersOwnTexts) {
    using Failure = EPUBReader::Failure;
    using Kind = Failure::Kind;
    using Limit = EPUBReader::ResourceLimit;
    EXPECT_EQ(epubFailureMessage(Failure::limit(Limit::navigation)), epubFailureMessage(Failure::limit(Limit::depth)));
    EXPECT_NE(epubFailureMessage(Failure::limit(Limit::textUTF16)), epubFailureMessage(Failure::limit(Limit::depth)));
    EXPECT_EQ(epubFailureMessage(Failure::of(Kind::ambiguousContent)),
              epubFailureMessage(Failure::of(Kind::invalidLimits)));
    EXPECT_TRUE(epubFailureMessage(Failure::cancelled()).isEmpty());
    EXPECT_TRUE(importFailureMessage(importFailureOf(Failure::cancelled())).isEmpty());

    for (const Kind kind : enumCases<Kind>()) {
        if (kind == Kind::cancelled || kind == Kind::limit) continue;
        SCOPED_TRACE(int(kind));
        const Failure failure = Failure::of(kind);
        EXPECT_FALSE(epubFailureMessage(failure).isEmpty());
        if (kind == Kind::unsafeXML)
            EXPECT_NE(importFailureMessage(failure), epubFailureMessage(failure));
        else
            EXPECT_EQ(importFailureMessage(failure), epubFailureMessage(failure));
    }
    for (const Limit limit : enumCases<Limit>()) {
        SCOPED_TRACE(int(limit));
        EXPECT_FALSE(epubFailureMessage(Failure::limit(limit)).isEmpty());
        EXPECT_NE(importFailureMessage(Failure::limit(limit)), epubFailureMessage(Failure::limit(limit)));
    }
}

TEST_F(LibraryFileImportTest, RefusesBadFilesWithTheirWordsAndLeavesTheStoreAlone) {
    struct Row {
        QString name;
        std::function<void(const QString&)> make;
        QString message;
        std::optional<QString> details;
    };
    auto write = [](QByteArray bytes) {
        return [bytes](const QString& path) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(bytes);
        };
    };
    test::TestEPUBBuilder unsafe;
    unsafe.setFile(QString::fromLatin1(test::TestEPUBBuilder::kChapterPath), "<!DOCTYPE html [ ]><html/>");
    QList<Row> rows = {
        {u"book.epub"_s, [](const QString& path) { ASSERT_TRUE(QDir().mkdir(path)); }, kNotRegular, std::nullopt},
        {u"notes.md"_s, write("本文"), kUnsupported, std::nullopt},
        {u"notes"_s, write("本文"), kUnsupported, std::nullopt},
        {u"empty.txt"_s, write(""), u"ファイルに読む文章がありません。空白や改行だけのファイルは追加できません。"_s,
         std::nullopt},
        {u"latin1.txt"_s, write("caf\xe9"),
         u"UTF-8として読めませんでした。文字コードをUTF-8にして保存し、もう一度選んでください。"_s, std::nullopt},
        {u"long.txt"_s, write(QByteArray(LibraryTextFile::byteLimit + 1, 'a')),
         u"ファイルが取り込み上限を超えています。内容を切り捨てず、追加を中止しました。本文を複数の短いファイルに分けて、一つずつ追加してください。"_s,
         kTooLongDetails},
        {u"sparse.epub"_s,
         [](const QString& path) {
             QFile file(path);
             ASSERT_TRUE(file.open(QIODevice::WriteOnly));
             ASSERT_TRUE(file.resize(LibraryFileImport::epubByteLimit + 1));
         },
         u"本のファイルが取り込み上限を超えています。内容を切り捨てず、追加を中止しました。小さいファイルを選んでください。"_s,
         kEPUBDetails},
        {u"entries.epub"_s, write(test::RawZipBuilder().build().bytes),
         u"本の展開サイズや構造が処理上限を超えています。内容を切り捨てず、追加を中止しました。別の本を選んでください。"_s,
         kEPUBDetails},
        {u"unsafe.epub"_s, write(unsafe.build()),
         u"本の構造を安全に読み込めませんでした。元ファイルを確認するか、別の本を選んでください。"_s,
         u"外部ファイルを参照するXML宣言や未対応の文字参照は読み込みません。部分的な本として保存せず、既存の文書を保持します。"_s},
        {u"broken.epub"_s, write(QByteArray(21, '\0')),
         epubFailureMessage(EPUBReader::Failure::of(EPUBReader::Failure::Kind::invalidArchive)), std::nullopt},
        {u"x.txt"_s, [](const QString& path) { ASSERT_TRUE(QFile::link(u"/dev/zero"_s, path)); }, kNotRegular,
         std::nullopt},
    };
    if (::geteuid() != 0)
        rows.append(
            {u"locked.txt"_s,
             [](const QString& path) {
                 QFile file(path);
                 ASSERT_TRUE(file.open(QIODevice::WriteOnly));
                 file.write("本文");
                 file.close();
                 ASSERT_TRUE(file.setPermissions(QFileDevice::Permissions()));
             },
             u"ファイルを読み出せませんでした。ファイルの場所と読み取り権限を確認し、もう一度選んでください。"_s,
             std::nullopt});

    ReaderHistoryModel& model = start();
    const QMap<QString, QByteArray> before = storeFiles();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name.toStdString());
        const QString path = files.filePath(row.name);
        row.make(path);
        import(path);
        EXPECT_TRUE(model.fileImportFailed());
        EXPECT_EQ(model.fileImportMessage(), row.message);
        EXPECT_EQ(model.fileImportDetails(), row.details);
        EXPECT_FALSE(model.isSavingFile());
    }
    EXPECT_EQ(storeFiles(), before);
    const QList<QUuid> listed = libraryIDs();
    EXPECT_EQ(QSet<QUuid>(listed.cbegin(), listed.cend()), QSet<QUuid>(existing.cbegin(), existing.cend()));
    EXPECT_EQ(listed.size(), 2);
}

TEST_F(LibraryFileImportTest, AcceptsFilesAtTheirEdges) {
    ReaderHistoryModel& model = start();
    // A byte-order mark and 500,000 kana: exactly the byte limit, and the text limit too.
    const QString kana(LibraryTextFile::utf16Limit, u'あ');
    import(files.write(u"full.txt"_s, "\xEF\xBB\xBF" + kana.toUtf8()));
    expectImported(u"ああ"_s);
    EXPECT_EQ(imported.reading.document.text.size(), LibraryTextFile::utf16Limit);

    const QString kusamakura = test::sharedDataFile(u"epub/kusamakura.epub"_s);
    TAVRINE_SKIP_WITHOUT(kusamakura, "epub/kusamakura.epub");
    // As published: its archive names are UTF-8 without the flag that says so.
    QFile published(kusamakura);
    ASSERT_TRUE(published.open(QIODevice::ReadOnly));
    import(files.write(u"BOOK.EPUB"_s, published.readAll()));
    expectImported(QString());
    EXPECT_TRUE(imported.reading.epub.has_value());

    // Switched away first: the import brings the library back, with an empty query.
    model.setCollection(Collection::history);
    model.setQuery(u"見つからない"_s);
    import(files.write(u"NOTE.TXT"_s, "覚え書き"));
    expectImported(u"覚え書き"_s);
}

// The store's folder on a read-only file system (a snapshot, a home mounted read-only): the library
// shows its readings, and an import says that it was not saved, leaving every file as it was.
TEST_F(LibraryFileImportTest, OnAReadOnlyStoreTheLibraryShowsAndAnImportSaysItWasNotSaved) {
    ASSERT_TRUE(test::releaseStore(store));
    const test::ReadOnlyFolder readOnly(storeFolder.path());
    TAVRINE_SKIP_UNLESS_READ_ONLY(readOnly);
    SCOPED_TRACE(*readOnly.way());
    auto reopened = ReadingStore::open(storeFolder.filePath(u"reading-store.json"_s), clock);
    ASSERT_TRUE(reopened.has_value()) << describeStoreFailure(reopened.error()).toStdString();
    store = std::move(*reopened);
    const QMap<QString, QByteArray> before = storeFiles();
    const QStringList names = storeFolder.list();

    ReaderHistoryModel& model = start();
    QStringList texts;
    for (const StoredReading& row : model.library()) texts.append(row.reading.document.text);
    texts.sort();
    EXPECT_EQ(texts, (QStringList{u"一冊目の本文"_s, u"二冊目の本文"_s}));

    import(files.write(u"note.txt"_s, "覚え書き"));
    EXPECT_TRUE(model.fileImportFailed());
    EXPECT_EQ(
        model.fileImportMessage(),
        u"ファイルをライブラリに保存できませんでした。既存の文書は保持しています。保存先を確認してから再試行してください。"_s);
    EXPECT_EQ(libraryIDs().size(), 2);
    EXPECT_EQ(storeFiles(), before);
    EXPECT_EQ(storeFolder.list(), names);
}

// Reports a tiny file and delivers bytes without end, counting them.
class GrowingFileAccess final : public LibraryFileAccess {
public:
    struct Endless final : ReadableFile {
        qint64* delivered;
        explicit Endless(qint64* count) : delivered(count) {}
        tl::expected<QByteArray, FileError> read(qsizetype maxBytes) override {
            *delivered += maxBytes;
            return QByteArray(maxBytes, 'a');
        }
    };
    tl::expected<Attributes, FileError> attributes(const QString&) override {
        return Attributes{.isRegularFile = true, .size = 10};
    }
    tl::expected<std::unique_ptr<ReadableFile>, FileError> open(const QString&) override {
        return std::make_unique<Endless>(&delivered);
    }
    qint64 delivered = 0;
};

TEST_F(LibraryFileImportTest, StopsReadingAFileThatDeliversMoreThanItsSize) {
    auto access = std::make_shared<GrowingFileAccess>();
    ReaderHistoryModel& model = start([access](QUrl url, CancellationToken token) {
        return LibraryFileReader::load(std::move(url), std::move(token), access);
    });
    import(files.filePath(u"growing.txt"_s));
    EXPECT_EQ(access->delivered, LibraryTextFile::byteLimit + 1);
    EXPECT_EQ(model.fileImportDetails(), kTooLongDetails);
}

TEST_F(LibraryFileImportTest, GuardsRequestsAgainstNewerRequestsCancellationAndTheUser) {
    ReaderHistoryModel& model = start([this](QUrl url, CancellationToken token) { return gatedLoad(url, token); });
    auto request = [&](const QString& name, const QByteArray& text) {
        model.beginFileImport(ReaderHistoryModel::passThroughURL(QUrl::fromLocalFile(files.write(name, text))));
    };
    auto ended = [&] { return test::processEventsUntil([&] { return !model.fileTask().isRunning(); }); };

    // A second request while the first reads: the first ends silently, the second waits for it.
    gate = std::make_shared<Gate>();
    request(u"first.txt"_s, "一つ目");
    ASSERT_TRUE(test::processEventsUntil([&] { return loads == 1; }));
    request(u"second.txt"_s, "二つ目");
    QCoreApplication::processEvents();
    EXPECT_EQ(loads, 1);
    EXPECT_TRUE(model.isImportingFile());
    gate->release();
    ASSERT_TRUE(ended());
    EXPECT_EQ(loads, 2);
    expectImported(u"二つ目"_s);

    // Cancelled while reading: the flags drop at once; the late end says and stores nothing.
    gate = std::make_shared<Gate>();
    request(u"third.txt"_s, "三つ目");
    ASSERT_TRUE(test::processEventsUntil([&] { return loads == 3; }));
    model.cancelFileImport();
    EXPECT_FALSE(model.isImportingFile());
    gate->release();
    ASSERT_TRUE(ended());
    EXPECT_EQ(model.fileImportMessage(), std::nullopt);
    EXPECT_EQ(model.library().size(), existing.size());

    // Cancelled while saving: ignored, the import completes.
    gate.reset();
    bool cancelledWhileSaving = false;
    const auto connection = QObject::connect(&model, &ReaderHistoryModel::isSavingFileChanged, &model, [&] {
        if (!model.isSavingFile()) return;
        model.cancelFileImport();
        cancelledWhileSaving = model.isSavingFile() && model.isImportingFile();
    });
    request(u"fourth.txt"_s, "四つ目");
    ASSERT_TRUE(ended());
    QObject::disconnect(connection);
    EXPECT_TRUE(cancelledWhileSaving);
    expectImported(u"四つ目"_s);

    // A row chosen while a drop's place is still coming: abandoned before the file is read, silently.
    auto place = std::make_shared<Gate>();
    const QUrl fifth = QUrl::fromLocalFile(files.write(u"fifth.txt"_s, "五つ目"));
    model.beginFileImport(
        [place, fifth](CancellationToken) -> QCoro::Task<tl::expected<QUrl, LibraryImportFailure>> {
            QFuture<void> opened = place->promise->future();
            co_await opened;
            const QUrl url = fifth;
            co_return url;
        },
        [] { return true; });
    model.select(existing.last());
    place->release();
    ASSERT_TRUE(ended());
    EXPECT_EQ(loads, 4);
    EXPECT_EQ(model.fileImportMessage(), std::nullopt);
    EXPECT_FALSE(model.isImportingFile());
    EXPECT_EQ(model.library().size(), existing.size());

    // Another reading opened while a chosen file is read: the file is stored, nothing is said or selected.
    gate = std::make_shared<Gate>();
    request(u"sixth.txt"_s, "六つ目");
    ASSERT_TRUE(test::processEventsUntil([&] { return loads == 5; }));
    model.select(existing[1]);
    ASSERT_TRUE(test::processEventsUntil([&] { return playback->player().readingID() == existing[1]; }));
    gate->release();
    ASSERT_TRUE(ended());
    EXPECT_EQ(model.library().size(), existing.size() + 1);
    EXPECT_EQ(model.selectedID(), existing[1]);
    EXPECT_EQ(model.fileImportMessage(), std::nullopt);
    EXPECT_FALSE(model.isImportingFile());
}

TEST_F(LibraryFileImportTest, TakesADropOfOneLocalFile) {
    ReaderHistoryModel& model = start();
    const QString hint = kDropHint;
    const QUrl file = QUrl::fromLocalFile(files.write(u"dropped.txt"_s, "落とした本文"));

    EXPECT_TRUE(model.importDroppedFiles({file, file}));
    EXPECT_FALSE(model.isImportingFile());
    EXPECT_TRUE(model.fileImportFailed());
    EXPECT_EQ(model.fileImportMessage(),
              u"一度に追加できるのは一つのファイルです。単一の .txt または .epub をドロップしてください。"_s + hint);
    const QString unsupported =
        u"ファイルの場所を受け取れませんでした。ファイルマネージャーの単一ファイルを使ってください。文章やWebリンクは追加できません。"_s +
        hint;
    for (const QList<QUrl>& urls : {QList<QUrl>{}, QList<QUrl>{QUrl(u"https://example.com/a.txt"_s)}}) {
        model.clearFileNotice();
        EXPECT_TRUE(model.importDroppedFiles(urls));
        EXPECT_EQ(model.fileImportMessage(), unsupported);
        EXPECT_FALSE(model.isImportingFile());
    }

    // Refused while the application cannot take it: nothing changes.
    EXPECT_FALSE(model.importDroppedFiles({file}, [] { return false; }));
    EXPECT_EQ(model.fileImportMessage(), unsupported);

    EXPECT_TRUE(model.importDroppedFiles({QUrl(u"file://server/share/a.txt"_s)}));
    ASSERT_TRUE(test::processEventsUntil([&] { return !model.isImportingFile(); }));
    EXPECT_EQ(
        model.fileImportMessage(),
        u"ローカルファイルの場所を受け取れませんでした。ファイルマネージャーの単一ファイルを使ってください。"_s + hint);

    // The application stops taking files once the place is known.
    int asked = 0;
    EXPECT_TRUE(model.importDroppedFiles({file}, [&] { return ++asked == 1; }));
    ASSERT_TRUE(test::processEventsUntil([&] { return !model.isImportingFile(); }));
    EXPECT_EQ(
        model.fileImportMessage(),
        u"今はファイルを追加できません。取り込みを終えるか、設定や確認画面を閉じてから再試行してください。"_s + hint);
    EXPECT_EQ(model.library().size(), existing.size());

    EXPECT_TRUE(model.importDroppedFiles({file}, [] { return true; }));
    ASSERT_TRUE(test::processEventsUntil([&] { return !model.isImportingFile(); }));
    expectImported(u"落とした本文"_s);
}

TEST_F(LibraryFileImportTest, DropTargetSaysWhetherItCanReceiveAndHandsOverTheDrop) {
    ReaderHistoryModel& model = start();
    QWidget window;
    window.resize(640, 420);
    bool blocked = false;
    ReaderFileDropTarget target(
        window, [&] { return !blocked && !model.isImportingFile(); },
        [&](const QList<QUrl>& urls) { return model.importDroppedFiles(urls); });
    window.show();

    const QPoint centre = window.rect().center();
    auto drag = [&](const QMimeData& data) {
        QDragEnterEvent enter(centre, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&window, &enter);
        EXPECT_TRUE(target.isTargeted());
        EXPECT_TRUE(target.overlay() && target.overlay()->testAttribute(Qt::WA_TransparentForMouseEvents));
        QDragMoveEvent move(centre, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&window, &move);
        return std::pair(target.overlay() ? target.overlay()->accessibleName() : QString(),
                         move.isAccepted() ? move.dropAction() : Qt::IgnoreAction);
    };
    auto drop = [&](const QMimeData& data) {
        QDropEvent dropped(centre, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&window, &dropped);
        EXPECT_FALSE(target.isTargeted());
        EXPECT_EQ(target.overlay(), nullptr);
        return dropped.isAccepted();
    };

    QMimeData file;
    file.setUrls({QUrl::fromLocalFile(files.write(u"dropped.txt"_s, "落とした本文"))});
    // Refused while the application cannot take a file: the overlay says so and the drop does nothing.
    blocked = true;
    EXPECT_EQ(drag(file), std::pair(ReaderFileDropTarget::kUnavailableTitle, Qt::IgnoreAction));
    EXPECT_FALSE(drop(file));
    EXPECT_FALSE(model.isImportingFile());
    blocked = false;

    // Two files: told, nothing imported, and what plays goes on playing.
    ReadingPlayer& player = playback->player();
    ASSERT_TRUE(player.apply(ImportedReading::fromText(u"再生中の本文です。"_s, false, clock), true));
    player.startPlayback(true);
    ASSERT_EQ(player.session().status, ReadingSession::Status::playing);
    QMimeData two;
    two.setUrls({QUrl::fromLocalFile(u"/tmp/a.txt"_s), QUrl::fromLocalFile(u"/tmp/b.txt"_s)});
    EXPECT_EQ(drag(two), std::pair(ReaderFileDropTarget::kTitle, Qt::CopyAction));
    EXPECT_TRUE(drop(two));
    EXPECT_TRUE(model.fileImportMessage()->startsWith(u"一度に追加できるのは一つのファイルです。"_s));
    EXPECT_FALSE(model.isImportingFile());
    EXPECT_EQ(player.session().status, ReadingSession::Status::playing);
    player.pause();
    // A text: no file at all.
    QMimeData text;
    text.setText(u"ただの文章"_s);
    drag(text);
    EXPECT_TRUE(drop(text));
    EXPECT_TRUE(model.fileImportMessage()->startsWith(u"ファイルの場所を受け取れませんでした。"_s));

    drag(file);
    EXPECT_TRUE(drop(file));
    ASSERT_TRUE(test::processEventsUntil([&] { return !model.isImportingFile(); }));
    expectImported(u"落とした本文"_s);

    // Leaving takes the overlay away.
    drag(file);
    QDragLeaveEvent leave;
    QCoreApplication::sendEvent(&window, &leave);
    EXPECT_FALSE(target.isTargeted());
    EXPECT_EQ(target.overlay(), nullptr);
}

TEST_F(LibraryFileImportTest, FilePanelImportsATypedPathAndNothingWhenClosedAndReturnsToItsFolder) {
    ReaderHistoryModel& model = start();
    QWidget window;
    window.show();
    auto panel = [&] {
        openLibraryFilePanel(window, model, defaults);
        auto* dialog = window.findChild<QFileDialog*>(u"libraryFilePanel"_s);
        EXPECT_TRUE(dialog && dialog->isVisible() && dialog->windowModality() == Qt::WindowModal);
        return dialog;
    };
    const auto folderOf = [](QFileDialog* dialog) { return QFileInfo(dialog->directory().path()).canonicalFilePath(); };
    const QString home = QFileInfo(QDir::homePath()).canonicalFilePath();

    // Nothing imported yet: the home folder.
    QFileDialog* closed = panel();
    ASSERT_NE(closed, nullptr);
    EXPECT_EQ(folderOf(closed), home);
    closed->reject();
    QCoreApplication::processEvents();
    EXPECT_FALSE(model.isImportingFile());
    EXPECT_EQ(model.fileImportMessage(), std::nullopt);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    const QString path = files.write(u"chosen.txt"_s, "選んだ本文");
    QFileDialog* dialog = panel();
    ASSERT_NE(dialog, nullptr);
    auto* name = dialog->findChild<QLineEdit*>(u"fileNameEdit"_s);
    ASSERT_NE(name, nullptr);
    name->setText(path);
    static_cast<QDialog*>(dialog)->accept();
    ASSERT_TRUE(test::processEventsUntil([&] { return model.library().size() > existing.size(); }));
    ASSERT_TRUE(test::processEventsUntil([&] { return !model.isImportingFile(); }));
    expectImported(u"選んだ本文"_s);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    // The next panel opens where the file was chosen; once that folder is gone, at home again.
    QFileDialog* again = panel();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(folderOf(again), QFileInfo(files.path()).canonicalFilePath());
    again->reject();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    defaults.setString(kLibraryFilePanelFolderKey, files.filePath(u"gone"_s));
    QFileDialog* gone = panel();
    ASSERT_NE(gone, nullptr);
    EXPECT_EQ(folderOf(gone), home);
    gone->reject();
}

TEST(ReaderFileDropTest, AcceptsOnlyPlainLocalFileURLs) {
    using Failure = ReaderFileDrop::Failure;
    auto accepted = [](const QByteArray& data) { return ReaderFileDrop::acceptedFileURL(data); };
    EXPECT_EQ(accepted("file:///home/a/b.txt"), QUrl(u"file:///home/a/b.txt"_s));
    EXPECT_EQ(accepted("file://localhost/home/a/b.txt")->toLocalFile(), u"/home/a/b.txt"_s);
    for (const char* refused :
         {"", "file://server/a.txt", "file://user@localhost/a.txt", "file://:pw@/a.txt", "file://localhost:8/a.txt",
          "file:///a.txt?x", "file:///a.txt#x", "file:a.txt", "http:///a.txt", "/a.txt", "file://%zz/a"})
        EXPECT_EQ(accepted(refused), tl::unexpected(Failure::invalidURL)) << refused;

    const QByteArray prefix = "file:///";
    const QByteArray longest = prefix + QByteArray(ReaderFileDrop::kMaximumURLBytes - prefix.size(), 'a');
    EXPECT_TRUE(accepted(longest).has_value());
    EXPECT_EQ(accepted(longest + 'a'), tl::unexpected(Failure::invalidURL));
}

// A dropped item whose file URL comes when the test says so.
class SlowItem final : public ReaderDropItem {
public:
    explicit SlowItem(bool offersFileURL = true) : m_offers(offersFileURL) {}
    bool hasFileURL() const override { return m_offers; }
    std::function<void()> loadFileURL(Completion done) override {
        completion = std::move(done);
        return [this] { ++stops; };
    }
    Completion completion;
    int stops = 0;

private:
    bool m_offers;
};

class ReaderFileDropResolveTest : public testing::Test {
protected:
    using Result = ReaderFileDrop::Result;

    void resolve(QList<std::shared_ptr<ReaderDropItem>> items, CancellationToken token = {}) {
        outcome.reset();
        task.start([&](CancellationToken) -> QCoro::Task<void> {
            return [](std::optional<Result>& out, QList<std::shared_ptr<ReaderDropItem>> dropped, const Clock& at,
                      CancellationToken cancel) -> QCoro::Task<void> {
                auto resolving = ReaderFileDrop::resolve(std::move(dropped), ReaderHistoryModel::kDropTimeout, at,
                                                         std::move(cancel));
                out = co_await resolving;
            }(outcome, std::move(items), clock, std::move(token));
        });
    }
    bool settled() {
        return test::processEventsUntil([&] { return outcome.has_value(); });
    }
    void spin() {
        for (int turn = 0; turn < 5; ++turn) QCoreApplication::processEvents();
    }
    static Result failed(LibraryImportFailure failure) { return tl::unexpected(std::move(failure)); }

    test::FakeClock clock;
    TaskHandle task;
    std::optional<Result> outcome;
};

TEST_F(ReaderFileDropResolveTest, TheFirstOfLoadTimeoutAndCancellationDecides) {
    // Times out at exactly ten seconds; the load is stopped and its late completion ignored.
    auto slow = std::make_shared<SlowItem>();
    resolve({slow});
    clock.advance(std::chrono::milliseconds(9'999));
    spin();
    EXPECT_FALSE(outcome.has_value());
    clock.advance(std::chrono::milliseconds(1));
    ASSERT_TRUE(settled());
    EXPECT_EQ(*outcome, failed(ReaderFileDrop::Failure::timedOut));
    EXPECT_EQ(slow->stops, 1);
    slow->completion(QByteArray("file:///late.txt"), false);
    spin();
    EXPECT_EQ(*outcome, failed(ReaderFileDrop::Failure::timedOut));

    // Cancelled before the wait is installed: the load is stopped as soon as it has started.
    CancellationToken cancelled;
    cancelled.cancel();
    auto early = std::make_shared<SlowItem>();
    resolve({early}, cancelled);
    ASSERT_TRUE(settled());
    EXPECT_EQ(*outcome, failed(ImportCancelled{}));
    EXPECT_EQ(early->stops, 1);

    // Cancelled while loading.
    CancellationToken token;
    auto loading = std::make_shared<SlowItem>();
    resolve({loading}, token);
    spin();
    token.cancel();
    ASSERT_TRUE(settled());
    EXPECT_EQ(*outcome, failed(ImportCancelled{}));
    EXPECT_EQ(loading->stops, 1);
    EXPECT_EQ(clock.pendingAlarms(), 0U);

    // A completion from another thread, late but within the time.
    auto other = std::make_shared<SlowItem>();
    resolve({other});
    clock.advance(std::chrono::seconds(9));
    std::thread([&] { other->completion(QByteArray("file:///home/a.txt"), false); }).join();
    ASSERT_TRUE(settled());
    EXPECT_EQ(*outcome, Result(QUrl(u"file:///home/a.txt"_s)));
}

TEST_F(ReaderFileDropResolveTest, LoadedBytesAndItemsAtTheirEdges) {
    auto loaded = [&](std::optional<QByteArray> data, bool failure = false) {
        auto item = std::make_shared<SlowItem>();
        resolve({item});
        item->completion(std::move(data), failure);
        EXPECT_TRUE(settled());
        return *outcome;
    };
    const QByteArray prefix = "file:///";
    const QByteArray longest = prefix + QByteArray(ReaderFileDrop::kMaximumURLBytes - prefix.size(), 'a');
    EXPECT_TRUE(loaded(longest).has_value());
    EXPECT_EQ(loaded(longest + 'a'), failed(ReaderFileDrop::Failure::invalidURL));
    EXPECT_EQ(loaded(QByteArray()), failed(ReaderFileDrop::Failure::invalidURL));
    EXPECT_EQ(loaded(std::nullopt), failed(ReaderFileDrop::Failure::invalidURL));
    EXPECT_EQ(loaded(std::nullopt, true), failed(ReaderFileDrop::Failure::unsupportedProvider));

    resolve({std::make_shared<SlowItem>(), std::make_shared<SlowItem>()});
    ASSERT_TRUE(settled());
    EXPECT_EQ(*outcome, failed(ReaderFileDrop::Failure::multipleFiles));
    resolve({});
    ASSERT_TRUE(settled());
    EXPECT_EQ(*outcome, failed(ReaderFileDrop::Failure::multipleFiles));
    resolve({std::make_shared<SlowItem>(false)});
    ASSERT_TRUE(settled());
    EXPECT_EQ(*outcome, failed(ReaderFileDrop::Failure::unsupportedProvider));
}

}  // namespace
}  // namespace tavrine
