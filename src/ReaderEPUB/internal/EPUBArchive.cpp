#include "ReaderEPUB/internal/EPUBArchive.h"

#include "ReaderEPUB/internal/EPUBExtractionBudget.h"
#include "ReaderEPUB/internal/EPUBZipScan.h"

#include <zip.h>
#include <zlib.h>

#include <memory>

namespace tavrine {
namespace {
using Failure = EPUBReader::Failure;
using Kind = Failure::Kind;

const QByteArray kMimetypeContent = QByteArrayLiteral("application/epub+zip");
const QString kMimetypeName = QStringLiteral("mimetype");

constexpr zip_uint32_t kFileTypeMask = 0170000;
constexpr zip_uint32_t kSymbolicLinkType = 0120000;

struct ArchiveCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct FileCloser {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};
using Archive = std::unique_ptr<zip_t, ArchiveCloser>;
using File = std::unique_ptr<zip_file_t, FileCloser>;

// Opens the bytes, which must outlive the archive, for reading. No consistency check of the library's
// own: the scan has made them all, and the library's refusals would only change which failure is told.
Archive openArchive(const QByteArray& bytes) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source =
        zip_source_buffer_create(bytes.constData(), static_cast<zip_uint64_t>(bytes.size()), 0, &error);
    zip_t* archive = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
    if (source && !archive) zip_source_free(source);
    zip_error_fini(&error);
    return Archive(archive);
}

bool isSymbolicLink(zip_t* archive, zip_uint64_t index) {
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(archive, index, 0, &system, &attributes) != 0) return false;
    return system == ZIP_OPSYS_UNIX && ((attributes >> 16) & kFileTypeMask) == kSymbolicLinkType;
}

// Inflates one entry through the budget and checks what came out against the entry's record.
EPUBReader::Result<QByteArray> extractEntry(zip_t* archive, zip_uint64_t index, const EPUBZipScan::Entry& entry,
                                            EPUBExtractionBudget& budget) {
    budget.beginEntry(entry.compressedSize);
    const File file(zip_fopen_index(archive, index, 0));
    if (!file) return failWith(Kind::invalidArchive);
    char piece[EPUBExtractionBudget::kPieceBytes];
    uLong crc = crc32(0, nullptr, 0);
    for (;;) {
        const zip_int64_t read = zip_fread(file.get(), piece, sizeof piece);
        // The library reports a damaged stream or a CRC mismatch as a failed read.
        if (read < 0) return failWith(Kind::invalidArchive);
        if (read == 0) break;
        if (auto appended = budget.append(QByteArrayView(piece, read)); !appended) {
            return tl::unexpected(appended.error());
        }
        crc = crc32(crc, reinterpret_cast<const Bytef*>(piece), static_cast<uInt>(read));
    }
    if (budget.entryData().size() != entry.uncompressedSize || crc != entry.crc) return failWith(Kind::invalidArchive);
    // A directory has no content; bytes under a directory name would be readable by no path.
    if (entry.name.endsWith(u'/') && !budget.entryData().isEmpty()) return failWith(Kind::invalidArchive);
    return budget.takeEntryData();
}

EPUBReader::Result<EPUBArchiveFiles> extract(const QByteArray& bytes, const EPUBZipScan& scan,
                                             const EPUBReader::Limits& limits, const CancellationToken& cancellation) {
    const Archive archive = openArchive(bytes);
    if (!archive) return failWith(Kind::invalidArchive);

    QHash<QByteArray, const EPUBZipScan::Entry*> scanned;
    for (const auto& entry : scan.entries) scanned.insert(entry.rawName, &entry);

    EPUBExtractionBudget budget(limits, cancellation);
    EPUBArchiveFiles files;
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    if (count < 0) return failWith(Kind::invalidArchive);
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        if (cancellation.isCancelled()) return tl::unexpected(Failure::cancelled());
        if (isSymbolicLink(archive.get(), index)) return failWith(Kind::ambiguousPath);
        // Raw bytes, never the library's guess at a legacy encoding, so names compare with the scan's.
        const char* rawName = zip_get_name(archive.get(), index, ZIP_FL_ENC_RAW);
        if (!rawName) return failWith(Kind::invalidArchive);
        const EPUBZipScan::Entry* entry = scanned.value(QByteArray(rawName), nullptr);
        if (!entry || files.contains(entry->name)) return failWith(Kind::ambiguousPath);

        // The library must see the entry as the scan did.
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(archive.get(), index, ZIP_FL_ENC_RAW, &stat) != 0) return failWith(Kind::invalidArchive);
        constexpr zip_uint64_t kNeeded = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_CRC;
        if ((stat.valid & kNeeded) != kNeeded || stat.size != static_cast<zip_uint64_t>(entry->uncompressedSize) ||
            stat.comp_size != static_cast<zip_uint64_t>(entry->compressedSize) || stat.crc != entry->crc) {
            return failWith(Kind::invalidArchive);
        }

        auto data = extractEntry(archive.get(), index, *entry, budget);
        if (!data) return tl::unexpected(data.error());
        files.insert(entry->name, std::move(*data));
    }
    if (static_cast<size_t>(count) != scan.entries.size()) return failWith(Kind::invalidArchive);
    if (files.value(kMimetypeName) != kMimetypeContent) return failWith(Kind::invalidArchive);
    return files;
}

}  // namespace

EPUBReader::Result<EPUBArchiveFiles> readArchive(const QByteArray& bytes, const EPUBReader::Limits& limits,
                                                 const CancellationToken& cancellation) {
    if (!limits.isValid()) return failWith(Kind::invalidLimits);
    const auto scan = scanZip(bytes, limits, cancellation);
    if (!scan) return tl::unexpected(scan.error());
    return extract(bytes, *scan, limits, cancellation);
}

}  // namespace tavrine
