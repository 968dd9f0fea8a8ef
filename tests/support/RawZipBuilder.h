#pragma once

#include <QByteArray>
#include <QList>

#include <optional>

namespace tavrine::test {

// One entry of a hand-built archive. The builder writes what it is told, including what no zip tool
// writes: names that are not UTF-8 or not safe, unknown methods and flags, sizes and CRCs that lie,
// local headers that disagree with the central directory.
struct RawZipEntry {
    QByteArray name{};
    QByteArray data{};  // the content before compression
    // 0 stores the data, 8 deflates it; any other method writes the data as it is.
    quint16 method = 0;
    quint16 flags = 0;  // bit 3 is added when dataDescriptor is set
    quint16 versionNeeded = 20;
    quint16 versionMadeBy = 0x031E;  // Unix, 3.0: the external attributes carry a Unix mode
    quint32 externalAttributes = 0100644u << 16;
    bool dataDescriptor = false;  // CRC and sizes follow the data, zero in the local header
    bool descriptorSignature = true;
    QByteArray localExtra{};
    QByteArray centralExtra{};
    QByteArray comment{};

    // Lies, written in both headers (and the descriptor) instead of the true values.
    std::optional<quint32> crc{};
    std::optional<quint32> compressedSize{};
    std::optional<quint32> uncompressedSize{};
    // The bytes written as the entry's data instead of the (compressed) content.
    std::optional<QByteArray> payload{};
    // A local header that disagrees with the central record.
    std::optional<QByteArray> localName{};
    std::optional<quint16> localFlags{};
};

// The bytes of an archive with the offsets of its records, so a test can overwrite any field.
struct RawZip {
    QByteArray bytes{};
    QList<qint64> localHeaders{};    // offset of each entry's local header
    QList<qint64> centralRecords{};  // offset of each entry's central-directory record
    qint64 centralDirectory = 0;
    qint64 endRecord = 0;

    void put16(qint64 offset, quint16 value);
    void put32(qint64 offset, quint32 value);
};

class RawZipBuilder {
public:
    RawZipBuilder& add(RawZipEntry entry) {
        m_entries.append(std::move(entry));
        return *this;
    }
    RawZipBuilder& addStored(QByteArray name, QByteArray data) { return add({.name = name, .data = data}); }
    RawZipBuilder& addDeflated(QByteArray name, QByteArray data) {
        return add({.name = name, .data = data, .method = 8});
    }
    // The "mimetype" entry of a book, stored and first.
    RawZipBuilder& addMimetype(QByteArray content = QByteArrayLiteral("application/epub+zip")) {
        return addStored(QByteArrayLiteral("mimetype"), std::move(content));
    }

    // Bytes beside the records: the archive comment after the end record; a gap between the last entry
    // and the directory, counted by neither; padding after the last central record that the end record
    // counts as part of the directory; a gap before the end record that it does not count; trailing bytes
    // that its comment length does not cover.
    RawZipBuilder& setComment(QByteArray bytes) { return set(m_comment, bytes); }
    RawZipBuilder& setGapBeforeDirectory(QByteArray bytes) { return set(m_gapBeforeDirectory, bytes); }
    RawZipBuilder& setDirectoryPadding(QByteArray bytes) { return set(m_directoryPadding, bytes); }
    RawZipBuilder& setGapBeforeEndRecord(QByteArray bytes) { return set(m_gapBeforeEndRecord, bytes); }
    RawZipBuilder& setTrailing(QByteArray bytes) { return set(m_trailing, bytes); }

    QList<RawZipEntry>& entries() { return m_entries; }
    RawZip build() const;

private:
    RawZipBuilder& set(QByteArray& field, QByteArray bytes) {
        field = std::move(bytes);
        return *this;
    }

    QList<RawZipEntry> m_entries;
    QByteArray m_comment;
    QByteArray m_gapBeforeDirectory;
    QByteArray m_directoryPadding;
    QByteArray m_gapBeforeEndRecord;
    QByteArray m_trailing;
};

// Raw deflate (no zlib header), as ZIP method 8 stores it.
QByteArray deflateRaw(const QByteArray& data);
quint32 crc32Of(const QByteArray& data);

// Sets the UTF-8 name flag of every entry of a well-formed archive without a comment, in its central
// record and in its local header: some real books store UTF-8 names without it.
void setUTF8NameFlags(QByteArray& archive);

}  // namespace tavrine::test
