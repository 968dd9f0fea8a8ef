#pragma once

#include "PelmoraMac/Source/InteractionTextView.h"
#include "PelmoraMac/Source/ReaderSourceOffsetMap.h"
#include "PelmoraMac/Source/internal/InteractionRules.h"
#include "ReaderCore/Characters.h"

#include <QTextEdit>

#include <memory>

namespace tavrine {

// The ordinary source text view, for texts the text document lays out whole (up to 20,000 units):
// read-only, selectable by mouse and keyboard, styled from the article typography with its grid tables.
// Lines wrap at the document width: the larger of the viewport's and the text's minimum width, so a wide
// table scrolls sideways rather than being squeezed. Every position that crosses the text document goes
// through the offset map; copy reads the source text.
class InteractionTextEdit final : public QTextEdit, public InteractionTextView {
public:
    explicit InteractionTextEdit(QWidget* parent = nullptr);
    ~InteractionTextEdit() override;

    QAbstractScrollArea* scrollArea() override { return this; }
    void load(const ReadingDocument& document, double pointSize) override;
    const QString& source() const override { return m_source; }
    void setOnInteraction(std::function<void()> onInteraction) override { m_onInteraction = std::move(onInteraction); }

    void setOnSelectionChanged(std::function<void()> onSelectionChanged) override {
        m_onSelectionChanged = std::move(onSelectionChanged);
    }
    QList<TextRange> selectedRanges() const override;
    void setSelectedRange(TextRange range) override;
    std::optional<qsizetype> visibleOffset() const override;

    void scrollRangeToVisible(TextRange range) override;
    bool hasPendingReveal() const override { return m_pendingReveal.has_value(); }
    void setInitialRevealRange(TextRange range) override;
    void setInitialTopOffset(qsizetype offset) override;
    bool hasContentHeight() const override;
    void setFollowedRange(std::optional<TextRange> range) override { m_followedRange = range; }

    void drawHighlight(Highlight highlight, std::optional<TextRange> range) override;
    void copySelection() override { copy(); }

    // The width below which the document is not made; the text's own minimum width counts too.
    void setMinimumDocumentWidth(double width);
    double documentWidth() const;
    const ReaderSourceOffsetMap& offsets() const { return m_offsets; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    QMimeData* createMimeDataFromSelection() const override;

private:
    void userInteracted();
    void cancelReveal();
    void updateDocumentWidth();
    // Scrolls the pending reveal's range into view when the text has a height; else it keeps waiting.
    void revealPending();
    // After a relayout that kept the top line: reveals the followed range when that left it out of view.
    void keepFollowedInView();
    void placeAtTop(qsizetype offset);

    QString m_source;
    std::optional<CharacterBreaks> m_breaks;
    ReaderSourceOffsetMap m_offsets;
    std::unique_ptr<QTextDocument> m_document;
    double m_textMinimumWidth = 0;
    double m_minimumDocumentWidth = 0;
    std::function<void()> m_onInteraction;
    std::function<void()> m_onSelectionChanged;
    bool m_settingSelection = false;
    std::optional<TextRange> m_highlights[2];
    std::optional<TextRange> m_pendingReveal;
    std::optional<TextRange> m_followedRange;
    std::optional<InteractionRules::PlacedTop> m_placedTop;
    InteractionRules::InitialRevealSlot m_initialReveal{
        this,
        {[this] { return hasContentHeight(); }, [this] { return textLength(); },
         [this](TextRange range) { scrollRangeToVisible(range); }, [this](qsizetype offset) { placeAtTop(offset); }}};
    bool m_handlingKey = false;
    ViewportUpdateQueue m_viewportUpdate{this};
};

}  // namespace tavrine
