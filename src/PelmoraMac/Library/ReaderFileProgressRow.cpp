#include "PelmoraMac/Library/ReaderFileProgressRow.h"

#include "ReaderCore/MainThread.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderWidgets/Style/ReaderBusyIndicator.h"
#include "ReaderWidgets/Style/ReaderTextStyle.h"
#include "ReaderWidgets/Style/ToQColor.h"

#include <QEvent>
#include <QLabel>
#include <QPushButton>

namespace tavrine {
using namespace Qt::StringLiterals;

ReaderFileProgressRow::ReaderFileProgressRow(QWidget* parent)
    : QWidget(parent),
      m_indicator(new ReaderBusyIndicator(this)),
      m_label(new QLabel(this)),
      m_cancel(new QPushButton(u"取り込みをキャンセル"_s, this)) {
    Q_ASSERT(isMainThread());
    // One line: a Japanese label wrapped by Qt may break between any two characters, inside a word.
    m_label->setWordWrap(false);
    m_label->setFont(readerFont(ReaderTextStyle::caption));
    QPalette palette = m_label->palette();
    palette.setColor(QPalette::WindowText, toQColor(ReaderPalette::secondaryText));
    m_label->setPalette(palette);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    // A click leaves the keyboard focus where it was; Tab reaches the button.
    m_cancel->setFocusPolicy(Qt::TabFocus);
    m_cancel->setAutoDefault(false);
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        if (onCancel) onCancel();
    });
    setSaving(false);
}

void ReaderFileProgressRow::setSaving(bool saving) {
    const QString text = saving ? u"ファイルを保存中"_s : u"ファイルを読み込み中"_s;
    m_label->setText(text);
    m_indicator->setAccessibleName(text);
    m_cancel->setVisible(!saving);
    updateGeometry();
    place();
}

QSize ReaderFileProgressRow::labelLine() const {
    const QSize indicator = m_indicator->sizeHint();
    const QSize label = m_label->sizeHint();
    return {indicator.width() + kSpacing + label.width(), std::max(indicator.height(), label.height())};
}

bool ReaderFileProgressRow::stacksButton(int width) const {
    if (m_cancel->isHidden()) return false;
    return labelLine().width() + kSpacing + m_cancel->sizeHint().width() > width;
}

QSize ReaderFileProgressRow::sizeHint() const {
    const QSize line = labelLine();
    if (m_cancel->isHidden()) return line;
    const QSize button = m_cancel->sizeHint();
    return {line.width() + kSpacing + button.width(), std::max(line.height(), button.height())};
}

QSize ReaderFileProgressRow::minimumSizeHint() const {
    const QSize line = labelLine();
    if (m_cancel->isHidden()) return line;
    const QSize button = m_cancel->sizeHint();
    // The height comes from heightForWidth: one line, or two once the button moves under the label.
    const int indent = m_indicator->sizeHint().width() + kSpacing;
    return {std::max(line.width(), indent + button.width()), line.height()};
}

int ReaderFileProgressRow::heightForWidth(int width) const {
    const QSize line = labelLine();
    if (m_cancel->isHidden()) return line.height();
    const int button = m_cancel->sizeHint().height();
    return stacksButton(width) ? line.height() + kSpacing + button : std::max(line.height(), button);
}

void ReaderFileProgressRow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    place();
}

bool ReaderFileProgressRow::event(QEvent* event) {
    // A new font or style changes the sizes the placement rests on.
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange ||
        event->type() == QEvent::LayoutRequest) {
        updateGeometry();
        place();
    }
    return handled;
}

void ReaderFileProgressRow::place() {
    const QSize indicator = m_indicator->sizeHint();
    const QSize label = m_label->sizeHint();
    const QSize button = m_cancel->sizeHint();
    const int labelLeft = indicator.width() + kSpacing;
    if (stacksButton(width())) {
        const int line = labelLine().height();
        m_indicator->setGeometry(0, (line - indicator.height()) / 2, indicator.width(), indicator.height());
        m_label->setGeometry(labelLeft, (line - label.height()) / 2, label.width(), label.height());
        m_cancel->setGeometry(labelLeft, line + kSpacing, button.width(), button.height());
        return;
    }
    // Side by side, centred on one line as tall as the tallest.
    const int line = m_cancel->isHidden() ? labelLine().height() : std::max(labelLine().height(), button.height());
    m_indicator->setGeometry(0, (line - indicator.height()) / 2, indicator.width(), indicator.height());
    m_label->setGeometry(labelLeft, (line - label.height()) / 2, label.width(), label.height());
    m_cancel->setGeometry(labelLeft + label.width() + kSpacing, (line - button.height()) / 2, button.width(),
                          button.height());
}

}  // namespace tavrine
