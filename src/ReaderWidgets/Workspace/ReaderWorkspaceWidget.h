#pragma once

#include "ReaderUI/Workspace/ReaderWorkspaceController.h"
#include "ReaderWidgets/Workspace/ReaderReadingColumn.h"

#include <QWidget>

#include <functional>
#include <memory>

class QStackedLayout;

namespace tavrine {

class ReaderDocumentInformationSheet;
class ReaderEPUBPane;
class ReaderNavigationLayout;
class ReaderEPUBPresentation;
class ReadingPlayer;

// What the workspace makes of the application's, each when first needed; each may be absent.
struct ReaderWorkspaceBuilders {
    // The application's source view, made over the binding when the source is first shown.
    ReaderReadingColumn::SourceViewFactory sourceView = {};
    // The source toolbar, made with the column.
    ReaderReadingColumn::ToolbarFactory sourceToolbar = {};
    // What the reading area shows without a reading.
    std::function<QWidget*()> emptyContent = {};
};

// The reader workspace as the reader window embeds it: the application's empty content while the player
// has nothing to read (when the application gives one), else the reading column with, while the
// table-of-contents flag is set and the reading is an EPUB book, the contents pane of that reading beside
// or above it (ReaderNavigationLayout) behind a rule; and the information sheet while its flag is set.
//
// It owns the controller, whose inputs the application sets (controller()), and makes each of the
// application's builders' widgets once, when first needed. A shown workspace has appeared, a hidden one
// disappeared (the system's hiding of a minimised window is neither); the application's activity reaches
// the controller. The pane is made anew for each reading, disabled while an import runs, and removed
// when no longer asked for; its choice, close and focus departure go to the controller. Main thread;
// player and presentation must outlive it.
class ReaderWorkspaceWidget : public QWidget {
    Q_OBJECT

public:
    using Builders = ReaderWorkspaceBuilders;

    ReaderWorkspaceWidget(ReadingPlayer& player, ReaderEPUBPresentation* presentation = nullptr,
                          ReaderWorkspaceClosures closures = {}, Builders builders = {}, QWidget* parent = nullptr);
    ~ReaderWorkspaceWidget() override;

    ReaderWorkspaceController& controller() const { return *m_controller; }
    // Nothing until first needed.
    ReaderReadingColumn* column() const { return m_column; }
    QWidget* emptyContent() const { return m_emptyContent; }
    // Nothing while the pane is not shown.
    ReaderEPUBPane* epubPane() const { return m_pane; }
    ReaderDocumentInformationSheet* documentInformationSheet() const { return m_sheet; }
    ReaderNavigationLayout* navigationLayout() const { return m_navigationLayout; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void refresh();
    void showContent();
    void showPane();
    void removePane();
    void showSheet();

    std::unique_ptr<ReaderWorkspaceController> m_controller;
    Builders m_builders;
    QStackedLayout* m_stack;
    QWidget* m_body = nullptr;
    ReaderNavigationLayout* m_navigationLayout = nullptr;
    ReaderReadingColumn* m_column = nullptr;
    QWidget* m_emptyContent = nullptr;
    ReaderEPUBPane* m_pane = nullptr;
    QWidget* m_divider = nullptr;
    ReaderDocumentInformationSheet* m_sheet = nullptr;
};

}  // namespace tavrine
