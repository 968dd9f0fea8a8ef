#include "PelmoraMac/Library/internal/LibraryFileImporter.h"

#include "ReaderCore/MainThread.h"

namespace tavrine {

FileImportStanding fileImportStanding(const FileImportMark& request, const FileImportMark& now, bool isCancelled) {
    if (isCancelled || now.requestID != request.requestID) return FileImportStanding::superseded;
    if (now.noticeID != request.noticeID || now.reading != request.reading) return FileImportStanding::silenced;
    if (request.selected && now.selected != request.selected) return FileImportStanding::silenced;
    return FileImportStanding::current;
}

struct LibraryFileImporter::Request {
    // Ends when the request this one replaced has ended.
    QCoro::Task<void> previous;
    FileImportMark mark;
    URLResolver resolve;
    std::function<bool()> canContinue;
};

LibraryFileImporter::LibraryFileImporter(std::unique_ptr<List> list, FileLoader loader)
    : m_list(std::move(list)), m_loader(std::move(loader)), m_self(std::make_shared<LibraryFileImporter*>(this)) {}

LibraryFileImporter::~LibraryFileImporter() {
    *m_self = nullptr;
}

void LibraryFileImporter::start(URLResolver resolve, std::function<bool()> canContinue) {
    Q_ASSERT(isMainThread());
    if (!m_list->canImport()) return;
    auto request = std::make_shared<Request>();
    // Taken before the new task replaces (and cancels) the running one.
    request->previous = m_task.finished();
    m_task.cancel();
    m_list->beginRequest(QUuid::createUuid());
    request->mark = m_list->mark();
    request->mark.selected = std::nullopt;
    request->resolve = std::move(resolve);
    request->canContinue = std::move(canContinue);
    m_task.start([&](CancellationToken token) { return perform(m_self, request, std::move(token)); });
}

void LibraryFileImporter::cancel() {
    Q_ASSERT(isMainThread());
    // A store write that has begun is never interrupted.
    if (m_list->isSaving()) return;
    m_task.cancel();
    m_list->abandonRequest(QUuid::createUuid());
}

void LibraryFileImporter::stop() {
    m_task.cancel();
}

FileImportStanding LibraryFileImporter::standing(const Request& request, const CancellationToken& token) const {
    return fileImportStanding(request.mark, m_list->mark(), token.isCancelled());
}

QCoro::Task<void> LibraryFileImporter::perform(Self self, std::shared_ptr<Request> request, CancellationToken token) {
    // Requests never overlap: the one replaced ends (at its next step) before this one does anything.
    QCoro::Task<void> previous = std::move(request->previous);
    co_await previous;
    if (!*self) co_return;
    if ((*self)->standing(*request, token) == FileImportStanding::superseded) co_return (*self)->end(*request);

    auto resolving = request->resolve(token);
    const tl::expected<QUrl, LibraryImportFailure> url = co_await resolving;
    if (!*self) co_return;
    LibraryFileImporter& importer = **self;
    if (!url) co_return importer.fail(*request, token, url.error());
    FileImportStanding standing = importer.standing(*request, token);
    if (standing == FileImportStanding::superseded) co_return importer.end(*request);
    if (request->canContinue) {
        // A drop is abandoned before its file is read once the user has moved on.
        if (standing != FileImportStanding::current) co_return importer.end(*request);
        if (!request->canContinue()) co_return importer.fail(*request, token, ReaderFileDropFailure::unavailable);
    }

    auto loading = importer.m_loader(*url, token);
    LibraryFileReader::Result file = co_await loading;
    if (!*self) co_return;
    LibraryFileImporter& reader = **self;
    if (!file) co_return reader.fail(*request, token, file.error());
    standing = reader.standing(*request, token);
    if (standing == FileImportStanding::superseded || !reader.m_list->hasStore()) co_return reader.end(*request);
    if (request->canContinue && !request->canContinue())
        co_return reader.fail(*request, token, ReaderFileDropFailure::unavailable);
    auto saving = saveAndShow(std::move(self), std::move(request), std::move(token), std::move(*file));
    co_await saving;
}

QCoro::Task<void> LibraryFileImporter::saveAndShow(Self self, std::shared_ptr<Request> request, CancellationToken token,
                                                   LibraryFileImport file) {
    (*self)->m_list->beginSaving();
    // No token: a write the store has begun completes, whatever happens to the request meanwhile.
    auto storing = (*self)->m_list->storeFile(std::move(file));
    const StoreResult<QUuid> stored = co_await storing;
    if (!*self) co_return;
    if (!stored) co_return (*self)->fail(*request, token, importFailureOf(stored.error()));
    auto refreshing = (*self)->m_list->refresh();
    co_await refreshing;
    if (!*self) co_return;
    // The reading stays in the library; a request that lost its place selects and says nothing.
    if ((*self)->standing(*request, token) != FileImportStanding::current) co_return (*self)->end(*request);

    const QUuid id = *stored;
    List& list = *(*self)->m_list;
    list.selectImported(id);
    // From here the request speaks only while its selection and the reading it opens are as it left them.
    request->mark.noticeID = list.mark().noticeID;
    request->mark.reading = id;
    request->mark.selected = id;
    auto opening = list.settleOpening(token);
    co_await opening;
    if (!*self) co_return;
    if ((*self)->standing(*request, token) == FileImportStanding::current) (*self)->m_list->announceImported();
    (*self)->end(*request);
}

void LibraryFileImporter::fail(const Request& request, const CancellationToken& token,
                               const LibraryImportFailure& failure) {
    const bool speaks = !isCancellation(failure) && standing(request, token) == FileImportStanding::current;
    end(request, speaks ? std::optional(failure) : std::nullopt);
}

void LibraryFileImporter::end(const Request& request, const std::optional<LibraryImportFailure>& failure) {
    m_list->endRequest(m_list->mark().requestID == request.mark.requestID, failure);
}

}  // namespace tavrine
