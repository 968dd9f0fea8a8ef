#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QTextLayout>
#include <QWidget>

namespace tavrine {

// The document inside the phrase display: paints the phrase, centred in lines wrapped at any Character,
// inset 12 pixels from its sides and the given vertical inset from its top. Its size is set by the
// display. Main thread.
class RSVPDocument : public QWidget {
    Q_OBJECT

public:
    explicit RSVPDocument(QWidget* parent = nullptr);

    void setContent(const QString& text, const QFont& font, const QColor& color);

    // The height of the text laid out in lines textWidth wide (laid out again only when the content or
    // the width changed).
    double usedHeight(double textWidth);

    void setVerticalInset(double inset);
    double verticalInset() const { return m_verticalInset; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTextLayout m_layout;
    QColor m_color;
    double m_laidOutWidth = -1;
    double m_usedHeight = 0;
    double m_verticalInset = 8;
};

}  // namespace tavrine
