#pragma once

#include "ReaderCore/CancellationToken.h"
#include "ReaderCore/ReadingDocument.h"
#include "ReaderCore/TaskHandle.h"
#include "ReaderCore/TextRange.h"
#include "ReaderUI/Source/ReaderSourceSearch.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUuid>

#include <memory>
#include <optional>

namespace tavrine {

// The one find-and-follow state of the source pane, shared by the pane, its toolbar, the source view and
// the menu commands: whether the view follows playback, the find field and its matches, the requests to
// reveal a target or focus the find field, and the selection and visible place to restore when the view
// is built again. It runs find in the document as a cancellable scan on the thread pool whose result is
// applied only while its search and document are still current.
//
// Lives on the main thread; the application owns the one instance for its whole run. Every field
// signals only when a written value differs; of a request, only the change matters, never its value.
class ReaderSourceNavigation : public QObject {
    Q_OBJECT

public:
    explicit ReaderSourceNavigation(QObject* parent = nullptr);
    // Runs its scans through scanner instead of ReaderSourceSearch::scan.
    explicit ReaderSourceNavigation(ReaderSourceSearch::Scanner scanner, QObject* parent = nullptr);
    ~ReaderSourceNavigation() override;

    // The loaded document's identifier; none for a document without one.
    std::optional<QUuid> documentID() const { return m_documentID; }
    // The source view shows tables as their cells' text in reading order, and the pane says so.
    bool usesLinearTables() const { return m_usesLinearTables; }
    // The source view keeps the phrase being played highlighted and in view.
    bool followsPlayback() const { return m_followsPlayback; }
    void setFollowsPlayback(bool follows);
    // The find field is shown.
    bool showsFind() const { return m_showsFind; }
    // The find field's text; writing it starts no search (the field calls startSearch() for user edits).
    const QString& query() const { return m_query; }
    void setQuery(const QString& query);
    // A scan for a non-empty query runs.
    bool isSearching() const { return m_isSearching; }
    // The matches in the loaded text, in text order.
    const QList<TextRange>& matches() const { return m_matches; }
    std::optional<qsizetype> matchIndex() const { return m_matchIndex; }
    // Changes each time the find field is to take the keyboard focus.
    QUuid focusRequest() const { return m_focusRequest; }
    // Changes each time the source view is to scroll its target into view (the phrase being played while
    // following playback, else the current match).
    QUuid revealRequest() const { return m_revealRequest; }
    void requestReveal();
    // The text view's selection (a text view has one), restored when the view is built again.
    const QList<TextRange>& selectedRanges() const { return m_selectedRanges; }
    // Keeps at most the first range.
    void setSelectedRanges(QList<TextRange> ranges);
    // The offset of the text at the top of the view, scrolled back to when the view is built again.
    std::optional<qsizetype> visibleOffset() const { return m_visibleOffset; }
    void setVisibleOffset(std::optional<qsizetype> offset);
    // The loaded text, which find searches.
    const QString& source() const { return m_source; }
    // Changes with every started or reset search.
    QUuid generation() const { return m_generation; }

    // A new document (or none: an empty text without spans). Loading the loaded document again (same
    // identifier, same text) changes nothing; another one ends the search, closes the find field,
    // forgets the selection and the visible place and follows playback again.
    void loadDocument(const QString& text, const QList<ReadingDocument::Span>& spans, std::optional<QUuid> id);
    // Opens and focuses the find field and stops following playback.
    void showFind();
    // The next (or previous) match, wrapping around; nothing while there is no current match.
    void selectAdjacentMatch(bool forward);
    // Follows playback again and reveals the phrase being played: the return to playback.
    void resumeFollowingPlayback();
    // Starts a search for query, replacing a running one; an empty query only clears the matches.
    void startSearch();
    // Ends the search and closes the find field; following is left as it is.
    void resetSearch();

    // The match at matchIndex, when that lies in matches.
    std::optional<TextRange> currentMatch() const;
    // The status beside the find field: "検索中", nothing, "2 / 15件" or "見つかりません".
    QString searchStatusText() const;

signals:
    void documentIDChanged();
    void usesLinearTablesChanged();
    void followsPlaybackChanged();
    void showsFindChanged();
    void queryChanged();
    void isSearchingChanged();
    void matchesChanged();
    void matchIndexChanged();
    void focusRequestChanged();
    void revealRequestChanged();
    void selectedRangesChanged();
    void visibleOffsetChanged();
    void sourceChanged();
    void generationChanged();

private:
    static QCoro::Task<void> runSearch(QPointer<ReaderSourceNavigation> self, ReaderSourceSearch::Scanner scanner,
                                       ReaderSourceSearch::Request request, QUuid generation,
                                       std::optional<QUuid> documentID, CancellationToken cancellation);

    ReaderSourceSearch::Scanner m_scanner;
    std::optional<QUuid> m_documentID;
    bool m_usesLinearTables = false;
    bool m_followsPlayback = true;
    bool m_showsFind = false;
    QString m_query;
    bool m_isSearching = false;
    QList<TextRange> m_matches;
    std::optional<qsizetype> m_matchIndex;
    QUuid m_focusRequest = QUuid::createUuid();
    QUuid m_revealRequest = QUuid::createUuid();
    QList<TextRange> m_selectedRanges;
    std::optional<qsizetype> m_visibleOffset;
    QString m_source;
    TaskHandle m_task;
    QUuid m_generation = QUuid::createUuid();
    // The loaded text folded by the first scan that finished folding it; dropped with the document.
    std::shared_ptr<const FoldedText> m_folded;
};

}  // namespace tavrine
