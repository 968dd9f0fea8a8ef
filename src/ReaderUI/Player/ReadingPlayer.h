#pragma once

#include "ReaderCore/CancellationToken.h"
#include "ReaderCore/Clock.h"
#include "ReaderCore/EPUBBook.h"
#include "ReaderCore/ImportedReading.h"
#include "ReaderCore/ReadingChunk.h"
#include "ReaderCore/ReadingDocument.h"
#include "ReaderCore/ReadingProgress.h"
#include "ReaderCore/ReadingSession.h"
#include "ReaderCore/ReadingSourceWindow.h"
#include "ReaderCore/SavedReading.h"
#include "ReaderText/ConnectorPhraseRefiner.h"
#include "ReaderText/PreparedReading.h"
#include "ReaderUI/Player/ChunkWindowSource.h"
#include "ReaderUI/Player/PlaybackPersistence.h"
#include "ReaderUI/Player/PlaybackSpeed.h"
#include "ReaderUI/Player/PlayerTasks.h"
#include "ReaderUI/Player/ReaderPlaybackRequest.h"
#include "ReaderUI/Player/ReplacementHistory.h"
#include "ReaderUI/Player/ReplacementSnapshot.h"
#include "ReaderUI/ReadingChapterNavigation.h"

#include <QCoro/QCoroTask>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QUuid>

#include <chrono>
#include <memory>
#include <optional>

namespace tavrine {

class Defaults;
class PlaybackStore;
class ReaderTextSizeSettings;

// The one object behind every playback control: it holds the current reading, the session that walks its
// chunks, the prepared text of a long reading and the flags that decide whether a position may be saved,
// and carries out every playback operation. Views, menus, the document list and the capture model read
// its properties and call its operations. Made once by the application (or by a workspace given none);
// lives on the main thread, which every operation asserts.
//
// What it owns, each with one job: the speed (PlaybackSpeed) and the text sizes (ReaderTextSizeSettings),
// both kept in the user's settings; the replacement history behind undo and redo (ReplacementHistory);
// its tasks and their guards (PlayerTasks); where the windows of a long reading come from
// (ChunkWindowSource); and its only road to the store (PlaybackPersistence).
//
// Observation: every observed field is a Q_PROPERTY with its own change signal, which fires only when a
// written value differs from the one held; session, chapterNavigation, replacementSnapshot and
// handledImportIDs signal on every write, in-place changes of the session included.
//
// Tasks: the work the player starts itself runs in its task set, one task of each kind at a time, every
// wait on the injected clock. Those tasks, and the coroutines the player hands to its callers, hold it
// through a QPointer and check, after every co_await, the player, their token and their guard, so a
// stale result changes nothing. Destroying the player cancels its tasks; none runs afterwards.
//
// The store: the player reaches it only through its write queue, which reports how each save ended to
// handleOutcome(), and through a listener on the store's change stream, started by the constructor,
// which stops a reading removed elsewhere. Both hold the player weakly; the listener ends with the
// stream or with the player.
//
// The operations are grouped under headings below; each group is defined in the file named after its
// heading (Transport in ReadingPlayerTransport.cpp), the state and the derived values in ReadingPlayer.cpp.
class ReadingPlayer final : public QObject {
    Q_OBJECT

public:
    using ReplacementSnapshot = tavrine::ReplacementSnapshot;
    using ChunkSource = tavrine::ChunkSource;

    // The width chunking fits phrases to: a measure that may run on any thread (a long reading measures on
    // its own thread) and the widest phrase kept whole, in the measure's unit.
    struct PhraseWidth {
        ConnectorPhraseRefiner::Width width;
        double maximumWidth = 0;
    };

    // What prepareWindow does once the window has arrived.
    enum class WhenReady {
        saveNavigation,  // schedules a navigation save: the reader moved there
        play,            // starts playback as a new play (a play record and fresh checkpoints)
        continuePlay,    // starts playback that only continues the play (after a speed change)
        nothing,         // nothing more: a reading brought back as it was
    };
    // How prepareWindow prepares a window.
    struct WindowOptions {
        // The session is paused now, and again once the window has arrived.
        bool pausing = false;
        // The position first moves to the start of the next sentence (true), or of the current or previous
        // one (false), found from the offset asked for.
        std::optional<bool> sentenceStep;
        WhenReady whenReady = WhenReady::saveNavigation;

        bool operator==(const WindowOptions&) const = default;
    };

    // Texts of at most this many UTF-16 units without sections are chunked at once inside load().
    static constexpr qsizetype kImmediateChunkingLimit = 1'024;
    static constexpr std::chrono::duration<double> kNavigationSaveDelay{0.3};
    static constexpr std::chrono::duration<double> kAutoplayDelay{0.5};
    static inline const QString kBaseSecondsKey = PlaybackSpeed::kBaseSecondsKey;

    Q_PROPERTY(tavrine::ReadingSession session READ session NOTIFY sessionChanged)
    Q_PROPERTY(double baseSeconds READ baseSeconds NOTIFY baseSecondsChanged)
    Q_PROPERTY(bool isWaitingToPlay READ isWaitingToPlay NOTIFY isWaitingToPlayChanged)
    Q_PROPERTY(bool isPreparing READ isPreparing NOTIFY isPreparingChanged)
    Q_PROPERTY(std::optional<tavrine::ReadingSourceWindow> sourceWindow READ sourceWindow NOTIFY sourceWindowChanged)
    Q_PROPERTY(QUuid preparationID READ preparationID NOTIFY preparationIDChanged)
    Q_PROPERTY(qsizetype requestedOffset READ requestedOffset NOTIFY requestedOffsetChanged)
    Q_PROPERTY(
        tavrine::ReadingChapterNavigation chapterNavigation READ chapterNavigation NOTIFY chapterNavigationChanged)
    Q_PROPERTY(std::optional<QString> originalEPUBFilename READ originalEPUBFilename NOTIFY originalEPUBFilenameChanged)
    Q_PROPERTY(std::optional<tavrine::ReplacementSnapshot> replacementSnapshot READ replacementSnapshot NOTIFY
                   replacementSnapshotChanged)
    Q_PROPERTY(
        std::optional<QUuid> replacementExpectedID READ replacementExpectedID NOTIFY replacementExpectedIDChanged)
    Q_PROPERTY(bool replacementIsRedo READ replacementIsRedo NOTIFY replacementIsRedoChanged)
    Q_PROPERTY(std::optional<tavrine::SavedReading> reading READ reading NOTIFY readingChanged)
    Q_PROPERTY(bool isCurrentReadingSaved READ isCurrentReadingSaved NOTIFY isCurrentReadingSavedChanged)
    Q_PROPERTY(std::optional<QString> storageMessage READ storageMessage NOTIFY storageMessageChanged)
    Q_PROPERTY(QSet<QUuid> handledImportIDs READ handledImportIDs NOTIFY handledImportIDsChanged)
    Q_PROPERTY(bool pendingAutoplay READ pendingAutoplay NOTIFY pendingAutoplayChanged)
    Q_PROPERTY(bool resumesFromCursor READ resumesFromCursor NOTIFY resumesFromCursorChanged)
    Q_PROPERTY(bool hasActuallyPlayed READ hasActuallyPlayed NOTIFY hasActuallyPlayedChanged)
    Q_PROPERTY(bool hasNavigatedSavedReading READ hasNavigatedSavedReading NOTIFY hasNavigatedSavedReadingChanged)
    Q_PROPERTY(bool hasPreviouslyPlayed READ hasPreviouslyPlayed NOTIFY hasPreviouslyPlayedChanged)
    Q_PROPERTY(QUuid savedLoadID READ savedLoadID NOTIFY savedLoadIDChanged)
    Q_PROPERTY(
        std::optional<QUuid> loadingSavedReadingID READ loadingSavedReadingID NOTIFY loadingSavedReadingIDChanged)
    Q_PROPERTY(bool isTerminating READ isTerminating NOTIFY isTerminatingChanged)

    // store: where positions and plays are saved (none: nothing is saved). storeUnavailable: the store
    // could not be opened, which the storage message says. checkpointInterval: the period of the position
    // save while playing. defaults keeps the speed and the text sizes; clock times every wait and dates the
    // play records. Both must outlive the player and the tasks it started.
    ReadingPlayer(std::shared_ptr<PlaybackStore> store, bool storeUnavailable, bool automaticallySavesHistory,
                  std::chrono::duration<double> checkpointInterval, Defaults& defaults, const Clock& clock,
                  PhraseWidth phraseWidth, QObject* parent = nullptr);
    ~ReadingPlayer() override;

    // ---- Observed state ----
    const ReadingSession& session() const { return m_session; }
    // Seconds per short chunk at the chosen speed, as set; clamped to 0.04...0.3 wherever it is used.
    double baseSeconds() const { return m_speed.baseSeconds(); }
    // A start was asked for and waits for chunks or for the automatic start.
    bool isWaitingToPlay() const { return m_isWaitingToPlay; }
    // A preparation task is building the chunks of a window.
    bool isPreparing() const { return m_isPreparing; }
    // The part of the document the source pane shows around the position.
    const std::optional<ReadingSourceWindow>& sourceWindow() const { return m_sourceWindow; }
    // The guard of preparation tasks: a task applies its result only while this is the ID it started with.
    QUuid preparationID() const { return m_tasks.preparationID(); }
    // The offset asked for while chunks are prepared, the start of the current chunk once they are.
    qsizetype requestedOffset() const { return m_requestedOffset; }
    const ReadingChapterNavigation& chapterNavigation() const { return m_chapterNavigation; }
    const std::optional<QString>& originalEPUBFilename() const { return m_originalEPUBFilename; }
    const std::optional<ReplacementSnapshot>& replacementSnapshot() const { return m_replacement.snapshot(); }
    const std::optional<QUuid>& replacementExpectedID() const { return m_replacement.expectedID(); }
    bool replacementIsRedo() const { return m_replacement.isRedo(); }
    const std::optional<SavedReading>& reading() const { return m_reading; }
    // The store holds the current reading.
    bool isCurrentReadingSaved() const { return m_isCurrentReadingSaved; }
    // The one storage notice the reader shows.
    const std::optional<QString>& storageMessage() const { return m_storageMessage; }
    const QSet<QUuid>& handledImportIDs() const { return m_replacement.handledImportIDs(); }
    bool pendingAutoplay() const { return m_pendingAutoplay; }
    bool resumesFromCursor() const { return m_resumesFromCursor; }
    // The current reading has played since it was loaded: its position may be saved.
    bool hasActuallyPlayed() const { return m_hasActuallyPlayed; }
    bool hasNavigatedSavedReading() const { return m_hasNavigatedSavedReading; }
    bool hasPreviouslyPlayed() const { return m_hasPreviouslyPlayed; }
    // Renewed by every load, start and pause, which drops a pending opening of a stored reading.
    QUuid savedLoadID() const { return m_savedLoadID; }
    const std::optional<QUuid>& loadingSavedReadingID() const { return m_loadingSavedReadingID; }
    bool isTerminating() const { return m_isTerminating; }

    // ---- Unobserved state ----
    ReaderTextSizeSettings& textSizes() const { return *m_textSizes; }
    // Present exactly when the current reading is chunked window by window.
    const std::shared_ptr<PreparedReading>& preparedReading() const { return m_preparedReading; }
    // The chunk source of every later preparation; the default asks the prepared reading.
    void setPrepareChunks(ChunkSource source) { m_prepareChunks = std::move(source); }
    static QCoro::Task<PreparedReading::Result<QList<ReadingChunk>>> defaultPrepareChunks(
        std::shared_ptr<PreparedReading> prepared, qsizetype offset, CancellationToken token);

    // ---- Derived values ----
    std::optional<ReadingDocument> document() const;
    std::optional<QUuid> readingID() const;
    // The position in the whole text: the start of the current chunk, or requestedOffset while a window is
    // prepared or when there is no current chunk.
    qsizetype currentSourceOffset() const;
    // The first section that holds currentSourceOffset (an offset at a section's end belongs to the next).
    std::optional<ReadingDocument::Section> currentSection() const;
    // 1.0...7.5: 0.3 over the clamped base.
    double speedMultiplier() const { return m_speed.multiplier(); }
    QString speedLabel() const { return m_speed.label(); }                            // "2.0×"
    QString speedAccessibilityValue() const { return m_speed.accessibilityValue(); }  // "2.0倍"
    QString speedHelpText() const;
    // What a save would store now: the end of the text once completed, else currentSourceOffset.
    ReadingProgress currentProgress() const;
    // Whether action can be carried out now: what menus enable and what the reader checks before it acts.
    // Reads only observed state, so a view showing the answer is told when it may have changed.
    bool canPerform(ReaderPlaybackRequest::Action action) const;

    // ---- Loading ----
    // Opens reading at offset (0 for a new text, the stored position for a stored one). A text of at most
    // kImmediateChunkingLimit units without sections is chunked here, ready whatever the offset; any other
    // gets a prepared reading, and its first window arrives later (isPreparing meanwhile), paused when the
    // offset is above 0. Pauses first, saving the position of the reading it leaves. Never starts playback.
    void load(SavedReading reading, qsizetype offset);
    // Prepares the window of a prepared reading around offset (clamped into the text) in a new preparation
    // task, voiding every earlier one; nothing without a prepared reading. The session is emptied now, and
    // a start asked for (WhenReady::play or continuePlay) waits for the window. When the window arrives the
    // session shows it and the player does what options.whenReady says.
    void prepareWindow(qsizetype offset, WindowOptions options);
    // Voids the running preparation: a new preparationID, the task cancelled, isPreparing false.
    void cancelPreparation();

    // ---- Playback ----
    // Starts or resumes; recordsPlay says whether this start is a new play of the reading (a play record
    // and fresh checkpoints) or only continues one (a speed change). A prepared reading without a current
    // chunk, still preparing, or completed, prepares its window first and starts when it arrives.
    // Ignored while terminating.
    void startPlayback(bool recordsPlay);
    // Stops everything that would play or start; the session ends paused (a ready or completed one keeps
    // its status, one whose start was pending is paused on its chunk). With savingPosition the position
    // is saved.
    void pause(bool savingPosition = true);
    // Stops the loop and, unless keepingCheckpoint, the checkpoints; a playing session becomes paused.
    void stopPlaybackTasks(bool keepingCheckpoint);
    // Drops a pending automatic start and a pending start.
    void cancelAutoplay();
    // Starts the automatic start: 0.5 s later, playback starts (recording a play unless already playing).
    void scheduleAutoplay();
    // Changes the speed and keeps it under kBaseSecondsKey. Playing goes on with the current chunk shown
    // again for its new full time, without a new play record; otherwise the player pauses, saving.
    void setBaseSeconds(double seconds);

    // ---- Saving ----
    // Queues a save of the current position, once the reading has played or a stored one was navigated,
    // while there is a current chunk, a reading and a store. Replaces a pending navigation save.
    void savePosition();
    // Saves the position kNavigationSaveDelay after the last of several navigations.
    void scheduleNavigationSave();
    // Starts the periodic save while playing, unless one runs.
    void startCheckpoints();

    // ---- Transport ----
    // Playing or waiting to play: pauses, saving. Paused: resumes (through the automatic start when the
    // position came from the cursor). Ready or completed: replay().
    void togglePlayback();
    // Pauses, saving, goes back to the start of the text and arms the automatic start.
    void replay();
    // The speed multiplier up (faster) or down by 0.1, within 1.0...7.5.
    void stepSpeed(bool faster);
    // One hundredth of the text forward or back (at least one unit; forward at least past the current
    // chunk), through seekToFraction().
    void stepPosition(bool forward);
    // Pauses without saving and moves to fraction (clamped to 0...1) of the text, paused; a prepared
    // reading always prepares its window there again. A fraction that is not finite only pauses.
    void seekToFraction(double fraction);
    // Moves to offset of text, paused, so that the next resume starts from there through the automatic
    // start. sourceEdited: text is not the loaded text and is opened as a new reading first.
    void jumpToSourceOffset(qsizetype offset, const QString& text, bool sourceEdited);
    // Jumps to a table-of-contents destination of the open book, identified by readingID; false, with
    // nothing changed, while terminating, for another reading, a reading that is no book, an unavailable
    // destination, or one that does not lie inside its section.
    bool navigate(const EPUBBook::Destination& destination, const QUuid& readingID);
    // Opens an imported reading, once per reading identifier, keeping what it replaces for undo when the
    // import allows it; an automatic start waits for the application to be active. False while
    // terminating or for a reading already applied.
    bool apply(const ImportedReading& imported, bool isActive);
    // The application became active (a pending automatic start is armed) or inactive (playback and the
    // starts still to come stop, the position is saved; a window being prepared for a pending automatic
    // start or for no start goes on, and a pending automatic start follows the next activation).
    void scenePhaseChanged(bool isActive);
    // Arms the automatic start when there is anything to play. Ignored while terminating.
    void resumeFromCursor();

    // ---- Navigation: chapters and sentences ----
    // The chapter start to move to, forward or back from the position shown; nothing when there is none.
    // Back from the start of a chapter goes to the start of the one before.
    std::optional<qsizetype> chapterTarget(bool forward) const;
    // Pauses without saving and prepares the window at chapterTarget(forward), paused. Only prepared
    // readings have chapters; ignored while terminating.
    void moveChapter(bool forward);
    // Pauses without saving and moves to the start of the next sentence, or of the current or previous
    // one; carried out also while terminating.
    void moveSentence(bool forward);

    // ---- Opening: stored readings ----
    // Opens the stored reading id paused at its stored position (its start once completed). True when it
    // was loaded and its first window prepared while no later operation took over; false otherwise, with
    // a storage notice when the store is missing, failed, or has no such reading. Cancelling token ends
    // the opening and the preparation it waits for.
    QCoro::Task<bool> openSavedReading(QUuid id, CancellationToken token = CancellationToken::none());
    // The same, from the start with fromBeginning, then starting automatically once the application is
    // active (isActive: it is now).
    QCoro::Task<bool> playSavedReading(QUuid id, bool fromBeginning, bool isActive,
                                       CancellationToken token = CancellationToken::none());

    // ---- Undo: replacing a reading by an import ----
    // One level: after an import that allows undo, the reading it replaced can be brought back (undo), and
    // then the import again (redo), back and forth, for as long as nothing else is opened and neither
    // reading leaves the store. Undo is offered while the import is open, redo while the reading it
    // replaced is.
    bool canUndoReplacement() const;
    bool canRedoReplacement() const;
    // Swaps what is shown with what the replacement history keeps (redo false: undo), paused where it was
    // and resuming from there through the automatic start (a completed reading comes back completed),
    // with its saved flag and its notice; nothing is saved for the reading left. False, with nothing
    // changed, while terminating or when the swap asked for is not offered.
    bool undoReplacement(bool redo);
    // Forgets the replacement history: neither undo nor redo is offered any more.
    void clearReplacementHistory();

    // ---- Store changes: outcomes and removals ----
    // How a save for the reading id ended, as the write queue reports it: the saved flag and the notice of
    // the current reading and of the reading the replacement history keeps follow it; removed stops the
    // current reading (emptying the reader, with a notice) or drops a pending opening of that reading.
    void handleOutcome(const QUuid& id, PlaybackPersistence::Outcome outcome);

    // ---- Library: library and history actions ----
    // Each runs one store operation in the write queue, after every save queued before it, and is false
    // while terminating, without a store, or when the store failed. The four library and history actions
    // forget the replacement history first, even when they then refuse.
    // Adds the current reading to the library, with its position when it has played (saved first) and at
    // its start otherwise. False for no reading or a blank text; a store failure while the reading is still
    // current leaves a notice.
    QCoro::Task<bool> addCurrentReadingToLibrary();
    // Adds a stored reading to the library; the current one's position is saved first when it has played.
    QCoro::Task<bool> addSavedReadingToLibrary(QUuid id);
    // Deletes a library reading; deleting the current one stops it as any removal does.
    QCoro::Task<bool> deleteLibraryDocument(QUuid id);
    // Drops readings from the history; a store failure leaves a notice, a success clears that notice.
    QCoro::Task<bool> deleteHistory(QSet<QUuid> ids);
    // Switches the store's history; a store failure leaves a notice, a success clears that notice. Leaves
    // the replacement history alone.
    QCoro::Task<bool> setHistoryEnabled(bool enabled);
    // Reads the store's state again, at once (not queued): when the current reading is gone from it, the
    // reading stops as any removal does; a failure leaves a notice. Nothing without a store.
    QCoro::Task<void> refreshStorage();

    // ---- Quitting ----
    // The application is quitting: pauses, saving, and from now on refuses every start, opening, import,
    // undo, jump to a book destination, chapter move and store action. Sentence moves still work. For good.
    void prepareForTermination();
    // Pauses, saving, and completes once every write queued so far has reached the store (failed or not):
    // the application answers the request to quit only then.
    QCoro::Task<void> finishPersistence();
    // Completes once every write queued so far has reached the store; pauses nothing.
    QCoro::Task<void> flushPersistence();

signals:
    void sessionChanged();
    void baseSecondsChanged();
    void isWaitingToPlayChanged();
    void isPreparingChanged();
    void sourceWindowChanged();
    void preparationIDChanged();
    void requestedOffsetChanged();
    void chapterNavigationChanged();
    void originalEPUBFilenameChanged();
    void replacementSnapshotChanged();
    void replacementExpectedIDChanged();
    void replacementIsRedoChanged();
    void readingChanged();
    void isCurrentReadingSavedChanged();
    void storageMessageChanged();
    void handledImportIDsChanged();
    void pendingAutoplayChanged();
    void resumesFromCursorChanged();
    void hasActuallyPlayedChanged();
    void hasNavigatedSavedReadingChanged();
    void hasPreviouslyPlayedChanged();
    void savedLoadIDChanged();
    void loadingSavedReadingIDChanged();
    void isTerminatingChanged();

private:
    // Everything one preparation task needs, captured when it starts: it reads nothing else of the player
    // before it applies its result.
    struct PreparationRequest {
        QUuid id;
        ChunkWindowSource source;
        qsizetype offset = 0;  // as asked
        WindowOptions options;
    };

    // ---- Loading ----
    // Loads a short text at once: chunks, window and a ready session at offset.
    void chunkImmediately(const ReadingDocument& document, qsizetype offset);
    // Where the windows of the current prepared reading come from now.
    ChunkWindowSource windowSource() const;
    // The preparation task: a static body, so that a destroyed player is found through the QPointer.
    static QCoro::Task<void> runPreparation(QPointer<ReadingPlayer> self, PreparationRequest request,
                                            CancellationToken token);
    // The end of a preparation task that was not superseded: shows the window, then starts or saves.
    void finishPreparation(const PreparationRequest& request, ChunkWindow window);
    // A failed or otherwise cancelled preparation that is still current: nothing is prepared any more.
    void settlePreparation();

    // ---- Playback ----
    static QCoro::Task<void> runPlaybackLoop(QPointer<ReadingPlayer> self, CancellationToken token);
    // The loop's fetch of the window after the last chunk shown: when its first chunk became current, or
    // nothing when the loop must end.
    static QCoro::Task<std::optional<Clock::MonotonicTime>> showNextWindow(QPointer<ReadingPlayer> self,
                                                                           CancellationToken token);
    // The session shows the last chunk of a window with more of the text behind it.
    bool needsNextWindow() const;
    // Whether there is anything to play: a prepared reading, or chunks.
    bool hasText() const;

    // ---- Saving ----
    // Whether a position may be saved: the reading has played, or a stored one was navigated.
    bool mayStorePosition() const;
    // Queues a play record of the current reading, replacing a pending navigation save.
    void queuePlayRecord();
    // A navigation of the current reading: a stored reading that was played keeps the place the reader
    // chose, even before it plays again.
    void noteNavigation();

    // ---- Opening ----
    // The one routine behind openSavedReading and playSavedReading.
    static QCoro::Task<bool> openStoredReading(QPointer<ReadingPlayer> self, QUuid id, bool fromBeginning,
                                               bool autoplay, bool isActive, CancellationToken token);
    // The stored reading found: loaded at its place, with its flags.
    void loadStored(const StoredReading& stored, bool fromBeginning);

    // ---- Undo ----
    // What an import that allows undo keeps of the reading it replaces, and an undo of what it leaves.
    ReplacementSnapshot makeReplacementSnapshot() const;
    // Shows what a snapshot keeps, paused (a completed reading stays completed).
    void restore(const ReplacementSnapshot& snapshot);

    // ---- Store changes ----
    // The store listener: every state the store announces, until the stream or the player ends.
    static QCoro::Task<void> observeStoreChanges(QPointer<ReadingPlayer> self, std::shared_ptr<PlaybackStore> store,
                                                 CancellationToken token);
    // A reading the store no longer has: forgets the replacement history and has the write queue mark it
    // removed, which reports it back to handleOutcome().
    void markReadingRemoved(const QUuid& id);
    // The current reading is gone from the store: playback stops without saving anything, the reader is
    // emptied and says why. A pending opening of another reading goes on.
    void stopForRemovedReading();

    // ---- Library ----
    static QCoro::Task<bool> addCurrentReadingToLibrary(QPointer<ReadingPlayer> self);
    static QCoro::Task<void> refreshStorage(QPointer<ReadingPlayer> self);
    // Awaits a store action whose failure leaves notice; its success clears that notice, and only that.
    static QCoro::Task<bool> runWithNotice(QPointer<ReadingPlayer> self, QCoro::Task<StoreResult<void>> action,
                                           QString notice);

    // ---- Writers of the observed fields ----
    // Through writeProperty: a value equal to the one held is stored without a signal. The session is
    // written, or changed in place, with a signal every time.
    void setSession(ReadingSession session);
    template <typename Change>
    void changeSession(Change&& change);
    void setIsWaitingToPlay(bool value);
    void setIsPreparing(bool value);
    void setSourceWindow(std::optional<ReadingSourceWindow> window);
    void setRequestedOffset(qsizetype offset);
    void setChapterNavigation(ReadingChapterNavigation navigation);
    void setOriginalEPUBFilename(std::optional<QString> filename);
    void setReading(std::optional<SavedReading> reading);
    void setIsCurrentReadingSaved(bool value);
    void setStorageMessage(std::optional<QString> message);
    void setPendingAutoplay(bool value);
    void setResumesFromCursor(bool value);
    void setHasActuallyPlayed(bool value);
    void setHasNavigatedSavedReading(bool value);
    void setHasPreviouslyPlayed(bool value);
    void renewSavedLoadID();
    void setSavedLoadID(QUuid id);
    void setLoadingSavedReadingID(std::optional<QUuid> id);
    void setIsTerminating(bool value);

    // Observed.
    ReadingSession m_session;
    bool m_isWaitingToPlay = false;
    bool m_isPreparing = false;
    std::optional<ReadingSourceWindow> m_sourceWindow;
    qsizetype m_requestedOffset = 0;
    ReadingChapterNavigation m_chapterNavigation;
    std::optional<QString> m_originalEPUBFilename;
    std::optional<SavedReading> m_reading;
    bool m_isCurrentReadingSaved = false;
    std::optional<QString> m_storageMessage;
    bool m_pendingAutoplay = false;
    bool m_resumesFromCursor = false;
    bool m_hasActuallyPlayed = false;
    bool m_hasNavigatedSavedReading = false;
    bool m_hasPreviouslyPlayed = false;
    QUuid m_savedLoadID = QUuid::createUuid();
    std::optional<QUuid> m_loadingSavedReadingID;
    bool m_isTerminating = false;

    // Not observed here: each helper's own signals are the player's.
    const Clock& m_clock;
    const PhraseWidth m_phraseWidth;
    PlaybackSpeed m_speed;
    std::unique_ptr<ReaderTextSizeSettings> m_textSizes;
    std::shared_ptr<PreparedReading> m_preparedReading;
    ChunkSource m_prepareChunks = &ReadingPlayer::defaultPrepareChunks;
    ReplacementHistory m_replacement;
    std::unique_ptr<PlaybackPersistence> m_persistence;
    // Last, so that it goes first: every task is cancelled before anything it could reach.
    PlayerTasks m_tasks;
};

template <typename Change>
void ReadingPlayer::changeSession(Change&& change) {
    change(m_session);
    emit sessionChanged();
}

}  // namespace tavrine
