#include "PelmoraMac/Library/LibraryFileReader.h"

#include "ReaderCore/FileDescriptor.h"
#include "ReaderEPUB/EPUBReader.h"

#include <QCoro/QCoroFuture>
#include <QFileInfo>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrent>

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

namespace tavrine {
using namespace Qt::StringLiterals;

namespace {

class DescriptorFile final : public ReadableFile {
public:
    DescriptorFile(FileDescriptor descriptor, QString path)
        : m_descriptor(std::move(descriptor)), m_path(std::move(path)) {}

    tl::expected<QByteArray, FileError> read(qsizetype maxBytes) override {
        QByteArray piece(maxBytes, Qt::Uninitialized);
        const ssize_t count = readSome(m_descriptor.get(), piece.data(), size_t(maxBytes));
        if (count < 0) return tl::unexpected(FileError{FileError::Operation::read, errno, m_path});
        piece.truncate(count);
        return piece;
    }

private:
    FileDescriptor m_descriptor;
    QString m_path;
};

class SystemFileAccess final : public LibraryFileAccess {
public:
    tl::expected<Attributes, FileError> attributes(const QString& path) override {
        struct stat status {};
        if (::stat(QFile::encodeName(path).constData(), &status) != 0)
            return tl::unexpected(FileError{FileError::Operation::status, errno, path});
        return Attributes{.isRegularFile = S_ISREG(status.st_mode), .size = qint64(status.st_size)};
    }

    tl::expected<std::unique_ptr<ReadableFile>, FileError> open(const QString& path) override {
        // Non-blocking: a pipe put in the file's place since it was asked about must not hang the read.
        FileDescriptor descriptor(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
        if (descriptor.get() < 0) return tl::unexpected(FileError{FileError::Operation::open, errno, path});
        struct stat status {};
        if (::fstat(descriptor.get(), &status) != 0)
            return tl::unexpected(FileError{FileError::Operation::open, errno, path});
        if (!S_ISREG(status.st_mode)) return tl::unexpected(FileError{FileError::Operation::open, EINVAL, path});
        return std::make_unique<DescriptorFile>(std::move(descriptor), path);
    }
};

bool isEPUBName(const QString& filename) {
    return QFileInfo(filename).suffix().toLower() == u"epub"_s;
}

LibraryImportFailure tooLarge(const QString& filename) {
    if (isEPUBName(filename)) return EPUBReader::Failure::limit(EPUBReader::ResourceLimit::archiveBytes);
    return LibraryTextFile::Failure::tooLong;
}

}  // namespace

std::shared_ptr<LibraryFileAccess> LibraryFileAccess::system() {
    static const auto access = std::make_shared<SystemFileAccess>();
    return access;
}

tl::expected<QByteArray, LibraryImportFailure> LibraryFileReader::readFile(const QUrl& url,
                                                                           const CancellationToken& token,
                                                                           LibraryFileAccess& access) {
    using Unexpected = tl::unexpected<LibraryImportFailure>;
    if (!url.isLocalFile()) return Unexpected(LibraryTextFile::Failure::unsupportedFormat);
    const QString path = url.toLocalFile();
    const QString filename = url.fileName();
    if (token.isCancelled()) return Unexpected(ImportCancelled{});

    const auto attributes = access.attributes(path);
    if (!attributes) return Unexpected(Failure::unreadable);
    if (!attributes->isRegularFile) return Unexpected(Failure::notRegularFile);
    const auto limit = LibraryFileImport::byteLimit(filename);
    if (!limit) return Unexpected(limit.error());
    if (attributes->size.value_or(0) > *limit) return Unexpected(tooLarge(filename));

    auto file = access.open(path);
    if (!file) return Unexpected(Failure::unreadable);
    QByteArray data;
    while (data.size() <= *limit) {
        if (token.isCancelled()) return Unexpected(ImportCancelled{});
        const auto piece = (*file)->read(qsizetype(std::min<qint64>(*limit + 1 - data.size(), kPieceBytes)));
        if (!piece) return Unexpected(Failure::unreadable);
        if (piece->isEmpty()) break;
        data.append(*piece);
    }
    if (token.isCancelled()) return Unexpected(ImportCancelled{});
    if (data.size() > *limit) return Unexpected(tooLarge(filename));
    return data;
}

QCoro::Task<LibraryFileReader::Result> LibraryFileReader::load(QUrl url, CancellationToken token,
                                                               std::shared_ptr<LibraryFileAccess> access) {
    if (token.isCancelled()) co_return tl::unexpected(LibraryImportFailure(ImportCancelled{}));
    // The worker shares the caller's token: cancelling the caller stops it before its next piece.
    QFuture<tl::expected<QByteArray, LibraryImportFailure>> reading =
        QtConcurrent::run(QThreadPool::globalInstance(),
                          [url, token, access = std::move(access)] { return readFile(url, token, *access); });
    auto bytes = co_await reading;
    if (!bytes) co_return tl::unexpected(bytes.error());
    if (token.isCancelled()) co_return tl::unexpected(LibraryImportFailure(ImportCancelled{}));

    const QString filename = url.fileName();
    if (isEPUBName(filename)) {
        auto parsing = EPUBReader(EPUBReader::Limits::standard()).read(*bytes, token);
        auto book = co_await parsing;
        if (!book) co_return tl::unexpected(importFailureOf(book.error()));
        co_return LibraryFileImport::epub(filename, std::move(*bytes), std::move(*book));
    }
    // Validated only: the store keeps the file's own bytes, not the decoded text.
    if (const auto decoded = LibraryTextFile::decodeText(filename, *bytes); !decoded)
        co_return tl::unexpected(LibraryImportFailure(decoded.error()));
    co_return LibraryFileImport::text(LibraryTextFile{filename, std::move(*bytes)});
}

}  // namespace tavrine
