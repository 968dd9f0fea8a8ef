#pragma once

#include "ReaderStorage/PosixFileSystem.h"

#include <QHash>
#include <QString>

#include <functional>
#include <utility>

namespace tavrine::test {

// The machine's file system with failures put in by a test: an operation on a path fails with a chosen
// errno, status() answers can be altered, and reads of opened files and the paths written and removed are
// recorded. Listings come sorted, so the order of removals is known.
class FaultyFileSystem final : public FileSystem {
public:
    void failOn(FileError::Operation operation, const QString& path, int code) {
        m_faults.insert(key(operation, path), code);
    }
    // Every path that starts with prefix fails; for files whose names are not known in advance.
    void failOnPrefix(FileError::Operation operation, const QString& prefix, int code) {
        m_prefixFaults.append({operation, prefix, code});
    }
    void clearFaults() {
        m_faults.clear();
        m_prefixFaults.clear();
    }
    std::function<void(const QString& path, FileStatus& status)> alterStatus;

    // The largest piece asked of an opened file, and the bytes read from opened files in all.
    qsizetype largestPiece = 0;
    qint64 bytesRead = 0;
    QStringList removed;
    QStringList written;

    tl::expected<QByteArray, FileError> readFile(const QString& path) override {
        if (auto fault = faultOn(FileError::Operation::read, path)) return tl::unexpected(*fault);
        return m_real.readFile(path);
    }
    tl::expected<FileStatus, FileError> status(const QString& path) override {
        if (auto fault = faultOn(FileError::Operation::status, path)) return tl::unexpected(*fault);
        auto status = m_real.status(path);
        if (status && alterStatus) alterStatus(path, *status);
        return status;
    }
    tl::expected<std::unique_ptr<ReadableFile>, FileError> openForReading(const QString& path) override {
        if (auto fault = faultOn(FileError::Operation::open, path)) return tl::unexpected(*fault);
        auto file = m_real.openForReading(path);
        if (!file) return file;
        return std::make_unique<RecordingFile>(*this, std::move(*file), path);
    }
    tl::expected<QStringList, FileError> list(const QString& directory) override {
        if (auto fault = faultOn(FileError::Operation::list, directory)) return tl::unexpected(*fault);
        auto names = m_real.list(directory);
        if (names) names->sort();
        return names;
    }
    tl::expected<void, FileError> removeRecursively(const QString& path) override {
        if (auto fault = faultOn(FileError::Operation::remove, path)) return tl::unexpected(*fault);
        auto result = m_real.removeRecursively(path);
        if (result) removed.append(path);
        return result;
    }
    tl::expected<void, FileError> writeFileAtomically(const QString& path, const QByteArray& bytes) override {
        if (auto fault = faultOn(FileError::Operation::write, path)) return tl::unexpected(*fault);
        auto result = m_real.writeFileAtomically(path, bytes);
        if (result) written.append(path);
        return result;
    }
    tl::expected<void, FileError> createDirectories(const QString& path) override {
        if (auto fault = faultOn(FileError::Operation::createDirectory, path)) return tl::unexpected(*fault);
        return m_real.createDirectories(path);
    }

private:
    class RecordingFile final : public ReadableFile {
    public:
        RecordingFile(FaultyFileSystem& owner, std::unique_ptr<ReadableFile> file, QString path)
            : m_owner(owner), m_file(std::move(file)), m_path(std::move(path)) {}
        tl::expected<QByteArray, FileError> read(qsizetype maxBytes) override {
            if (auto fault = m_owner.faultOn(FileError::Operation::read, m_path)) return tl::unexpected(*fault);
            m_owner.largestPiece = std::max(m_owner.largestPiece, maxBytes);
            auto piece = m_file->read(maxBytes);
            if (piece) m_owner.bytesRead += piece->size();
            return piece;
        }

    private:
        FaultyFileSystem& m_owner;
        std::unique_ptr<ReadableFile> m_file;
        QString m_path;
    };

    static QString key(FileError::Operation operation, const QString& path) {
        return QString::number(static_cast<int>(operation)) + u':' + path;
    }

    std::optional<FileError> faultOn(FileError::Operation operation, const QString& path) const {
        const auto found = m_faults.constFind(key(operation, path));
        if (found != m_faults.constEnd()) return FileError{operation, found.value(), path};
        for (const auto& fault : m_prefixFaults) {
            if (fault.operation == operation && path.startsWith(fault.prefix))
                return FileError{operation, fault.code, path};
        }
        return std::nullopt;
    }

    struct PrefixFault {
        FileError::Operation operation;
        QString prefix;
        int code;
    };

    PosixFileSystem m_real;
    QHash<QString, int> m_faults;
    QList<PrefixFault> m_prefixFaults;
};

}  // namespace tavrine::test
