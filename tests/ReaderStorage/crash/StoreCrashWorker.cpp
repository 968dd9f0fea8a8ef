// The child process of the crash test: opens the store, then changes it at random until it is killed,
// writing down in its journal what each operation will leave and what it left.
//
//     store-crash-worker <store file> <shadow folder> <journal file> <seed>
//
// What an operation will leave is learnt from a shadow store: a copy of the store's folder, opened
// beside it, that receives every operation first. Both stores draw the same dates and identifiers, so
// the shadow's state after an operation is the state the real store must have after it.
#include "ReaderStorage/ReadingStore.h"

#include "StoreCrashJournal.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <random>

namespace tavrine::test::crash {
namespace {
using namespace Qt::StringLiterals;

// A clock that shows the date the worker sets before each operation.
class ManualClock final : public Clock {
public:
    Date now() const override { return m_now; }
    MonotonicTime monotonicNow() const override { return std::chrono::steady_clock::now(); }
    std::unique_ptr<Alarm> schedule(MonotonicTime, std::function<void()>) const override { return nullptr; }
    void setNow(Date date) { m_now = date; }

private:
    Date m_now;
};

// Identifiers drawn from a seeded generator: two sources with one seed give the same sequence.
ReadingStore::IdentifierSource identifiers(quint64 seed) {
    auto generator = std::make_shared<std::mt19937_64>(seed);
    return [generator] {
        QByteArray bytes(16, Qt::Uninitialized);
        for (int half = 0; half < 2; ++half) {
            const quint64 value = (*generator)();
            for (int i = 0; i < 8; ++i) bytes[half * 8 + i] = static_cast<char>(value >> (8 * i));
        }
        bytes[6] = static_cast<char>((bytes[6] & 0x0F) | 0x40);
        bytes[8] = static_cast<char>((bytes[8] & 0x3F) | 0x80);
        return QUuid::fromRfc4122(bytes);
    };
}

bool copyFolder(const QString& from, const QString& to) {
    if (!QDir().mkpath(to)) return false;
    const QDir source(from);
    for (const QFileInfo& entry : source.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
        const QString target = to + u'/' + entry.fileName();
        if (entry.isDir() ? !copyFolder(entry.filePath(), target) : !QFile::copy(entry.filePath(), target)) {
            return false;
        }
    }
    return true;
}

struct Operation {
    enum class Kind {
        importText,
        importEPUB,
        addNewToLibrary,
        recordNewPlay,
        recordPlay,
        updateProgress,
        addToLibrary,
        deleteDocument,
        removeFromHistory,
        removeManyFromHistory,
        setHistoryLimit,
        setHistoryEnabled,
    };

    Kind kind = Kind::updateProgress;
    QString name;
    QUuid id;
    QSet<QUuid> ids;
    QString text;
    QByteArray data;
    std::optional<ReadingProgress> progress;
    qint64 number = 0;
};

class Worker {
public:
    Worker(QString storeFile, QString shadowFolder, QString journal, quint64 seed)
        : m_storeFile(std::move(storeFile)),
          m_shadowFolder(std::move(shadowFolder)),
          m_seed(seed),
          m_random(seed),
          m_journal(::open(QFile::encodeName(journal).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600)) {}

    QCoro::Task<void> run() {
        auto real = ReadingStore::open(m_storeFile, std::make_shared<PosixFileSystem>(), m_clock, identifiers(m_seed));
        if (!real) co_return stop(u"problem the store does not open: "_s + describeStoreFailure(real.error()));
        const QString storeFolder = QFileInfo(m_storeFile).path();
        QDir(m_shadowFolder).removeRecursively();
        if (!copyFolder(storeFolder, m_shadowFolder)) co_return stop(u"problem cannot copy the store"_s);
        auto shadow = ReadingStore::open(m_shadowFolder + u'/' + QFileInfo(m_storeFile).fileName(),
                                         std::make_shared<PosixFileSystem>(), m_clock, identifiers(m_seed));
        if (!shadow) co_return stop(u"problem the copy does not open"_s);

        auto opened = (*real)->currentState();
        const ReadingStoreState state = co_await opened;
        write(u"open "_s + digestOf(state));
        for (int n = 0; n < 100'000; ++n) {
            auto current = (*shadow)->currentState();
            const ReadingStoreState before = co_await current;
            const Operation operation = choose(before, n);
            m_clock.setNow(Date{1e6 + static_cast<double>(m_seed) * 1e5 + n});

            auto onShadow = apply(**shadow, operation);
            const QString expectedOutcome = co_await onShadow;
            auto shadowState = (*shadow)->currentState();
            const ReadingStoreState after = co_await shadowState;
            const QString expected = digestOf(after);
            write(u"begin %1 %2 %3"_s.arg(n).arg(expected).arg(static_cast<int>(operation.kind)));

            auto onReal = apply(**real, operation);
            const QString outcome = co_await onReal;
            auto realState = (*real)->currentState();
            const ReadingStoreState reached = co_await realState;
            const QString digest = digestOf(reached);
            if (outcome != expectedOutcome || digest != expected) {
                co_return stop(u"problem the store and its copy disagree: "_s + outcome + u" / "_s + expectedOutcome);
            }
            write(u"done %1 %2"_s.arg(n).arg(digest));
        }
        stop(u"problem never killed"_s);
    }

private:
    void write(const QString& line) {
        const QByteArray bytes = line.toUtf8() + '\n';
        // One write(2) per line: a kill leaves at most the last line cut short.
        if (::write(m_journal, bytes.constData(), static_cast<size_t>(bytes.size())) != bytes.size()) std::abort();
    }
    void stop(const QString& problem) {
        write(problem);
        QCoreApplication::exit(2);
    }

    qint64 below(qint64 bound) { return std::uniform_int_distribution<qint64>(0, bound - 1)(m_random); }
    bool chance(double p) { return std::bernoulli_distribution(p)(m_random); }

    QString randomText() {
        static const QStringList words{u"吾輩は"_s, u"猫である。"_s,   u"名前は"_s, u"まだ無い。"_s, u"The cat "_s,
                                       u"sat "_s,   u"on the mat. "_s, u"\n"_s,     u"段落"_s};
        QString text = u"本"_s;
        const qint64 count = 3 + below(60);
        for (qint64 i = 0; i < count; ++i) text += words[below(words.size())];
        return text;
    }

    // A stored reading, or sometimes an identifier the store does not hold.
    std::pair<QUuid, qsizetype> pick(const QList<StoredReading>& records) {
        if (records.isEmpty() || chance(0.05)) return {QUuid::createUuidV5(QUuid(), QString::number(below(1000))), 0};
        const StoredReading& record = records[below(records.size())];
        return {record.id(), record.reading.document.text.size()};
    }
    // A new identifier, or sometimes one that was deleted or is stored.
    QUuid newIdentifier(const ReadingStoreState& state) {
        if (chance(0.05) && !state.removedDocumentIDs.isEmpty()) return *state.removedDocumentIDs.cbegin();
        if (chance(0.05) && !state.library.isEmpty()) return state.library.first().id();
        return QUuid::createUuidV5(QUuid(), QString::number(m_seed) + u'-' + QString::number(below(1'000'000'000)));
    }

    Operation choose(const ReadingStoreState& state, int n) {
        QList<StoredReading> stored = state.library;
        for (const StoredReading& record : state.history) {
            if (!record.isInLibrary) stored.append(record);
        }
        using Kind = Operation::Kind;
        static const std::vector<std::pair<Kind, int>> weights{
            {Kind::importText, 12},           {Kind::importEPUB, 3},      {Kind::addNewToLibrary, 5},
            {Kind::recordNewPlay, 10},        {Kind::recordPlay, 15},     {Kind::updateProgress, 20},
            {Kind::addToLibrary, 4},          {Kind::deleteDocument, 16}, {Kind::removeFromHistory, 3},
            {Kind::removeManyFromHistory, 3}, {Kind::setHistoryLimit, 2}, {Kind::setHistoryEnabled, 3}};
        qint64 roll = below(96);
        Kind kind = Kind::updateProgress;
        for (const auto& [candidate, weight] : weights) {
            if (roll < weight) {
                kind = candidate;
                break;
            }
            roll -= weight;
        }
        // Keep the library small enough for quick writes.
        if (state.library.size() > 25 && chance(0.5)) kind = Kind::deleteDocument;

        Operation operation;
        operation.kind = kind;
        operation.text = randomText();
        operation.name = u"note-%1-%2.txt"_s.arg(m_seed).arg(n);
        const auto [id, length] = pick(kind == Kind::deleteDocument ? state.library : stored);
        operation.id = id;
        if (chance(0.7)) operation.progress = ReadingProgress{below(length + 1), chance(0.1)};
        switch (kind) {
        case Kind::importEPUB:
            operation.name = u"book-%1-%2.epub"_s.arg(m_seed).arg(n);
            operation.data = QByteArray(static_cast<qsizetype>(1 + below(16'384)), static_cast<char>(below(256)));
            break;
        case Kind::addNewToLibrary:
        case Kind::recordNewPlay: operation.id = newIdentifier(state); break;
        case Kind::removeManyFromHistory:
            for (qint64 i = below(3); i >= 0; --i) operation.ids.insert(pick(state.history).first);
            break;
        case Kind::setHistoryLimit: operation.number = below(20); break;
        case Kind::setHistoryEnabled: operation.number = chance(0.85) ? 1 : 0; break;
        default: break;
        }
        return operation;
    }

    static EPUBBook book(const QString& text) {
        EPUBBook book;
        book.document =
            ReadingDocument{QList{ReadingDocument::Section{u"c1"_s, std::nullopt, 0, text.size()}}, text, {}};
        book.metadata.titles = QStringList{u"猫"_s};
        book.navigation = {
            EPUBBook::Navigation(u"n1"_s, u"第一章"_s, u"c1.xhtml"_s, EPUBBook::Destination::position(u"c1"_s, 0))};
        book.packagePath = u"OEBPS/content.opf"_s;
        return book;
    }

    // The operation's outcome in words that do not depend on which store ran it.
    template <typename T>
    static QString outcomeOf(const StoreResult<T>& result) {
        if (result) return u"ok"_s;
        if (const auto* file = std::get_if<FileError>(&result.error())) {
            return u"file error %1 %2"_s.arg(static_cast<int>(file->operation)).arg(file->code);
        }
        return describeStoreFailure(result.error());
    }

    QCoro::Task<QString> apply(ReadingStore& store, Operation operation) {
        using Kind = Operation::Kind;
        const SavedReading reading{operation.id, ReadingDocument{std::nullopt, operation.text, {}},
                                   std::nullopt, std::nullopt,
                                   std::nullopt, m_clock.now()};
        switch (operation.kind) {
        case Kind::importText: {
            auto task = store.importTextFile(LibraryTextFile{operation.name, operation.text.toUtf8()});
            const auto result = co_await task;
            co_return outcomeOf(result);
        }
        case Kind::importEPUB: {
            auto task = store.importFile(LibraryFileImport::epub(operation.name, operation.data, book(operation.text)));
            const auto result = co_await task;
            co_return outcomeOf(result);
        }
        case Kind::addNewToLibrary: {
            auto task = store.addToLibrary(reading, operation.progress.value_or(ReadingProgress{}));
            const auto result = co_await task;
            co_return outcomeOf(result);
        }
        case Kind::recordNewPlay: {
            auto task = store.recordPlayback(reading, m_clock.now(), operation.progress.value_or(ReadingProgress{}));
            const auto result = co_await task;
            co_return outcomeOf(result) + (result && *result ? u" stored"_s : QString());
        }
        case Kind::recordPlay: {
            auto task = store.recordPlayback(operation.id, m_clock.now(), operation.progress);
            const auto result = co_await task;
            co_return outcomeOf(result);
        }
        case Kind::updateProgress: {
            auto task = store.updateProgress(operation.id, operation.progress.value_or(ReadingProgress{}));
            const auto result = co_await task;
            co_return outcomeOf(result);
        }
        case Kind::addToLibrary: {
            auto task = store.addToLibrary(operation.id);
            const auto result = co_await task;
            co_return outcomeOf(result);
        }
        case Kind::deleteDocument: {
            auto task = store.deleteDocument(operation.id);
            const auto result = co_await task;
            co_return outcomeOf(result);
        }
        case Kind::removeFromHistory: {
            auto task = store.removeFromHistory(operation.id);
            const auto result = co_await task;
            co_return outcomeOf(result);
        }
        case Kind::removeManyFromHistory: {
            auto task = store.removeFromHistory(operation.ids);
            const auto result = co_await task;
            co_return outcomeOf(result) + (result ? u" %1"_s.arg(result->size()) : QString());
        }
        case Kind::setHistoryLimit: {
            auto task = store.setHistoryLimit(operation.number);
            const auto result = co_await task;
            co_return outcomeOf(result);
        }
        case Kind::setHistoryEnabled: {
            auto task = store.setHistoryEnabled(operation.number != 0);
            const auto result = co_await task;
            co_return outcomeOf(result);
        }
        }
        co_return QString();
    }

    QString m_storeFile;
    QString m_shadowFolder;
    quint64 m_seed;
    std::mt19937_64 m_random;
    int m_journal;
    ManualClock m_clock;
};

QCoro::Task<void> runWorker(Worker* worker) {
    auto run = worker->run();
    co_await run;
}

}  // namespace
}  // namespace tavrine::test::crash

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() != 5) return 64;
    tavrine::test::crash::Worker worker(arguments[1], arguments[2], arguments[3], arguments[4].toULongLong());
    QTimer::singleShot(0, &app, [&worker] { tavrine::test::crash::runWorker(&worker); });
    return app.exec();
}
