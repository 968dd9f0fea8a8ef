#pragma once

#include "ReaderUI/Workspace/ReaderNavigationCommand.h"

#include <QWidget>

#include <array>

class QHBoxLayout;

namespace tavrine {

class ReaderReadingControlButton;
class ReaderWorkspaceController;

// The transport row of the reading column, centred: back a sentence, play/pause, on a sentence, and on
// the outside back and on a chapter when the reading has chapter starts (three buttons spaced 20 apart,
// else five spaced 8). Every button shows its symbol only, its title being its accessible name, and
// sends its action through the controller, releasing the editor focus. Play/pause reads "一時停止" in
// the control colour while playing or waiting to play, else "再生" in gold. Main thread; refreshed by the
// column after each pass.
class ReaderTransportControls : public QWidget {
    Q_OBJECT

public:
    static constexpr int kSpacingWithChapters = 8;
    static constexpr int kSpacingWithoutChapters = 20;
    static constexpr QSize kPlayPauseLabelFrame{44, 44};
    static constexpr QSize kNavigationLabelFrame{32, 32};

    explicit ReaderTransportControls(ReaderWorkspaceController& workspace, QWidget* parent = nullptr);

    ReaderReadingControlButton& playPauseButton() const { return *m_playPause; }
    ReaderReadingControlButton& navigationButton(ReaderNavigationCommand command) const;

    void refresh();

private:
    ReaderWorkspaceController& m_workspace;
    QHBoxLayout* m_row;
    ReaderReadingControlButton* m_playPause;
    std::array<ReaderReadingControlButton*, ReaderNavigationCommands::allCases.size()> m_navigation{};
};

}  // namespace tavrine
