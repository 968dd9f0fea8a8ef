#pragma once

#include "ReaderCore/CancellationToken.h"
#include "ReaderCore/SavedReading.h"
#include "ReaderCore/SearchFold.h"
#include "ReaderCore/TaskHandle.h"
#include "ReaderStorage/StoredReading.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QUuid>

#include <optional>

namespace tavrine {

// The full-text search behind the document list's search field. The list calls update() whenever its
// query or its readings change; while every text is short (or the query blank) the search publishes no
// result and the list filters with its own quick match; otherwise it searches every reading on the
// thread pool and publishes the identifiers of those whose EPUB creators, stored title or text contain
// the query under SearchFold.
//
// Lives on the main thread and is owned by the document-list model. Every property signals only when
// its value changes. A result is applied only while the search that produced it is current.
class ReadingLibrarySearch : public QObject {
    Q_OBJECT

public:
    explicit ReadingLibrarySearch(QObject* parent = nullptr);
    ~ReadingLibrarySearch() override;

    // readings: every reading of the history, then every reading of the library; query: the search
    // field's text as typed. An update whose trimmed query and readings equal the last accepted ones
    // changes nothing and lets a running search go on.
    void update(const QList<SavedReading>& readings, const QString& query);

    // True while a background search for the latest request runs.
    bool isSearching() const { return m_isSearching; }
    // Nothing: the caller filters by itself. The empty set while a background search runs, then the
    // identifiers of the matching readings.
    const std::optional<QSet<QUuid>>& matchingIDs() const { return m_matchingIDs; }
    // Renewed by every accepted update.
    QUuid requestID() const { return m_requestID; }
    // The trimmed query and the readings of the latest accepted update.
    const QString& previousQuery() const { return m_previousQuery; }
    const QList<SavedReading>& previousReadings() const { return m_previousReadings; }

    // What update() takes for the store's two lists: the history's readings, then the library's. The
    // texts are shared with the records, never copied.
    static QList<SavedReading> readingsOf(const QList<StoredReading>& history, const QList<StoredReading>& library);

    // The identifiers of the readings that contain query (trimmed, not blank): by one of their EPUB
    // creators, else by their stored title, else by their text, the first hit ending the tests of a
    // reading. Once cancelled it returns what it has found so far. Pure; runs on any thread.
    static QSet<QUuid> computeMatchingIDs(const QList<SavedReading>& readings, const QString& query, SearchFold fold,
                                          const CancellationToken& cancellation);
    // Whether a document text contains query: a short text whole, a long one window by window
    // (LibrarySearchWindows), checking cancellation before each window; false once cancelled.
    static bool bodyContains(const QString& text, const QString& query, SearchFold fold,
                             const CancellationToken& cancellation);

signals:
    void isSearchingChanged();
    void matchingIDsChanged();
    void requestIDChanged();
    void previousQueryChanged();
    void previousReadingsChanged();

private:
    static QCoro::Task<void> waitForMatches(QPointer<ReadingLibrarySearch> self, QList<SavedReading> readings,
                                            QString query, SearchFold fold, QUuid requestID,
                                            CancellationToken cancellation);

    void setIsSearching(bool searching);
    void setMatchingIDs(std::optional<QSet<QUuid>> ids);
    void setRequestID(QUuid id);
    void setPreviousQuery(const QString& query);
    void setPreviousReadings(const QList<SavedReading>& readings);

    bool m_isSearching = false;
    std::optional<QSet<QUuid>> m_matchingIDs;
    TaskHandle m_task;
    QUuid m_requestID = QUuid::createUuid();
    QString m_previousQuery;
    QList<SavedReading> m_previousReadings;
};

}  // namespace tavrine
