// libFuzzer target: the input is the bytes of an EPUB file, as a user might choose one.
#include "EPUBFuzzImport.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tavrine::test::importAndCheck(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    return 0;
}
