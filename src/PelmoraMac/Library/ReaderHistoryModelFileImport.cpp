// The document list's file import: requests from the file panel and from drops, their guards, and the
// words of every outcome.
#include "PelmoraMac/Library/MacReadingPlayback.h"
#include "PelmoraMac/Library/ReaderFileDrop.h"
#include "PelmoraMac/Library/ReaderHistoryModel.h"
#include "ReaderCore/MainThread.h"
#include "ReaderEPUB/EPUBFailureMessage.h"
#include "ReaderStorage/ReadingStore.h"

namespace tavrine {
using namespace Qt::StringLiterals;

const QString ReaderHistoryModel::kFileImported =
    u"ファイルをライブラリに追加し、先頭で開きました。中央の再生ボタンで開始できます。"_s;
const QString ReaderHistoryModel::kFileSelectionFailed = u"ファイルを選択できませんでした。もう一度選んでください。"_s;
const QString ReaderHistoryModel::kDropHint = u" 「取り込む」→「ファイルをライブラリに追加…」からも選べます。"_s;

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

// ---- The words ----

namespace {

using Kind = EPUBReader::Failure::Kind;
using Limit = EPUBReader::ResourceLimit;

const QString kStoreFailed =
    u"ファイルをライブラリに保存できませんでした。既存の文書は保持しています。保存先を確認してから再試行してください。"_s;
const QString kEPUBLimits =
    u"EPUBは元ファイル32 MiB、展開後64 MiB、抽出本文500,000 UTF-16単位までです。UTF-16単位は文字の位置を数える単位で、一文字が複数単位になることがあります。目次10,000項目など、構造ごとの上限もあります。DRMなしの単一構成・リフロー型EPUB 2/3に対応します。"_s;
const QString kTextLimits =
    u"テキストファイルは本文500,000 UTF-16単位、元ファイル1,500,003バイトまでです。UTF-16単位はアプリが文字の位置を数える単位で、絵文字などは一文字でも複数単位になります。UTF-8（BOM可）の .txt に対応します。"_s;
const QString kCharacterLimit =
    u"20,000 UTF-16単位を超える本文では、一つの文字と結合する記号を合わせて256 UTF-16単位までです。短い本文と以前に保存した文書は従来どおり読めます。"_s;

QString dropMessage(ReaderFileDropFailure failure) {
    switch (failure) {
    case ReaderFileDropFailure::multipleFiles:
        return u"一度に追加できるのは一つのファイルです。単一の .txt または .epub をドロップしてください。"_s;
    case ReaderFileDropFailure::unsupportedProvider:
        return u"ファイルの場所を受け取れませんでした。ファイルマネージャーの単一ファイルを使ってください。文章やWebリンクは追加できません。"_s;
    case ReaderFileDropFailure::invalidURL:
        return u"ローカルファイルの場所を受け取れませんでした。ファイルマネージャーの単一ファイルを使ってください。"_s;
    case ReaderFileDropFailure::timedOut:
        return u"ファイルの場所の受け取りが時間内に終わりませんでした。もう一度試してください。"_s;
    case ReaderFileDropFailure::unavailable:
        return u"今はファイルを追加できません。取り込みを終えるか、設定や確認画面を閉じてから再試行してください。"_s;
    }
    Q_UNREACHABLE();
    return {};
}

QString epubMessage(const EPUBReader::Failure& failure) {
    if (failure.kind == Kind::unsafeXML)
        return u"本の構造を安全に読み込めませんでした。元ファイルを確認するか、別の本を選んでください。"_s;
    if (failure.kind != Kind::limit) return failureMessage(failure);
    switch (failure.resourceLimit) {
    case Limit::archiveBytes:
        return u"本のファイルが取り込み上限を超えています。内容を切り捨てず、追加を中止しました。小さいファイルを選んでください。"_s;
    case Limit::textUTF16:
        return u"本の本文が取り込み上限を超えています。内容を切り捨てず、追加を中止しました。短い本を選んでください。"_s;
    case Limit::graphemeUTF16:
        return u"一つの文字に重なる記号が多すぎるため、文字を壊さずに取り込めません。元ファイルを確認するか、別の本を選んでください。"_s;
    default:
        return u"本の展開サイズや構造が処理上限を超えています。内容を切り捨てず、追加を中止しました。別の本を選んでください。"_s;
    }
}

QString textMessage(LibraryTextFile::Failure failure) {
    using F = LibraryTextFile::Failure;
    switch (failure) {
    case F::unsupportedFormat:
        return u"対応するファイルは .txt（UTF-8）と .epub です。単一の対応ファイルを選んでください。"_s;
    case F::tooLong:
        return u"ファイルが取り込み上限を超えています。内容を切り捨てず、追加を中止しました。本文を複数の短いファイルに分けて、一つずつ追加してください。"_s;
    case F::tooComplex:
        return u"一つの文字に重なる記号が多すぎるため、文字を壊さずに取り込めません。元ファイルを確認するか、短い本文のファイルを選んでください。"_s;
    case F::invalidEncoding:
        return u"UTF-8として読めませんでした。文字コードをUTF-8にして保存し、もう一度選んでください。"_s;
    case F::empty: return u"ファイルに読む文章がありません。空白や改行だけのファイルは追加できません。"_s;
    case F::nonText:
        return u"文字の置換記号や未対応の制御文字を含むため、追加できません。元ファイルを確認してください。"_s;
    }
    Q_UNREACHABLE();
    return {};
}

QString readMessage(LibraryFileReadFailure failure) {
    if (failure == LibraryFileReadFailure::notRegularFile)
        return u"フォルダや通常のファイル以外は追加できません。単一の .txt または .epub を選んでください。"_s;
    return u"ファイルを読み出せませんでした。ファイルの場所と読み取り権限を確認し、もう一度選んでください。"_s;
}

}  // namespace

QString ReaderHistoryModel::importFailureMessage(const LibraryImportFailure& failure) {
    return std::visit(
        [](const auto& value) -> QString {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, ImportCancelled>)
                return {};
            else if constexpr (std::is_same_v<T, ReaderFileDropFailure>)
                return dropMessage(value) + kDropHint;
            else if constexpr (std::is_same_v<T, EPUBReader::Failure>)
                return epubMessage(value);
            else if constexpr (std::is_same_v<T, LibraryTextFile::Failure>)
                return textMessage(value);
            else if constexpr (std::is_same_v<T, LibraryFileReadFailure>)
                return readMessage(value);
            else
                return kStoreFailed;
        },
        failure);
}

std::optional<QString> ReaderHistoryModel::importFailureDetails(const LibraryImportFailure& failure) {
    if (const auto* epub = std::get_if<EPUBReader::Failure>(&failure)) {
        if (epub->kind == Kind::unsafeXML)
            return u"外部ファイルを参照するXML宣言や未対応の文字参照は読み込みません。部分的な本として保存せず、既存の文書を保持します。"_s;
        if (epub->kind != Kind::limit) return std::nullopt;
        if (epub->resourceLimit == Limit::graphemeUTF16) return kEPUBLimits + u'\n' + kCharacterLimit;
        return kEPUBLimits;
    }
    if (const auto* text = std::get_if<LibraryTextFile::Failure>(&failure)) {
        if (*text == LibraryTextFile::Failure::tooLong) return kTextLimits;
        if (*text == LibraryTextFile::Failure::tooComplex) return kTextLimits + u'\n' + kCharacterLimit;
    }
    return std::nullopt;
}

}  // namespace tavrine
