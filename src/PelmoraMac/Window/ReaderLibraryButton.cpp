#include "PelmoraMac/Window/ReaderLibraryButton.h"

#include "PelmoraMac/Window/ReaderImportAvailability.h"
#include "ReaderCore/MainThread.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderWidgets/Style/ReaderSymbol.h"
#include "ReaderWidgets/Style/ToQColor.h"

#include <QPainter>

namespace tavrine {
using namespace Qt::StringLiterals;

namespace {

constexpr double kBadgeShiftX = 4;
constexpr double kBadgeShiftY = 3;
constexpr double kDisabledOpacity = 0.45;

}  // namespace

ReaderLibraryButton::ReaderLibraryButton(QWidget* parent) : QToolButton(parent) {
    Q_ASSERT(isMainThread());
    setObjectName(u"readerAddToLibrary"_s);
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    setIcon(symbolIcon(ReaderSymbol::booksVertical, toQColor(ReaderPalette::control)));
    setIconSize({kIconSize, kIconSize});
    setAutoRaise(true);
    apply(ReaderImportAvailability{});
}

void ReaderLibraryButton::apply(const ReaderImportAvailability& availability) {
    Q_ASSERT(isMainThread());
    setEnabled(availability.canAddCurrent);
    m_isInLibrary = availability.isCurrentInLibrary;
    const QString title = m_isInLibrary ? u"ライブラリに追加済み"_s : u"ライブラリに追加"_s;
    setText(title);
    setAccessibleName(title);
    setToolTip(m_isInLibrary ? u"現在の文書はライブラリに保存されています"_s
                             : u"現在の文書をこのコンピューターに保存し、削除するまでライブラリに残します"_s);
    update();
}

QRect ReaderLibraryButton::iconRect() const {
    QRect icon(QPoint(), iconSize());
    icon.moveCenter(rect().center());
    return icon;
}

QRectF ReaderLibraryButton::badgeRect() const {
    const QRectF icon = iconRect();
    return {icon.right() + 1 - kBadgeSize + kBadgeShiftX, icon.bottom() + 1 - kBadgeSize + kBadgeShiftY, kBadgeSize,
            kBadgeSize};
}

QSize ReaderLibraryButton::sizeHint() const {
    // Room for the badge, which reaches past the icon's corner, on every side so the icon stays centred.
    const QSize base = QToolButton::sizeHint();
    return {base.width() + 2 * int(kBadgeShiftX), base.height() + 2 * int(kBadgeShiftY)};
}

void ReaderLibraryButton::paintEvent(QPaintEvent* event) {
    QToolButton::paintEvent(event);
    if (!m_isInLibrary) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) painter.setOpacity(kDisabledOpacity);
    // The badge stands on a disc of the window's background, so the books do not show through the check.
    const QRectF badge = badgeRect();
    painter.setPen(Qt::NoPen);
    painter.setBrush(toQColor(ReaderPalette::background));
    painter.drawEllipse(badge.adjusted(-1, -1, 1, 1));
    paintSymbol(painter, ReaderSymbol::checkmarkCircleFill, badge, toQColor(ReaderPalette::control));
}

}  // namespace tavrine
