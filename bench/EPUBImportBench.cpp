// epub-import-bench [--text] [--repack] [--compare] [FILE...]: imports each EPUB file with the standard
// limits, the best of 5 runs of the whole import from the bytes in memory, and prints one JSON line per
// book, then one for all the books that imported:
//   {"file":…,"repacked":…,"bytes":…,"ok":true,"utf16":…,"sections":…,"navEntries":…,"links":…,
//    "notices":[…],"ms":…,"unpackedBytes":…,"unpackedMBps":…,"goalMBps":25}
//   {"file":…,"repacked":…,"ok":false,"failure":"<case name>"}
//   {"books":…,"refused":…,"unpackedBytes":…,"ms":…,"unpackedMBps":…,"goalMBps":25}
// "bytes" is the size of the archive imported, "ms" the best wall-clock time of the synchronous import,
// "unpackedMBps" its speed: the size of the archive's entries (what the import inflates and reads) over
// that time, in 10^6 bytes a second, beside the goal. A refused book is named on the standard error with
// its failure and left out of the last line.
// --text     adds "text": the document's text.
// --repack   imports a copy written again from the file's entries (see below) instead of the file.
// --compare  adds "pandocMs", the best of 5 runs of `pandoc -f epub -t plain` converting the same file
//            (as published) to plain text, and "timesPandoc" (pandoc's time over ours) beside its goal
//            "goalTimesPandoc":20, when pandoc is installed.
// Without FILE it imports the shared sample book and the Debian books that are installed (live-manual-epub,
// debian-policy, ubuntu-packaging-guide-epub in seven languages), each as published when the intake takes
// it, else repacked: its entries written again into a temporary folder with "mimetype" stored first, its
// content without a line end, and names outside ASCII flagged as UTF-8, as a conforming book has them.
#include "ReaderEPUB/EPUBReader.h"
#include "ReaderEPUB/internal/EPUBArchive.h"

#include "support/EPUBRealBookSupport.h"

#include "BenchReport.h"
#include "support/CheckoutPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <optional>

namespace {
using namespace tavrine;
using namespace Qt::StringLiterals;
using bench::bestMilliseconds;
using bench::field;
using bench::json;
using bench::milliseconds;

constexpr int kRuns = 5;
constexpr int kGoalMBps = 25;
constexpr int kGoalTimesPandoc = 20;
const QByteArray kMimetype = QByteArrayLiteral("application/epub+zip");

enum class Repacking { never, always, whenRefused };

struct Options {
    bool text = false;
    bool compare = false;
    Repacking repacking = Repacking::never;
    QStringList files;
};

struct Totals {
    int books = 0;
    int refused = 0;
    qint64 unpacked = 0;
    double ms = 0;
};

qsizetype entryCount(const QList<EPUBBook::Navigation>& entries) {
    qsizetype count = entries.size();
    for (const auto& entry : entries) count += entryCount(entry.children);
    return count;
}

std::optional<QByteArray> readWhole(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return file.readAll();
}

// The book's entries written again as a conforming book has them, into folder; its path, or nothing
// when the archive cannot be read. A "mimetype" that says more than the EPUB type is left as it is.
std::optional<QString> repack(const QString& path, const QDir& folder) {
    zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, nullptr);
    if (!archive) return std::nullopt;
    std::optional<QByteArray> mimetype;
    if (zip_file_t* entry = zip_fopen(archive, "mimetype", 0)) {
        QByteArray content(64, '\0');
        const zip_int64_t count = zip_fread(entry, content.data(), zip_uint64_t(content.size()));
        zip_fclose(entry);
        if (count >= 0 && content.first(qsizetype(count)).trimmed() == kMimetype) mimetype = kMimetype;
    }
    zip_close(archive);
    const QByteArray bytes = test::repackedWithUTF8Names(path, mimetype);
    if (bytes.isEmpty()) return std::nullopt;
    // Named after its folder too: the books of one guide in several languages share a file name.
    const QFileInfo original(path);
    QFile copy(folder.filePath(original.dir().dirName() + u'-' + original.fileName()));
    if (!copy.open(QIODevice::WriteOnly) || copy.write(bytes) != bytes.size()) return std::nullopt;
    return copy.fileName();
}

void printRefusal(const QString& path, bool repacked, const EPUBReader::Failure& failure) {
    const QString name = failureName(failure);
    std::printf("%s\n", qPrintable(u'{' + json(u"file"_s) + u':' + json(path) +
                                   field(u"repacked"_s, repacked ? u"true"_s : u"false"_s) +
                                   field(u"ok"_s, u"false"_s) + field(u"failure"_s, json(name)) + u'}'));
    std::fprintf(stderr, "epub-import-bench: skipped %s: the import refuses it%s (%s)\n", qPrintable(path),
                 repacked ? " also repacked" : "", qPrintable(name));
}

// Imports the book at path (or its repacked copy, by the options); prints its line and adds it to totals.
void measure(const QString& path, const Options& options, const QDir& scratch, Totals& totals) {
    const EPUBReader reader;
    bool repacked = options.repacking == Repacking::always;
    std::optional<QString> imported = repacked ? repack(path, scratch) : std::optional(path);
    std::optional<QByteArray> bytes = imported ? readWhole(*imported) : std::nullopt;
    if (!bytes) {
        std::fprintf(stderr, "epub-import-bench: skipped %s: cannot read it%s\n", qPrintable(path),
                     repacked ? " or write it again" : "");
        ++totals.refused;
        return;
    }
    EPUBReader::Result<EPUBBook> book = reader.readSynchronously(*bytes, CancellationToken::none());
    if (!book && options.repacking == Repacking::whenRefused) {
        repacked = true;
        imported = repack(path, scratch);
        if (imported && (bytes = readWhole(*imported))) {
            book = reader.readSynchronously(*bytes, CancellationToken::none());
        }
    }
    if (!book) {
        printRefusal(path, repacked, book.error());
        ++totals.refused;
        return;
    }

    const double ms =
        bestMilliseconds(kRuns, [&] { book = reader.readSynchronously(*bytes, CancellationToken::none()); });
    qint64 unpacked = 0;
    if (const auto files = readArchive(*bytes, reader.limits(), CancellationToken::none())) {
        for (const QByteArray& entry : *files) unpacked += entry.size();
    }
    ++totals.books;
    totals.unpacked += unpacked;
    totals.ms += ms;

    QString line =
        u'{' + json(u"file"_s) + u':' + json(path) + field(u"repacked"_s, repacked ? u"true"_s : u"false"_s) +
        field(u"bytes"_s, QString::number(bytes->size())) + field(u"ok"_s, u"true"_s) +
        field(u"utf16"_s, QString::number(book->document.text.size())) +
        field(u"sections"_s, QString::number(book->document.sections ? book->document.sections->size() : 0)) +
        field(u"navEntries"_s, QString::number(entryCount(book->navigation))) +
        field(u"links"_s, QString::number(book->links.size())) +
        field(u"notices"_s, QString::fromUtf8(encodeJson(book->notices))) + field(u"ms"_s, milliseconds(ms)) +
        field(u"unpackedBytes"_s, QString::number(unpacked)) +
        field(u"unpackedMBps"_s, bench::megabytesPerSecond(unpacked, ms)) +
        field(u"goalMBps"_s, QString::number(kGoalMBps));
    if (options.text) line += field(u"text"_s, json(book->document.text));
    if (options.compare) {
        const QStringList pandocArguments{u"-f"_s, u"epub"_s, u"-t"_s, u"plain"_s, u"-o"_s, QProcess::nullDevice(),
                                          path};
        if (const auto pandoc = bench::pandocMilliseconds(kRuns, pandocArguments)) {
            line += field(u"pandocMs"_s, milliseconds(*pandoc)) +
                    field(u"timesPandoc"_s, QString::number(*pandoc / ms, 'f', 1)) +
                    field(u"goalTimesPandoc"_s, QString::number(kGoalTimesPandoc));
        }
    }
    std::printf("%s\n", qPrintable(line + u'}'));
}

QStringList defaultBooks() {
    QStringList books{test::inCheckout(TAVRINE_SHARED_DATA_DIR "/epub/kusamakura.epub")};
    QDir liveManual(u"/usr/share/doc/live-manual/epub"_s);
    for (const QString& name : liveManual.entryList({u"*.epub"_s}, QDir::Files, QDir::Name)) {
        books.append(liveManual.filePath(name));
    }
    books.append(u"/usr/share/doc/debian-policy/policy.epub"_s);
    const QDir documentation(u"/usr/share/doc"_s);
    for (const QString& guide : documentation.entryList({u"ubuntu-packaging-guide-epub*"_s}, QDir::Dirs, QDir::Name)) {
        books.append(documentation.filePath(guide + u"/ubuntu-packaging-guide.epub"_s));
    }
    books.removeIf([](const QString& path) {
        if (QFileInfo::exists(path)) return false;
        std::fprintf(stderr, "epub-import-bench: %s is not installed\n", qPrintable(path));
        return true;
    });
    return books;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    Options options;
    const QStringList arguments = application.arguments().mid(1);
    for (const QString& argument : arguments) {
        if (argument == u"--text") {
            options.text = true;
        } else if (argument == u"--repack") {
            options.repacking = Repacking::always;
        } else if (argument == u"--compare") {
            options.compare = true;
        } else if (argument.startsWith(u"--")) {
            std::fprintf(stderr, "usage: epub-import-bench [--text] [--repack] [--compare] [FILE...]\n");
            return 2;
        } else {
            options.files.append(argument);
        }
    }
    if (options.files.isEmpty()) {
        options.files = defaultBooks();
        if (options.repacking == Repacking::never) options.repacking = Repacking::whenRefused;
    }
    const QTemporaryDir scratch;
    if (!scratch.isValid()) {
        std::fprintf(stderr, "epub-import-bench: cannot make a temporary folder\n");
        return 1;
    }
    Totals totals;
    for (const QString& path : options.files) measure(path, options, QDir(scratch.path()), totals);
    std::printf(
        "%s\n",
        qPrintable(
            u'{' + json(u"books"_s) + u':' + QString::number(totals.books) +
            field(u"refused"_s, QString::number(totals.refused)) +
            field(u"unpackedBytes"_s, QString::number(totals.unpacked)) + field(u"ms"_s, milliseconds(totals.ms)) +
            field(u"unpackedMBps"_s, totals.ms > 0 ? bench::megabytesPerSecond(totals.unpacked, totals.ms) : u"0"_s) +
            field(u"goalMBps"_s, QString::number(kGoalMBps)) + u'}'));
    return 0;
}
