#pragma once

#include <QWidget>

#include <functional>

namespace tavrine {

class ReaderReadingControlButton;
class ReaderSourceViewBinding;
class ReaderWorkspaceController;

// The last block of the reading column: the clipboard row, then the application's source view. The row
// exists only when the application gave a paste closure (pasteText or pasteFromClipboard), at least 28
// high, its button (icon only, "クリップボードから置き換え") only with pasteFromClipboard, and the
// button's menu item "プレーンテキストとして取り込む" only with pastePlainText; both paste through the
// controller (pause, interaction, focus release, then the closure) and the button is disabled only while
// importing. The source view is made once, at construction, by the factory, from a binding this area
// owns; without a factory there is no view and no space is taken. Main thread.
class ReaderSourceArea : public QWidget {
    Q_OBJECT

public:
    // Makes the application's source view over the binding (which outlives the view); may give nothing.
    using SourceViewFactory = std::function<QWidget*(ReaderSourceViewBinding& binding)>;

    static constexpr int kSpacing = 8;
    static constexpr int kClipboardRowMinimumHeight = 28;

    ReaderSourceArea(ReaderWorkspaceController& workspace, const SourceViewFactory& makeSourceView,
                     QWidget* parent = nullptr);
    ~ReaderSourceArea() override;

    ReaderSourceViewBinding& binding() const { return *m_binding; }
    // Nothing when the application passes no paste closure.
    QWidget* clipboardRow() const { return m_clipboardRow; }
    // Nothing without pasteFromClipboard.
    ReaderReadingControlButton* clipboardButton() const { return m_clipboardButton; }
    QWidget* sourceView() const { return m_sourceView; }
    // Neither a clipboard row nor a source view: the column leaves the area out.
    bool isEmpty() const { return !m_clipboardRow && !m_sourceView; }

    void refresh();

private:
    ReaderWorkspaceController& m_workspace;
    ReaderSourceViewBinding* m_binding;
    QWidget* m_clipboardRow = nullptr;
    ReaderReadingControlButton* m_clipboardButton = nullptr;
    QWidget* m_sourceView = nullptr;
};

}  // namespace tavrine
