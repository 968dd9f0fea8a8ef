#include "ReaderWidgets/Display/ReaderRSVPDisplay.h"

#include "ReaderCore/MainThread.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderWidgets/Display/PhraseWidthMeasurer.h"
#include "ReaderWidgets/Style/ReaderTypography.h"
#include "ReaderWidgets/Style/ToQColor.h"
#include "ReaderWidgets/internal/RSVPDocument.h"

#include <QScrollBar>

#include <cmath>

namespace tavrine {

ReaderRSVPDisplay::ReaderRSVPDisplay(QWidget* parent) : QScrollArea(parent), m_document(new RSVPDocument) {
    Q_ASSERT(isMainThread());
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setWidgetResizable(false);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    viewport()->setAutoFillBackground(false);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    for (QWidget* part : {static_cast<QWidget*>(this), viewport(), static_cast<QWidget*>(horizontalScrollBar()),
                          static_cast<QWidget*>(verticalScrollBar())}) {
        part->setFocusPolicy(Qt::NoFocus);
    }
    setWidget(m_document);
    // setWidget makes the document fill its background; the display draws none, showing its parent's.
    m_document->setAutoFillBackground(false);
}

void ReaderRSVPDisplay::apply(const QString& text, double pointSize) {
    Q_ASSERT(isMainThread());
    if (m_pointSize == pointSize && m_text == text) {
        return;
    }
    m_text = text;
    m_pointSize = pointSize;
    const QFont font = ReaderTypography::readingFont(pointSize);
    m_document->setContent(text, font, toQColor(ReaderPalette::text));
    setAccessibleName(text);
    m_minimumDocumentWidth =
        RSVPDocumentLayout::minimumDocumentWidth(PhraseWidthMeasurer::widestCharacterWidth(text, font));
    m_revealStart = true;
    layOutDocument();
}

QSize ReaderRSVPDisplay::sizeHint() const {
    return {300, 156};
}

void ReaderRSVPDisplay::resizeEvent(QResizeEvent* event) {
    // Also called when the viewport alone changes size, as a scroll bar comes or goes.
    QScrollArea::resizeEvent(event);
    layOutDocument();
}

void ReaderRSVPDisplay::layOutDocument() {
    const RSVPDocumentGeometry next =
        RSVPDocumentLayout::layOut(QSizeF(viewport()->size()), m_minimumDocumentWidth, m_geometry,
                                   [this](double textWidth) { return m_document->usedHeight(textWidth); });
    const bool resized = next.width != m_geometry.width || next.height != m_geometry.height;
    m_geometry = next;
    m_document->setVerticalInset(next.verticalInset);
    if (resized) {
        m_document->resize(static_cast<int>(std::ceil(next.width)), static_cast<int>(std::ceil(next.height)));
    }
    if (m_revealStart) {
        m_revealStart = false;
        horizontalScrollBar()->setValue(0);
        verticalScrollBar()->setValue(0);
    }
}

}  // namespace tavrine
