#pragma once

#include "ReaderCore/CancellationToken.h"
#include "ReaderEPUB/EPUBReader.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <vector>

namespace tavrine {

// The archive intake's own reading of a ZIP structure, made over the raw bytes before any ZIP library
// sees them: the end record, every central-directory record and every local header, checked against
// each other, against the limits and against the path rule. It is the security gate: what it accepts
// is a single-disk, non-ZIP64, unencrypted archive of stored and deflated entries with safe, unique,
// non-overlapping entries and a stored "mimetype" first in the file.
//
// Entry names are read as UTF-8 whether or not their UTF-8 flag (bit 11) is set, since an EPUB's names
// are UTF-8 by the container format and many published books leave the flag off; a name that is not
// valid UTF-8 is ambiguousPath, flag or no flag. (The ZIP rule alone would read a name without the flag
// in a legacy code page, which an EPUB never means, and refusing every non-ASCII name without it refused
// valid books as broken.)
struct EPUBZipScan {
    // One entry as its central record declares it (its local header and data descriptor agree).
    struct Entry {
        QByteArray rawName;  // the name's bytes as stored
        QString name;        // the same name decoded from UTF-8
        quint16 flags = 0;
        quint16 method = 0;
        quint32 crc = 0;
        qint64 compressedSize = 0;
        qint64 uncompressedSize = 0;

        bool operator==(const Entry&) const = default;
    };

    std::vector<Entry> entries;  // in central-directory order, one per record of the end record's count
};

// Scans the bytes. Fails with the first failing check: a limit (archiveBytes, entries, entryBytes,
// expandedBytes), invalidArchive, unsupportedArchive, encrypted, ambiguousPath or cancelled (the token
// is checked before the scan and at every central-directory record).
EPUBReader::Result<EPUBZipScan> scanZip(QByteArrayView bytes, const EPUBReader::Limits& limits,
                                        const CancellationToken& cancellation);

}  // namespace tavrine
