#pragma once

#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;

namespace tavrine {

class ReaderBusyIndicator;

// The file import's progress row of the document list: a busy indicator, "ファイルを読み込み中" and the
// button that cancels the import, or "ファイルを保存中" alone once the import is past cancelling. The label
// stays on one line, whole; when the row is too narrow for the three side by side, the button moves under
// the label. Main thread; owned by its parent widget.
class ReaderFileProgressRow final : public QWidget {
public:
    static constexpr int kSpacing = 8;

    explicit ReaderFileProgressRow(QWidget* parent = nullptr);

    // Called by the cancel button.
    std::function<void()> onCancel;

    // Saving: the import can no longer be cancelled.
    void setSaving(bool saving);

    ReaderBusyIndicator* indicator() const { return m_indicator; }
    QLabel* label() const { return m_label; }
    QPushButton* cancelButton() const { return m_cancel; }
    // Whether the button stands under the label at the current width.
    bool stacksButton() const { return stacksButton(width()); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

private:
    // The indicator and the label, side by side.
    QSize labelLine() const;
    bool stacksButton(int width) const;
    void place();

    ReaderBusyIndicator* m_indicator;
    QLabel* m_label;
    QPushButton* m_cancel;
};

}  // namespace tavrine
