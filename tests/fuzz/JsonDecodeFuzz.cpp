// libFuzzer target: the input is the text of a JSON file as the store might find it on disk, read as
// each kind of file the application keeps. Reading gives the value or a DecodingError, never a crash or
// a fault the sanitizers see; a value it gives is written again and must read back as itself. Needs no
// corpus: json.dict holds the grammar's tokens and the stored keys.
#include "ReaderCore/EPUBBook.h"
#include "ReaderStorage/internal/ReadingStoreProgressFile.h"
#include "ReaderStorage/internal/ReadingStoreSnapshot.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {
using namespace tavrine;

template <typename T>
void readAndWriteAgain(const QByteArray& text, const char* what) {
    const Decoded<T> decoded = decodeJsonText<T>(text);
    if (!decoded) return;
    const QByteArray written = encodeJson(*decoded);
    const Decoded<T> again = decodeJsonText<T>(written);
    if (!again || !(*again == *decoded)) {
        std::fprintf(stderr, "a %s read from the input does not read back from its own text: %s\n", what,
                     written.constData());
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    readAndWriteAgain<ReadingStoreSnapshot>(text, "store file");
    readAndWriteAgain<ReadingStoreProgressFile>(text, "progress file");
    readAndWriteAgain<EPUBBook>(text, "book");
    readAndWriteAgain<QList<double>>(text, "list of numbers");
    return 0;
}
