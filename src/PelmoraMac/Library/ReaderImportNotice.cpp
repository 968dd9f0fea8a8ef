#include "PelmoraMac/Library/ReaderImportNotice.h"

#include "ReaderCore/MainThread.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderWidgets/Style/ReaderSymbol.h"
#include "ReaderWidgets/Style/ReaderTextStyle.h"
#include "ReaderWidgets/Style/SelectableText.h"
#include "ReaderWidgets/Style/ToQColor.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

namespace tavrine {
using namespace Qt::StringLiterals;

namespace {
constexpr int kSpacing = 6;
constexpr int kDetailsTopPadding = 4;
constexpr int kIconSize = 14;

void setForeground(QWidget& widget, const ReaderColor& colour) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::WindowText, toQColor(colour));
    palette.setColor(QPalette::Text, toQColor(colour));
    widget.setPalette(palette);
}

QLabel* selectableLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    // Messages quote file names and limits: data, never markup.
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    setSelectableText(*label);
    label->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    return label;
}
}  // namespace

ReaderImportNotice::ReaderImportNotice(QWidget* parent)
    : QWidget(parent),
      m_icon(new QLabel(this)),
      m_messageLabel(selectableLabel(this)),
      m_disclosure(new QToolButton(this)),
      m_detailsLabel(selectableLabel(this)) {
    Q_ASSERT(isMainThread());
    setFont(readerFont(ReaderTextStyle::callout));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(kSpacing);

    auto* messageRow = new QHBoxLayout;
    messageRow->setSpacing(kSpacing);
    m_icon->setFixedSize(kIconSize, kIconSize);
    m_icon->setPixmap(symbolIcon(ReaderSymbol::exclamationmarkTriangle, toQColor(ReaderPalette::text))
                          .pixmap(QSize(kIconSize, kIconSize), devicePixelRatioF()));
    messageRow->addWidget(m_icon, 0, Qt::AlignTop);
    messageRow->addWidget(m_messageLabel, 1);
    column->addLayout(messageRow);

    m_disclosure->setText(u"取り込みの詳細"_s);
    m_disclosure->setCheckable(true);
    m_disclosure->setAutoRaise(true);
    m_disclosure->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_disclosure->setArrowType(Qt::RightArrow);
    // A click leaves the keyboard focus where it was; Tab reaches it, and the window rings it then.
    m_disclosure->setFocusPolicy(Qt::TabFocus);
    // A disclosure, not a toggle: no sunken plate while open.
    m_disclosure->setStyleSheet(
        u"QToolButton { border: 1px solid transparent; border-radius: 3px; background: transparent;"
        u" padding: 1px 2px; color: %1; }"_s.arg(toQColor(ReaderPalette::text).name()));
    connect(m_disclosure, &QToolButton::toggled, this, [this](bool open) { setShowsDetails(open); });
    column->addWidget(m_disclosure, 0, Qt::AlignLeading);

    m_detailsLabel->setFont(readerFont(ReaderTextStyle::caption));
    m_detailsLabel->setContentsMargins(0, kDetailsTopPadding, 0, 0);
    setForeground(*m_detailsLabel, ReaderPalette::secondaryText);
    column->addWidget(m_detailsLabel);

    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    setNotice(std::nullopt, std::nullopt, false);
}

bool ReaderImportNotice::showsDetails() const {
    return m_disclosure->isChecked();
}

void ReaderImportNotice::setShowsDetails(bool shows) {
    m_disclosure->setArrowType(shows ? Qt::DownArrow : Qt::RightArrow);
    m_detailsLabel->setVisible(shows && !m_disclosure->isHidden());
}

void ReaderImportNotice::setNotice(const std::optional<QString>& message, const std::optional<QString>& details,
                                   bool isFailure) {
    if (message != m_message) m_disclosure->setChecked(false);
    m_message = message;
    m_isFailure = isFailure;
    setVisible(message.has_value());

    m_icon->setVisible(isFailure);
    m_messageLabel->setText(message.value_or(QString()));
    setForeground(*m_messageLabel, isFailure ? ReaderPalette::text : ReaderPalette::secondaryText);

    m_disclosure->setVisible(details.has_value());
    m_detailsLabel->setText(details.value_or(QString()));
    setShowsDetails(m_disclosure->isChecked());
}

}  // namespace tavrine
