#include "ReaderWidgets/Workspace/ReaderReadingColumn.h"

#include "ReaderCore/MainThread.h"
#include "ReaderUI/Player/ReaderTextSizeSettings.h"
#include "ReaderUI/Player/ReadingPlayer.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderUI/Workspace/ReaderWorkspaceController.h"
#include "ReaderWidgets/Style/ReaderTextStyle.h"
#include "ReaderWidgets/Style/SelectableText.h"
#include "ReaderWidgets/Style/ToQColor.h"
#include "ReaderWidgets/Workspace/ReaderProgressControl.h"
#include "ReaderWidgets/Workspace/ReaderRSVPDisplayPanel.h"
#include "ReaderWidgets/Workspace/ReaderSpeedControls.h"
#include "ReaderWidgets/Workspace/ReaderTransportControls.h"

#include <QLabel>
#include <QScrollBar>
#include <QVBoxLayout>

#include <cmath>

namespace tavrine {

ReaderReadingColumn::ReaderReadingColumn(ReaderWorkspaceController& workspace, SourceViewFactory makeSourceView,
                                         ToolbarFactory makeToolbar, QWidget* parent)
    : QScrollArea(parent),
      m_workspace(workspace),
      m_makeSourceView(std::move(makeSourceView)),
      m_content(new QWidget),
      m_blocks(new QVBoxLayout(m_content)),
      m_notice(new QLabel(m_content)),
      m_display(new ReaderRSVPDisplayPanel(workspace, m_content)),
      m_progress(new ReaderProgressControl(workspace, m_content)),
      m_transport(new ReaderTransportControls(workspace, m_content)),
      m_speed(new ReaderSpeedControls(workspace, m_content)) {
    Q_ASSERT(isMainThread());
    setFrameShape(QFrame::NoFrame);
    // A container: a click on its background leaves the keyboard focus where it was, and Tab passes
    // through to the blocks.
    setFocusPolicy(Qt::NoFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidgetResizable(false);
    viewport()->setAutoFillBackground(false);
    m_content->setAutoFillBackground(false);

    m_notice->setFont(readerFont(ReaderTextStyle::callout));
    m_notice->setTextFormat(Qt::PlainText);
    m_notice->setWordWrap(true);
    setSelectableText(*m_notice);
    QPalette noticePalette = m_notice->palette();
    noticePalette.setColor(QPalette::WindowText, toQColor(ReaderPalette::secondaryText));
    m_notice->setPalette(noticePalette);
    m_notice->hide();

    // The blocks keep their own heights (the display its fixed one): only a source area takes more.
    for (QWidget* block : std::initializer_list<QWidget*>{m_notice, m_display, m_progress, m_transport, m_speed}) {
        block->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    }
    m_blocks->addWidget(m_notice);
    m_blocks->addWidget(m_display);
    m_blocks->addWidget(m_progress);
    m_blocks->addWidget(m_transport);
    m_blocks->addWidget(m_speed);
    if (makeToolbar) m_toolbar = makeToolbar();
    if (m_toolbar) {
        m_toolbar->setParent(m_content);
        m_blocks->addWidget(m_toolbar);
    }
    setWidget(m_content);

    connect(&workspace, &ReaderWorkspaceController::changed, this, &ReaderReadingColumn::refresh);
    refresh();
}

ReaderReadingColumn::~ReaderReadingColumn() = default;

void ReaderReadingColumn::refresh() {
    const std::optional<QString>& message = m_workspace.player().storageMessage();
    if (message) {
        if (m_notice->text() != *message) m_notice->setText(*message);
    }
    if (m_notice->isVisibleTo(m_content) != bool(message)) m_notice->setVisible(bool(message));

    m_display->refresh();
    m_progress->refresh();
    m_transport->refresh();
    m_speed->refresh();

    if (m_workspace.showsSource() && !m_sourceArea) {
        m_sourceArea = new ReaderSourceArea(m_workspace, m_makeSourceView, m_content);
        m_blocks->addWidget(m_sourceArea, 1);
    }
    if (m_sourceArea) {
        m_sourceArea->setVisible(m_workspace.showsSource() && !m_sourceArea->isEmpty());
        m_sourceArea->refresh();
    }
    updateLayout();
}

void ReaderReadingColumn::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    updateLayout();
}

void ReaderReadingColumn::updateLayout() {
    const bool showsSource = m_sourceArea && m_sourceArea->isVisibleTo(m_content);
    const ReaderColumnMetrics metrics =
        ReaderColumnMetrics::make(width(), height(), m_workspace.player().textSizes().rsvpPointSize(),
                                  {.showsSource = showsSource, .hasSourceToolbar = m_toolbar != nullptr});
    const int columnHeight = int(std::ceil(metrics.columnHeight));
    if (metrics != m_metrics || showsSource != m_layoutShowsSource || m_content->height() != columnHeight) {
        m_metrics = metrics;
        m_layoutShowsSource = showsSource;
        setVerticalScrollBarPolicy(metrics.scrolls ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
        const int padding = int(metrics.padding);
        m_blocks->setContentsMargins(padding, padding, padding, padding);
        m_blocks->setSpacing(int(metrics.spacing));
        // A source area fills what the blocks above leave; without one the blocks keep their own heights,
        // at the top above a toolbar, else centred.
        m_blocks->setAlignment(showsSource ? Qt::Alignment() : metrics.alignsTop ? Qt::AlignTop : Qt::AlignVCenter);
        m_display->setFixedHeight(int(std::lround(metrics.displayHeight)));
        if (m_sourceArea) m_sourceArea->setMinimumHeight(int(metrics.sourceMinimumHeight.value_or(0)));
    }
    const QSize contentSize(viewport()->width(), columnHeight);
    if (m_content->size() != contentSize) m_content->resize(contentSize);
}

}  // namespace tavrine
