#include "PelmoraMac/Settings/ReaderSettingsView.h"

#include "PelmoraMac/Settings/MacUpdateSettings.h"
#include "ReaderCore/MainThread.h"
#include "ReaderWidgets/Style/ReaderTheme.h"

#include <QTabWidget>
#include <QVBoxLayout>

namespace tavrine {
using namespace Qt::StringLiterals;

namespace {

constexpr int kPadding = 12;

}  // namespace

ReaderSettingsView::ReaderSettingsView(MacUpdateController& updates, QWidget* parent)
    : QWidget(parent, Qt::Window), m_tabs(new QTabWidget) {
    Q_ASSERT(isMainThread());
    setObjectName(u"settings"_s);
    ReaderTheme::apply(*this);
    m_tabs->addTab(new MacUpdateSettings(updates), u"アップデート"_s);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    layout->addWidget(m_tabs);
    setFixedSize(kSize);
    const auto showTitle = [this] { setWindowTitle(m_tabs->tabText(m_tabs->currentIndex())); };
    connect(m_tabs, &QTabWidget::currentChanged, this, showTitle);
    showTitle();
}

}  // namespace tavrine
