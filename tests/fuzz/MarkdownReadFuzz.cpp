// libFuzzer target: the input is a text pasted or captured as Markdown. The conversion alone (any
// length, malformed UTF-8 included) and the reader with its limits give a valid document or a failure,
// never a crash, a fault the sanitizers see, or an allocation the parser's reported sizes blew up.
#include "ReaderText/MarkdownReader.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavrine;
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    // A file's soft breaks joined, and a captured text's joined only where they wrap a paragraph.
    for (const auto lineEnds : {MarkdownReader::LineEnds::joined, MarkdownReader::LineEnds::unwrapped}) {
        const MarkdownReader::Result converted = MarkdownReader::convert(bytes, lineEnds);
        if (converted && !converted->isValid()) {
            std::fprintf(stderr, "the conversion gave an invalid document\n");
            std::abort();
        }
        const MarkdownReader::Result read = MarkdownReader::readWithLineEnds(QString::fromUtf8(bytes), lineEnds);
        if (read && (!read->isValid() || read->text.size() > MarkdownReader::kMaximumLength)) {
            std::fprintf(stderr, "the reader gave an invalid or too long document\n");
            std::abort();
        }
    }
    return 0;
}
