#include "PelmoraMac/Window/ReaderImportMenu.h"

#include "PelmoraMac/Window/ReaderImportAvailability.h"
#include "ReaderCore/MainThread.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderWidgets/Style/ReaderSymbol.h"
#include "ReaderWidgets/Style/ToQColor.h"

#include <QMenu>
#include <QStyleOptionToolButton>
#include <QStylePainter>

namespace tavrine {
using namespace Qt::StringLiterals;

ReaderImportMenu::ReaderImportMenu(QWidget* parent)
    : QToolButton(parent),
      m_menu(new QMenu(this)),
      m_importFile(m_menu->addAction(u"ファイルをライブラリに追加…"_s)),
      m_importClipboard(nullptr),
      m_importPlainText(nullptr) {
    Q_ASSERT(isMainThread());
    m_menu->addSeparator();
    m_importClipboard = m_menu->addAction(u"クリップボードから取り込む"_s);
    m_importPlainText = m_menu->addAction(u"プレーンテキストとして取り込む"_s);
    connect(m_importFile, &QAction::triggered, this, &ReaderImportMenu::importFileRequested);
    connect(m_importClipboard, &QAction::triggered, this, [this] { emit importClipboardRequested(false); });
    connect(m_importPlainText, &QAction::triggered, this, [this] { emit importClipboardRequested(true); });

    setObjectName(u"readerImportMenu"_s);
    setText(u"取り込む"_s);
    setAccessibleName(u"取り込む"_s);
    setToolTip(u"ファイルやコピーした文章を取り込みます。取り込み後は停止して再生を待ちます"_s);
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    setIcon(symbolIcon(ReaderSymbol::squareAndArrowDown, toQColor(ReaderPalette::control)));
    setIconSize({kIconSize, kIconSize});
    setAutoRaise(true);
    setPopupMode(QToolButton::InstantPopup);
    setMenu(m_menu);
    apply(ReaderImportAvailability{});
}

void ReaderImportMenu::apply(const ReaderImportAvailability& availability) {
    Q_ASSERT(isMainThread());
    setEnabled(availability.canImportFile || availability.canImportClipboard);
    m_importFile->setEnabled(availability.canImportFile);
    m_importClipboard->setEnabled(availability.canImportClipboard);
    m_importPlainText->setEnabled(availability.canImportClipboard);
}

void ReaderImportMenu::paintEvent(QPaintEvent*) {
    // The button as the style draws it, less the menu arrow a tool button with a menu gets.
    QStylePainter painter(this);
    QStyleOptionToolButton option;
    initStyleOption(&option);
    option.features &= ~QStyleOptionToolButton::HasMenu;
    painter.drawComplexControl(QStyle::CC_ToolButton, option);
}

}  // namespace tavrine
