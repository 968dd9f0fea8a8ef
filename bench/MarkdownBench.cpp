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
// for the whole reader, limits and checks included, on the first 20,000 UTF-16 units of that text, and
//   {"file":"unwrap-20000","ms":…,"keptMs":…,"shortLinesMs":…}
// for the reader on 20,000 units of Japanese wrapped at 34 characters a line, ten lines a paragraph, its
// wraps joined (LineEnds::unwrapped, as another application's text is read), beside its lines kept, and
// on 20,000 units of Japanese lines of one to four characters, the most line ends at which ICU's dictionary
// and the phrase model are asked: the slowest text of that length to unwrap.
// It fails when a conversion does.
#include "ReaderText/MarkdownReader.h"

#include "support/InstalledDocuments.h"

#include "BenchReport.h"
#include "BenchTexts.h"

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

// A Japanese mail: lines of 34 characters, a blank line after every tenth, 20,000 units in all.
QString wrappedJapanese() {
    const QString all = bench::repeatedTo(u"吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。"_s,
                                          MarkdownReader::kMaximumLength);
    QString text;
    for (qsizetype at = 0, line = 0; at < all.size(); at += 34, ++line) {
        text += all.sliced(at, std::min<qsizetype>(34, all.size() - at)) + u'\n';
        if (line % 10 == 9) text += u'\n';
    }
    return text.first(MarkdownReader::kMaximumLength);
}

// Words cut at every line end, a kanji's ending, a word that only follows another: each line end asks ICU's
// dictionary, and most the phrase model.
QString shortJapaneseLines() {
    return bench::repeatedTo(u"住\nみ\n店\n舗\n遊\nびに\n読んでい\nる\n"_s, MarkdownReader::kMaximumLength);
}

// False when the reading failed.
bool measureUnwrap() {
    const QString text = wrappedJapanese();
    const QString shortLines = shortJapaneseLines();
    MarkdownReader::Result unwrapped;
    MarkdownReader::Result kept;
    MarkdownReader::Result shortUnwrapped;
    const double ms = bench::bestMilliseconds(
        kRuns, [&] { unwrapped = MarkdownReader::readWithLineEnds(text, MarkdownReader::LineEnds::unwrapped); });
    const double keptMs = bench::bestMilliseconds(kRuns, [&] { kept = MarkdownReader::readKeepingLineEnds(text); });
    const double shortMs = bench::bestMilliseconds(kRuns, [&] {
        shortUnwrapped = MarkdownReader::readWithLineEnds(shortLines, MarkdownReader::LineEnds::unwrapped);
    });
    if (!unwrapped || !kept || unwrapped->text.size() >= kept->text.size() || !shortUnwrapped ||
        shortUnwrapped->text.count(u'\n') >= shortLines.count(u'\n') - 1) {
        std::fprintf(stderr, "markdown-bench: unwrap-20000 failed or joined nothing\n");
        return false;
    }
    std::printf("%s\n", qPrintable(u'{' + json(u"file"_s) + u':' + json(u"unwrap-20000"_s) +
                                   field(u"ms"_s, milliseconds(ms)) + field(u"keptMs"_s, milliseconds(keptMs)) +
                                   field(u"shortLinesMs"_s, milliseconds(shortMs)) + u'}'));
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
    const bool read = measureRead(corpus);
    return measureUnwrap() && read && converted ? 0 : 1;
}
