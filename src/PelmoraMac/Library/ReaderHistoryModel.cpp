// The document list's state: the store's lists, the rows the query lets through, the selection kept to
// the rows shown, the file notice and the two row texts. The operations on readings are in
// ReaderHistoryModelOperations.cpp.
#include "PelmoraMac/Library/ReaderHistoryModel.h"

#include "PelmoraMac/Library/MacReadingPlayback.h"
#include "PelmoraMac/Library/internal/LibraryFileImporter.h"
#include "ReaderCore/Characters.h"
#include "ReaderCore/MainThread.h"
#include "ReaderCore/PrintableText.h"
#include "ReaderStorage/ReadingStore.h"
#include "ReaderUI/EPUBNavigationRows.h"
#include "ReaderUI/Library/ReadingLibrarySearch.h"
#include "ReaderUI/Workspace/ReaderDocumentIdentity.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace tavrine {
using namespace Qt::StringLiterals;

// What the quick match compares a reading by, folded once: the reading they were made from (so a
// different reading under the same identifier is folded again), its creators, its display title and,
// once a query got that far, its text.
struct ReaderHistoryModel::QuickMatchFolds {
    SavedReading reading;
    QStringList creators;
    QString title;
    std::optional<QString> text;
};

ReaderHistoryModel::ReaderHistoryModel(std::unique_ptr<ReadingLibrarySearch> search, MacReadingPlayback& playback,
                                       std::function<void()> onReadingAction, FileLoader fileLoader)
    : m_search(std::move(search)),
      m_playback(playback),
      m_onReadingAction(std::move(onReadingAction)),
      m_fold(SearchFold::forLocale(QLocale())),
      m_fileImporter(makeFileImporter(*this, std::move(fileLoader))) {
    Q_ASSERT(isMainThread());
    Q_ASSERT(m_search);
    // The search's result arrives later, on its own; the rows follow it.
    connect(m_search.get(), &ReadingLibrarySearch::matchingIDsChanged, this,
            &ReaderHistoryModel::invalidateVisibleItems);
}

ReaderHistoryModel::~ReaderHistoryModel() {
    Q_ASSERT(isMainThread());
    // The store listener holds the model weakly; ending its subscription lets it finish now.
    m_lifetime.cancel();
}

// ---- Observation ----

void ReaderHistoryModel::notify(Signal changed) {
    if (!m_pendingSignals.contains(changed)) m_pendingSignals.append(changed);
    if (m_batchDepth == 0) flushChanges();
}

void ReaderHistoryModel::flushChanges() {
    // The rows are brought up to date before anyone is told, so every slot reads the final ones.
    if (m_visibleItemsStale) visibleItems();
    if (std::exchange(m_visibleItemsChanged, false) &&
        !m_pendingSignals.contains(&ReaderHistoryModel::visibleItemsChanged))
        m_pendingSignals.append(&ReaderHistoryModel::visibleItemsChanged);
    const QList<Signal> signalsToEmit = std::exchange(m_pendingSignals, {});
    for (const Signal changed : signalsToEmit) (this->*changed)();
}

void ReaderHistoryModel::invalidateVisibleItems() {
    m_visibleItemsStale = true;
    if (m_batchDepth == 0) flushChanges();
}

const QList<StoredReading>& ReaderHistoryModel::visibleItems() const {
    Q_ASSERT(isMainThread());
    if (m_visibleItemsStale) {
        m_visibleItemsStale = false;
        QList<StoredReading> rows = filteredItems(m_collection == Collection::library ? m_library : m_history);
        if (assignIfChanged(m_visibleItems, std::move(rows))) m_visibleItemsChanged = true;
    }
    return m_visibleItems;
}

// ---- The store's lists ----

QCoro::Task<void> ReaderHistoryModel::load(CancellationToken token) {
    Q_ASSERT(isMainThread());
    return followStore(this, std::move(token));
}

QCoro::Task<void> ReaderHistoryModel::followStore(QPointer<ReaderHistoryModel> self, CancellationToken token) {
    std::shared_ptr<ReadingStore> store = self->m_playback.store();
    if (!store) {
        self->write(self->m_isLoaded, true, &ReaderHistoryModel::isLoadedChanged);
        co_return;
    }
    const CancellationToken lifetime = self->m_lifetime;
    auto subscribing = store->changes();
    ReadingStore::Subscription subscription = co_await subscribing;
    // The subscription is all the listener needs: it does not keep the store alive.
    store.reset();
    // Cancelling, or the model going, ends the subscription, which wakes the wait for the next state.
    const CancellationToken::Registration closing = token.onCancel([&subscription] { subscription.close(); });
    const CancellationToken::Registration ending = lifetime.onCancel([&subscription] { subscription.close(); });
    while (true) {
        if (!self || token.isCancelled()) co_return;
        auto waiting = subscription.next();
        const std::optional<ReadingStoreState> state = co_await waiting;
        if (!state || !self || token.isCancelled()) co_return;
        self->apply(*state);
    }
}

QCoro::Task<void> ReaderHistoryModel::refresh() {
    Q_ASSERT(isMainThread());
    return refreshFrom(this);
}

QCoro::Task<void> ReaderHistoryModel::refreshFrom(QPointer<ReaderHistoryModel> self) {
    std::shared_ptr<ReadingStore> store = self->m_playback.store();
    if (!store) {
        self->write(self->m_isLoaded, true, &ReaderHistoryModel::isLoadedChanged);
        co_return;
    }
    auto reading = store->currentState();
    const ReadingStoreState state = co_await reading;
    if (!self) co_return;
    self->apply(state);
}

void ReaderHistoryModel::apply(const ReadingStoreState& state) {
    Q_ASSERT(isMainThread());
    const ChangeBatch batch(*this);
    // Equal lists compare fast: the store shares each reading's text and lists between its states.
    if (assignIfChanged(m_history, state.history)) {
        notify(&ReaderHistoryModel::historyChanged);
        invalidateVisibleItems();
    }
    if (assignIfChanged(m_library, state.library)) {
        notify(&ReaderHistoryModel::libraryChanged);
        invalidateVisibleItems();
    }
    write(m_historyLimit, state.historyLimit, &ReaderHistoryModel::historyLimitChanged);
    write(m_isLoaded, true, &ReaderHistoryModel::isLoadedChanged);
    pruneQuickMatchFolds();
    updateSearch();
    reconcileSelection();
}

// ---- Query, collection and rows ----

void ReaderHistoryModel::setQuery(const QString& query) {
    Q_ASSERT(isMainThread());
    const ChangeBatch batch(*this);
    if (assignIfChanged(m_query, query)) {
        notify(&ReaderHistoryModel::queryChanged);
        invalidateVisibleItems();
    }
    clearFileNotice();
    updateSearch();
    reconcileSelection();
}

void ReaderHistoryModel::setCollection(Collection collection) {
    applyCollection(collection);
}

void ReaderHistoryModel::applyCollection(Collection collection) {
    Q_ASSERT(isMainThread());
    const ChangeBatch batch(*this);
    // The search covers both collections: it is not asked again.
    if (assignIfChanged(m_collection, collection)) {
        notify(&ReaderHistoryModel::collectionChanged);
        invalidateVisibleItems();
    }
    clearFileNotice();
    reconcileSelection();
}

void ReaderHistoryModel::updateSearch() {
    Q_ASSERT(isMainThread());
    // Untrimmed: the search trims it.
    m_search->update(ReadingLibrarySearch::readingsOf(m_history, m_library), m_query);
}

QList<StoredReading> ReaderHistoryModel::filteredItems(const QList<StoredReading>& items) const {
    const QString query = m_query.trimmed();
    if (query.isEmpty()) return items;
    QList<StoredReading> rows;
    if (const std::optional<QSet<QUuid>>& ids = m_search->matchingIDs()) {
        std::copy_if(items.cbegin(), items.cend(), std::back_inserter(rows),
                     [&](const StoredReading& item) { return ids->contains(item.id()); });
        return rows;
    }
    const QString folded = m_fold.fold(query);
    std::copy_if(items.cbegin(), items.cend(), std::back_inserter(rows),
                 [&](const StoredReading& item) { return quickMatchFolded(item, folded); });
    return rows;
}

bool ReaderHistoryModel::quickMatch(const StoredReading& item, const QString& query) const {
    return quickMatchFolded(item, m_fold.fold(query));
}

bool ReaderHistoryModel::quickMatchFolded(const StoredReading& item, const QString& foldedQuery) const {
    // A query that folds to nothing (combining marks alone) is found nowhere, as in the library search.
    if (foldedQuery.isEmpty()) return false;
    QuickMatchFolds& folds = foldsOf(item.reading);
    if (std::any_of(folds.creators.cbegin(), folds.creators.cend(),
                    [&](const QString& creator) { return creator.contains(foldedQuery); }))
        return true;
    if (folds.title.contains(foldedQuery)) return true;
    if (!folds.text) folds.text = m_fold.fold(item.reading.document.text);
    return folds.text->contains(foldedQuery);
}

ReaderHistoryModel::QuickMatchFolds& ReaderHistoryModel::foldsOf(const SavedReading& reading) const {
    std::shared_ptr<QuickMatchFolds>& folds = m_quickMatchFolds[reading.id];
    if (folds && folds->reading == reading) return *folds;
    folds = std::make_shared<QuickMatchFolds>();
    folds->reading = reading;
    if (reading.epub) {
        for (const QString& creator : reading.epub->metadata.creators) folds->creators.append(m_fold.fold(creator));
    }
    folds->title = m_fold.fold(firstCharacters(ReaderDocumentIdentity::title(reading), kQuickMatchTitleCharacters));
    return *folds;
}

void ReaderHistoryModel::pruneQuickMatchFolds() {
    if (m_quickMatchFolds.isEmpty()) return;
    QSet<QUuid> kept;
    for (const StoredReading& item : m_history) kept.insert(item.id());
    for (const StoredReading& item : m_library) kept.insert(item.id());
    m_quickMatchFolds.removeIf([&](const auto& entry) { return !kept.contains(entry.key()); });
}

bool ReaderHistoryModel::isShown(const QUuid& id) const {
    const QList<StoredReading>& rows = visibleItems();
    return std::any_of(rows.cbegin(), rows.cend(), [&](const StoredReading& item) { return item.id() == id; });
}

void ReaderHistoryModel::reconcileSelection() {
    Q_ASSERT(isMainThread());
    if (!m_selectedID || isShown(*m_selectedID)) return;
    const ChangeBatch batch(*this);
    write(m_selectedID, std::nullopt, &ReaderHistoryModel::selectedIDChanged);
    abandonPendingSelection();
}

void ReaderHistoryModel::abandonPendingSelection() {
    const ChangeBatch batch(*this);
    // The handle stays: cancelling only tells the task to write nothing more.
    m_selectionTask.cancel();
    write(m_loadingID, std::nullopt, &ReaderHistoryModel::loadingIDChanged);
    write(m_selectionRequestID, QUuid::createUuid(), &ReaderHistoryModel::selectionRequestIDChanged);
}

void ReaderHistoryModel::clearFileNotice() {
    Q_ASSERT(isMainThread());
    const ChangeBatch batch(*this);
    write(m_fileNoticeID, QUuid::createUuid(), &ReaderHistoryModel::fileNoticeIDChanged);
    write(m_fileImportMessage, std::nullopt, &ReaderHistoryModel::fileImportMessageChanged);
    write(m_fileImportDetails, std::nullopt, &ReaderHistoryModel::fileImportDetailsChanged);
    write(m_fileImportFailed, false, &ReaderHistoryModel::fileImportFailedChanged);
}

// ---- Row texts ----

QString ReaderHistoryModel::rowPreview(const SavedReading& reading) {
    if (reading.epub) {
        const QStringList& creators = reading.epub->metadata.creators;
        if (creators.isEmpty()) return u"EPUB · 著者情報なし"_s;
        return u"EPUB · "_s + oneLineText(EPUBNavigationRows::creatorLabel(creators));
    }
    // The runs of Characters that are not white space, among the first ones of the text, one space apart.
    const QString& text = reading.document.text;
    QString joined;
    qsizetype characters = 0;
    bool spaceOwed = false;
    forEachCharacter(text, [&](TextRange range) {
        if (characters++ == kPreviewSourceCharacters) return false;
        if (isWhitespace(codePointAt(text, range.lowerBound))) {
            spaceOwed = !joined.isEmpty();
            return true;
        }
        if (std::exchange(spaceOwed, false)) joined += u' ';
        joined += QStringView(text).sliced(range.lowerBound, range.upperBound - range.lowerBound);
        return true;
    });
    return oneLineText(firstCharacters(joined, kPreviewCharacters));
}

QString ReaderHistoryModel::rowProgress(const StoredReading& item, bool compact) {
    const ReadingProgress& progress = item.progress;
    if (progress.isCompleted) return compact ? u"100%"_s : u"最後まで再生"_s;
    if (progress.utf16Offset == 0) return compact ? u"0%"_s : u"先頭"_s;
    const double length = static_cast<double>(std::max<qsizetype>(item.reading.document.text.size(), 1));
    // Truncated, and never 100 before the reading is completed, even for an offset at or past the end.
    const double percent = std::min(std::trunc(static_cast<double>(progress.utf16Offset) / length * 100.0), 99.0);
    return QString::number(static_cast<qint64>(percent)) + u'%';
}

}  // namespace tavrine
