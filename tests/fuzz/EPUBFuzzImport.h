#pragma once

#include "ReaderEPUB/EPUBReader.h"

#include <QByteArray>

#include <cstdlib>

namespace tavrine::test {

// Imports the bytes as a book under the standard limits. A failure is an answer; a book is one only when
// it passes the model's own validation and stays within the text limit, and anything else stops the
// fuzzer here with the input that caused it.
inline void importAndCheck(const QByteArray& bytes) {
    const EPUBReader reader;
    const EPUBReader::Result<EPUBBook> book = reader.readSynchronously(bytes, CancellationToken::none());
    if (!book) return;
    if (!book->document.isValid() || !book->information().isValid(book->document) ||
        book->document.text.size() > reader.limits().textUTF16) {
        std::abort();
    }
}

}  // namespace tavrine::test
