#pragma once

#include <QSize>
#include <QString>
#include <QWidget>

class QLabel;
class QToolBar;

namespace tavrine {

class ReaderEPUBNavigationButton;
class ReaderPresentation;
struct SavedReading;

// The name of the reading on screen, in the reader window's toolbar, with the table-of-contents button in
// front of it. Both line up with the reader column below, whatever lies left of the title in the toolbar:
// the button stands where the presentation's readerLeading falls in the window, never left of the title
// nor past its right end, and the name follows 36 pixels after the button's left edge, cut at its end
// with "…" when it does not fit. The full name is in the tooltips.
//
// The title stretches over the toolbar's free width (36 to 10,000 pixels; it asks for 360 × 24). For its
// window coordinates to match the reader column's, the window's central widget must start at window x 0.
// Main thread only; the presentation must outlive it.
class ReaderToolbarTitle final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kButtonWidth = 28;
    // From the button's left edge to the name's.
    static constexpr int kTitleOffset = kButtonWidth + 8;
    static constexpr int kMinimumWidth = 36;
    static constexpr int kMaximumWidth = 10'000;
    static constexpr QSize kPreferredSize{360, 24};
    static constexpr int kFontPixelSize = 13;

    explicit ReaderToolbarTitle(ReaderPresentation& presentation, QWidget* parent = nullptr);
    ~ReaderToolbarTitle() override;

    // Shows the display name of reading, or nothing when there is no reading or its text is empty.
    void setReading(const SavedReading* reading);
    const QString& name() const { return m_name; }

    // The table-of-contents button, for the window to apply its state and follow its clicks.
    ReaderEPUBNavigationButton& navigationButton() const { return *m_navigation; }
    QLabel& titleLabel() const { return *m_title; }

    // A toolbar that the title lines up in: fixed in place, without margins or a handle.
    static void prepareToolbar(QToolBar& toolbar);

    QSize sizeHint() const override { return kPreferredSize; }
    QSize minimumSizeHint() const override { return {kMinimumWidth, kPreferredSize.height()}; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

private:
    // Places the button and the name for the current size, position and readerLeading.
    void layoutParts();
    // The same once the event loop has run: moving into a window or an earlier layout of the toolbar
    // changes where the title lies in the window.
    void layoutPartsLater();

    ReaderPresentation& m_presentation;
    ReaderEPUBNavigationButton* m_navigation;
    QLabel* m_title;
    QString m_name;
};

}  // namespace tavrine
