#include "ReaderStorage/internal/ReadingStoreWriter.h"

#include "ReaderStorage/internal/SnapshotValidation.h"

namespace tavrine {

ReadingStoreSnapshot ReadingStoreWriter::completed(const ReadingStoreSnapshot& current, ReadingStoreSnapshot proposed) {
    const bool keepsEPUB = std::any_of(proposed.documents.cbegin(), proposed.documents.cend(),
                                       [](const StoredReading& record) { return record.originalEPUB.has_value(); });
    proposed.version = current.version > ReadingStoreSnapshot::kProgressFileVersion || keepsEPUB
                           ? ReadingStoreSnapshot::kEPUBVersion
                           : ReadingStoreSnapshot::kProgressFileVersion;

    QSet<QUuid> removed = proposed.tombstones.value_or(QSet<QUuid>());
    QSet<QUuid> kept;
    kept.reserve(proposed.documents.size());
    for (const StoredReading& record : std::as_const(proposed.documents)) kept.insert(record.id());
    for (const StoredReading& record : current.documents) {
        if (!kept.contains(record.id())) removed.insert(record.id());
    }
    proposed.tombstones = std::move(removed);
    return proposed;
}

bool ReadingStoreWriter::changesOnlyProgress(const ReadingStoreSnapshot& current, const ReadingStoreSnapshot& next) {
    if (current.version < ReadingStoreSnapshot::kProgressFileVersion || !current.revision) return false;
    if (current.historyEnabled != next.historyEnabled || current.historyLimit != next.historyLimit) return false;
    if (current.tombstones != next.tombstones) return false;
    if (current.documents.size() != next.documents.size()) return false;
    // By position: a reordering rewrites the store file.
    for (qsizetype i = 0; i < next.documents.size(); ++i) {
        if (!sameContent(next.documents.at(i), current.documents.at(i))) return false;
    }
    return true;
}

StoreResult<ReadingStoreWriter::Written> ReadingStoreWriter::write(const ReadingStoreSnapshot& current,
                                                                   ReadingStoreSnapshot proposed,
                                                                   const Stamps& stamps) {
    ReadingStoreSnapshot next = completed(current, std::move(proposed));
    if (changesOnlyProgress(current, next)) {
        next.revision = current.revision;
        auto written = writeProgressOnly(next, stamps);
        if (!written) return storeFailure(written.error());
        return Written{std::move(next), *written};
    }
    next.revision = QUuid::createUuid();
    auto written = writeFull(current, next);
    if (!written) return storeFailure(written.error());
    return Written{std::move(next), *written};
}

StoreResult<ReadingStoreWriter::Stamps> ReadingStoreWriter::writeProgressOnly(const ReadingStoreSnapshot& next,
                                                                              const Stamps& stamps) {
    // The progress file belongs to the store file as this store knows it; one replaced behind its back
    // would pair the new positions with someone else's content.
    const auto onDisk = readFileStamp(m_fileSystem, m_files.storeFile());
    if (!onDisk) return storeFailure(onDisk.error());
    if (*onDisk != stamps.file) return invalidStoreData();

    if (auto valid = validateHistory(next); !valid) return storeFailure(valid.error());
    const auto progress = encodeProgressFile(next);
    if (!progress) return storeFailure(progress.error());
    if (progress->size() > m_largestFileBytes) return invalidStoreData();
    const QString progressFile = m_files.progressFile(*next.revision);
    if (auto written = m_fileSystem.writeFileAtomically(progressFile, *progress); !written) {
        return storeFailure(written.error());
    }
    return Stamps{stamps.file, stampAfterWriting(progressFile)};
}

StoreResult<ReadingStoreWriter::Stamps> ReadingStoreWriter::writeFull(const ReadingStoreSnapshot& current,
                                                                      const ReadingStoreSnapshot& next) {
    if (auto valid = validateSuccessor(next, current); !valid) return storeFailure(valid.error());
    const auto progress = encodeProgressFile(next);
    if (!progress) return storeFailure(progress.error());
    if (progress->size() > m_largestFileBytes) return invalidStoreData();

    if (auto made = m_fileSystem.createDirectories(m_files.folder()); !made) {
        return storeFailure(made.error());
    }
    const QString progressFile = m_files.progressFile(*next.revision);
    if (auto written = m_fileSystem.writeFileAtomically(progressFile, *progress); !written) {
        return storeFailure(written.error());
    }
    // The store file is written as it is encoded, never whole in memory; one that proves too large is
    // abandoned on the way.
    bool tooLarge = false;
    const auto produce = [&](FileContents& file) {
        qint64 size = 0;
        JsonWriter writer([&](QByteArrayView piece) {
            size += piece.size();
            tooLarge = size > m_largestFileBytes;
            return !tooLarge && file.append(piece);
        });
        writeJson(writer, next);
        return writer.finish();
    };
    if (auto written = m_fileSystem.writeFileAtomicallyFrom(m_files.storeFile(), produce); !written) {
        // The old store file is untouched and still names its own progress file.
        m_fileSystem.removeRecursively(progressFile);
        if (tooLarge) return invalidStoreData();
        return storeFailure(written.error());
    }

    // Committed. Rolling back now would restore a store file naming originals already removed, which
    // would refuse to open; an original that cannot be removed stays an orphan until the next opening.
    // Every reading that left the store is among the tombstones (completed()), and no stored one is.
    for (const StoredReading& record : current.documents) {
        if (record.originalEPUB && next.tombstones->contains(record.id())) {
            m_fileSystem.removeRecursively(m_files.originalFile(record.id()));
        }
    }
    const Stamps stamps{stampAfterWriting(m_files.storeFile()), stampAfterWriting(progressFile)};
    if (current.version >= ReadingStoreSnapshot::kProgressFileVersion && current.revision) {
        m_fileSystem.removeRecursively(m_files.progressFile(*current.revision));
    }
    return stamps;
}

std::optional<FileStamp> ReadingStoreWriter::stampAfterWriting(const QString& path) {
    auto stamp = readFileStamp(m_fileSystem, path);
    return stamp ? *stamp : std::nullopt;
}

}  // namespace tavrine
