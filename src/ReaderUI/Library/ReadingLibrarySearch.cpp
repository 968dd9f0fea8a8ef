#include "ReaderUI/Library/ReadingLibrarySearch.h"

#include "ReaderCore/Characters.h"
#include "ReaderCore/MainThread.h"
#include "ReaderCore/QueuedFuture.h"
#include "ReaderUI/PropertyWrite.h"

#include <QLocale>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <utility>

namespace tavrine {

ReadingLibrarySearch::ReadingLibrarySearch(QObject* parent) : QObject(parent) {
    Q_ASSERT(isMainThread());
}

ReadingLibrarySearch::~ReadingLibrarySearch() {
    // The waiting task holds this object only weakly; cancelling it also stops the pooled search.
    m_task.cancel();
}

QList<SavedReading> ReadingLibrarySearch::readingsOf(const QList<StoredReading>& history,
                                                     const QList<StoredReading>& library) {
    QList<SavedReading> readings;
    readings.reserve(history.size() + library.size());
    for (const StoredReading& record : history) readings.append(record.reading);
    for (const StoredReading& record : library) readings.append(record.reading);
    return readings;
}

void ReadingLibrarySearch::update(const QList<SavedReading>& readings, const QString& query) {
    Q_ASSERT(isMainThread());
    const QString trimmed = query.trimmed();
    // Equal readings compare fast: their texts and lists are shared, and shared data compares by address.
    if (trimmed == m_previousQuery && readings == m_previousReadings) return;
    setPreviousQuery(trimmed);
    setPreviousReadings(readings);
    m_task.cancel();
    const QUuid request = QUuid::createUuid();
    setRequestID(request);

    const bool hasLongText = std::any_of(readings.cbegin(), readings.cend(), [](const SavedReading& reading) {
        return reading.document.text.size() > kWholeTextLimit;
    });
    if (trimmed.isEmpty() || !hasLongText) {
        setMatchingIDs(std::nullopt);
        setIsSearching(false);
        return;
    }
    setMatchingIDs(QSet<QUuid>());
    setIsSearching(true);
    const SearchFold fold = SearchFold::forLocale(QLocale());
    m_task.start([&](CancellationToken cancellation) {
        return waitForMatches(QPointer<ReadingLibrarySearch>(this), readings, trimmed, fold, request,
                              std::move(cancellation));
    });
}

QCoro::Task<void> ReadingLibrarySearch::waitForMatches(QPointer<ReadingLibrarySearch> self,
                                                       QList<SavedReading> readings, QString query, SearchFold fold,
                                                       QUuid requestID, CancellationToken cancellation) {
    // The pooled search shares the token, so cancelling this task stops it at its next reading or window.
    // Queued: the result never lands inside the update() that started the search.
    QueuedFuture<QSet<QUuid>> search(QtConcurrent::run(
        [readings, query, fold, cancellation] { return computeMatchingIDs(readings, query, fold, cancellation); }));
    QSet<QUuid> ids = co_await search;
    if (cancellation.isCancelled() || !self || self->m_requestID != requestID) co_return;
    self->setMatchingIDs(std::move(ids));
    self->setIsSearching(false);
    self->m_task.release();
}

void ReadingLibrarySearch::setIsSearching(bool searching) {
    writeProperty(this, m_isSearching, searching, &ReadingLibrarySearch::isSearchingChanged);
}

void ReadingLibrarySearch::setMatchingIDs(std::optional<QSet<QUuid>> ids) {
    writeProperty(this, m_matchingIDs, std::move(ids), &ReadingLibrarySearch::matchingIDsChanged);
}

void ReadingLibrarySearch::setRequestID(QUuid id) {
    writeProperty(this, m_requestID, id, &ReadingLibrarySearch::requestIDChanged);
}

void ReadingLibrarySearch::setPreviousQuery(const QString& query) {
    writeProperty(this, m_previousQuery, query, &ReadingLibrarySearch::previousQueryChanged);
}

void ReadingLibrarySearch::setPreviousReadings(const QList<SavedReading>& readings) {
    writeProperty(this, m_previousReadings, readings, &ReadingLibrarySearch::previousReadingsChanged);
}

}  // namespace tavrine
