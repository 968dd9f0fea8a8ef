// The document list's file import: requests from the file panel and from drops, their guards and their
// notices (the words of a failure are LibraryImportFailure's).
#include "PelmoraMac/Library/MacReadingPlayback.h"
#include "PelmoraMac/Library/ReaderFileDrop.h"
#include "PelmoraMac/Library/ReaderHistoryModel.h"
#include "ReaderCore/MainThread.h"
#include "ReaderStorage/ReadingStore.h"

namespace tavrine {
using namespace Qt::StringLiterals;

const QString ReaderHistoryModel::kFileImported =
    u"ファイルをライブラリに追加し、先頭で開きました。中央の再生ボタンで開始できます。"_s;
const QString ReaderHistoryModel::kFileSelectionFailed = u"ファイルを選択できませんでした。もう一度選んでください。"_s;

struct ReaderHistoryModel::FileRequest {
    // Ends when the request this one replaced has ended.
    QCoro::Task<void> previous;
    QUuid requestID;
    QUuid noticeID;
    std::optional<QUuid> readingAtStart;
    URLResolver resolve;
    std::function<bool()> canContinue;
};

ReaderHistoryModel::FileLoader ReaderHistoryModel::defaultFileLoader() {
    return [](QUrl url, CancellationToken token) { return LibraryFileReader::load(std::move(url), std::move(token)); };
}

ReaderHistoryModel::URLResolver ReaderHistoryModel::passThroughURL(QUrl url) {
    return [url = std::move(url)](CancellationToken) -> QCoro::Task<tl::expected<QUrl, LibraryImportFailure>> {
        const QUrl chosen = url;
        co_return chosen;
    };
}

bool ReaderHistoryModel::importDroppedFiles(const QList<QUrl>& urls, std::function<bool()> canImport) {
    return importDroppedItems(ReaderDropItem::fromURLs(urls), std::move(canImport));
}

bool ReaderHistoryModel::importDroppedItems(QList<std::shared_ptr<ReaderDropItem>> items,
                                            std::function<bool()> canImport, const Clock& clock) {
    Q_ASSERT(isMainThread());
    if ((canImport && !canImport()) || !m_playback.store() || !m_isLoaded || m_isBusy || m_isImportingFile ||
        m_isTerminating)
        return false;
    if (items.size() != 1) {
        reportImportFailure(ReaderFileDropFailure::multipleFiles);
        return true;
    }
    if (!items.constFirst()->hasFileURL()) {
        reportImportFailure(ReaderFileDropFailure::unsupportedProvider);
        return true;
    }
    m_playback.player().pause();
    beginFileImport(
        [items = std::move(items), &clock](CancellationToken token) {
            return ReaderFileDrop::resolve(items, kDropTimeout, clock, std::move(token));
        },
        std::move(canImport));
    return true;
}

void ReaderHistoryModel::reportImportFailure(ReaderFileDropFailure failure) {
    Q_ASSERT(isMainThread());
    const ChangeBatch batch(*this);
    clearFileNotice();
    write(m_fileImportFailed, true, &ReaderHistoryModel::fileImportFailedChanged);
    write(m_fileImportMessage, importFailureMessage(failure), &ReaderHistoryModel::fileImportMessageChanged);
    write(m_fileImportDetails, importFailureDetails(failure), &ReaderHistoryModel::fileImportDetailsChanged);
}

void ReaderHistoryModel::fileSelectionFailed() {
    Q_ASSERT(isMainThread());
    const ChangeBatch batch(*this);
    clearFileNotice();
    write(m_fileImportFailed, true, &ReaderHistoryModel::fileImportFailedChanged);
    write(m_fileImportMessage, kFileSelectionFailed, &ReaderHistoryModel::fileImportMessageChanged);
}

void ReaderHistoryModel::cancelFileImport() {
    Q_ASSERT(isMainThread());
    // A store write that has begun is never interrupted.
    if (m_isSavingFile) return;
    const ChangeBatch batch(*this);
    m_fileTask.cancel();
    write(m_fileRequestID, QUuid::createUuid(), &ReaderHistoryModel::fileRequestIDChanged);
    write(m_isImportingFile, false, &ReaderHistoryModel::isImportingFileChanged);
    clearFileNotice();
}

void ReaderHistoryModel::beginFileImport(URLResolver resolve, std::function<bool()> canContinue) {
    Q_ASSERT(isMainThread());
    if (!m_playback.store() || m_isTerminating) return;
    const ChangeBatch batch(*this);
    m_playback.player().clearReplacementHistory();
    clearFileNotice();
    auto request = std::make_shared<FileRequest>();
    // Taken before the new task replaces (and cancels) the running one.
    request->previous = m_fileTask.finished();
    m_fileTask.cancel();
    request->requestID = QUuid::createUuid();
    write(m_fileRequestID, request->requestID, &ReaderHistoryModel::fileRequestIDChanged);
    request->noticeID = m_fileNoticeID;
    request->readingAtStart = m_playback.player().readingID();
    request->resolve = std::move(resolve);
    request->canContinue = std::move(canContinue);
    write(m_isImportingFile, true, &ReaderHistoryModel::isImportingFileChanged);
    write(m_isSavingFile, false, &ReaderHistoryModel::isSavingFileChanged);
    m_fileTask.start([&](CancellationToken token) {
        return performFileImport(QPointer<ReaderHistoryModel>(this), request, std::move(token));
    });
}

bool ReaderHistoryModel::isCurrent(const FileRequest& request) const {
    return m_fileRequestID == request.requestID;
}

bool ReaderHistoryModel::isUnchanged(const FileRequest& request) const {
    return m_fileNoticeID == request.noticeID && m_playback.player().readingID() == request.readingAtStart;
}

QCoro::Task<void> ReaderHistoryModel::performFileImport(QPointer<ReaderHistoryModel> self,
                                                        std::shared_ptr<FileRequest> request, CancellationToken token) {
    // Requests never overlap: the one replaced ends (at its next guard) before this one does anything.
    QCoro::Task<void> previous = std::move(request->previous);
    co_await previous;
    // A newer request owns the flags: this one ends without a word.
    if (!self || token.isCancelled() || !self->isCurrent(*request)) co_return;

    auto resolving = request->resolve(token);
    const tl::expected<QUrl, LibraryImportFailure> url = co_await resolving;
    if (!self) co_return;
    if (!url) co_return self->failFileImport(*request, token, url.error());
    if (token.isCancelled()) co_return self->failFileImport(*request, token, ImportCancelled{});
    if (!self->isCurrent(*request)) co_return self->endFileImport(request->requestID);
    if (request->canContinue) {
        // A drop is abandoned before its file is read once the user has moved on.
        if (!self->isUnchanged(*request)) co_return self->endFileImport(request->requestID);
        if (!request->canContinue())
            co_return self->failFileImport(*request, token, ReaderFileDropFailure::unavailable);
    }

    auto loading = self->m_fileLoader(*url, token);
    LibraryFileReader::Result file = co_await loading;
    if (!self) co_return;
    if (!file) co_return self->failFileImport(*request, token, file.error());
    if (token.isCancelled()) co_return self->failFileImport(*request, token, ImportCancelled{});
    if (!self->isCurrent(*request)) co_return self->endFileImport(request->requestID);
    const std::shared_ptr<ReadingStore> store = self->m_playback.store();
    if (!store) co_return self->endFileImport(request->requestID);
    if (request->canContinue && !request->canContinue())
        co_return self->failFileImport(*request, token, ReaderFileDropFailure::unavailable);

    self->write(self->m_isSavingFile, true, &ReaderHistoryModel::isSavingFileChanged);
    // No token: a write the store has begun completes, whatever happens to the request meanwhile.
    auto storing = store->importFile(std::move(*file));
    const StoreResult<QUuid> stored = co_await storing;
    if (!self) co_return;
    if (!stored) co_return self->failFileImport(*request, token, importFailureOf(stored.error()));
    auto refreshing = self->refresh();
    co_await refreshing;
    if (!self) co_return;
    // The reading stays in the library; a request that lost its place selects and says nothing.
    if (token.isCancelled() || !self->isCurrent(*request) || !self->isUnchanged(*request))
        co_return self->endFileImport(request->requestID);

    const QUuid id = *stored;
    {
        const ChangeBatch batch(*self);
        self->setCollection(Collection::library);
        self->setQuery(QString());
        self->select(id);
    }
    const QUuid selectionRequest = self->m_selectionRequestID;
    const QUuid noticeAfterSelection = self->m_fileNoticeID;
    if (self->m_selectionTask.isRunning()) {
        // Cancelling the import also stops the opening it started.
        const CancellationToken selection = self->m_selectionTask.token();
        const CancellationToken::Registration stopping = token.onCancel([selection] { selection.cancel(); });
        auto opening = self->m_selectionTask.finished();
        co_await opening;
        if (!self) co_return;
    }
    if (self->m_selectionRequestID == selectionRequest)
        self->write(self->m_loadingID, std::nullopt, &ReaderHistoryModel::loadingIDChanged);
    if (!token.isCancelled() && self->isCurrent(*request) && self->m_fileNoticeID == noticeAfterSelection &&
        self->m_selectedID == id && self->m_playback.player().readingID() == id)
        self->write(self->m_fileImportMessage, kFileImported, &ReaderHistoryModel::fileImportMessageChanged);
    self->endFileImport(request->requestID);
}

void ReaderHistoryModel::failFileImport(const FileRequest& request, const CancellationToken& token,
                                        const LibraryImportFailure& failure) {
    const ChangeBatch batch(*this);
    if (!isCancellation(failure) && isCurrent(request) && m_fileNoticeID == request.noticeID && !token.isCancelled() &&
        m_playback.player().readingID() == request.readingAtStart) {
        write(m_fileImportFailed, true, &ReaderHistoryModel::fileImportFailedChanged);
        write(m_fileImportMessage, importFailureMessage(failure), &ReaderHistoryModel::fileImportMessageChanged);
        write(m_fileImportDetails, importFailureDetails(failure), &ReaderHistoryModel::fileImportDetailsChanged);
    }
    endFileImport(request.requestID);
}

void ReaderHistoryModel::endFileImport(const QUuid& requestID) {
    if (m_fileRequestID != requestID) return;
    const ChangeBatch batch(*this);
    write(m_isImportingFile, false, &ReaderHistoryModel::isImportingFileChanged);
    write(m_isSavingFile, false, &ReaderHistoryModel::isSavingFileChanged);
}

}  // namespace tavrine
