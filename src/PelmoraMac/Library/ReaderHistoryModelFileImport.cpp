// The document list's file import: drops checked and refused, and the model as its file importer sees it
// (the requests themselves are LibraryFileImporter's; the words of a failure are LibraryImportFailure's).
#include "PelmoraMac/Library/MacReadingPlayback.h"
#include "PelmoraMac/Library/ReaderFileDrop.h"
#include "PelmoraMac/Library/ReaderHistoryModel.h"
#include "PelmoraMac/Library/internal/LibraryFileImporter.h"
#include "ReaderCore/MainThread.h"
#include "ReaderStorage/ReadingStore.h"

namespace tavrine {
using namespace Qt::StringLiterals;

const QString ReaderHistoryModel::kFileImported =
    u"ファイルをライブラリに追加し、先頭で開きました。中央の再生ボタンで開始できます。"_s;
const QString ReaderHistoryModel::kFileSelectionFailed = u"ファイルを選択できませんでした。もう一度選んでください。"_s;

// Each call is one step of the model: its change signals wait for the end of it.
class ReaderHistoryModel::FileImportList final : public LibraryFileImporter::List {
public:
    explicit FileImportList(ReaderHistoryModel& model) : m_model(model) {}

    FileImportMark mark() const override {
        return FileImportMark{.requestID = m_model.m_fileRequestID,
                              .noticeID = m_model.m_fileNoticeID,
                              .reading = m_model.m_playback.player().readingID(),
                              .selected = m_model.m_selectedID};
    }
    bool canImport() const override { return hasStore() && !m_model.m_isTerminating; }
    bool hasStore() const override { return m_model.m_playback.store() != nullptr; }
    bool isSaving() const override { return m_model.m_isSavingFile; }

    void beginRequest(const QUuid& requestID) override {
        const ChangeBatch batch(m_model);
        m_model.m_playback.player().clearReplacementHistory();
        m_model.clearFileNotice();
        m_model.write(m_model.m_fileRequestID, requestID, &ReaderHistoryModel::fileRequestIDChanged);
        m_model.write(m_model.m_isImportingFile, true, &ReaderHistoryModel::isImportingFileChanged);
        m_model.write(m_model.m_isSavingFile, false, &ReaderHistoryModel::isSavingFileChanged);
    }
    void abandonRequest(const QUuid& requestID) override {
        const ChangeBatch batch(m_model);
        m_model.write(m_model.m_fileRequestID, requestID, &ReaderHistoryModel::fileRequestIDChanged);
        m_model.write(m_model.m_isImportingFile, false, &ReaderHistoryModel::isImportingFileChanged);
        m_model.clearFileNotice();
    }
    void beginSaving() override {
        m_model.write(m_model.m_isSavingFile, true, &ReaderHistoryModel::isSavingFileChanged);
    }
    void endRequest(bool isListRequest, const std::optional<LibraryImportFailure>& failure) override {
        const ChangeBatch batch(m_model);
        if (failure) {
            m_model.write(m_model.m_fileImportFailed, true, &ReaderHistoryModel::fileImportFailedChanged);
            m_model.write(m_model.m_fileImportMessage, importFailureMessage(*failure),
                          &ReaderHistoryModel::fileImportMessageChanged);
            m_model.write(m_model.m_fileImportDetails, importFailureDetails(*failure),
                          &ReaderHistoryModel::fileImportDetailsChanged);
        }
        if (!isListRequest) return;
        m_model.write(m_model.m_isImportingFile, false, &ReaderHistoryModel::isImportingFileChanged);
        m_model.write(m_model.m_isSavingFile, false, &ReaderHistoryModel::isSavingFileChanged);
    }

    QCoro::Task<StoreResult<QUuid>> storeFile(LibraryFileImport file) override {
        return m_model.m_playback.store()->importFile(std::move(file));
    }
    QCoro::Task<void> refresh() override { return m_model.refresh(); }
    void selectImported(const QUuid& id) override {
        const ChangeBatch batch(m_model);
        m_model.setCollection(Collection::library);
        m_model.setQuery(QString());
        m_model.select(id);
    }
    QCoro::Task<void> settleOpening(CancellationToken importToken) override {
        return settleImportOpening(&m_model, std::move(importToken));
    }
    void announceImported() override {
        m_model.write(m_model.m_fileImportMessage, kFileImported, &ReaderHistoryModel::fileImportMessageChanged);
    }

private:
    ReaderHistoryModel& m_model;
};

std::unique_ptr<LibraryFileImporter> ReaderHistoryModel::makeFileImporter(ReaderHistoryModel& model,
                                                                          FileLoader loader) {
    return std::make_unique<LibraryFileImporter>(std::make_unique<FileImportList>(model), std::move(loader));
}

QCoro::Task<void> ReaderHistoryModel::settleImportOpening(QPointer<ReaderHistoryModel> self,
                                                          CancellationToken importToken) {
    const QUuid selectionRequest = self->m_selectionRequestID;
    if (self->m_selectionTask.isRunning()) {
        // Cancelling the import also stops the opening it started.
        const CancellationToken selection = self->m_selectionTask.token();
        const CancellationToken::Registration stopping = importToken.onCancel([selection] { selection.cancel(); });
        auto opening = self->m_selectionTask.finished();
        co_await opening;
        if (!self) co_return;
    }
    if (self->m_selectionRequestID == selectionRequest)
        self->write(self->m_loadingID, std::nullopt, &ReaderHistoryModel::loadingIDChanged);
}

const TaskHandle& ReaderHistoryModel::fileTask() const {
    return m_fileImporter->task();
}

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
    m_fileImporter->cancel();
}

void ReaderHistoryModel::beginFileImport(URLResolver resolve, std::function<bool()> canContinue) {
    Q_ASSERT(isMainThread());
    // The request runs up to its first wait inside this step: what it writes meanwhile is told once.
    const ChangeBatch batch(*this);
    m_fileImporter->start(std::move(resolve), std::move(canContinue));
}

}  // namespace tavrine
