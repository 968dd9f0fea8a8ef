#include "ReaderWidgets/internal/RSVPDocument.h"

#include "ReaderCore/MainThread.h"
#include "ReaderWidgets/Display/RSVPDocumentLayout.h"

#include <QPainter>
#include <QTextOption>

using namespace Qt::StringLiterals;

namespace tavrine {

namespace {

// A text layout breaks lines only at line separators; a line break in the phrase starts a new line, as
// it would in a text view.
QString withLineSeparators(const QString& text) {
    if (!text.contains(u'\n') && !text.contains(u'\r')) {
        return text;
    }
    QString result = text;
    result.replace(u"\r\n"_s, QString(QChar::LineSeparator));
    result.replace(u'\n', QChar::LineSeparator);
    result.replace(u'\r', QChar::LineSeparator);
    return result;
}

}  // namespace

RSVPDocument::RSVPDocument(QWidget* parent) : QWidget(parent) {
    Q_ASSERT(isMainThread());
    setFocusPolicy(Qt::NoFocus);
    setAutoFillBackground(false);
    QTextOption option(Qt::AlignHCenter);
    option.setWrapMode(QTextOption::WrapAnywhere);
    m_layout.setTextOption(option);
    m_layout.setCacheEnabled(true);
}

void RSVPDocument::setContent(const QString& text, const QFont& font, const QColor& color) {
    m_layout.clearLayout();
    m_layout.setText(withLineSeparators(text));
    m_layout.setFont(font);
    m_color = color;
    m_laidOutWidth = -1;
    update();
}

double RSVPDocument::usedHeight(double textWidth) {
    if (textWidth == m_laidOutWidth) {
        return m_usedHeight;
    }
    m_layout.beginLayout();
    double y = 0;
    for (QTextLine line = m_layout.createLine(); line.isValid(); line = m_layout.createLine()) {
        line.setLineWidth(textWidth);
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    m_layout.endLayout();
    m_laidOutWidth = textWidth;
    m_usedHeight = y;
    update();
    return y;
}

void RSVPDocument::setVerticalInset(double inset) {
    if (inset != m_verticalInset) {
        m_verticalInset = inset;
        update();
    }
}

void RSVPDocument::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(m_color);
    m_layout.draw(&painter, QPointF(RSVPDocumentLayout::kHorizontalInset, m_verticalInset));
}

}  // namespace tavrine
