#include "ReaderStorage/internal/ReadingStoreLoader.h"

#include "ReaderStorage/internal/OriginalFiles.h"
#include "ReaderStorage/internal/SnapshotValidation.h"
#include "ReaderStorage/internal/WholeFile.h"

namespace tavrine {

StoreResult<ReadingStoreLoader::Loaded> ReadingStoreLoader::loadAtOpening() {
    auto snapshot = readSnapshot();
    if (!snapshot) return storeFailure(snapshot.error());

    Loaded loaded;
    if (*snapshot && (*snapshot)->revision) {
        concern(StoreOpeningFailure::File::progress, m_files.progressFile(*(*snapshot)->revision));
        auto stamp = readFileStamp(m_fileSystem, m_files.progressFile(*(*snapshot)->revision));
        if (!stamp) return storeFailure(stamp.error());
        loaded.progressFileStamp = *stamp;
    }
    if (auto pruned = pruneOriginals(*snapshot); !pruned) return storeFailure(pruned.error());
    concern(StoreOpeningFailure::File::store, m_files.storeFile());
    auto stamp = readFileStamp(m_fileSystem, m_files.storeFile());
    if (!stamp) return storeFailure(stamp.error());
    loaded.fileStamp = *stamp;

    loaded.hasSeenFile = snapshot->has_value();
    loaded.snapshot = snapshot->value_or(ReadingStoreSnapshot::empty());
    return loaded;
}

StoreResult<std::optional<ReadingStoreSnapshot>> ReadingStoreLoader::readSnapshot() {
    concern(StoreOpeningFailure::File::store, m_files.storeFile());
    auto bytes = readWholeFile(m_fileSystem, m_files.storeFile(), m_largestFileBytes);
    if (!bytes) {
        const auto* error = std::get_if<FileError>(&bytes.error());
        if (error && error->isNoSuchFile()) return std::optional<ReadingStoreSnapshot>();
        return storeFailure(bytes.error());
    }
    // Parsed once; the version is read first so that a file of another version is judged by nothing else.
    const auto json = parseJson(std::move(*bytes));
    if (!json) return storeFailure(json.error());
    const auto version = decodeStoreVersion(json->root());
    if (!version) return storeFailure(version.error());
    if (*version < ReadingStoreSnapshot::kOldestVersion || *version > ReadingStoreSnapshot::kNewestVersion) {
        return storeFailure(ReadingStoreError::unsupportedVersionOf(*version));
    }

    auto snapshot = decodeJson(json->root(), JsonPath(), std::type_identity<ReadingStoreSnapshot>{});
    if (!snapshot) return storeFailure(snapshot.error());
    if (auto valid = validateSnapshot(*snapshot); !valid) return storeFailure(valid.error());
    if (snapshot->version >= ReadingStoreSnapshot::kProgressFileVersion) {
        if (auto applied = applyProgressFile(*snapshot); !applied) return storeFailure(applied.error());
        // A failure here is the progress file's: its positions are checked against the store file's texts.
        if (auto valid = validateHistory(*snapshot); !valid) return storeFailure(valid.error());
    }
    if (auto verified = verifyOriginals(*snapshot); !verified) return storeFailure(verified.error());
    return std::optional(std::move(*snapshot));
}

StoreResult<void> ReadingStoreLoader::applyProgressFile(ReadingStoreSnapshot& snapshot) {
    if (!snapshot.revision) return invalidStoreData();
    concern(StoreOpeningFailure::File::progress, m_files.progressFile(*snapshot.revision));
    auto bytes = readWholeFile(m_fileSystem, m_files.progressFile(*snapshot.revision), m_largestFileBytes);
    if (!bytes) return storeFailure(bytes.error());
    const auto progress = decodeJsonText<ReadingStoreProgressFile>(std::move(*bytes));
    if (!progress) return storeFailure(progress.error());
    return tavrine::applyProgressFile(snapshot, *progress);
}

StoreResult<void> ReadingStoreLoader::verifyOriginals(const ReadingStoreSnapshot& snapshot) {
    for (const StoredReading& record : snapshot.documents) {
        if (!record.originalEPUB) continue;
        concern(StoreOpeningFailure::File::original, m_files.originalFile(record.id()), record.originalEPUB->filename);
        auto verified = verifyOriginalFile(m_fileSystem, m_files.originalFile(record.id()), *record.originalEPUB);
        if (!verified) return verified;
    }
    return {};
}

StoreResult<void> ReadingStoreLoader::pruneOriginals(const std::optional<ReadingStoreSnapshot>& keeping) {
    QSet<QString> kept;
    if (keeping) {
        for (const StoredReading& record : keeping->documents) {
            if (record.originalEPUB) kept.insert(ReadingStoreFiles::originalFileName(record.id()));
        }
    }
    concern(StoreOpeningFailure::File::originals, m_files.originalsDirectory());
    return pruneOriginalsDirectory(m_fileSystem, m_files.originalsDirectory(), kept);
}

void ReadingStoreLoader::concern(StoreOpeningFailure::File file, QString path, std::optional<QString> originalName) {
    m_file = file;
    m_path = std::move(path);
    m_originalName = std::move(originalName);
}

StoreOpeningFailure ReadingStoreLoader::concernOf(StoreFailure failure) const {
    // A file error names the very file, such as the entry of the originals folder that stayed.
    const auto* error = std::get_if<FileError>(&failure);
    QString path = error && !error->path.isEmpty() ? error->path : m_path;
    return {.failure = std::move(failure), .file = m_file, .path = std::move(path), .originalName = m_originalName};
}

}  // namespace tavrine
