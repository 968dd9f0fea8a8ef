#include "ReaderWidgets/Workspace/ReaderEPUBPane.h"

#include "ReaderCore/MainThread.h"
#include "ReaderCore/SavedReading.h"
#include "ReaderUI/Player/ReadingPlayer.h"
#include "ReaderUI/ReaderCommandShortcuts.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderUI/Workspace/PlayerDocumentContext.h"
#include "ReaderUI/Workspace/ReaderEPUBPaneModel.h"
#include "ReaderUI/Workspace/ReaderEPUBPaneNavigation.h"
#include "ReaderWidgets/Style/ReaderSymbol.h"
#include "ReaderWidgets/Style/ReaderTextStyle.h"
#include "ReaderWidgets/Style/ShortcutText.h"
#include "ReaderWidgets/Style/ToQColor.h"
#include "ReaderWidgets/Workspace/ReaderEPUBPaneDelegate.h"

#include <QHBoxLayout>
#include <QHideEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QPointer>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace tavrine {
namespace {

using Kind = ReaderEPUBPaneModel::Kind;
constexpr int kCloseIconSize = 14;
// About what a tall pane shows: the first paint waits for one batch, the rest are measured later.
constexpr int kBatchSize = 50;

// The list of the pane: it takes the keys of the pane's rules and nothing else, and mirrors its focus
// into the navigation.
class PaneList final : public QListView {
public:
    PaneList(ReaderEPUBPaneNavigation& navigation, QWidget* parent) : QListView(parent), m_navigation(navigation) {
        Q_ASSERT(isMainThread());
    }

    void keyboardSearch(const QString&) override {}

protected:
    void keyPressEvent(QKeyEvent* event) override {
        bool handled = false;
        switch (event->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down: handled = m_navigation.arrowKey(event->key() == Qt::Key_Down, event->modifiers()); break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Space: handled = !event->isAutoRepeat() && m_navigation.activationKey(event->modifiers()); break;
        default: break;
        }
        if (handled) {
            event->accept();
        } else {
            // Esc and everything else go on to the pane and beyond.
            event->ignore();
        }
    }

    void focusInEvent(QFocusEvent* event) override {
        m_navigation.setListFocused(true);
        QListView::focusInEvent(event);
    }

    void focusOutEvent(QFocusEvent* event) override {
        // Hiding the pane moves the focus away before the pane hears that it is hidden: the mirror is
        // cleared on the next turn, so that the hidden pane still knows that it held the focus.
        QPointer<PaneList> self(this);
        QTimer::singleShot(0, this, [self] {
            if (self && !self->hasFocus()) self->m_navigation.setListFocused(false);
        });
        QListView::focusOutEvent(event);
    }

private:
    ReaderEPUBPaneNavigation& m_navigation;
};

// The current chapter's line: a caption of at most two lines in the secondary colour, hidden until there
// is a chapter to show.
void styleChapterLine(QLabel& line) {
    line.setFont(readerFont(ReaderTextStyle::caption));
    line.setTextFormat(Qt::PlainText);
    line.setWordWrap(true);
    // At most two lines, with the margin below them.
    line.setContentsMargins(ReaderEPUBPane::kMargin, 0, ReaderEPUBPane::kMargin, ReaderEPUBPane::kMargin);
    line.setMaximumHeight(2 * line.fontMetrics().lineSpacing() + ReaderEPUBPane::kMargin);
    QPalette secondary = line.palette();
    secondary.setColor(QPalette::WindowText, toQColor(ReaderPalette::secondaryText));
    line.setPalette(secondary);
    line.hide();
}

// The rule between the header and the list.
QWidget* makeDivider(QWidget* parent) {
    auto* divider = new QWidget(parent);
    divider->setFixedHeight(1);
    QPalette rule = divider->palette();
    rule.setColor(QPalette::Window, toQColor(ReaderPalette::border));
    divider->setPalette(rule);
    divider->setAutoFillBackground(true);
    return divider;
}

// The list shows rows of their own heights, wrapped, laid out in batches, scrolled by pixel, on the
// pane's background; it selects nothing by itself and edits nothing. It takes the keys by Tab only: a
// click on a row moves the reading and leaves the keys where they were, so Space plays from there.
void styleList(QListView& list) {
    list.setSelectionMode(QAbstractItemView::NoSelection);
    list.setEditTriggers(QAbstractItemView::NoEditTriggers);
    list.setTabKeyNavigation(false);
    list.setUniformItemSizes(false);
    list.setWordWrap(true);
    list.setLayoutMode(QListView::Batched);
    list.setBatchSize(kBatchSize);
    list.setResizeMode(QListView::Adjust);
    list.setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    list.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list.setFrameShape(QFrame::NoFrame);
    list.setFocusPolicy(Qt::TabFocus);
    list.setAutoFillBackground(false);
    list.viewport()->setAutoFillBackground(false);
}

}  // namespace

ReaderEPUBPane::ReaderEPUBPane(ReadingPlayer& player, const SavedReading& reading, Callbacks callbacks, QWidget* parent)
    : QWidget(parent),
      m_player(player),
      m_model(new ReaderEPUBPaneModel(ReaderEPUBContents(reading), this)),
      m_navigation(new ReaderEPUBPaneNavigation(*m_model, player, reading.id, std::move(callbacks), this)),
      m_closeButton(new QToolButton(this)),
      m_chapterLine(new QLabel(this)),
      m_list(new PaneList(*m_navigation, this)),
      m_context(std::make_unique<PlayerDocumentContext>()) {
    Q_ASSERT(isMainThread());
    setObjectName(kObjectName);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, toQColor(ReaderPalette::background));
    setPalette(colours);
    setAutoFillBackground(true);
    styleChapterLine(*m_chapterLine);
    setUpList();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(buildHeader());
    layout->addWidget(m_chapterLine);
    layout->addWidget(makeDivider(this));
    layout->addWidget(m_list, 1);
    setFocusProxy(m_list);

    for (auto signal : {&ReadingPlayer::sessionChanged, &ReadingPlayer::readingChanged,
                        &ReadingPlayer::requestedOffsetChanged, &ReadingPlayer::isPreparingChanged}) {
        connect(&player, signal, this, &ReaderEPUBPane::scheduleRefresh);
    }
    refresh();
}

QHBoxLayout* ReaderEPUBPane::buildHeader() {
    auto* header = new QHBoxLayout;
    header->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    auto* title = new QLabel(ReaderEPUBPaneModel::kTitle, this);
    title->setFont(readerFont(ReaderTextStyle::headline));
    header->addWidget(title);
    header->addStretch(1);
    m_closeButton->setAutoRaise(true);
    m_closeButton->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_closeButton->setIcon(symbolIcon(ReaderSymbol::xmark, toQColor(ReaderPalette::control)));
    m_closeButton->setIconSize({kCloseIconSize, kCloseIconSize});
    m_closeButton->setText(kCloseLabel);
    m_closeButton->setAccessibleName(kCloseLabel);
    // No keys of its own: the help text names the menu command's.
    m_closeButton->setToolTip(withShortcut(kCloseLabel, ReaderCommandShortcuts::toggleEPUBNavigation));
    m_closeButton->setFocusPolicy(Qt::TabFocus);
    connect(m_closeButton, &QToolButton::clicked, m_navigation, &ReaderEPUBPaneNavigation::close);
    header->addWidget(m_closeButton, 0, Qt::AlignVCenter);
    return header;
}

void ReaderEPUBPane::setUpList() {
    styleList(*m_list);
    m_list->setModel(m_model);
    m_list->setItemDelegate(new ReaderEPUBPaneDelegate(*m_list, *m_model));
    m_list->setAccessibleName(ReaderEPUBPaneModel::kTitle);
    connect(m_list, &QListView::clicked, this, [this](const QModelIndex& index) {
        if (!index.isValid()) return;
        if (m_model->kindAt(index.row()) == Kind::chapterGroup) {
            m_navigation->setShowsChapters(!m_navigation->showsChapters());
        } else if (const std::optional<ReaderEPUBContents::Selection> key = m_model->selectionAt(index.row())) {
            m_navigation->select(*key);
        }
    });
    connect(m_navigation, &ReaderEPUBPaneNavigation::selected, this, &ReaderEPUBPane::showSelection);
    connect(m_navigation, &ReaderEPUBPaneNavigation::selectionCleared, this, &ReaderEPUBPane::showSelection);
    // A collapse or an expansion moves the chapter rows: the selection is marked again where it is now.
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &ReaderEPUBPane::showSelection);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, &ReaderEPUBPane::showSelection);
}

ReaderEPUBPane::~ReaderEPUBPane() {
    // Destroyed while the list holds the focus: the focus is given up as by a hidden pane.
    if (m_list->hasFocus()) m_navigation->setListFocused(true);
    m_navigation->disappeared();
}

QUuid ReaderEPUBPane::readingID() const {
    return m_navigation->readingID();
}

void ReaderEPUBPane::scheduleRefresh() {
    if (m_isRefreshScheduled) return;
    m_isRefreshScheduled = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_isRefreshScheduled = false;
            refresh();
        },
        Qt::QueuedConnection);
}

void ReaderEPUBPane::refresh() {
    m_model->followPlayer(m_player);
    const std::optional<QString> chapter = m_context->make(m_player).chapter;
    if (chapter) {
        if (m_chapterLine->text() != *chapter) {
            m_chapterLine->setText(*chapter);
            m_chapterLine->setToolTip(*chapter);
            m_chapterLine->setAccessibleName(kChapterPrefix + *chapter);
        }
    }
    if (m_chapterLine->isVisibleTo(this) != chapter.has_value()) m_chapterLine->setVisible(chapter.has_value());
}

void ReaderEPUBPane::showSelection() {
    QItemSelectionModel* selection = m_list->selectionModel();
    const std::optional<ReaderEPUBContents::Selection>& key = m_navigation->selection();
    const int row = key ? m_model->rowOf(*key) : -1;
    if (row < 0) {
        selection->clearSelection();
        return;
    }
    const QModelIndex index = m_model->index(row);
    selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    if (sender() == m_navigation) m_list->scrollTo(index, QAbstractItemView::EnsureVisible);
}

void ReaderEPUBPane::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        m_navigation->close();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void ReaderEPUBPane::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (!event->spontaneous()) m_navigation->disappeared();
}

}  // namespace tavrine
