#include "PelmoraMac/Window/ReaderWindowToolbar.h"

#include "PelmoraMac/Library/ReaderHistoryPane.h"
#include "PelmoraMac/Window/ReaderImportMenu.h"
#include "PelmoraMac/Window/ReaderLibraryButton.h"
#include "PelmoraMac/Window/ReaderPresentation.h"
#include "PelmoraMac/Window/ReaderToolbarTitle.h"
#include "PelmoraMac/Window/ReaderVisibilityToggle.h"
#include "PelmoraMac/Window/ReaderWindowState.h"
#include "ReaderCore/MainThread.h"
#include "ReaderUI/Player/ReadingPlayer.h"
#include "ReaderUI/Workspace/ReaderDocumentContext.h"
#include "ReaderUI/Workspace/ReaderEPUBPresentation.h"
#include "ReaderUI/Workspace/ReaderWorkspaceController.h"
#include "ReaderWidgets/Style/ReaderFocusRing.h"
#include "ReaderWidgets/Style/ReaderTheme.h"
#include "ReaderWidgets/Workspace/ReaderEPUBNavigationButton.h"

#include <QCheckBox>
#include <QFrame>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QVBoxLayout>

namespace tavrine {
using namespace Qt::StringLiterals;

namespace {

// A popup frame that says when it closes by itself.
class CompactList final : public QFrame {
public:
    CompactList(std::function<void()> onHide, QWidget* parent)
        : QFrame(parent, Qt::Popup), m_onHide(std::move(onHide)) {
        Q_ASSERT(isMainThread());
    }

protected:
    void hideEvent(QHideEvent* event) override {
        QFrame::hideEvent(event);
        m_onHide();
    }

private:
    std::function<void()> m_onHide;
};

// A check box that leaves its focus mark to the popup's ring (the style would draw a frame of its own
// round the label, a second mark) and, as the reader's buttons, takes the keys by Tab only.
class RingedCheckBox final : public QCheckBox {
public:
    RingedCheckBox(const QString& text, QWidget* parent) : QCheckBox(text, parent) {
        Q_ASSERT(isMainThread());
        setFocusPolicy(Qt::TabFocus);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        option.state &= ~QStyle::State_HasFocus;
        painter.drawControl(QStyle::CE_CheckBox, option);
    }
};

}  // namespace

ReaderWindowToolbar::ReaderWindowToolbar(Inputs inputs, QWidget* parent)
    : QToolBar(parent),
      m_in(std::move(inputs)),
      m_historyToggle(new ReaderVisibilityToggle(ReaderSymbol::sidebarLeft, this)),
      m_title(new ReaderToolbarTitle(m_in.presentation, this)),
      m_importMenu(new ReaderImportMenu(this)),
      m_libraryButton(new ReaderLibraryButton(this)) {
    Q_ASSERT(isMainThread());
    ReaderToolbarTitle::prepareToolbar(*this);
    addWidget(m_historyToggle);
    addWidget(m_title);
    addWidget(m_importMenu);
    addWidget(m_libraryButton);

    connect(m_historyToggle, &QAbstractButton::clicked, this, [this] { m_in.actions.toggleHistory(); });
    connect(&m_title->navigationButton(), &QAbstractButton::clicked, this, [this] {
        // The button is enabled only when the table of contents can be shown; the state may have moved on.
        if (m_title->navigationButton().isEnabled()) m_in.actions.toggleEPUBNavigation();
    });
    connect(m_importMenu, &ReaderImportMenu::importFileRequested, this, [this] { m_in.actions.importFile(); });
    connect(m_importMenu, &ReaderImportMenu::importClipboardRequested, this,
            [this](bool plainText) { m_in.actions.importClipboard(plainText); });
    connect(m_libraryButton, &QAbstractButton::clicked, this, [this] { m_in.actions.addCurrentToLibrary(); });

    connect(&m_in.state, &ReaderWindowState::commandContextChanged, this, &ReaderWindowToolbar::refresh);
    connect(&m_in.workspace, &ReaderWorkspaceController::changed, this, &ReaderWindowToolbar::refresh);
    connect(&m_in.presentation, &ReaderPresentation::availableWidthChanged, this, &ReaderWindowToolbar::refresh);
    refresh();
}

ReaderWindowToolbar::~ReaderWindowToolbar() = default;

void ReaderWindowToolbar::refresh() {
    const ReaderCommandContext state = m_in.state.commandContext();
    const ReaderPresentation& panes = m_in.presentation;
    const bool on = state.showsHistory;
    const QString label = on ? u"文書一覧を隠す"_s : u"文書一覧を表示"_s;
    m_historyToggle->setText(label);
    m_historyToggle->setToolTip(label);
    m_historyToggle->setChecked(on);
    const auto width = panes.availableWidth();
    m_historyToggle->setAccessibleValue(on ? u"表示中"_s
                                        : width && !ReaderPresentation::isWideEnoughForHistory(*width)
                                            ? u"省スペース表示"_s
                                            : u"非表示"_s);
    m_historyToggle->setEnabled(state.canToggleHistory);

    const ReadingPlayer& player = m_in.player;
    m_title->setReading(player.reading() ? &*player.reading() : nullptr);
    ReaderEPUBNavigationButton& navigation = m_title->navigationButton();
    const bool isPresented = m_in.epubPresentation.showsNavigation();
    navigation.apply(m_in.workspace.documentContext(), isPresented);
    navigation.setEnabled(player.reading() && player.reading()->epub && !state.isImporting && !state.isBlocked &&
                          player.canPerform(ReaderPlaybackRequest::Action::showEPUBNavigation));

    m_importMenu->apply(state.imports);
    m_libraryButton->apply(state.imports);
    showCompactList(m_in.state.showsCompactHistory());
}

void ReaderWindowToolbar::showCompactList(bool shows) {
    if (!shows) {
        if (m_compactList && m_compactList->isVisible()) m_compactList->hide();
        return;
    }
    if (!m_in.state.history()) return;
    if (!m_compactList) {
        m_compactList = new CompactList([this] { m_in.state.setShowsCompactHistory(false); }, this);
        m_compactList->setFixedSize(kCompactListSize);
        // A popup is a window of its own: it takes the reader's colours and rings its focus itself.
        ReaderTheme::apply(*m_compactList);
        new ReaderFocusRing(*m_compactList);
        m_compactList->setFrameShape(QFrame::Box);
        auto* layout = new QVBoxLayout(m_compactList);
        layout->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        auto* wide = new RingedCheckBox(u"広いウィンドウでは一覧を表示"_s, m_compactList);
        wide->setChecked(m_in.presentation.prefersHistory());
        connect(wide, &QCheckBox::toggled, this,
                [this](bool prefers) { m_in.presentation.setPrefersHistory(prefers); });
        connect(&m_in.presentation, &ReaderPresentation::prefersHistoryChanged, wide,
                [this, wide] { wide->setChecked(m_in.presentation.prefersHistory()); });
        layout->addWidget(wide);
        auto* pane = new ReaderHistoryPane(*m_in.state.history(), m_compactList);
        pane->onFocusReadingArea = [this] { m_in.actions.focusReader(); };
        layout->addWidget(pane, 1);
        // The popup takes the keyboard: the reader window's commands must still reach their keys.
        if (QWidget* top = window()) m_compactList->addActions(top->actions());
    }
    if (m_compactList->isVisible()) return;
    m_compactList->move(m_historyToggle->mapToGlobal(QPoint(0, m_historyToggle->height())));
    m_compactList->show();
}

}  // namespace tavrine
