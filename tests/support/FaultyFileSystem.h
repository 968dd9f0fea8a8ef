#pragma once

#include "ReaderStorage/internal/PosixFileSystem.h"

#include <QList>
#include <QString>

#include <functional>
#include <utility>

namespace tavrine::test {

// The machine's file system with failures put in by a test: an operation on a path (or on every path
// that starts with a prefix) fails with a chosen errno, status() answers can be altered, and the reads
// of opened files and the paths written are recorded. Listings come sorted, so the order of removals
// is known.
class FaultyFileSystem final : public FileSystem {
    using Operation = FileError::Operation;

public:
    void failOn(Operation operation, const QString& path, int code, bool prefix = false) {
        m_faults.append({operation, path, code, prefix});
    }
    void clearFaults() { m_faults.clear(); }
    std::function<void(const QString& path, FileStatus& status)> alterStatus;

    // The largest piece asked of an opened file, and the bytes read from opened files in all.
    qsizetype largestPiece = 0;
    qint64 bytesRead = 0;
    QStringList written;

    WholeFileResult readFile(const QString& path, qint64 maxBytes) override {
        return unlessFault(Operation::read, path, [&] { return m_real.readFile(path, maxBytes); });
    }
    tl::expected<FileStatus, FileError> status(const QString& path) override {
        auto status = unlessFault(Operation::status, path, [&] { return m_real.status(path); });
        if (status && alterStatus) alterStatus(path, *status);
        return status;
    }
    tl::expected<std::unique_ptr<ReadableFile>, FileError> openForReading(const QString& path) override {
        auto file = unlessFault(Operation::open, path, [&] { return m_real.openForReading(path); });
        if (!file) return file;
        return std::make_unique<RecordingFile>(*this, std::move(*file), path);
    }
    tl::expected<QStringList, FileError> list(const QString& directory) override {
        auto names = unlessFault(Operation::list, directory, [&] { return m_real.list(directory); });
        if (names) names->sort();
        return names;
    }
    tl::expected<void, FileError> removeRecursively(const QString& path) override {
        return unlessFault(Operation::remove, path, [&] { return m_real.removeRecursively(path); });
    }
    tl::expected<void, FileError> writeFileAtomicallyFrom(const QString& path,
                                                          const std::function<bool(FileContents&)>& produce) override {
        auto result =
            unlessFault(Operation::write, path, [&] { return m_real.writeFileAtomicallyFrom(path, produce); });
        if (result) written.append(path);
        return result;
    }
    tl::expected<void, FileError> createDirectories(const QString& path) override {
        return unlessFault(Operation::createDirectory, path, [&] { return m_real.createDirectories(path); });
    }
    tl::expected<std::unique_ptr<FileLock>, FileError> lockExclusively(const QString& path) override {
        return unlessFault(Operation::lock, path, [&] { return m_real.lockExclusively(path); });
    }

private:
    class RecordingFile final : public ReadableFile {
    public:
        RecordingFile(FaultyFileSystem& owner, std::unique_ptr<ReadableFile> file, QString path)
            : m_owner(owner), m_file(std::move(file)), m_path(std::move(path)) {}
        tl::expected<QByteArray, FileError> read(qsizetype maxBytes) override {
            m_owner.largestPiece = std::max(m_owner.largestPiece, maxBytes);
            auto piece = m_owner.unlessFault(Operation::read, m_path, [&] { return m_file->read(maxBytes); });
            if (piece) m_owner.bytesRead += piece->size();
            return piece;
        }

    private:
        FaultyFileSystem& m_owner;
        std::unique_ptr<ReadableFile> m_file;
        QString m_path;
    };

    // The operation's failure when one was put on path, else what the real file system does.
    template <typename Call>
    auto unlessFault(Operation operation, const QString& path, Call call) -> decltype(call()) {
        for (const Fault& fault : m_faults) {
            if (fault.operation == operation && (fault.prefix ? path.startsWith(fault.path) : path == fault.path))
                return tl::unexpected(FileError{operation, fault.code, path});
        }
        return call();
    }

    struct Fault {
        Operation operation;
        QString path;
        int code;
        bool prefix;
    };

    PosixFileSystem m_real;
    QList<Fault> m_faults;
};

}  // namespace tavrine::test
