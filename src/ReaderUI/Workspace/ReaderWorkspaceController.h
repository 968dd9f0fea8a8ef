#pragma once

#include "ReaderCore/TextRange.h"
#include "ReaderUI/Player/ReaderPlaybackRequest.h"
#include "ReaderUI/Workspace/ReaderNavigationCommand.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringView>
#include <QUuid>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace tavrine {

class Clock;
class Defaults;
class ReaderEPUBPresentation;
class ReadingPlayer;
struct ImportedReading;
struct ReaderDocumentContext;
struct ReadingDocument;
struct ReadingSourceWindow;

// What the application lets the workspace call; each is optional and called on the main thread.
struct ReaderWorkspaceClosures {
    // Before the workspace acts on a user action.
    std::function<void()> onInteraction = {};
    // After a user action that moves the reading position: the source pane follows playback again.
    std::function<void()> onSourceNavigation = {};
    // Clipboard replacement: the presence of any of them shows the clipboard row.
    std::function<void(const QString&)> pasteText = {};
    std::function<void()> pasteFromClipboard = {};
    std::function<void()> pastePlainText = {};
};

// The reading area without its widgets: the view state of the workspace (the source as last taken from
// the player, the information sheet flag, the editor focus token, the focus and hover flags), the routing
// of every playback action to the player, and the handlers that keep that state in step with the player
// and with what the application hands in. The workspace widgets render it and report user actions to it.
// Owned by the workspace widget; main thread only, which every entry asserts.
//
// Updates. Inputs arrive through the setters below and the player reports its changes by signals, often
// in the middle of one of its operations (a load sets the reading before the session). Neither runs a
// handler at once: each schedules one update pass, queued, at most one per turn of the event loop. The
// pass runs the handlers in a fixed order (imported text, the reading's id, the player's source window,
// focus request, playback requests, importing, activity), each against the value it last handled, then
// takes a fresh document context and emits changed() once. Handlers run only in a pass or at appearance,
// never inside another handler: a debug assertion fails when a pass starts inside one. Views read the
// controller and its player when changed() fires. Playback requests are not coalesced: each one that
// arrives is performed once, in its pass.
//
// For the widgets:
//   inputs        setImportedText, setPlaybackRequest, setImporting, setShowsSource, setFocusRequest,
//                 setActive (the application's activity); the closures, fixed at construction. Values
//                 set before appeared() are its starting values, handled by nothing but the appearance
//   lifecycle     appeared() when the workspace is shown, disappeared() when it is removed
//   user actions  perform (buttons, the Space key on the display), the pane's epubPaneSelected,
//                 closeEPUBPane and epubPaneFocusDeparted, setShowsDocumentInformation(false) when the
//                 sheet is dismissed, setSource for an edited source text
//   focus mirrors setDisplayFocused, setAdjustingSpeed, setAdjustingProgress, setHoveringProgress,
//                 setDraggingProgress: the widgets report their focus and pointer state here
//   signals       changed() after every pass (the sheet opens when showsDocumentInformation turns true
//                 and closes when it turns false, the contents pane follows the presentation's flag);
//                 releaseEditorFocusChanged() at once, for the source view; displayFocusRequested() when
//                 the display is to take the keyboard focus
class ReaderWorkspaceController final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QUuid releaseEditorFocus READ releaseEditorFocus NOTIFY releaseEditorFocusChanged)

public:
    using Action = ReaderPlaybackRequest::Action;

    using Closures = ReaderWorkspaceClosures;

    // What a workspace given no player makes its own from: a player without a store, which plays but
    // saves nothing and records no history. width and maximumWidth are the player's phrase width.
    struct OwnPlayer {
        Defaults& defaults;
        std::function<double(QStringView)> width = {};
        double maximumWidth = 0;
        // The system clock when none is given.
        const Clock* clock = nullptr;
    };

    static constexpr std::chrono::duration<double> kOwnPlayerCheckpointInterval{5.0};

    // Over player (which must outlive the controller). presentation: the table-of-contents flag shared
    // with the application's menus (it must outlive the controller too), or, when none is given, one of
    // the controller's own. clock dates the reading of the workspace's own source text; the system clock
    // when none is given.
    explicit ReaderWorkspaceController(ReadingPlayer& player, ReaderEPUBPresentation* presentation = nullptr,
                                       Closures closures = {}, const Clock* clock = nullptr, QObject* parent = nullptr);
    // With a player of its own, made from own.
    explicit ReaderWorkspaceController(const OwnPlayer& own, ReaderEPUBPresentation* presentation = nullptr,
                                       Closures closures = {}, QObject* parent = nullptr);
    ~ReaderWorkspaceController() override;

    ReadingPlayer& player() const { return *m_player; }
    ReaderEPUBPresentation& epubPresentation() const { return *m_presentation; }
    const Closures& closures() const { return m_closures; }

    // ---- Inputs ----
    // The latest imported reading; handed to the player when it changes (never cleared here).
    void setImportedText(std::optional<ImportedReading> imported);
    // The latest request of a menu command or key. Every request with a new id is performed once, in
    // the order of arrival; one that arrives while the workspace is not shown never is.
    void setPlaybackRequest(std::optional<ReaderPlaybackRequest> request);
    // An import runs: playback requests are refused, and its start pauses the player.
    void setImporting(bool importing);
    void setShowsSource(bool shows);
    // A new value asks for the keyboard focus on the display.
    void setFocusRequest(std::optional<QUuid> request);
    // Whether the application is active; a change reaches the player.
    void setActive(bool active);

    const std::optional<ImportedReading>& importedText() const;
    const std::optional<ReaderPlaybackRequest>& playbackRequest() const { return m_playbackRequest; }
    bool isImporting() const { return m_isImporting; }
    bool showsSource() const { return m_showsSource; }
    const std::optional<QUuid>& focusRequest() const { return m_focusRequest; }
    bool isActive() const { return m_isActive; }

    // ---- Lifecycle ----
    // The workspace is shown: the values present now are its starting values, not changes. Takes over
    // what the application prepared: a pending imported reading is handed to the player, else the
    // player's reading is mirrored into the source state, else (no reading, nothing loaded) the
    // workspace's own source text, empty at first, is loaded.
    void appeared();
    // The workspace is removed: no handler runs until it appears again; the player pauses, saving.
    void disappeared();
    bool isShown() const { return m_isShown; }

    // ---- Playback actions ----
    // The one road of every playback action to the player. Refused, and dropped, while an import runs,
    // while the source has been edited and not loaded, and when the player cannot perform it. The two
    // "show" actions only open the information sheet or the contents pane; every other action calls
    // onInteraction, renews releaseEditorFocus when asked to, calls onSourceNavigation for an action
    // that moves the position, then the player.
    void perform(Action action, bool releasesEditorFocus);

    // ---- View state ----
    // The source text as the workspace last took it, and the text last loaded into the player.
    const QString& source() const { return m_source; }
    const QString& loadedSource() const { return m_loadedSource; }
    // The document, cursor and window of the player's reading as last mirrored.
    const ReadingDocument& sourceDocument() const;
    // Counts the mirrorings of sourceDocument: a view compares it instead of the document's text.
    quint64 sourceDocumentRevision() const { return m_sourceDocumentRevision; }
    qsizetype sourceCursor() const { return m_sourceCursor; }
    const ReadingSourceWindow& sourceWindow() const;
    bool showsDocumentInformation() const { return m_showsDocumentInformation; }
    // Every new value tells the source view to give up the keyboard focus.
    QUuid releaseEditorFocus() const { return m_releaseEditorFocus; }
    bool isDisplayFocused() const { return m_isDisplayFocused; }
    bool isAdjustingSpeed() const { return m_isAdjustingSpeed; }
    bool isAdjustingProgress() const { return m_isAdjustingProgress; }
    bool isHoveringProgress() const { return m_isHoveringProgress; }
    bool isDraggingProgress() const { return m_isDraggingProgress; }
    // Title, author, chapter and progress of what the player reads, as of the last pass.
    const ReaderDocumentContext& documentContext() const;

    // The source view's text, as edited; while it differs from loadedSource playback actions are refused.
    void setSource(QString source);
    // The sheet opens while this is set; its dismissal clears it.
    void setShowsDocumentInformation(bool shows);
    void setDisplayFocused(bool focused);
    void setAdjustingSpeed(bool focused);
    void setAdjustingProgress(bool focused);
    void setHoveringProgress(bool hovering);
    void setDraggingProgress(bool dragging);

    // ---- The reading column's rules ----
    // Whether the position and playback controls act: no import runs, something is loaded (a prepared
    // reading or chunks) and the source is the loaded one.
    bool canControlPlayback() const;
    // The session plays, or a start was asked for and waits for its chunks.
    bool isPlaying() const;

    // The progress slider: its value is the progress of the last pass's document context. Setting it
    // is the user's move: onInteraction, a new releaseEditorFocus, then the player seeks (pausing
    // without saving). Values the view takes from here must never come back through the setter.
    double progressValue() const;
    void setProgressValue(double fraction);
    // A drag begins (true): onInteraction, a new releaseEditorFocus, then one pause saving the position.
    // Its end only clears the dragging flag.
    void progressEditingChanged(bool editing);
    // An arrow key on the progress slider: false, doing nothing, when canControlPlayback is false (the
    // key passes on); else onInteraction, a new releaseEditorFocus, one step of the position, true.
    bool stepProgress(bool forward);
    // The progress group left the screen: neither hovered nor dragged.
    void progressDisappeared();

    // The speed slider: the multiplier 1.0...7.5 of the player's base seconds. Setting it writes the base
    // seconds into the player directly: no onInteraction, no focus release, no availability guard.
    double speedMultiplierValue() const;
    void setSpeedMultiplierValue(double multiplier);
    // A click on the speed slider: it has the keyboard focus from now on.
    void beginSpeedAdjustment();
    // The speed slider's increase (increment true) or decrease action for assistive technology: the step
    // of the plus or minus button, without releasing the editor focus.
    void adjustSpeed(bool increment);

    // Enabled states. Play/pause: canControlPlayback. A navigation button: canControlPlayback and the
    // player's yes (the player is not asked otherwise). Minus and plus: no import and the player's yes.
    // The speed slider: no import.
    bool canNavigate(ReaderNavigationCommand command) const;
    bool canStepSpeed(bool faster) const;
    bool isSpeedSliderEnabled() const { return !m_isImporting; }
    // The chapter buttons exist: the player's reading has chapter starts.
    bool showsChapterButtons() const;
    // The play/pause button's title ("再生" or "一時停止") and symbol name ("play.fill" or "pause.fill").
    QString playPauseTitle() const;
    QString playPauseSymbol() const;

    // The clipboard row exists with pasteText or pasteFromClipboard, its button with pasteFromClipboard,
    // the button's menu item with pastePlainText. The button is disabled only while importing.
    bool hasClipboardRow() const { return m_closures.pasteText || m_closures.pasteFromClipboard; }
    bool canPasteFromClipboard() const { return !m_isImporting; }
    // Pauses saving the position, calls onInteraction, renews releaseEditorFocus, then calls paste.
    void paste(const std::function<void()>& paste);

    // The source view's cursor, set by the user: onInteraction, the cursor taken, the player jumps to
    // that offset of the source (as a new text when it was edited), and the source counts as loaded.
    void setSourceCursorValue(qsizetype offset);
    // Any other interaction of the source view: onInteraction, then a pause saving the position.
    void sourceInteraction();
    // The current chunk's range in the loaded text; nothing while the source differs from it or no
    // chunk is current.
    std::optional<TextRange> highlightedRange() const;

    // ---- The contents pane and the display's focus ----
    // A destination was chosen in the pane, which moves the player there next.
    void epubPaneSelected();
    void closeEPUBPane();
    // The pane gave up the keyboard focus: the display takes it on the next turn.
    void epubPaneFocusDeparted();
    // The display takes the keyboard focus now.
    void focusDisplay();

signals:
    void changed();
    void releaseEditorFocusChanged(QUuid token);
    void displayFocusRequested();

private slots:
    // Something the views show changed: one pass runs on a later turn.
    void scheduleUpdate();

private:
    // The values each change handler last handled.
    struct Handled {
        std::optional<QUuid> readingID;
        std::optional<QUuid> focusRequest;
        bool isImporting = false;
        bool isActive = false;
    };
    // The state of the model's value types (defined with the code, so that this header needs only Qt's).
    struct Values;

    // Marks a pass (or the appearance handler) under way; asserts that none already is.
    class PassScope;

    ReaderWorkspaceController(ReadingPlayer* player, std::unique_ptr<ReadingPlayer> ownPlayer,
                              ReaderEPUBPresentation* presentation, Closures closures, const Clock& clock,
                              QObject* parent);

    void runUpdatePass();
    void runChangeHandlers();
    void takeStartingValues();
    // The controller's own state changed outside a pass (a pass announces its own changes).
    void noteStateChanged();
    template <typename T, typename U>
    void updateState(T& field, U&& value);
    void renewReleaseEditorFocus();
    void scheduleFocusDisplay();

    // The handlers.
    void synchronizeWithPlayer();
    void importedTextChanged(const std::optional<ImportedReading>& imported);
    void applyImportedText(const ImportedReading& imported);
    void syncSourceFromPlayer();
    void applySourceText();
    void readingChanged();
    void sourceWindowChanged();
    void focusRequestChanged();
    void playbackRequestChanged(const ReaderPlaybackRequest& request);
    void importingChanged(bool importing);
    void activityChanged(bool active);

    std::unique_ptr<ReadingPlayer> m_ownPlayer;
    ReadingPlayer* m_player;
    ReaderEPUBPresentation* m_presentation;
    const Closures m_closures;
    const Clock& m_clock;

    std::unique_ptr<Values> m_values;

    // Inputs; the imported reading is among the values.
    std::optional<ReaderPlaybackRequest> m_playbackRequest;
    bool m_isImporting = false;
    bool m_showsSource = false;
    std::optional<QUuid> m_focusRequest;
    bool m_isActive = false;

    // View state; the source document and window are among the values.
    QString m_source;
    QString m_loadedSource;
    qsizetype m_sourceCursor = 0;
    quint64 m_sourceDocumentRevision = 0;
    bool m_showsDocumentInformation = false;
    QUuid m_releaseEditorFocus = QUuid::createUuid();
    bool m_isDisplayFocused = false;
    bool m_isAdjustingSpeed = false;
    bool m_isAdjustingProgress = false;
    bool m_isHoveringProgress = false;
    bool m_isDraggingProgress = false;

    // The machinery of the passes.
    bool m_isShown = false;
    bool m_isUpdateScheduled = false;
    bool m_isInPass = false;
    Handled m_handled;
    // Set by a call of setImportedText or a change of the player's window since the last pass: their
    // values are compared (or taken) only then.
    bool m_importedTextTouched = false;
    bool m_playerWindowChanged = false;
    // Requests that arrived while shown, to be performed at the next pass, and every id ever received.
    QList<ReaderPlaybackRequest> m_pendingRequests;
    QSet<QUuid> m_receivedRequestIDs;
};

}  // namespace tavrine
