// libFuzzer target: the input is the list of a book's files (EPUBFuzzFiles.h), packed into an archive
// that the intake accepts, so that mutations reach the XML layer, the package, the navigation and the
// renderer instead of stopping at the archive's structure.
#include "EPUBFuzzFiles.h"
#include "EPUBFuzzImport.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavrine::test;
    const auto* bytes = reinterpret_cast<const char*>(data);
    importAndCheck(packFuzzFiles(parseFuzzFiles(QByteArrayView(bytes, qsizetype(size)))));
    return 0;
}
