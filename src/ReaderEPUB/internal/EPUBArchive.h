#pragma once

#include "ReaderCore/CancellationToken.h"
#include "ReaderEPUB/EPUBReader.h"

#include <QByteArray>
#include <QHash>
#include <QString>

namespace tavrine {

// The extracted entries of a book, keyed by entry name exactly as stored. A directory entry keeps its
// trailing "/" and maps to empty data.
using EPUBArchiveFiles = QHash<QString, QByteArray>;

// The first stages of an import: the limits are checked (invalidLimits, before the bytes are looked
// at), the ZIP structure is scanned by our own reader and must pass every structural and path rule,
// and only then does the ZIP library inflate the entries, each checked against the scan, the limits
// and its CRC-32. Returns every entry, or the first failure: a limit, invalidArchive,
// unsupportedArchive, encrypted, ambiguousPath, or cancelled when the token is cancelled (checked
// before the scan, per central-directory record, per extracted entry and per extracted piece).
//
// Pure: it reads nothing but the bytes, keeps nothing, and may run on any thread.
EPUBReader::Result<EPUBArchiveFiles> readArchive(const QByteArray& bytes, const EPUBReader::Limits& limits,
                                                 const CancellationToken& cancellation);

}  // namespace tavrine
