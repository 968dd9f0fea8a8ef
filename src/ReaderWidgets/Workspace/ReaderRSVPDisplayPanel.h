#pragma once

#include <QWidget>

namespace tavrine {

class ReaderRSVPDisplay;
class ReaderWorkspaceController;

// The display block of the reading column: the current phrase, trimmed, in the phrase display at the
// player's display text size, on a rounded surface. The panel, not the phrase display inside it, takes the
// keyboard focus (objectName "readerRSVPDisplay"); its focus is the controller's display focus, and the
// controller's focus requests land here while it is shown in its window: one that comes while the workspace
// shows its empty content (nothing left to read) leaves the keys there. Plain Space (no modifier held, not
// auto-repeated) toggles playback releasing the editor focus and is taken, also when the workspace refuses
// it; any other Space passes on. Assistive technology reads one static text element, "現在の表示", whose value
// is the phrase untrimmed. Main thread; refreshed by the column after each of the controller's passes.
class ReaderRSVPDisplayPanel : public QWidget {
    Q_OBJECT

public:
    static constexpr double kCornerRadius = 12;

    explicit ReaderRSVPDisplayPanel(ReaderWorkspaceController& workspace, QWidget* parent = nullptr);

    ReaderRSVPDisplay& display() const { return *m_display; }
    // Takes the current phrase and text size from the player.
    void refresh();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    ReaderWorkspaceController& m_workspace;
    ReaderRSVPDisplay* m_display;
};

}  // namespace tavrine
