// segment-bench FILE...: segments each UTF-8 text file whole with the BudouX segmenter and prints one
// JSON line per file with its size, its chunk count and the best time of five runs:
//   {"file":…,"bytes":…,"utf16":…,"chunks":…,"seconds":…,"mbPerSecond":…}
// Without files it measures two texts of its own in the same way: the shared sample book's text
// ("(kusamakura)", when the book is beside the project) and 500,000 units of generated English prose
// ("(english prose)"). Bytes are those of the text's UTF-8 form.
// segment-bench --chunks FILE...: prints instead the chunk texts of each file, which join to its text:
//   {"file":…,"chunks":["…","…",…]}
#include "BenchTexts.h"

#include "ReaderText/BudouXParser.h"
#include "ReaderText/BudouXSegmenter.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

namespace {
using namespace tavrine;
using namespace Qt::StringLiterals;

constexpr int kRuns = 5;

void appendJsonString(QByteArray& out, const QString& text) {
    out += '"';
    const QByteArray utf8 = text.toUtf8();
    for (const char byte : utf8) {
        const auto c = static_cast<unsigned char>(byte);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += byte;
            }
        }
    }
    out += '"';
}

void print(const QByteArray& line) {
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stdout);
    std::fputc('\n', stdout);
}

// The figures of one text: {"file":name,"bytes":…,…}.
void measure(const BudouXSegmenter& segmenter, const QString& name, const QString& text, qsizetype bytes) {
    double best = std::numeric_limits<double>::infinity();
    qsizetype chunkCount = 0;
    for (int run = 0; run < kRuns; ++run) {
        const auto start = std::chrono::steady_clock::now();
        const QList<ReadingChunk> chunks = segmenter.segment(text);
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        best = std::min(best, elapsed.count());
        chunkCount = chunks.size();
    }
    const double mbPerSecond = best > 0 ? static_cast<double>(bytes) / best / 1e6 : 0;
    QByteArray line = "{\"file\":";
    appendJsonString(line, name);
    char figures[256];
    std::snprintf(figures, sizeof figures,
                  ",\"bytes\":%lld,\"utf16\":%lld,\"chunks\":%lld,\"seconds\":%.6f,\"mbPerSecond\":%.2f}",
                  static_cast<long long>(bytes), static_cast<long long>(text.size()),
                  static_cast<long long>(chunkCount), best, mbPerSecond);
    line += figures;
    print(line);
}

}  // namespace

int main(int argc, char** argv) {
    bool printChunks = false;
    int first = 1;
    if (argc > 1 && std::strcmp(argv[1], "--chunks") == 0) {
        printChunks = true;
        first = 2;
    }
    if (printChunks && first >= argc) {
        std::fprintf(stderr, "usage: segment-bench [--chunks] FILE...\n");
        return 2;
    }
    (void)BudouXParser::shared();  // the model loads once per process, before any timing

    const BudouXSegmenter segmenter;
    if (first >= argc) {
        std::vector<std::pair<QString, QString>> texts;
        if (const QString book = bench::kusamakuraText(); !book.isEmpty()) texts.emplace_back(u"(kusamakura)"_s, book);
        texts.emplace_back(u"(english prose)"_s, bench::englishProse(500'000, 7));
        for (const auto& [name, text] : texts) measure(segmenter, name, text, text.toUtf8().size());
        return 0;
    }
    for (int i = first; i < argc; ++i) {
        const QString path = QString::fromLocal8Bit(argv[i]);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "segment-bench: cannot read %s: %s\n", argv[i], qPrintable(file.errorString()));
            return 1;
        }
        const QByteArray bytes = file.readAll();
        const QString text = QString::fromUtf8(bytes);

        if (printChunks) {
            QByteArray line = "{\"file\":";
            appendJsonString(line, path);
            line += ",\"chunks\":[";
            const QList<ReadingChunk> chunks = segmenter.segment(text);
            for (qsizetype k = 0; k < chunks.size(); ++k) {
                if (k > 0) line += ',';
                appendJsonString(line, chunks[k].text);
            }
            line += "]}";
            print(line);
            continue;
        }

        measure(segmenter, path, text, bytes.size());
    }
    return 0;
}
