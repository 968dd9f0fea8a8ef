#pragma once

#include <QBasicTimer>
#include <QProgressBar>

namespace tavrine {

// The small busy indicator of the reader: eight spokes around a centre in the secondary text colour,
// the brightest one turning once a second, in a 16-pixel square. It is a progress bar without a range
// (busy), so assistive technology reads it as one; it animates only while it is shown. Main thread;
// owned by its parent widget.
class ReaderBusyIndicator final : public QProgressBar {
    Q_OBJECT

public:
    static constexpr int kSize = 16;
    static constexpr int kSpokes = 8;
    static constexpr int kStepMilliseconds = 1000 / kSpokes;

    explicit ReaderBusyIndicator(QWidget* parent = nullptr);

    // The spoke drawn brightest, 0 to kSpokes - 1; it moves on by one every step while the indicator is
    // shown.
    int phase() const { return m_phase; }
    bool isAnimating() const { return m_timer.isActive(); }

    QSize sizeHint() const override { return {kSize, kSize}; }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    QBasicTimer m_timer;
    int m_phase = 0;
};

}  // namespace tavrine
