#include "ReaderUI/Source/ReaderSourceNavigation.h"

#include "ReaderCore/MainThread.h"
#include "ReaderCore/QueuedFuture.h"
#include "ReaderUI/PropertyWrite.h"
#include "ReaderUI/Source/NeedsBoundedLayout.h"

#include <QLocale>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <utility>

namespace tavrine {
using namespace Qt::StringLiterals;

ReaderSourceNavigation::ReaderSourceNavigation(QObject* parent)
    : ReaderSourceNavigation(ReaderSourceSearch::scan, parent) {}

ReaderSourceNavigation::ReaderSourceNavigation(ReaderSourceSearch::Scanner scanner, QObject* parent)
    : QObject(parent), m_scanner(std::move(scanner)) {
    Q_ASSERT(isMainThread());
}

ReaderSourceNavigation::~ReaderSourceNavigation() {
    // Stops the pooled scan too: it shares the task's token.
    m_task.cancel();
}

void ReaderSourceNavigation::setFollowsPlayback(bool follows) {
    writeProperty(this, m_followsPlayback, follows, &ReaderSourceNavigation::followsPlaybackChanged);
}

void ReaderSourceNavigation::setQuery(const QString& query) {
    writeProperty(this, m_query, query, &ReaderSourceNavigation::queryChanged);
}

void ReaderSourceNavigation::requestReveal() {
    writeProperty(this, m_revealRequest, QUuid::createUuid(), &ReaderSourceNavigation::revealRequestChanged);
}

void ReaderSourceNavigation::setSelectedRanges(QList<TextRange> ranges) {
    if (ranges.size() > 1) ranges.resize(1);
    writeProperty(this, m_selectedRanges, std::move(ranges), &ReaderSourceNavigation::selectedRangesChanged);
}

void ReaderSourceNavigation::setVisibleOffset(std::optional<qsizetype> offset) {
    writeProperty(this, m_visibleOffset, offset, &ReaderSourceNavigation::visibleOffsetChanged);
}

void ReaderSourceNavigation::loadDocument(const QString& text, const QList<ReadingDocument::Span>& spans,
                                          std::optional<QUuid> id) {
    Q_ASSERT(isMainThread());
    if (m_documentID == id && m_source == text) return;
    resetSearch();
    m_folded.reset();
    writeProperty(this, m_source, text, &ReaderSourceNavigation::sourceChanged);
    writeProperty(this, m_documentID, id, &ReaderSourceNavigation::documentIDChanged);
    setFollowsPlayback(true);
    const bool hasTable = std::any_of(spans.cbegin(), spans.cend(), [](const ReadingDocument::Span& span) {
        return span.kind == ReadingDocument::Span::Kind::table;
    });
    writeProperty(this, m_usesLinearTables, hasTable && needsBoundedLayout(text, spans),
                  &ReaderSourceNavigation::usesLinearTablesChanged);
    setSelectedRanges({});
    setVisibleOffset(std::nullopt);
    requestReveal();
}

void ReaderSourceNavigation::showFind() {
    setFollowsPlayback(false);
    writeProperty(this, m_showsFind, true, &ReaderSourceNavigation::showsFindChanged);
    writeProperty(this, m_focusRequest, QUuid::createUuid(), &ReaderSourceNavigation::focusRequestChanged);
}

void ReaderSourceNavigation::selectAdjacentMatch(bool forward) {
    if (m_matches.isEmpty() || !m_matchIndex) return;
    setFollowsPlayback(false);
    const qsizetype count = m_matches.size();
    const qsizetype step = forward ? 1 : count - 1;
    writeProperty(this, m_matchIndex, std::optional<qsizetype>((*m_matchIndex + step) % count),
                  &ReaderSourceNavigation::matchIndexChanged);
    requestReveal();
}

void ReaderSourceNavigation::resumeFollowingPlayback() {
    setFollowsPlayback(true);
    requestReveal();
}

void ReaderSourceNavigation::startSearch() {
    Q_ASSERT(isMainThread());
    m_task.cancel();
    const QUuid generation = QUuid::createUuid();
    writeProperty(this, m_generation, generation, &ReaderSourceNavigation::generationChanged);
    writeProperty(this, m_matches, QList<TextRange>(), &ReaderSourceNavigation::matchesChanged);
    writeProperty(this, m_matchIndex, std::nullopt, &ReaderSourceNavigation::matchIndexChanged);
    writeProperty(this, m_isSearching, !m_query.isEmpty(), &ReaderSourceNavigation::isSearchingChanged);
    if (m_query.isEmpty()) return;
    setFollowsPlayback(false);
    ReaderSourceSearch::Request request{m_query, m_source, SearchFold::forLocale(QLocale()), m_folded};
    m_task.start([&](CancellationToken cancellation) {
        return runSearch(QPointer<ReaderSourceNavigation>(this), m_scanner, std::move(request), generation,
                         m_documentID, std::move(cancellation));
    });
}

QCoro::Task<void> ReaderSourceNavigation::runSearch(QPointer<ReaderSourceNavigation> self,
                                                    ReaderSourceSearch::Scanner scanner,
                                                    ReaderSourceSearch::Request request, QUuid generation,
                                                    std::optional<QUuid> documentID, CancellationToken cancellation) {
    const QString text = request.text;
    // Queued: the result never lands inside the startSearch() that started the scan.
    QueuedFuture<ReaderSourceSearch::Result> scan(
        QtConcurrent::run([scanner = std::move(scanner), request = std::move(request), cancellation] {
            return scanner(request, cancellation);
        }));
    ReaderSourceSearch::Result result = co_await scan;
    if (!self) co_return;
    // The fold outlives a superseded search of the same text: typing on needs no second fold.
    if (result.folded && !self->m_folded && self->m_source == text) self->m_folded = result.folded;
    if (cancellation.isCancelled() || self->m_generation != generation || self->m_documentID != documentID) co_return;
    writeProperty(self.data(), self->m_matches, std::move(result.matches), &ReaderSourceNavigation::matchesChanged);
    writeProperty(self.data(), self->m_matchIndex,
                  self->m_matches.isEmpty() ? std::nullopt : std::optional<qsizetype>(0),
                  &ReaderSourceNavigation::matchIndexChanged);
    writeProperty(self.data(), self->m_isSearching, false, &ReaderSourceNavigation::isSearchingChanged);
    self->m_task.release();
    self->requestReveal();
}

void ReaderSourceNavigation::resetSearch() {
    m_task.cancel();
    m_task.release();
    writeProperty(this, m_generation, QUuid::createUuid(), &ReaderSourceNavigation::generationChanged);
    setQuery(QString());
    writeProperty(this, m_matches, QList<TextRange>(), &ReaderSourceNavigation::matchesChanged);
    writeProperty(this, m_matchIndex, std::nullopt, &ReaderSourceNavigation::matchIndexChanged);
    writeProperty(this, m_isSearching, false, &ReaderSourceNavigation::isSearchingChanged);
    writeProperty(this, m_showsFind, false, &ReaderSourceNavigation::showsFindChanged);
}

std::optional<TextRange> ReaderSourceNavigation::currentMatch() const {
    if (!m_matchIndex || *m_matchIndex < 0 || *m_matchIndex >= m_matches.size()) return std::nullopt;
    return m_matches[*m_matchIndex];
}

QString ReaderSourceNavigation::searchStatusText() const {
    if (m_isSearching) return u"検索中"_s;
    if (m_query.isEmpty()) return QString();
    if (m_matchIndex) return u"%1 / %2件"_s.arg(*m_matchIndex + 1).arg(m_matches.size());
    return u"見つかりません"_s;
}

}  // namespace tavrine
