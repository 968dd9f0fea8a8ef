#pragma once

#include "ReaderCore/CancellationToken.h"
#include "ReaderEPUB/EPUBReader.h"

#include <QByteArray>
#include <QByteArrayView>

#include <utility>

namespace tavrine {

// The account of the bytes that extraction actually produces, charged piece by piece as the ZIP library
// delivers them, so that an archive which lies about its sizes is stopped at the first piece past a
// limit rather than after it has inflated. Sizes are charged first and compared after: reaching a
// limit exactly is allowed. One per extraction, on the extracting thread.
class EPUBExtractionBudget {
public:
    static constexpr qint64 kPieceBytes = 16'384;

    EPUBExtractionBudget(const EPUBReader::Limits& limits, CancellationToken cancellation)
        : m_limits(limits), m_cancellation(std::move(cancellation)) {}

    // Starts a new entry, whose piece allowance follows from its compressed size.
    void beginEntry(qint64 compressedSize);
    // Takes the next piece of the current entry: cancelled; invalidArchive when the entry delivers more
    // pieces than its allowance; limit(entryBytes) or limit(expandedBytes) when the entry or the whole
    // archive grows past its limit. Nothing is appended when it fails.
    EPUBReader::Result<void> append(QByteArrayView piece);
    // The bytes of the current entry so far.
    const QByteArray& entryData() const { return m_entryData; }
    QByteArray takeEntryData() { return std::exchange(m_entryData, QByteArray()); }
    // Bytes produced by all entries of the archive together.
    qint64 extractedBytes() const { return m_extractedBytes; }

private:
    EPUBReader::Limits m_limits;
    CancellationToken m_cancellation;
    QByteArray m_entryData;
    qint64 m_pieces = 0;
    qint64 m_pieceAllowance = 0;
    qint64 m_extractedBytes = 0;
};

}  // namespace tavrine
