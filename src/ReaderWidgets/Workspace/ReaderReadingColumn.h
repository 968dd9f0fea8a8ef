#pragma once

#include "ReaderUI/Workspace/ReaderColumnMetrics.h"
#include "ReaderWidgets/Workspace/ReaderSourceArea.h"

#include <QScrollArea>

#include <functional>

class QLabel;
class QVBoxLayout;

namespace tavrine {

class ReaderProgressControl;
class ReaderRSVPDisplayPanel;
class ReaderSpeedControls;
class ReaderTransportControls;
class ReaderWorkspaceController;

// The reading column of the workspace, top to bottom: the storage notice (only while the player has one;
// selectable), the display, the progress group, the transport row, the speed row, the application's
// source toolbar and the source area (while the workspace shows the source). Its sizes follow
// ReaderColumnMetrics for the space it is given: the column fills it, its blocks at the top when a source
// area or toolbar follows them, else centred; below the least height the column keeps that height and
// scrolls.
//
// Every block refreshes from the controller once per update pass (changed()): nothing is rebuilt per
// phrase and nothing polls. The toolbar and the source area are made once, when first needed, through
// the application's factories (either may be absent). Main thread; the controller must outlive it.
class ReaderReadingColumn : public QScrollArea {
    Q_OBJECT

public:
    using SourceViewFactory = ReaderSourceArea::SourceViewFactory;
    // Makes the application's source toolbar; may give nothing.
    using ToolbarFactory = std::function<QWidget*()>;

    explicit ReaderReadingColumn(ReaderWorkspaceController& workspace, SourceViewFactory makeSourceView = {},
                                 ToolbarFactory makeToolbar = {}, QWidget* parent = nullptr);
    ~ReaderReadingColumn() override;

    ReaderRSVPDisplayPanel& displayPanel() const { return *m_display; }
    ReaderProgressControl& progressControl() const { return *m_progress; }
    ReaderTransportControls& transportControls() const { return *m_transport; }
    ReaderSpeedControls& speedControls() const { return *m_speed; }
    QLabel& storageNotice() const { return *m_notice; }
    QWidget* sourceToolbar() const { return m_toolbar; }
    // Nothing until the source is first shown.
    ReaderSourceArea* sourceArea() const { return m_sourceArea; }
    // The metrics of the last layout.
    const ReaderColumnMetrics& metrics() const { return m_metrics; }

    // Takes everything shown from the controller and its player; the controller's changed() calls it.
    void refresh();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateLayout();

    ReaderWorkspaceController& m_workspace;
    SourceViewFactory m_makeSourceView;
    QWidget* m_content;
    QVBoxLayout* m_blocks;
    QLabel* m_notice;
    ReaderRSVPDisplayPanel* m_display;
    ReaderProgressControl* m_progress;
    ReaderTransportControls* m_transport;
    ReaderSpeedControls* m_speed;
    QWidget* m_toolbar = nullptr;
    ReaderSourceArea* m_sourceArea = nullptr;
    ReaderColumnMetrics m_metrics;
    bool m_layoutShowsSource = false;
};

}  // namespace tavrine
