#include "ReaderWidgets/Workspace/ReaderTransportControls.h"

#include "ReaderCore/MainThread.h"
#include "ReaderUI/ReaderCommandShortcuts.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderUI/Workspace/ReaderWorkspaceController.h"
#include "ReaderWidgets/Style/ReaderReadingControlButton.h"
#include "ReaderWidgets/Style/ReaderTextStyle.h"
#include "ReaderWidgets/Style/ShortcutText.h"

#include <QHBoxLayout>

namespace tavrine {

namespace {

using Command = ReaderNavigationCommand;
using LabelStyle = ReaderReadingControlButton::LabelStyle;

void setToolTipIfChanged(QWidget& widget, const QString& text) {
    if (widget.toolTip() != text) widget.setToolTip(text);
}

}  // namespace

ReaderTransportControls::ReaderTransportControls(ReaderWorkspaceController& workspace, QWidget* parent)
    : QWidget(parent),
      m_workspace(workspace),
      m_row(new QHBoxLayout(this)),
      m_playPause(new ReaderReadingControlButton(ReaderPalette::gold, this)) {
    Q_ASSERT(isMainThread());
    m_row->setContentsMargins(0, 0, 0, 0);
    setFont(readerFont(ReaderTextStyle::title3));

    for (const Command command : ReaderNavigationCommands::allCases) {
        auto* button = new ReaderReadingControlButton(ReaderPalette::control, this);
        button->setText(ReaderNavigationCommands::title(command));
        button->setSymbol(symbolNamed(ReaderNavigationCommands::symbol(command)));
        button->setLabelStyle(LabelStyle::iconOnly);
        button->setLabelFrame(kNavigationLabelFrame);
        button->setToolTip(ReaderNavigationCommands::helpText(command));
        button->setAccessibleDescription(ReaderNavigationCommands::explanation(command));
        connect(button, &QAbstractButton::clicked, this, [this, command] {
            m_workspace.perform(ReaderNavigationCommands::action(command), /*releasesEditorFocus=*/true);
        });
        m_navigation.at(static_cast<std::size_t>(command)) = button;
    }
    m_playPause->setFont(readerFont(ReaderTextStyle::title2));
    m_playPause->setLabelStyle(LabelStyle::iconOnly);
    m_playPause->setLabelFrame(kPlayPauseLabelFrame);
    connect(m_playPause, &QAbstractButton::clicked, this, [this] {
        m_workspace.perform(ReaderPlaybackRequest::Action::togglePlayback, /*releasesEditorFocus=*/true);
    });

    // Left to right, and Tab goes the same way.
    const std::array<QWidget*, 5> row{&navigationButton(Command::backChapter), &navigationButton(Command::backSentence),
                                      m_playPause, &navigationButton(Command::forwardSentence),
                                      &navigationButton(Command::forwardChapter)};
    m_row->addStretch(1);
    for (QWidget* button : row) m_row->addWidget(button);
    m_row->addStretch(1);
    for (std::size_t index = 1; index < row.size(); ++index) setTabOrder(row.at(index - 1), row.at(index));
    refresh();
}

ReaderReadingControlButton& ReaderTransportControls::navigationButton(Command command) const {
    return *m_navigation.at(static_cast<std::size_t>(command));
}

void ReaderTransportControls::refresh() {
    const bool chapters = m_workspace.showsChapterButtons();
    m_row->setSpacing(chapters ? kSpacingWithChapters : kSpacingWithoutChapters);
    navigationButton(Command::backChapter).setVisible(chapters);
    navigationButton(Command::forwardChapter).setVisible(chapters);

    const bool playing = m_workspace.isPlaying();
    const QString title = m_workspace.playPauseTitle();
    m_playPause->setText(title);
    m_playPause->setSymbol(symbolNamed(m_workspace.playPauseSymbol()));
    m_playPause->setAccent(playing ? ReaderPalette::control : ReaderPalette::gold);
    setToolTipIfChanged(*m_playPause, withShortcut(title, ReaderCommandShortcuts::togglePlayback));
    m_playPause->setEnabled(m_workspace.canControlPlayback());

    for (const Command command : ReaderNavigationCommands::allCases) {
        navigationButton(command).setEnabled(m_workspace.canNavigate(command));
    }
}

}  // namespace tavrine
