#include "support/RawZipBuilder.h"

#include <zlib.h>

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

RawZipBuilder& RawZipBuilder::add(RawZipEntry entry) {
    m_entries.append(std::move(entry));
    return *this;
}

RawZipBuilder& RawZipBuilder::addStored(QByteArray name, QByteArray data) {
    RawZipEntry entry;
    entry.name = std::move(name);
    entry.data = std::move(data);
    return add(std::move(entry));
}

RawZipBuilder& RawZipBuilder::addDeflated(QByteArray name, QByteArray data) {
    RawZipEntry entry;
    entry.name = std::move(name);
    entry.data = std::move(data);
    entry.method = 8;
    return add(std::move(entry));
}

RawZipBuilder& RawZipBuilder::addMimetype(QByteArray content) {
    return addStored(QByteArrayLiteral("mimetype"), std::move(content));
}

RawZipBuilder& RawZipBuilder::setComment(QByteArray comment) {
    m_comment = std::move(comment);
    return *this;
}

RawZipBuilder& RawZipBuilder::setGapBeforeDirectory(QByteArray gap) {
    m_gapBeforeDirectory = std::move(gap);
    return *this;
}

RawZipBuilder& RawZipBuilder::setDirectoryPadding(QByteArray padding) {
    m_directoryPadding = std::move(padding);
    return *this;
}

RawZipBuilder& RawZipBuilder::setGapBeforeEndRecord(QByteArray gap) {
    m_gapBeforeEndRecord = std::move(gap);
    return *this;
}

RawZipBuilder& RawZipBuilder::setTrailing(QByteArray trailing) {
    m_trailing = std::move(trailing);
    return *this;
}

RawZip RawZipBuilder::build() const {
    struct Written {
        quint16 flags;
        quint32 crc;
        quint32 compressedSize;
        quint32 uncompressedSize;
    };
    RawZip zip;
    QByteArray& out = zip.bytes;
    QList<Written> written;

    for (const RawZipEntry& entry : m_entries) {
        const QByteArray payload = entry.payload       ? *entry.payload
                                   : entry.method == 8 ? deflateRaw(entry.data)
                                                       : entry.data;
        Written w;
        w.flags = static_cast<quint16>(entry.flags | (entry.dataDescriptor ? 0x0008 : 0));
        w.crc = entry.crc.value_or(crc32Of(entry.data));
        w.compressedSize = entry.compressedSize.value_or(static_cast<quint32>(payload.size()));
        w.uncompressedSize = entry.uncompressedSize.value_or(static_cast<quint32>(entry.data.size()));
        written.append(w);

        const QByteArray localName = entry.localName.value_or(entry.name);
        zip.localHeaders.append(out.size());
        append32(out, 0x04034B50);
        append16(out, entry.versionNeeded);
        append16(out, entry.localFlags.value_or(w.flags));
        append16(out, entry.method);
        append16(out, 0);     // time
        append16(out, 0x21);  // date: 1980-01-01
        append32(out, entry.dataDescriptor ? 0 : w.crc);
        append32(out, entry.dataDescriptor ? 0 : w.compressedSize);
        append32(out, entry.dataDescriptor ? 0 : w.uncompressedSize);
        append16(out, static_cast<quint32>(localName.size()));
        append16(out, static_cast<quint32>(entry.localExtra.size()));
        out.append(localName);
        out.append(entry.localExtra);
        out.append(payload);
        if (entry.dataDescriptor) {
            if (entry.descriptorSignature) append32(out, 0x08074B50);
            append32(out, w.crc);
            append32(out, w.compressedSize);
            append32(out, w.uncompressedSize);
        }
    }
    out.append(m_gapBeforeDirectory);

    zip.centralDirectory = out.size();
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        const RawZipEntry& entry = m_entries[i];
        const Written& w = written[i];
        zip.centralRecords.append(out.size());
        append32(out, 0x02014B50);
        append16(out, entry.versionMadeBy);
        append16(out, entry.versionNeeded);
        append16(out, w.flags);
        append16(out, entry.method);
        append16(out, 0);
        append16(out, 0x21);
        append32(out, w.crc);
        append32(out, w.compressedSize);
        append32(out, w.uncompressedSize);
        append16(out, static_cast<quint32>(entry.name.size()));
        append16(out, static_cast<quint32>(entry.centralExtra.size()));
        append16(out, static_cast<quint32>(entry.comment.size()));
        append16(out, 0);  // disk number start
        append16(out, 0);  // internal attributes
        append32(out, entry.externalAttributes);
        append32(out, static_cast<quint32>(zip.localHeaders[i]));
        out.append(entry.name);
        out.append(entry.centralExtra);
        out.append(entry.comment);
    }
    out.append(m_directoryPadding);
    const qint64 directorySize = out.size() - zip.centralDirectory;
    out.append(m_gapBeforeEndRecord);

    zip.endRecord = out.size();
    append32(out, 0x06054B50);
    append16(out, 0);
    append16(out, 0);
    append16(out, static_cast<quint32>(m_entries.size()));
    append16(out, static_cast<quint32>(m_entries.size()));
    append32(out, static_cast<quint32>(directorySize));
    append32(out, static_cast<quint32>(zip.centralDirectory));
    append16(out, static_cast<quint32>(m_comment.size()));
    out.append(m_comment);
    out.append(m_trailing);
    return zip;
}

}  // namespace tavrine::test
