#include "PelmoraMac/Settings/ReaderSettingsView.h"

#include "PelmoraMac/Capture/CaptureModel.h"
#include "PelmoraMac/Settings/CaptureSettingsTab.h"
#include "PelmoraMac/Settings/MacUpdateSettings.h"
#include "PelmoraMac/Settings/ReadingSettingsTab.h"
#include "ReaderCore/MainThread.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderWidgets/Style/ReaderSymbol.h"
#include "ReaderWidgets/Style/ReaderTheme.h"
#include "ReaderWidgets/Style/ToQColor.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace tavrine {
using namespace Qt::StringLiterals;

namespace {

constexpr int kPadding = 12;

}  // namespace

ReaderSettingsView::ReaderSettingsView(Inputs inputs, QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_capture(inputs.capture),
      m_onKeyWindowChange(std::move(inputs.onKeyWindowChange)),
      m_tabs(new QTabWidget),
      m_readingTab(new ReadingSettingsTab(inputs.textSizes, inputs.presentation)),
      m_captureTab(new CaptureSettingsTab(inputs.capture, inputs.browserConsent, inputs.shortcut,
                                          inputs.clipboardShortcut, std::move(inputs.retryRegistration))) {
    Q_ASSERT(isMainThread());
    setObjectName(u"settings"_s);
    ReaderTheme::apply(*this);
    const QColor iconColour = toQColor(ReaderPalette::text);
    m_tabs->addTab(m_readingTab, symbolIcon(ReaderSymbol::textformatSize, iconColour), u"読書"_s);
    m_tabs->addTab(m_captureTab, symbolIcon(ReaderSymbol::keyboard, iconColour), u"取り込みと連携"_s);
    m_tabs->addTab(new MacUpdateSettings(inputs.updates), symbolIcon(ReaderSymbol::arrowDownCircle, iconColour),
                   u"アップデート"_s);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    layout->addWidget(m_tabs);
    setFixedSize(kSize);
    const auto showTitle = [this] { setWindowTitle(m_tabs->tabText(m_tabs->currentIndex())); };
    connect(m_tabs, &QTabWidget::currentChanged, this, showTitle);
    showTitle();
    // The desktop's key that closes a window, Ctrl+W: the window goes as by its title bar. (The hot-key
    // recorder takes the key first while it records.)
    auto* closing = new QAction(this);
    closing->setShortcut(QKeySequence(Qt::ControlModifier | Qt::Key_W));
    closing->setShortcutContext(Qt::WindowShortcut);
    connect(closing, &QAction::triggered, this, &QWidget::close);
    addAction(closing);
    // A permission granted in the desktop's settings shows as soon as the user comes back.
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive && isVisible()) m_capture.refreshPermission();
    });
}

void ReaderSettingsView::report(bool isActive) {
    if (m_onKeyWindowChange) m_onKeyWindowChange(isActive);
}

void ReaderSettingsView::centreOn(const QScreen& screen) {
    Q_ASSERT(isMainThread());
    // Until a window manager has framed the window once, its frame is its own area. A top-level widget's
    // position is its frame's.
    move(centredFramePosition(frameGeometry().size(), screen.availableGeometry()));
}

QPoint ReaderSettingsView::centredFramePosition(QSize frameSize, const QRect& area) {
    return {area.x() + std::max(0, (area.width() - frameSize.width()) / 2),
            area.y() + std::max(0, (area.height() - frameSize.height()) / 2)};
}

bool ReaderSettingsView::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) report(true);
    if (event->type() == QEvent::WindowDeactivate) report(false);
    return QWidget::event(event);
}

void ReaderSettingsView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    m_capture.refreshPermission();
    report(false);
    QTimer::singleShot(0, this, [this] { report(isVisible() && isActiveWindow()); });
}

void ReaderSettingsView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    report(false);
}

void ReaderSettingsView::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    report(false);
}

}  // namespace tavrine
