// epub-import-bench [--text] [--repack] [--compare] FILE...: imports each EPUB file with the standard
// limits, the best of 5 runs of the whole import from the bytes in memory, and prints one JSON line
// per file:
//   {"file":…,"bytes":…,"ok":true,"utf16":…,"sections":…,"navEntries":…,"links":…,"notices":[…],"ms":…}
//   {"file":…,"ok":false,"failure":"<case name>"}
// "bytes" is the size of the archive imported, "ms" the best wall-clock time of the synchronous import.
// --text     adds "text": the document's text.
// --repack   imports a copy written again from the file's entries, "mimetype" first and UTF-8 names
//            flagged, for published books that the archive intake refuses as they are.
// --compare  adds "unpackedBytes" and "unpackedMBps" (the entries' total size over the import's time)
//            and, when pandoc is installed, "pandocMs": the best of 5 runs of
//            `pandoc -f epub -t plain` converting the same file (as published) to plain text.
// Without FILE it imports the shared sample book and the Debian books that are installed, repacked.
#include "ReaderEPUB/EPUBReader.h"
#include "ReaderEPUB/internal/EPUBArchive.h"

#include "support/EPUBRealBookSupport.h"

#include "BenchReport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cstdio>

namespace {
using namespace tavrine;
using namespace Qt::StringLiterals;
using bench::bestMilliseconds;
using bench::field;
using bench::json;
using bench::milliseconds;

constexpr int kRuns = 5;

struct Options {
    bool text = false;
    bool repack = false;
    bool compare = false;
    QStringList files;
};

qsizetype entryCount(const QList<EPUBBook::Navigation>& entries) {
    qsizetype count = entries.size();
    for (const auto& entry : entries) count += entryCount(entry.children);
    return count;
}

void measure(const QString& path, const Options& options) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "epub-import-bench: cannot read %s\n", qPrintable(path));
        return;
    }
    const QByteArray bytes = options.repack ? test::repackedWithUTF8Names(path) : file.readAll();
    const EPUBReader reader;
    EPUBReader::Result<EPUBBook> book;
    const double ms =
        bestMilliseconds(kRuns, [&] { book = reader.readSynchronously(bytes, CancellationToken::none()); });

    QString line = u'{' + json(u"file"_s) + u':' + json(path);
    if (!book) {
        line += field(u"ok"_s, u"false"_s) + field(u"failure"_s, json(failureName(book.error()))) + u'}';
        std::printf("%s\n", qPrintable(line));
        return;
    }
    line += field(u"bytes"_s, QString::number(bytes.size())) + field(u"ok"_s, u"true"_s) +
            field(u"utf16"_s, QString::number(book->document.text.size())) +
            field(u"sections"_s, QString::number(book->document.sections ? book->document.sections->size() : 0)) +
            field(u"navEntries"_s, QString::number(entryCount(book->navigation))) +
            field(u"links"_s, QString::number(book->links.size())) +
            field(u"notices"_s, QString::fromUtf8(encodeJson(book->notices))) + field(u"ms"_s, milliseconds(ms));
    if (options.text) line += field(u"text"_s, json(book->document.text));
    if (options.compare) {
        qint64 unpacked = 0;
        const auto files = readArchive(bytes, reader.limits(), CancellationToken::none());
        for (const QByteArray& entry : *files) unpacked += entry.size();
        line += field(u"unpackedBytes"_s, QString::number(unpacked)) +
                field(u"unpackedMBps"_s, bench::megabytesPerSecond(unpacked, ms));
        const QStringList pandocArguments{u"-f"_s, u"epub"_s, u"-t"_s, u"plain"_s, u"-o"_s, QProcess::nullDevice(),
                                          path};
        if (const auto pandoc = bench::pandocMilliseconds(kRuns, pandocArguments)) {
            line += field(u"pandocMs"_s, milliseconds(*pandoc));
        }
    }
    std::printf("%s\n", qPrintable(line + u'}'));
}

QStringList defaultBooks() {
    QStringList books{QStringLiteral(TAVRINE_SHARED_DATA_DIR "/epub/kusamakura.epub")};
    QDir liveManual(u"/usr/share/doc/live-manual/epub"_s);
    for (const QString& name : liveManual.entryList({u"*.epub"_s}, QDir::Files, QDir::Name)) {
        books.append(liveManual.filePath(name));
    }
    books.append(u"/usr/share/doc/debian-policy/policy.epub"_s);
    books.removeIf([](const QString& path) { return !QFileInfo::exists(path); });
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
            options.repack = true;
        } else if (argument == u"--compare") {
            options.compare = true;
        } else if (argument.startsWith(u"--")) {
            std::fprintf(stderr, "usage: epub-import-bench [--text] [--repack] [--compare] FILE...\n");
            return 2;
        } else {
            options.files.append(argument);
        }
    }
    if (options.files.isEmpty()) {
        options.files = defaultBooks();
        options.repack = true;
    }
    for (const QString& path : options.files) measure(path, options);
    return 0;
}
