#pragma once

#include "ReaderEPUB/EPUBArchive.h"
#include "ReaderEPUB/EPUBReader.h"

#include "support/QtPrinters.h"
#include "support/RawZipBuilder.h"

#include <optional>
#include <ostream>

namespace tavrine {

inline void PrintTo(const EPUBReader::Failure& failure, std::ostream* out) {
    *out << failureName(failure);
}

namespace test {

// The failure of reading the bytes as an archive, or nothing when they were read.
inline std::optional<EPUBReader::Failure> archiveFailure(const QByteArray& bytes,
                                                         const EPUBReader::Limits& limits = {}) {
    const auto files = readArchive(bytes, limits, CancellationToken::none());
    if (files) return std::nullopt;
    return files.error();
}

inline EPUBReader::Failure failure(EPUBReader::Failure::Kind kind) {
    return EPUBReader::Failure::of(kind);
}
inline EPUBReader::Failure exceeded(EPUBReader::ResourceLimit limit) {
    return EPUBReader::Failure::limit(limit);
}

// The smallest book archive the intake accepts: "mimetype" and one deflated chapter.
inline RawZipBuilder smallArchive() {
    RawZipBuilder builder;
    builder.addMimetype().addDeflated(QByteArrayLiteral("OEBPS/ch1.xhtml"), QByteArrayLiteral("<p>本文</p>"));
    return builder;
}

}  // namespace test
}  // namespace tavrine
