#include "ReaderWidgets/Workspace/ReaderWorkspaceWidget.h"

#include "ReaderCore/MainThread.h"
#include "ReaderCore/SavedReading.h"
#include "ReaderUI/Player/ReadingPlayer.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderUI/Workspace/ReaderEPUBPresentation.h"
#include "ReaderWidgets/Style/ReaderTheme.h"
#include "ReaderWidgets/Style/ToQColor.h"
#include "ReaderWidgets/Workspace/ReaderDocumentInformationSheet.h"
#include "ReaderWidgets/Workspace/ReaderEPUBPane.h"
#include "ReaderWidgets/Workspace/ReaderNavigationLayout.h"

#include <QGuiApplication>
#include <QPainter>
#include <QShowEvent>
#include <QSpacerItem>
#include <QStackedLayout>

namespace tavrine {
namespace {

constexpr int kDividerIndex = 2;

// The reading area with the pane: it paints the rule between them itself, in the border colour, so that
// the rule is no widget and not in the accessibility tree.
class Body final : public QWidget {
public:
    explicit Body(QWidget* parent) : QWidget(parent), m_layout(new ReaderNavigationLayout(this)) {
        Q_ASSERT(isMainThread());
    }

    ReaderNavigationLayout& navigationLayout() const { return *m_layout; }

protected:
    void paintEvent(QPaintEvent*) override {
        if (!m_layout->showsNavigation() || m_layout->count() <= kDividerIndex) return;
        QPainter painter(this);
        painter.fillRect(m_layout->itemAt(kDividerIndex)->geometry(), toQColor(ReaderPalette::border));
    }

private:
    ReaderNavigationLayout* m_layout;
};

}  // namespace

ReaderWorkspaceWidget::ReaderWorkspaceWidget(ReadingPlayer& player, ReaderEPUBPresentation* presentation,
                                             ReaderWorkspaceClosures closures, Builders builders, QWidget* parent)
    : QWidget(parent),
      m_controller(std::make_unique<ReaderWorkspaceController>(player, presentation, std::move(closures))),
      m_builders(std::move(builders)),
      m_stack(new QStackedLayout(this)) {
    Q_ASSERT(isMainThread());
    ReaderTheme::apply(*this);
    connect(m_controller.get(), &ReaderWorkspaceController::changed, this, &ReaderWorkspaceWidget::refresh);
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) { m_controller->setActive(state == Qt::ApplicationActive); });
    m_controller->setActive(QGuiApplication::applicationState() == Qt::ApplicationActive);
    refresh();
}

ReaderWorkspaceWidget::~ReaderWorkspaceWidget() {
    // Every widget here works on the controller, and the pane and the sheet report to it as they go: they
    // go while it still exists.
    delete m_sheet;
    delete std::exchange(m_pane, nullptr);
    qDeleteAll(findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
}

void ReaderWorkspaceWidget::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) m_controller->appeared();
}

void ReaderWorkspaceWidget::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (!event->spontaneous()) m_controller->disappeared();
}

void ReaderWorkspaceWidget::refresh() {
    showContent();
    showSheet();
}

void ReaderWorkspaceWidget::showContent() {
    const ReadingPlayer& player = m_controller->player();
    const std::optional<SavedReading>& reading = player.reading();
    const bool isEmpty = !reading || reading->document.text.isEmpty();
    if (isEmpty && m_builders.emptyContent && !m_emptyContent) {
        m_emptyContent = m_builders.emptyContent();
        if (m_emptyContent) m_stack->addWidget(m_emptyContent);
    }
    if (isEmpty && m_emptyContent) {
        removePane();
        m_stack->setCurrentWidget(m_emptyContent);
        return;
    }
    if (!m_body) {
        auto* body = new Body(this);
        m_body = body;
        m_navigationLayout = &body->navigationLayout();
        m_column = new ReaderReadingColumn(*m_controller, m_builders.sourceView, m_builders.sourceToolbar, m_body);
        m_navigationLayout->addWidget(m_column);
        m_stack->addWidget(m_body);
    }
    m_stack->setCurrentWidget(m_body);
    showPane();
}

void ReaderWorkspaceWidget::showPane() {
    const ReadingPlayer& player = m_controller->player();
    const std::optional<SavedReading>& reading = player.reading();
    const bool shows = m_controller->epubPresentation().showsNavigation() && reading && reading->epub;
    if (!shows) {
        removePane();
        return;
    }
    if (m_pane && m_pane->readingID() != reading->id) removePane();
    if (!m_pane) {
        ReaderWorkspaceController& controller = *m_controller;
        m_pane = new ReaderEPUBPane(m_controller->player(), *reading,
                                    {.onSelect = [&controller] { controller.epubPaneSelected(); },
                                     .onClose = [&controller] { controller.closeEPUBPane(); },
                                     .onFocusDeparture = [&controller] { controller.epubPaneFocusDeparted(); }},
                                    m_body);
        m_navigationLayout->addWidget(m_pane);
        m_navigationLayout->addItem(new QSpacerItem(0, 0));
        m_navigationLayout->setShowsNavigation(true);
        m_pane->show();
        m_body->update();
    }
    m_pane->setEnabled(!m_controller->isImporting());
}

void ReaderWorkspaceWidget::removePane() {
    if (!m_pane) return;
    ReaderEPUBPane* pane = std::exchange(m_pane, nullptr);
    m_navigationLayout->setShowsNavigation(false);
    delete m_navigationLayout->takeAt(kDividerIndex);
    m_navigationLayout->removeWidget(pane);
    // Hidden now, so that it gives up the focus at once; deleted later, as this may run inside its events.
    pane->hide();
    pane->deleteLater();
    m_body->update();
}

void ReaderWorkspaceWidget::showSheet() {
    const ReadingPlayer& player = m_controller->player();
    if (m_controller->showsDocumentInformation() && player.reading() && !m_sheet) {
        m_sheet = new ReaderDocumentInformationSheet(*player.reading(), player.originalEPUBFilename(), this);
        connect(m_sheet, &QDialog::finished, this, [this, sheet = m_sheet] {
            sheet->deleteLater();
            if (m_sheet == sheet) m_sheet = nullptr;
            m_controller->setShowsDocumentInformation(false);
        });
        m_sheet->open();
    } else if (!m_controller->showsDocumentInformation() && m_sheet) {
        m_sheet->reject();
    }
}

}  // namespace tavrine
