// markdown-bench [FILE...]: converts each Markdown file (decompressed first when its name ends in ".gz")
// from memory, the best of 10 conversions, and prints one JSON line per file:
//   {"file":…,"bytes":…,"utf16":…,"ms":…,"MBps":…,"pandocMs":…,"pandocMBps":…,"ratio":…}
// "bytes" is the size of the Markdown, "utf16" the length of the converted text, "ms" the best time of the
// conversion without the reader's limits. Beside it, when pandoc is installed, the best of 3 runs of
// `pandoc -f gfm -t plain` given the same Markdown on its standard input ("ratio" is MBps over
// pandocMBps); without pandoc the three pandoc fields are absent.
// Without FILE it converts exactly 1 MiB joined from the Markdown files under /usr/share/doc (in the
// order of their paths, repeated when they are short of it), then prints
//   {"file":"read-20000","ms":…}
// for the whole reader, limits and checks included, on the first 20,000 UTF-16 units of that text.
// It fails when a conversion does.
#include "ReaderText/MarkdownReader.h"

#include "support/InstalledDocuments.h"

#include "BenchReport.h"

#include <QCoreApplication>

#include <cstdio>

namespace {
using namespace tavrine;
using namespace Qt::StringLiterals;
using bench::field;
using bench::json;
using bench::milliseconds;

constexpr int kRuns = 10;
constexpr int kPandocRuns = 3;
constexpr qsizetype kCorpusBytes = 1024 * 1024;

// False when the conversion failed.
bool measure(const QString& name, const QByteArray& markdown) {
    MarkdownReader::Result document;
    const double ms = bench::bestMilliseconds(kRuns, [&] { document = MarkdownReader::convert(markdown); });
    QString line = u'{' + json(u"file"_s) + u':' + json(name) + field(u"bytes"_s, QString::number(markdown.size()));
    if (!document) {
        std::fprintf(stderr, "markdown-bench: %s failed with %d\n", qPrintable(name), int(document.error()));
        return false;
    }
    line += field(u"utf16"_s, QString::number(document->text.size())) + field(u"ms"_s, milliseconds(ms)) +
            field(u"MBps"_s, bench::megabytesPerSecond(markdown.size(), ms));
    const QStringList arguments{u"-f"_s, u"gfm"_s, u"-t"_s, u"plain"_s};
    if (const auto pandoc = bench::pandocMilliseconds(kPandocRuns, arguments, markdown)) {
        line += field(u"pandocMs"_s, milliseconds(*pandoc)) +
                field(u"pandocMBps"_s, bench::megabytesPerSecond(markdown.size(), *pandoc)) +
                field(u"ratio"_s, QString::number(*pandoc / ms, 'f', 1));
    }
    std::printf("%s\n", qPrintable(line + u'}'));
    return true;
}

// The installed Markdown, file after file (a blank line between them, so no block runs into the next),
// repeated until it is exactly kCorpusBytes long.
QByteArray installedCorpus() {
    QByteArray joined;
    for (const QString& path : test::markdownFilesUnder(u"/usr/share/doc"_s)) {
        if (const auto bytes = test::readDocumentFile(path)) joined += *bytes + "\n\n";
    }
    if (joined.isEmpty()) return {};
    QByteArray corpus;
    corpus.reserve(kCorpusBytes);
    while (corpus.size() < kCorpusBytes) corpus += joined.first(std::min(joined.size(), kCorpusBytes - corpus.size()));
    return corpus;
}

// False when the reading failed.
bool measureRead(const QByteArray& corpus) {
    QString slice = QString::fromUtf8(corpus).first(MarkdownReader::kMaximumLength);
    if (slice.back().isHighSurrogate()) slice.chop(1);
    MarkdownReader::Result document;
    const double ms = bench::bestMilliseconds(kRuns, [&] { document = MarkdownReader::read(slice); });
    if (!document) {
        std::fprintf(stderr, "markdown-bench: read-20000 failed with %d\n", int(document.error()));
        return false;
    }
    std::printf("%s\n", qPrintable(u'{' + json(u"file"_s) + u':' + json(u"read-20000"_s) +
                                   field(u"ms"_s, milliseconds(ms)) + u'}'));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const QStringList files = application.arguments().mid(1);
    bool converted = true;
    for (const QString& path : files) {
        const auto markdown = test::readDocumentFile(path);
        if (!markdown) {
            std::fprintf(stderr, "markdown-bench: cannot read %s\n", qPrintable(path));
            return 1;
        }
        converted = measure(path, *markdown) && converted;
    }
    if (!files.isEmpty()) return converted ? 0 : 1;

    const QByteArray corpus = installedCorpus();
    if (corpus.isEmpty()) {
        std::fprintf(stderr, "markdown-bench: no Markdown files under /usr/share/doc\n");
        return 1;
    }
    converted = measure(u"/usr/share/doc/**/*.md joined to 1 MiB"_s, corpus);
    return measureRead(corpus) && converted ? 0 : 1;
}
