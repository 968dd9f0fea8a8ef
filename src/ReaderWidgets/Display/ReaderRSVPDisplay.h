#pragma once

#include "ReaderWidgets/Display/RSVPDocumentLayout.h"

#include <QScrollArea>
#include <QString>

#include <optional>

namespace tavrine {

class RSVPDocument;

// The large view in the middle of the reader that shows the current phrase: centred horizontally and
// vertically in the reading font, wrapped at any Character when it is too long for a line, scrolling
// when one Character is wider than the view. Draws no background of its own and never takes the
// keyboard focus, so clicking it leaves the keys with the reader. The phrase is its accessible name,
// which is how assistive technology reads a painted phrase. Main thread; owned by its parent widget.
class ReaderRSVPDisplay : public QScrollArea {
    Q_OBJECT

public:
    explicit ReaderRSVPDisplay(QWidget* parent = nullptr);

    // Shows text at pointSize logical pixels, scrolled to its top-left. The same text at the same size
    // as the last call changes nothing: no new layout and no scrolling.
    void apply(const QString& text, double pointSize);

    // What the last apply() showed; empty and absent before the first.
    const QString& text() const { return m_text; }
    std::optional<double> pointSize() const { return m_pointSize; }

    // The narrowest the document may be for the shown text: its widest Character plus a margin.
    double minimumDocumentWidth() const { return m_minimumDocumentWidth; }
    const RSVPDocumentGeometry& documentGeometry() const { return m_geometry; }

    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void layOutDocument();

    RSVPDocument* m_document;
    QString m_text;
    std::optional<double> m_pointSize;
    double m_minimumDocumentWidth = 0;
    bool m_revealStart = false;
    RSVPDocumentGeometry m_geometry;
};

}  // namespace tavrine
