#include "ReaderEPUB/internal/EPUBExtractionBudget.h"

namespace tavrine {

void EPUBExtractionBudget::beginEntry(qint64 compressedSize) {
    m_entryData = QByteArray();
    m_pieces = 0;
    // Room for every piece the compressed data and the largest entry can fill, with a margin for
    // short reads; a stream that keeps delivering beyond that is not an archive.
    m_pieceAllowance = compressedSize / kPieceBytes + m_limits.entryBytes / kPieceBytes + 4;
}

EPUBReader::Result<void> EPUBExtractionBudget::append(QByteArrayView piece) {
    using Failure = EPUBReader::Failure;
    using Limit = EPUBReader::ResourceLimit;
    if (m_cancellation.isCancelled()) return tl::unexpected(Failure::cancelled());
    if (++m_pieces > m_pieceAllowance) return failWith(Failure::Kind::invalidArchive);
    m_extractedBytes += piece.size();
    if (m_entryData.size() + piece.size() > m_limits.entryBytes)
        return tl::unexpected(Failure::limit(Limit::entryBytes));
    if (m_extractedBytes > m_limits.expandedBytes) return tl::unexpected(Failure::limit(Limit::expandedBytes));
    m_entryData.append(piece);
    return {};
}

}  // namespace tavrine
