#include "support/RawZipBuilder.h"

#include <zlib.h>

#include <array>
#include <stdexcept>

namespace tavrine::test {
namespace {

void append16(QByteArray& out, quint32 value) {
    out.append(static_cast<char>(value & 0xFF));
    out.append(static_cast<char>((value >> 8) & 0xFF));
}

void append32(QByteArray& out, quint32 value) {
    append16(out, value & 0xFFFF);
    append16(out, value >> 16);
}

}  // namespace

QByteArray deflateRaw(const QByteArray& data) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("deflateInit2 failed");
    }
    QByteArray out(static_cast<qsizetype>(deflateBound(&stream, static_cast<uLong>(data.size()))), Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int status = deflate(&stream, Z_FINISH);
    deflateEnd(&stream);
    if (status != Z_STREAM_END) throw std::runtime_error("deflate failed");
    out.truncate(static_cast<qsizetype>(stream.total_out));
    return out;
}

quint32 crc32Of(const QByteArray& data) {
    return static_cast<quint32>(
        crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(data.constData()), static_cast<uInt>(data.size())));
}

void setUTF8NameFlags(QByteArray& archive) {
    const auto u16 = [&](qint64 at) {
        return static_cast<qint64>(static_cast<quint8>(archive[at]) | static_cast<quint8>(archive[at + 1]) << 8);
    };
    const auto u32 = [&](qint64 at) { return u16(at) | u16(at + 2) << 16; };
    const auto setFlag = [&](qint64 at) { archive[at + 1] = static_cast<char>(archive[at + 1] | 0x08); };
    const qint64 end = archive.size() - 22;
    qint64 cursor = u32(end + 16);
    for (qint64 i = 0; i < u16(end + 10); ++i) {
        setFlag(cursor + 8);
        setFlag(u32(cursor + 42) + 6);
        cursor += 46 + u16(cursor + 28) + u16(cursor + 30) + u16(cursor + 32);
    }
}

void RawZip::put16(qint64 offset, quint16 value) {
    bytes[offset] = static_cast<char>(value & 0xFF);
    bytes[offset + 1] = static_cast<char>(value >> 8);
}

void RawZip::put32(qint64 offset, quint32 value) {
    put16(offset, static_cast<quint16>(value & 0xFFFF));
    put16(offset + 2, static_cast<quint16>(value >> 16));
}

RawZip RawZipBuilder::build() const {
    RawZip zip;
    QByteArray& out = zip.bytes;
    // The fields both headers share: flags, method, time and date (1980-01-01), CRC and sizes.
    const auto shared = [&](quint16 flags, quint16 method, const std::array<quint32, 3>& crcAndSizes) {
        for (const quint32 field : {quint32(flags), quint32(method), 0u, 0x21u}) append16(out, field);
        for (const quint32 field : crcAndSizes) append32(out, field);
    };
    QList<std::array<quint32, 3>> written;  // the CRC and sizes of each entry, lies included
    for (const RawZipEntry& entry : m_entries) {
        const QByteArray payload = entry.payload       ? *entry.payload
                                   : entry.method == 8 ? deflateRaw(entry.data)
                                                       : entry.data;
        const quint16 flags = entry.flags | (entry.dataDescriptor ? 0x0008 : 0);
        written.append({entry.crc.value_or(crc32Of(entry.data)), entry.compressedSize.value_or(quint32(payload.size())),
                        entry.uncompressedSize.value_or(quint32(entry.data.size()))});
        const QByteArray localName = entry.localName.value_or(entry.name);
        zip.localHeaders.append(out.size());
        append32(out, 0x04034B50);
        append16(out, entry.versionNeeded);
        shared(entry.localFlags.value_or(flags), entry.method,
               entry.dataDescriptor ? std::array<quint32, 3>{} : written.last());
        append16(out, quint32(localName.size()));
        append16(out, quint32(entry.localExtra.size()));
        out.append(localName).append(entry.localExtra).append(payload);
        if (entry.dataDescriptor) {
            if (entry.descriptorSignature) append32(out, 0x08074B50);
            for (const quint32 field : written.last()) append32(out, field);
        }
    }
    out.append(m_gapBeforeDirectory);

    zip.centralDirectory = out.size();
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        const RawZipEntry& entry = m_entries[i];
        zip.centralRecords.append(out.size());
        append32(out, 0x02014B50);
        append16(out, entry.versionMadeBy);
        append16(out, entry.versionNeeded);
        shared(entry.flags | (entry.dataDescriptor ? 0x0008 : 0), entry.method, written[i]);
        for (const qsizetype length : {entry.name.size(), entry.centralExtra.size(), entry.comment.size()}) {
            append16(out, quint32(length));
        }
        append32(out, 0);  // disk number start, internal attributes
        append32(out, entry.externalAttributes);
        append32(out, quint32(zip.localHeaders[i]));
        out.append(entry.name).append(entry.centralExtra).append(entry.comment);
    }
    out.append(m_directoryPadding);
    const qint64 directorySize = out.size() - zip.centralDirectory;
    out.append(m_gapBeforeEndRecord);

    zip.endRecord = out.size();
    append32(out, 0x06054B50);
    append32(out, 0);  // this disk, the directory's disk
    append16(out, quint32(m_entries.size()));
    append16(out, quint32(m_entries.size()));
    append32(out, quint32(directorySize));
    append32(out, quint32(zip.centralDirectory));
    append16(out, quint32(m_comment.size()));
    out.append(m_comment).append(m_trailing);
    return zip;
}

}  // namespace tavrine::test
