#include "ReaderEPUB/internal/EPUBZipScan.h"

#include "ReaderEPUB/internal/EPUBArchivePath.h"
#include "ReaderEPUB/internal/EPUBUTF8.h"

#include <QSet>

#include <algorithm>
#include <optional>
#include <utility>

namespace tavrine {
namespace {
using Failure = EPUBReader::Failure;
using Kind = Failure::Kind;
using Limit = EPUBReader::ResourceLimit;

// The fixed part of each kind of ZIP record: its signature and its length in bytes.
struct RecordLayout {
    qint64 signature;
    qint64 size;
};
constexpr RecordLayout kEndRecord{0x06054B50, 22};
constexpr RecordLayout kCentralRecord{0x02014B50, 46};
constexpr RecordLayout kLocalHeader{0x04034B50, 30};
constexpr RecordLayout kDescriptor{0x08074B50, 12};
// The end record with the longest comment a 16-bit length can announce.
constexpr qint64 kEndRecordSearchSpan = kEndRecord.size + 0xFFFF;

constexpr qint64 kEncryptionFlags = 0x0041;  // bit 0 traditional, bit 6 strong encryption
constexpr qint64 kKnownFlags = 0x084F;       // bits 0-3, 6 and 11
constexpr qint64 kDataDescriptorFlag = 0x0008;
constexpr qint64 kMethodStored = 0;
constexpr qint64 kMethodDeflated = 8;
constexpr qint64 kMaximumVersionNeeded = 20;
constexpr qint64 kZip64Marker16 = 0xFFFF;
constexpr qint64 kZip64Marker32 = 0xFFFFFFFF;

const QByteArray kMimetypeName = QByteArrayLiteral("mimetype");

tl::unexpected<Failure> exceeded(Limit limit) {
    return tl::unexpected(Failure::limit(limit));
}

// Field access by offset over the whole archive. Callers check that a block lies inside the data
// before they read its fields.
class Bytes {
public:
    explicit Bytes(QByteArrayView data) : m_data(data) {}

    qint64 size() const { return m_data.size(); }
    bool contains(qint64 offset, qint64 length) const {
        return offset >= 0 && length >= 0 && offset <= size() - length;
    }
    qint64 u16(qint64 offset) const { return byte(offset) | byte(offset + 1) << 8; }
    qint64 u32(qint64 offset) const { return u16(offset) | u16(offset + 2) << 16; }
    QByteArrayView slice(qint64 offset, qint64 length) const { return m_data.sliced(offset, length); }

private:
    qint64 byte(qint64 offset) const { return static_cast<quint8>(m_data[offset]); }

    QByteArrayView m_data;
};

// The offset of the end record: searched backwards, and only a record whose comment ends exactly at
// the end of the data counts, so trailing bytes cannot smuggle in a second directory.
std::optional<qint64> findEndRecord(const Bytes& bytes) {
    const qint64 lowest = std::max<qint64>(0, bytes.size() - kEndRecordSearchSpan);
    for (qint64 p = bytes.size() - kEndRecord.size; p >= lowest; --p) {
        if (bytes.u32(p) == kEndRecord.signature && p + kEndRecord.size + bytes.u16(p + 20) == bytes.size()) return p;
    }
    return std::nullopt;
}

struct Span {
    qint64 start = 0;
    qint64 end = 0;
};

class Scanner {
public:
    Scanner(QByteArrayView data, const EPUBReader::Limits& limits, const CancellationToken& cancellation)
        : m_bytes(data), m_limits(limits), m_cancellation(cancellation) {}

    EPUBReader::Result<EPUBZipScan> run() {
        if (m_cancellation.isCancelled()) return tl::unexpected(Failure::cancelled());
        if (m_bytes.size() > m_limits.archiveBytes) return exceeded(Limit::archiveBytes);
        if (m_bytes.size() < kEndRecord.size) return failWith(Kind::invalidArchive);

        const std::optional<qint64> end = findEndRecord(m_bytes);
        if (!end) return failWith(Kind::invalidArchive);
        m_endRecord = *end;
        const qint64 disk = m_bytes.u16(m_endRecord + 4);
        const qint64 directoryDisk = m_bytes.u16(m_endRecord + 6);
        const qint64 entriesOnDisk = m_bytes.u16(m_endRecord + 8);
        const qint64 totalEntries = m_bytes.u16(m_endRecord + 10);
        const qint64 directorySize = m_bytes.u32(m_endRecord + 12);
        m_directoryOffset = m_bytes.u32(m_endRecord + 16);
        if (disk != 0 || directoryDisk != 0 || entriesOnDisk != totalEntries) return failWith(Kind::unsupportedArchive);
        if (totalEntries == kZip64Marker16 || directorySize == kZip64Marker32 || m_directoryOffset == kZip64Marker32) {
            return failWith(Kind::unsupportedArchive);
        }
        if (totalEntries < 1 || totalEntries > m_limits.entries) return exceeded(Limit::entries);
        if (m_directoryOffset + directorySize != m_endRecord) return failWith(Kind::invalidArchive);

        m_scan.entries.reserve(static_cast<size_t>(totalEntries));
        qint64 cursor = m_directoryOffset;
        for (qint64 i = 0; i < totalEntries; ++i) {
            if (m_cancellation.isCancelled()) return tl::unexpected(Failure::cancelled());
            const auto next = readRecord(cursor);
            if (!next) return tl::unexpected(next.error());
            cursor = *next;
        }

        if (cursor != m_endRecord) return failWith(Kind::invalidArchive);
        if (!m_names.contains(kMimetypeName)) return failWith(Kind::invalidArchive);
        std::sort(m_spans.begin(), m_spans.end(), [](const Span& a, const Span& b) { return a.start < b.start; });
        for (size_t i = 1; i < m_spans.size(); ++i) {
            if (m_spans[i].start < m_spans[i - 1].end) return failWith(Kind::invalidArchive);
        }
        return std::move(m_scan);
    }

private:
    // Checks the central record at `cursor` with its local header and data; returns the cursor of the
    // next record.
    EPUBReader::Result<qint64> readRecord(qint64 cursor) {
        if (!m_bytes.contains(cursor, kCentralRecord.size)) return failWith(Kind::invalidArchive);
        if (m_bytes.u32(cursor) != kCentralRecord.signature) return failWith(Kind::invalidArchive);
        const qint64 versionNeeded = m_bytes.u16(cursor + 6);
        const qint64 flags = m_bytes.u16(cursor + 8);
        const qint64 method = m_bytes.u16(cursor + 10);
        const qint64 crc = m_bytes.u32(cursor + 16);
        const qint64 compressedSize = m_bytes.u32(cursor + 20);
        const qint64 uncompressedSize = m_bytes.u32(cursor + 24);
        const qint64 nameLength = m_bytes.u16(cursor + 28);
        const qint64 extraLength = m_bytes.u16(cursor + 30);
        const qint64 commentLength = m_bytes.u16(cursor + 32);
        const qint64 diskStart = m_bytes.u16(cursor + 34);
        const qint64 local = m_bytes.u32(cursor + 42);

        if (flags & kEncryptionFlags) return failWith(Kind::encrypted);
        if (flags & ~kKnownFlags) return failWith(Kind::unsupportedArchive);
        if (method != kMethodStored && method != kMethodDeflated) return failWith(Kind::unsupportedArchive);
        if (versionNeeded > kMaximumVersionNeeded) return failWith(Kind::unsupportedArchive);
        if (diskStart != 0 || compressedSize == kZip64Marker32 || uncompressedSize == kZip64Marker32 ||
            local == kZip64Marker32) {
            return failWith(Kind::unsupportedArchive);
        }
        const qint64 recordEnd = cursor + kCentralRecord.size + nameLength + extraLength + commentLength;
        if (recordEnd > m_endRecord || nameLength < 1 || nameLength > m_limits.pathBytes) {
            return failWith(Kind::invalidArchive);
        }

        const QByteArray rawName = m_bytes.slice(cursor + kCentralRecord.size, nameLength).toByteArray();
        // UTF-8 exactly as stored, with the UTF-8 flag or without it: no legacy code page is guessed.
        const std::optional<QString> name = decodeUTF8Exactly(rawName);
        if (!name) return failWith(Kind::ambiguousPath);
        if (!isSafeArchivePath(*name) || m_names.contains(rawName)) return failWith(Kind::ambiguousPath);
        m_names.insert(rawName);

        if (uncompressedSize > m_limits.entryBytes) return exceeded(Limit::entryBytes);
        if (method == kMethodStored && compressedSize != uncompressedSize) return failWith(Kind::invalidArchive);
        m_declaredBytes += uncompressedSize;
        if (m_declaredBytes > m_limits.expandedBytes) return exceeded(Limit::expandedBytes);

        if (!m_bytes.contains(local, kLocalHeader.size) || m_bytes.u32(local) != kLocalHeader.signature ||
            m_bytes.u16(local + 6) != flags || m_bytes.u16(local + 8) != method ||
            m_bytes.u16(local + 26) != nameLength) {
            return failWith(Kind::invalidArchive);
        }
        const qint64 localExtraLength = m_bytes.u16(local + 28);
        qint64 dataEnd = local + kLocalHeader.size + nameLength + localExtraLength + compressedSize;
        if (dataEnd > m_directoryOffset) return failWith(Kind::invalidArchive);
        if (m_bytes.slice(local + kLocalHeader.size, nameLength) != rawName) return failWith(Kind::invalidArchive);

        if (flags & kDataDescriptorFlag) {
            if (!m_bytes.contains(dataEnd, 4)) return failWith(Kind::invalidArchive);
            if (m_bytes.u32(dataEnd) == kDescriptor.signature) dataEnd += 4;
            if (!m_bytes.contains(dataEnd, kDescriptor.size) || m_bytes.u32(dataEnd) != crc ||
                m_bytes.u32(dataEnd + 4) != compressedSize || m_bytes.u32(dataEnd + 8) != uncompressedSize) {
                return failWith(Kind::invalidArchive);
            }
            dataEnd += kDescriptor.size;
        } else if (m_bytes.u32(local + 14) != crc || m_bytes.u32(local + 18) != compressedSize ||
                   m_bytes.u32(local + 22) != uncompressedSize) {
            return failWith(Kind::invalidArchive);
        }
        if (dataEnd > m_directoryOffset) return failWith(Kind::invalidArchive);

        // "mimetype" must be readable by its offset alone: the stored first record of the file.
        if (rawName == kMimetypeName &&
            ((flags & kDataDescriptorFlag) || local != 0 || method != kMethodStored || localExtraLength != 0)) {
            return failWith(Kind::invalidArchive);
        }

        m_spans.push_back({local, dataEnd});
        m_scan.entries.push_back({rawName, *name, static_cast<quint16>(flags), static_cast<quint16>(method),
                                  static_cast<quint32>(crc), compressedSize, uncompressedSize});
        return recordEnd;
    }

    Bytes m_bytes;
    const EPUBReader::Limits& m_limits;
    const CancellationToken& m_cancellation;
    qint64 m_endRecord = 0;
    qint64 m_directoryOffset = 0;
    qint64 m_declaredBytes = 0;
    QSet<QByteArray> m_names;
    std::vector<Span> m_spans;
    EPUBZipScan m_scan;
};

}  // namespace

EPUBReader::Result<EPUBZipScan> scanZip(QByteArrayView bytes, const EPUBReader::Limits& limits,
                                        const CancellationToken& cancellation) {
    return Scanner(bytes, limits, cancellation).run();
}

}  // namespace tavrine
