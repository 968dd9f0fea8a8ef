#include "PelmoraMac/Source/ReaderSourceView.h"

#include "PelmoraMac/Source/BoundedTextView.h"
#include "PelmoraMac/Source/InteractionTextEdit.h"
#include "ReaderCore/MainThread.h"
#include "ReaderUI/Source/ReaderSourceNavigation.h"

#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace tavrine {
namespace {

using Kind = ReadingDocument::Span::Kind;

// The most columns of any table of document; 0 without tables.
qsizetype tableColumns(const ReadingDocument& document) {
    qsizetype columns = 0;
    for (const ReadingDocument::Span& span : document.spans) {
        if (span.kind == Kind::table) columns = std::max(columns, span.level);
    }
    return columns;
}

}  // namespace

ReaderSourceView::ReaderSourceView(ReaderSourceNavigation& navigation, ReaderSourceViewInput input, QWidget* parent)
    : QWidget(parent), m_navigation(navigation), m_input(std::move(input)), m_layout(new QVBoxLayout(this)) {
    Q_ASSERT(isMainThread());
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
    m_documentID = navigation.documentID();
    m_focusRelease = m_input.focusRelease;
    build();
    runUpdate();
    for (auto signal : {&ReaderSourceNavigation::documentIDChanged, &ReaderSourceNavigation::followsPlaybackChanged,
                        &ReaderSourceNavigation::matchIndexChanged, &ReaderSourceNavigation::matchesChanged,
                        &ReaderSourceNavigation::revealRequestChanged}) {
        connect(&navigation, signal, this, &ReaderSourceView::scheduleUpdate);
    }
}

ReaderSourceView::~ReaderSourceView() {
    save();
    // The text view outlives this object by a moment: what it reports while taken apart goes nowhere.
    m_view->setOnInteraction({});
    m_view->setOnSelectionChanged({});
}

QAbstractScrollArea& ReaderSourceView::textWidget() const {
    return *m_view->scrollArea();
}

void ReaderSourceView::setInput(ReaderSourceViewInput input) {
    Q_ASSERT(isMainThread());
    if (input == m_input) return;
    m_input = std::move(input);
    scheduleUpdate();
}

void ReaderSourceView::scheduleUpdate() {
    if (m_updateScheduled) return;
    m_updateScheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_updateScheduled = false;
        runUpdate();
    });
}

void ReaderSourceView::build() {
    const bool bounded = usesBoundedView(m_input.document);
    InteractionTextView* view = nullptr;
    if (bounded) {
        view = new BoundedTextView(this);
    } else {
        view = new InteractionTextEdit(this);
    }
    QAbstractScrollArea* widget = view->scrollArea();
    widget->setAccessibleName(kAccessibleName);
    widget->setAccessibleDescription(kAccessibleDescription);
    // The callbacks of the view's owner at the time of the interaction, not of its making.
    view->setOnInteraction([this] {
        if (m_onInteraction) m_onInteraction();
    });
    view->setOnSelectionChanged([this] { selectionChanged(); });
    if (m_view) {
        m_highlight.remove(*m_view);
        m_searchHighlight.remove(*m_view);
        // The old view says nothing more, not even while it is taken apart.
        m_view->setOnInteraction({});
        m_view->setOnSelectionChanged({});
        QWidget* old = m_view->scrollArea();
        const bool hadFocus = old->hasFocus();
        m_layout->removeWidget(old);
        old->hide();
        old->deleteLater();
        if (hadFocus) widget->setFocus();
    }
    m_layout->addWidget(widget);
    m_view = view;
    m_usesBoundedLayout = bounded;
    ++m_builds;
    load();
    const qsizetype caret = std::clamp<qsizetype>(m_input.cursor, 0, m_view->textLength());
    m_view->setSelectedRange({caret, caret});
    m_highlight.apply(m_input.highlightedRange, *m_view, m_navigation.followsPlayback());
    m_view->setFollowedRange(m_navigation.followsPlayback() ? m_highlight.range() : std::nullopt);
    restore();
}

void ReaderSourceView::load() {
    m_highlight.remove(*m_view);
    m_searchHighlight.remove(*m_view);
    m_view->load(m_input.document, m_input.pointSize);
    ++m_loads;
    m_document = m_input.document;
    m_pointSize = m_input.pointSize;
    m_documentID = m_navigation.documentID();
    if (auto* bounded = dynamic_cast<BoundedTextView*>(m_view)) {
        // Grid tables keep a usable width per column; the text itself wraps at any width.
        const double tables = bounded->storage()->drawsGridTables()
                                  ? double(tableColumns(m_document)) * kTableColumnWidth * m_pointSize / 15
                                  : 0;
        m_minimumWidth = tables + kBoundedMinimumWidth;
        bounded->setMinimumDocumentWidth(m_minimumWidth);
    } else {
        // The ordinary view measures its text's minimum width itself.
        m_minimumWidth = 0;
    }
}

void ReaderSourceView::restore() {
    if (const QList<TextRange>& selected = m_navigation.selectedRanges(); !selected.isEmpty()) {
        m_view->setSelectedRange(selected.first());
    }
    if (const std::optional<qsizetype> offset = m_navigation.visibleOffset()) {
        m_view->setInitialTopOffset(*offset);
    } else if (const std::optional<TextRange> match = m_navigation.currentMatch();
               match && !m_navigation.followsPlayback()) {
        m_view->setInitialRevealRange(*match);
    } else if (m_input.highlightedRange) {
        m_view->setInitialRevealRange(*m_input.highlightedRange);
    }
}

void ReaderSourceView::save() {
    if (!m_view || m_documentID != m_navigation.documentID()) return;
    m_navigation.setSelectedRanges(m_view->selectedRanges());
    m_navigation.setVisibleOffset(m_view->visibleOffset());
}

void ReaderSourceView::runUpdate() {
    Q_ASSERT(isMainThread());
    const bool keepsFocus = m_focusRelease == m_input.focusRelease;
    m_focusRelease = m_input.focusRelease;
    m_isUpdating = true;
    const bool sameDocument = m_document == m_input.document;
    const bool sameSize = m_pointSize == m_input.pointSize;
    const QList<TextRange> selection = m_view->selectedRanges();
    const bool bounded = sameDocument ? m_usesBoundedLayout : usesBoundedView(m_input.document);
    const std::optional<qsizetype> visibleOffset =
        sameDocument && !sameSize ? m_view->visibleOffset() : std::optional<qsizetype>();

    if (m_documentID != m_navigation.documentID()) {
        m_documentID = m_navigation.documentID();
        const qsizetype caret = std::clamp<qsizetype>(m_input.cursor, 0, m_view->textLength());
        m_view->setSelectedRange({caret, caret});
    }

    if (bounded != m_usesBoundedLayout) {
        // Only a new document changes the engine: the new view holds it, highlighted, already.
        build();
    } else if (!sameDocument || !sameSize) {
        load();
        if (sameDocument) {
            if (!selection.isEmpty()) m_view->setSelectedRange(selection.first());
            if (visibleOffset) m_view->setInitialTopOffset(std::min(*visibleOffset, m_view->textLength()));
        }
    }

    const qsizetype caret = std::clamp<qsizetype>(m_input.cursor, 0, m_view->textLength());
    const QList<TextRange> selected = m_view->selectedRanges();
    if (selected.isEmpty() || selected.first().lowerBound != caret) m_view->setSelectedRange({caret, caret});

    if (!keepsFocus && m_view->scrollArea()->hasFocus()) m_view->scrollArea()->clearFocus();

    const QUuid request = m_navigation.revealRequest();
    const bool newRequest = m_revealRequest != request;
    m_revealRequest = request;
    const bool following = m_navigation.followsPlayback();
    m_highlight.apply(m_input.highlightedRange, *m_view, following && (!sameDocument || sameSize),
                      newRequest && following);
    m_searchHighlight.apply(m_navigation.currentMatch(), *m_view, newRequest && !following, newRequest && !following);
    // The phrase a relayout keeps in view (a load forgot it).
    m_view->setFollowedRange(following ? m_highlight.range() : std::nullopt);
    m_isUpdating = false;
}

void ReaderSourceView::selectionChanged() {
    if (m_isUpdating) return;
    const QList<TextRange> selected = m_view->selectedRanges();
    if (selected.isEmpty()) return;
    // The binding's value is the user's at once, so an update before the workspace's next pass keeps it.
    m_input.cursor = selected.first().lowerBound;
    if (m_onCursorChanged) m_onCursorChanged(m_input.cursor);
}

void ReaderSourceView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous() || !m_wasHidden) return;
    m_wasHidden = false;
    if (m_documentID == m_navigation.documentID()) restore();
}

void ReaderSourceView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (event->spontaneous()) return;
    m_wasHidden = true;
    save();
}

}  // namespace tavrine
