// The child process of the crash test: opens the store, then changes it at random until it is killed,
// writing down in its journal what each operation will leave and what it left.
//
//     store-crash-worker <store file> <shadow folder> <journal file> <seed>
//
// What an operation will leave is learnt from a shadow store: a copy of the store's folder, opened
// beside it, that receives every operation first. Both stores draw the same dates and identifiers, so
// the shadow's state after an operation is the state the real store must have after it.
#include "ReaderStorage/ReadingStore.h"
#include "ReaderStorage/internal/PosixFileSystem.h"

#include "StoreCrashJournal.h"
#include "support/FakeClock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

#include <random>

namespace tavrine::test::crash {
namespace {
using namespace Qt::StringLiterals;

// One change, applied alike to either store; it gives its outcome in words that do not depend on which
// store ran it.
using Operation = std::function<QCoro::Task<QString>(ReadingStore&)>;

template <typename T>
QCoro::Task<QString> outcomeOf(QCoro::Task<StoreResult<T>> task) {
    const StoreResult<T> result = co_await task;
    if (result) co_return u"ok"_s;
    const auto* file = std::get_if<FileError>(&result.error());
    co_return file ? u"file error %1 %2"_s.arg(static_cast<int>(file->operation)).arg(file->code)
                   : describeStoreFailure(result.error());
}

// Identifiers that two sources with one seed give alike.
ReadingStore::IdentifierSource identifiers(quint64 seed) {
    auto count = std::make_shared<int>(0);
    return [seed, count] { return QUuid::createUuidV5(QUuid(), u"import-%1-%2"_s.arg(seed).arg(++*count)); };
}

bool copyFolder(const QString& from, const QString& to) {
    if (!QDir().mkpath(to)) return false;
    for (const QFileInfo& entry : QDir(from).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
        const QString target = to + u'/' + entry.fileName();
        if (entry.isDir() ? !copyFolder(entry.filePath(), target) : !QFile::copy(entry.filePath(), target))
            return false;
    }
    return true;
}

EPUBBook bookOf(const QString& text) {
    EPUBBook book;
    book.document = ReadingDocument{QList{ReadingDocument::Section{u"c1"_s, std::nullopt, 0, text.size()}}, text, {}};
    book.packagePath = u"OEBPS/content.opf"_s;
    return book;
}

// Runs an operation on a store: the digest of the state it leaves, then its outcome.
QCoro::Task<QString> digestAfter(ReadingStore* store, Operation operation) {
    auto run = operation(*store);
    const QString outcome = co_await run;
    auto current = store->currentState();
    const ReadingStoreState state = co_await current;
    co_return digestOf(state) + u' ' + outcome;
}

struct Worker {
    QString storeFile;
    QString shadowFolder;
    int journal;
    quint64 seed;
    std::mt19937_64 random{seed};
    FakeClock clock{};

    QCoro::Task<void> run() {
        auto real = ReadingStore::open(storeFile, std::make_shared<PosixFileSystem>(), clock, identifiers(seed));
        if (!real) co_return stop(u"problem the store does not open: "_s + describeStoreFailure(real.error()));
        QDir(shadowFolder).removeRecursively();
        if (!copyFolder(QFileInfo(storeFile).path(), shadowFolder)) co_return stop(u"problem cannot copy"_s);
        auto shadow = ReadingStore::open(shadowFolder + u'/' + QFileInfo(storeFile).fileName(),
                                         std::make_shared<PosixFileSystem>(), clock, identifiers(seed));
        if (!shadow) co_return stop(u"problem the copy does not open"_s);

        auto opened = (*real)->currentState();
        const ReadingStoreState state = co_await opened;
        write(u"open "_s + digestOf(state));
        for (int n = 0; n < 100'000; ++n) {
            auto current = (*shadow)->currentState();
            const ReadingStoreState before = co_await current;
            clock.setNow(Date{1e6 + static_cast<double>(seed) * 1e5 + n});
            const Operation operation = choose(before, n);

            auto onShadow = digestAfter(shadow->get(), operation);
            const QString expected = co_await onShadow;
            write(u"begin %1 %2"_s.arg(n).arg(expected.left(64)));
            auto onReal = digestAfter(real->get(), operation);
            const QString reached = co_await onReal;
            if (reached != expected) co_return stop(u"problem the store and its copy disagree: "_s + reached);
            write(u"done %1 %2"_s.arg(n).arg(expected.left(64)));
        }
        stop(u"problem never killed"_s);
    }

    void write(const QString& line) {
        const QByteArray bytes = line.toUtf8() + '\n';
        // One write(2) per line: a kill leaves at most the last line cut short.
        if (::write(journal, bytes.constData(), static_cast<size_t>(bytes.size())) != bytes.size()) std::abort();
    }
    void stop(const QString& problem) {
        write(problem);
        QCoreApplication::exit(2);
    }

    qint64 below(qint64 bound) { return std::uniform_int_distribution<qint64>(0, bound - 1)(random); }
    bool chance(double p) { return std::bernoulli_distribution(p)(random); }

    QString randomText() {
        static const QStringList words{u"吾輩は"_s, u"猫である。"_s,   u"名前は"_s, u"まだ無い。"_s, u"The cat "_s,
                                       u"sat "_s,   u"on the mat. "_s, u"\n"_s,     u"段落"_s};
        QString text = u"本"_s;
        for (qint64 count = 3 + below(60); count > 0; --count) text += words[below(words.size())];
        return text;
    }
    // A stored reading and the length of its text, or sometimes an identifier the store does not hold.
    std::pair<QUuid, qsizetype> pick(const QList<StoredReading>& records) {
        if (records.isEmpty() || chance(0.05)) return {QUuid::createUuidV5(QUuid(), QString::number(below(1000))), 0};
        const StoredReading& record = records[below(records.size())];
        return {record.id(), record.reading.document.text.size()};
    }
    // A new identifier, or sometimes one that was deleted or is stored.
    QUuid newIdentifier(const ReadingStoreState& state) {
        if (chance(0.05) && !state.tombstones.isEmpty()) return *state.tombstones.cbegin();
        if (chance(0.05) && !state.library.isEmpty()) return state.library.first().id();
        return QUuid::createUuidV5(QUuid(), u"%1-%2"_s.arg(seed).arg(below(1'000'000'000)));
    }

    // A random operation on the state the store is in: imports, plays, position saves, library additions,
    // removals from the history, deletions and changes of the settings.
    Operation choose(const ReadingStoreState& state, int n) {
        const std::pair<QUuid, qsizetype> picked = pick(state.library + state.history);
        const QUuid id = picked.first;
        const QUuid libraryID = pick(state.library).first;
        QSet<QUuid> ids;
        for (qint64 i = below(3); i >= 0; --i) ids.insert(pick(state.history).first);
        std::optional<ReadingProgress> progress;
        if (chance(0.7)) progress = ReadingProgress{below(picked.second + 1), chance(0.1)};
        const ReadingProgress given = progress.value_or(ReadingProgress{});
        const Date now = clock.now();
        const QString text = randomText();
        const SavedReading reading{newIdentifier(state), ReadingDocument{std::nullopt, text, {}},
                                   std::nullopt,         std::nullopt,
                                   std::nullopt,         now};
        const LibraryTextFile file{u"note-%1-%2.txt"_s.arg(seed).arg(n), text.toUtf8()};
        const LibraryFileImport epub = LibraryFileImport::epub(
            u"book-%1-%2.epub"_s.arg(seed).arg(n),
            QByteArray(static_cast<qsizetype>(1 + below(16'384)), static_cast<char>(below(256))), bookOf(text));
        const qint64 limit = below(20);
        const bool enabled = chance(0.85);

        // Weights out of 96; a library of more than 25 readings is kept small for quick writes.
        const std::pair<int, Operation> operations[] = {
            {16, [=](ReadingStore& s) { return outcomeOf(s.deleteDocument(libraryID)); }},
            {12, [=](ReadingStore& s) { return outcomeOf(s.importTextFile(file)); }},
            {3, [=](ReadingStore& s) { return outcomeOf(s.importFile(epub)); }},
            {5, [=](ReadingStore& s) { return outcomeOf(s.addToLibrary(reading, given)); }},
            {10, [=](ReadingStore& s) { return outcomeOf(s.recordPlayback(reading, now, given)); }},
            {15, [=](ReadingStore& s) { return outcomeOf(s.recordPlayback(id, now, progress)); }},
            {20, [=](ReadingStore& s) { return outcomeOf(s.updateProgress(id, given)); }},
            {4, [=](ReadingStore& s) { return outcomeOf(s.addToLibrary(id)); }},
            {3, [=](ReadingStore& s) { return outcomeOf(s.removeFromHistory(id)); }},
            {3, [=](ReadingStore& s) { return outcomeOf(s.removeFromHistory(ids)); }},
            {2, [=](ReadingStore& s) { return outcomeOf(s.setHistoryLimit(limit)); }},
            {3, [=](ReadingStore& s) { return outcomeOf(s.setHistoryEnabled(enabled)); }},
        };
        qint64 roll = state.library.size() > 25 && chance(0.5) ? 0 : below(96);
        for (const auto& [weight, operation] : operations) {
            if (roll < weight) return operation;
            roll -= weight;
        }
        return operations[0].second;
    }
};

}  // namespace
}  // namespace tavrine::test::crash

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() != 5) return 64;
    const int journal =
        ::open(QFile::encodeName(arguments[3]).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    tavrine::test::crash::Worker worker{.storeFile = arguments[1],
                                        .shadowFolder = arguments[2],
                                        .journal = journal,
                                        .seed = arguments[4].toULongLong()};
    QTimer::singleShot(0, &app, [&worker] { worker.run(); });
    return app.exec();
}
