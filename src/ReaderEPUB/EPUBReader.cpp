#include "ReaderEPUB/EPUBReader.h"

#include "ReaderEPUB/internal/EPUBArchive.h"
#include "ReaderEPUB/internal/EPUBReaderOperation.h"

#include <QCoro/QCoroFuture>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

namespace tavrine {
namespace {

// Imports run apart from other pooled work (searches), so that neither starves the other; a user
// imports one book at a time, and a second thread leaves room for one being abandoned. Destroyed at
// exit, after the imports still running have finished. A pool serves callers on any thread, so it is a
// plain QThreadPool rather than a class of ours, whose objects live on the main thread.
QThreadPool& importPool() {
    struct ImportPool {
        QThreadPool pool;
        ImportPool() { pool.setMaxThreadCount(2); }
    };
    static ImportPool imports;
    return imports.pool;
}

}  // namespace

EPUBReader::Result<EPUBBook> EPUBReader::readSynchronously(const QByteArray& bytes,
                                                           const CancellationToken& cancellation) const {
    // The archive intake checks the limits first, before the bytes are looked at.
    auto files = readArchive(bytes, m_limits, cancellation);
    if (!files) return tl::unexpected(files.error());
    Operation operation(std::move(*files), m_limits, cancellation);
    return operation.run();
}

QCoro::Task<EPUBReader::Result<EPUBBook>> EPUBReader::read(QByteArray bytes, CancellationToken cancellation) const {
    if (cancellation.isCancelled()) co_return tl::unexpected(Failure::cancelled());
    // The worker shares the caller's token, so cancelling the caller stops it at its next check.
    QFuture<Result<EPUBBook>> import =
        QtConcurrent::run(&importPool(), [reader = *this, bytes = std::move(bytes), cancellation] {
            return reader.readSynchronously(bytes, cancellation);
        });
    Result<EPUBBook> result = co_await import;
    if (result && cancellation.isCancelled()) co_return tl::unexpected(Failure::cancelled());
    co_return result;
}

bool EPUBReader::Limits::isValid() const {
    const Limits standard;
    auto within = [](qint64 value, qint64 maximum) { return value > 0 && value <= maximum; };
    return within(archiveBytes, standard.archiveBytes) && within(entries, standard.entries) &&
           within(entryBytes, standard.entryBytes) && within(expandedBytes, standard.expandedBytes) &&
           within(xmlBytes, standard.xmlBytes) && within(totalXMLBytes, standard.totalXMLBytes) &&
           within(nodes, standard.nodes) && within(depth, standard.depth) && within(textUTF16, standard.textUTF16) &&
           within(navigation, standard.navigation);
}

QString failureName(const EPUBReader::Failure& failure) {
    if (failure.kind == EPUBReader::Failure::Kind::limit)
        return QStringLiteral("limit(%1)").arg(rawValue(failure.resourceLimit));
    return rawValue(failure.kind);
}

}  // namespace tavrine
