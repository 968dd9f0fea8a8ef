#pragma once

#include <QMainWindow>
#include <QSize>

namespace tavrine {

// The reader window: the application's one main window, titled "Tavrine", with the window manager's own
// title bar. It opens at 720×720 the first time; its content cannot be made smaller than 620×520. Closing
// it only hides it: the application keeps running, and the window comes back the same object.
//
// Tab walks its controls in the order they stand on screen (row by row, left to right, a pane or a bar
// whole before the next), and the control that holds the keyboard focus is ringed while the window is
// active.
//
// It announces its appearances: "appeared" when it is shown (the first time and after every reopening),
// "disappeared" when it is closed or hidden by the application. Minimising and restoring are neither.
//
// Owned by the application, never parented to anything; main thread only.
class ReaderWindow final : public QMainWindow {
    Q_OBJECT

public:
    static constexpr QSize kDefaultSize{720, 720};
    static constexpr QSize kMinimumContentSize{620, 520};

    explicit ReaderWindow(QWidget* parent = nullptr);
    ~ReaderWindow() override;

    // The content below the window's bars; the window keeps the content's minimum size at least
    // kMinimumContentSize. The previous content is deleted.
    void setContent(QWidget* content);

signals:
    void appeared();
    void disappeared();

protected:
    bool focusNextPrevChild(bool next) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
};

}  // namespace tavrine
