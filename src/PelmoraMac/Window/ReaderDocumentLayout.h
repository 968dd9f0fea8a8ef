#pragma once

#include <QWidget>

#include <functional>
#include <optional>

namespace tavrine {

class ReaderPresentation;

// The reader window's two panes side by side: the document list (the sidebar) at the left and the reader
// column (the content) at the right, with a 1-pixel divider between them. The layout sets both frames
// itself, on every resize and whenever the wish for the list or its width changes:
//
// - the list shows only while it is wanted and the layout is at least 721 pixels wide; its width is the
//   presentation's, less what would leave the reader column under 480, but never under 240;
// - without it the reader column takes the whole width and no divider is drawn.
//
// The list is made once and shown or hidden in place, never destroyed, so it keeps its state (its
// selection, its scroll position, its search). When it goes from shown to hidden, onHideSidebar runs on
// the next turn of the event loop (the window moves the focus to the reader column there). Each new
// width of the layout is reported to the presentation on the next turn; an unchanged width is not.
//
// Dragging the divider (the grab zone is wider than the line, and invisible) sets the list's width,
// limited to 240...420 and to what the reader column leaves, and stores it in the presentation.
// Main thread only.
class ReaderDocumentLayout final : public QWidget {
    Q_OBJECT

public:
    // How far the grab zone reaches on each side of the divider.
    static constexpr int kGrabMargin = 3;

    // Takes sidebar and content as its children; presentation must outlive it.
    ReaderDocumentLayout(ReaderPresentation& presentation, QWidget* sidebar, QWidget* content,
                         std::function<void()> onHideSidebar, QWidget* parent = nullptr);
    ~ReaderDocumentLayout() override;

    QWidget* sidebar() const { return m_sidebar; }
    QWidget* content() const { return m_content; }
    bool showsSidebar() const { return m_showsSidebar; }

    // The list's width for the divider dragged to position: within 240...420 and leaving the reader column
    // its 480. Stores it in the presentation.
    double dragDivider(double position);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    class DividerGrip;

    // Places both panes for the current width and preferences, and reports a new width.
    void layoutPanes();

    ReaderPresentation& m_presentation;
    QWidget* m_sidebar;
    QWidget* m_content;
    DividerGrip* m_grip;
    std::function<void()> m_onHideSidebar;
    bool m_showsSidebar = false;
    int m_sidebarWidth = 0;
    std::optional<int> m_reportedWidth;
};

}  // namespace tavrine
