#pragma once

#include "PelmoraMac/Window/ReaderCommandActions.h"
#include "PelmoraMac/Window/ReaderCommandContext.h"

#include <QList>
#include <QUrl>
#include <QUuid>
#include <QWidget>

#include <memory>
#include <optional>

class QFrame;

namespace tavrine {

class CaptureModel;
class Defaults;
class GlobalCaptureShortcut;
class ReaderCaptureStrip;
class ReaderDocumentLayout;
class ReaderEPUBPresentation;
class ReaderFileDropTarget;
class ReaderFileImportStrip;
class ReaderHistoryPane;
class ReaderImportNotice;
class ReaderKeyboardInput;
class ReaderPresentation;
class ReaderSourceNavigation;
class ReaderSourceViewBinding;
class ReaderStartView;
class ReaderWindow;
class ReaderWindowFocus;
class ReaderWindowState;
class ReaderWorkspaceController;
class ReaderWorkspaceWidget;
class ReadingPlayer;

// The reader window's content, top to bottom: the capture strip, the file-import strip, the settings
// strip (each with a line under it, shown only while it has something to say), and the two panes, the
// document list and the reader column. The reader column shows the start view while no document is open.
// The settings strip tells, while the user's settings cannot be kept, that changes last only until the
// application ends; it is the one place that says so, and it goes once they are kept again.
//
// It owns no state of the application: everything it shows is read from the objects it is given,
// refreshed in place at most once per turn of the event loop after anything it reads changed, and every
// button goes through the application's commands. It sets the workspace's inputs from them: the capture
// model's imported reading (the one road of captured and pasted readings to the player), the playback and
// focus requests, whether a capture runs and whether the source pane is wanted. It also carries the Space
// key of the window (as a play or pause request), the window's file drops, and loads each newly opened
// document into the source navigation. It puts the keyboard focus on the reading area whenever a reading
// opens, an import fails, a control with the focus is disabled, a removal empties the document list or
// the window appears (ReaderWindowFocus). Main thread only.
class ReaderWindowRoot final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kMinimumContentWidth = 300;

    // What the window shows and acts through; every object must outlive the root.
    struct Inputs {
        ReaderWindow& window;
        ReaderWindowState& state;
        ReadingPlayer& player;
        CaptureModel& capture;
        ReaderPresentation& presentation;
        ReaderEPUBPresentation& epubPresentation;
        ReaderSourceNavigation& sourceNavigation;
        GlobalCaptureShortcut& shortcut;
        GlobalCaptureShortcut& clipboardShortcut;
        // The user's settings: the root is the one that watches whether they are kept.
        Defaults& defaults;
        ReaderCommandActions actions;
    };

    explicit ReaderWindowRoot(Inputs inputs, QWidget* parent = nullptr);
    ~ReaderWindowRoot() override;

    ReaderCaptureStrip& captureStrip() const { return *m_captureStrip; }
    ReaderFileImportStrip& fileImportStrip() const { return *m_fileImportStrip; }
    // The settings strip's notice; its strip is hidden while the settings are kept.
    ReaderImportNotice& settingsNotice() const { return *m_settingsNotice; }
    // What the settings strip says when the settings kept at file cannot be kept.
    static QString settingsNotKeptMessage(const QString& file);
    ReaderDocumentLayout& documentLayout() const { return *m_layout; }
    // Nothing until the workspace first shows it.
    ReaderStartView* startView() const { return m_startView; }
    ReaderWorkspaceWidget& workspaceWidget() const { return *m_workspace; }
    ReaderWorkspaceController& workspace() const;

    // What a refresh does, at once.
    void refresh();

private:
    ReaderWorkspaceWidget* makeReaderContent();
    // The workspace's builders: the source pane over its binding, and the pane's tool row.
    QWidget* makeSourcePane(ReaderSourceViewBinding& binding);
    QWidget* makeSourceTools();
    // The document list's pending selection is cancelled, when there is a list.
    void cancelPendingSelection();
    void scheduleRefresh();
    void refreshCaptureStrip(const ReaderCommandContext& state);
    void refreshFileImportStrip(const ReaderCommandInputs& inputs, const ReaderCommandContext& state);
    void refreshSettingsStrip();
    void refreshStartView(const ReaderCommandInputs& inputs, const ReaderCommandContext& state);
    void followInputs();
    // The player's reading changed: the source navigation takes the new document, and a clipboard failure
    // shown by the start view is dismissed once a reading is open.
    void readingChanged();
    // Puts the document list's pane in place, once the list exists.
    void historyMade();
    // The start view's sample button, or the display when a reading is open, takes the focus now.
    void focusReadingArea();
    bool canReceiveDrop();
    bool receiveDrop(const QList<QUrl>& urls);

    Inputs m_in;
    ReaderWindow& m_window;
    ReaderWorkspaceWidget* m_workspace = nullptr;
    ReaderCaptureStrip* m_captureStrip;
    QFrame* m_captureDivider;
    ReaderFileImportStrip* m_fileImportStrip;
    QFrame* m_fileImportDivider;
    QFrame* m_settingsStrip;
    ReaderImportNotice* m_settingsNotice;
    QFrame* m_settingsDivider;
    QWidget* m_sidebar;
    ReaderHistoryPane* m_historyPane = nullptr;
    ReaderDocumentLayout* m_layout;
    ReaderStartView* m_startView = nullptr;
    std::unique_ptr<ReaderKeyboardInput> m_keyboard;
    std::unique_ptr<ReaderFileDropTarget> m_dropTarget;
    std::unique_ptr<ReaderWindowFocus> m_focus;
    bool m_refreshPending = false;
    bool m_hasLoadedOnce = false;
};

}  // namespace tavrine
