// What the document list does to readings. The model does no store work of its own: it asks the
// player, whose write queue orders every store change, and keeps the selection, the busy flag and the
// failure text right around it. A failure comes back only as the player's false, worded here.
#include "PelmoraMac/Library/MacReadingPlayback.h"
#include "PelmoraMac/Library/ReaderHistoryModel.h"
#include "PelmoraMac/Library/internal/LibraryFileImporter.h"
#include "ReaderCore/Characters.h"
#include "ReaderCore/MainThread.h"
#include "ReaderCore/NextEventLoopTurn.h"
#include "ReaderStorage/ReadingStore.h"

#include <algorithm>

namespace tavrine {
using namespace Qt::StringLiterals;

const QString ReaderHistoryModel::kOpenFailed =
    u"保存文書を開けませんでした。別の項目を選ぶか、もう一度選んでください。"_s;
const QString ReaderHistoryModel::kPlayFailed =
    u"保存文書を再生できませんでした。別の項目を選ぶか、もう一度選んでください。"_s;
const QString ReaderHistoryModel::kAddToLibraryFailed =
    u"ライブラリに追加できませんでした。保存先を確認してから再試行してください。"_s;
const QString ReaderHistoryModel::kRemoveFromHistoryFailed =
    u"履歴を削除できませんでした。保存先を確認してから再試行してください。"_s;
const QString ReaderHistoryModel::kDeleteFailed =
    u"文書を削除できませんでした。本文と履歴は保持しています。保存先を確認してから再試行してください。"_s;
const QString ReaderHistoryModel::kAddCurrentFailed =
    u"ライブラリに追加できませんでした。本文は保持しています。保存先を確認してから再試行してください。"_s;

struct ReaderHistoryModel::StoreOperation {
    enum class Kind { addToLibrary, removeFromHistory, deleteDocument, addCurrentToLibrary };
    Kind kind;
    QSet<QUuid> ids;

    // Removing or deleting a reading ends its pending opening.
    bool endsOpeningOf(const QUuid& id) const {
        return (kind == Kind::removeFromHistory || kind == Kind::deleteDocument) && ids.contains(id);
    }
    const QString& failureText() const {
        switch (kind) {
        case Kind::addToLibrary: return kAddToLibraryFailed;
        case Kind::removeFromHistory: return kRemoveFromHistoryFailed;
        case Kind::deleteDocument: return kDeleteFailed;
        case Kind::addCurrentToLibrary: return kAddCurrentFailed;
        }
        Q_UNREACHABLE();
        return kAddToLibraryFailed;
    }
    QCoro::Task<bool> start(ReadingPlayer& player) const {
        switch (kind) {
        case Kind::addToLibrary: return player.addSavedReadingToLibrary(*ids.cbegin());
        case Kind::removeFromHistory: return player.deleteHistory(ids);
        case Kind::deleteDocument: return player.deleteLibraryDocument(*ids.cbegin());
        case Kind::addCurrentToLibrary: break;
        }
        return player.addCurrentReadingToLibrary();
    }
};

// ---- Selecting and playing ----

void ReaderHistoryModel::select(const std::optional<QUuid>& id) {
    Q_ASSERT(isMainThread());
    const ChangeBatch batch(*this);
    ReadingPlayer& player = m_playback.player();
    // Every call, also for nothing or a row not shown, ends the replacement undo and a running capture.
    player.clearReplacementHistory();
    if (m_onReadingAction) m_onReadingAction();
    clearFileNotice();
    if (!id) {
        write(m_selectedID, std::nullopt, &ReaderHistoryModel::selectedIDChanged);
        abandonPendingSelection();
        return;
    }
    if (!isShown(*id)) return;
    write(m_selectedID, id, &ReaderHistoryModel::selectedIDChanged);
    if (m_loadingID == id) return;
    abandonPendingSelection();
    if (player.readingID() == id) return;

    const QUuid request = QUuid::createUuid();
    write(m_selectionRequestID, request, &ReaderHistoryModel::selectionRequestIDChanged);
    write(m_loadingID, id, &ReaderHistoryModel::loadingIDChanged);
    const std::optional<QUuid> current = player.readingID();
    m_selectionTask.start([&](CancellationToken token) {
        return openSelection(QPointer<ReaderHistoryModel>(this), request, current, *id, std::move(token));
    });
}

QCoro::Task<void> ReaderHistoryModel::openSelection(QPointer<ReaderHistoryModel> self, QUuid requestID,
                                                    std::optional<QUuid> readingAtRequest, QUuid id,
                                                    CancellationToken token) {
    // The opening starts after the call that asked for it, so whatever that turn of the event loop does
    // next (another selection, a capture opening its reading) comes first.
    NextEventLoopTurn turn;
    co_await turn;
    if (!self || token.isCancelled() || self->m_selectionRequestID != requestID) co_return;
    ReadingPlayer& player = self->m_playback.player();
    // The player has opened another reading meanwhile: that one stays.
    if (const std::optional<QUuid> current = player.readingID(); current && current != readingAtRequest) {
        self->write(self->m_loadingID, std::nullopt, &ReaderHistoryModel::loadingIDChanged);
        co_return;
    }
    // The token goes along: a superseded opening also stops inside the player.
    auto opening = player.openSavedReading(id, token);
    const bool opened = co_await opening;
    if (!self || token.isCancelled() || self->m_selectionRequestID != requestID) co_return;
    const ChangeBatch batch(*self);
    self->write(self->m_loadingID, std::nullopt, &ReaderHistoryModel::loadingIDChanged);
    self->write(self->m_message, opened ? std::nullopt : std::optional(kOpenFailed),
                &ReaderHistoryModel::messageChanged);
}

void ReaderHistoryModel::clearSelection() {
    Q_ASSERT(isMainThread());
    write(m_selectedID, std::nullopt, &ReaderHistoryModel::selectedIDChanged);
}

QCoro::Task<void> ReaderHistoryModel::play(QUuid id, bool fromStart, bool isActive) {
    Q_ASSERT(isMainThread());
    return playReading(this, id, fromStart, isActive);
}

QCoro::Task<void> ReaderHistoryModel::playReading(QPointer<ReaderHistoryModel> self, QUuid id, bool fromStart,
                                                  bool isActive) {
    ReadingPlayer& player = self->m_playback.player();
    {
        const ChangeBatch batch(*self);
        player.clearReplacementHistory();
        if (self->m_onReadingAction) self->m_onReadingAction();
        if (!self->isShown(id)) co_return;
        self->clearFileNotice();
        self->abandonPendingSelection();
    }
    auto opening = player.playSavedReading(id, fromStart, isActive);
    const bool opened = co_await opening;
    if (!self) co_return;
    // No token: the outcome of the latest play is always told.
    self->write(self->m_message, opened ? std::nullopt : std::optional(kPlayFailed),
                &ReaderHistoryModel::messageChanged);
}

void ReaderHistoryModel::cancelPendingSelection() {
    Q_ASSERT(isMainThread());
    const ChangeBatch batch(*this);
    clearFileNotice();
    abandonPendingSelection();
}

void ReaderHistoryModel::prepareForTermination() {
    Q_ASSERT(isMainThread());
    const ChangeBatch batch(*this);
    write(m_isTerminating, true, &ReaderHistoryModel::isTerminatingChanged);
    // A pending opening goes on: the player refuses it once it quits.
    m_fileImporter->stop();
    clearFileNotice();
}

// ---- The store operations ----

bool ReaderHistoryModel::isCurrentInLibrary() const {
    const std::optional<QUuid> current = m_playback.player().readingID();
    return current && std::any_of(m_library.cbegin(), m_library.cend(),
                                  [&](const StoredReading& item) { return item.id() == *current; });
}

bool ReaderHistoryModel::canAddCurrentToLibrary() const {
    if (!m_playback.store() || m_isBusy || isCurrentInLibrary()) return false;
    const std::optional<SavedReading>& reading = m_playback.player().reading();
    return reading && !isBlank(reading->document.text);
}

QCoro::Task<void> ReaderHistoryModel::addToLibrary(QUuid id) {
    return runStoreOperation(this, {StoreOperation::Kind::addToLibrary, {id}});
}

QCoro::Task<void> ReaderHistoryModel::removeFromHistory(QSet<QUuid> ids) {
    return runStoreOperation(this, {StoreOperation::Kind::removeFromHistory, std::move(ids)});
}

QCoro::Task<void> ReaderHistoryModel::deleteDocument(QUuid id) {
    return runStoreOperation(this, {StoreOperation::Kind::deleteDocument, {id}});
}

QCoro::Task<void> ReaderHistoryModel::addCurrentToLibrary() {
    return runStoreOperation(this, {StoreOperation::Kind::addCurrentToLibrary, {}});
}

QCoro::Task<void> ReaderHistoryModel::runStoreOperation(QPointer<ReaderHistoryModel> self, StoreOperation operation) {
    Q_ASSERT(isMainThread());
    // Refused silently: nothing changes and nothing is said.
    if (operation.kind == StoreOperation::Kind::addCurrentToLibrary) {
        if (!self->canAddCurrentToLibrary()) co_return;
    } else if (!self->m_playback.store() || self->m_isBusy ||
               (operation.kind == StoreOperation::Kind::removeFromHistory && operation.ids.isEmpty())) {
        co_return;
    }
    ReadingPlayer& player = self->m_playback.player();
    {
        const ChangeBatch batch(*self);
        player.clearReplacementHistory();
        self->clearFileNotice();
        // The selection stays: the refresh drops it if its row has gone.
        if (self->m_loadingID && operation.endsOpeningOf(*self->m_loadingID)) self->abandonPendingSelection();
        self->write(self->m_isBusy, true, &ReaderHistoryModel::isBusyChanged);
    }
    auto running = operation.start(player);
    const bool succeeded = co_await running;
    if (!self) co_return;
    auto refreshing = refreshFrom(self);
    co_await refreshing;
    if (!self) co_return;
    const ChangeBatch batch(*self);
    self->write(self->m_message, succeeded ? std::nullopt : std::optional(operation.failureText()),
                &ReaderHistoryModel::messageChanged);
    self->write(self->m_isBusy, false, &ReaderHistoryModel::isBusyChanged);
}

}  // namespace tavrine
