#pragma once

#include <QWidget>

class QLabel;

namespace tavrine {

class ReaderDoubleSlider;
class ReaderWorkspaceController;

// The progress group of the reading column: a caption with the percentage read above a slider over the
// whole text. The caption shows only while the pointer is over the group, a drag is under way or the
// slider has the keyboard focus, and keeps its line otherwise. The slider acts through the controller's
// progress rules (a drag pauses once, saving, then seeks; the arrows step the position or pass on) and
// is disabled while playback cannot be controlled; values shown from the player never come back as the
// user's. Assistive technology reads one group holding the slider, "文章の再生位置", whose value is the
// percentage; the caption is left out. Main thread; refreshed by the column after each pass.
class ReaderProgressControl : public QWidget {
    Q_OBJECT

public:
    static constexpr int kSpacing = 4;

    explicit ReaderProgressControl(ReaderWorkspaceController& workspace, QWidget* parent = nullptr);

    ReaderDoubleSlider& slider() const { return *m_slider; }
    QLabel& caption() const { return *m_caption; }
    // Whether the caption shows now.
    bool isCaptionShown() const { return m_captionShown; }

    void refresh();

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void showCaption(bool shown);

    ReaderWorkspaceController& m_workspace;
    QLabel* m_caption;
    ReaderDoubleSlider* m_slider;
    bool m_captionShown = true;
};

}  // namespace tavrine
