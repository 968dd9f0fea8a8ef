#pragma once

#include "PelmoraMac/Library/LibraryFileReader.h"
#include "PelmoraMac/Library/ReaderFileDrop.h"
#include "ReaderCore/CancellationToken.h"
#include "ReaderCore/Json.h"
#include "ReaderCore/SavedReading.h"
#include "ReaderCore/SearchFold.h"
#include "ReaderCore/TaskHandle.h"
#include "ReaderStorage/ReadingStoreState.h"
#include "ReaderStorage/StoredReading.h"
#include "ReaderUI/PropertyWrite.h"

#include <QCoro/QCoroTask>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QUuid>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace tavrine {

class LibraryFileImporter;
class MacReadingPlayback;
class ReadingLibrarySearch;

// The document list beside the reader: the store's history and library as the store orders them, the
// search field's query and the rows it lets through, the selected row and the reading being opened for
// it, and the list's operations (select, play, add to the library, remove from the history, delete),
// which act through the player. Owned by the application, made once; main thread only.
//
// Observation: every observed field has a change signal that fires only when a written value differs
// from the one held (a renewed token always differs). The fields written by one step (an applied store
// state, a new query, a selection) signal together once the step has written all of them, so no slot
// sees the lists of one state with the limit or the selection of another.
//
// The rows shown, visibleItems, are computed once per change of what they depend on (the lists, the
// collection, the query and the library search's result), not per read.
//
// Asynchronous work: the store listener (load), the opening of a selected reading (one selection task at
// a time, renewed with selectionRequestID) and the store operations. Each holds the model through a
// QPointer and writes nothing once the model is gone or its guard has changed. The file import is the
// model's LibraryFileImporter, which writes the file-import fields through the model's own steps.
class ReaderHistoryModel final : public QObject {
    Q_OBJECT

public:
    enum class Collection {
        history,
        library,
    };
    Q_ENUM(Collection)

    Q_PROPERTY(QList<tavrine::StoredReading> history READ history NOTIFY historyChanged)
    Q_PROPERTY(QList<tavrine::StoredReading> library READ library NOTIFY libraryChanged)
    Q_PROPERTY(qint64 historyLimit READ historyLimit NOTIFY historyLimitChanged)
    Q_PROPERTY(bool isLoaded READ isLoaded NOTIFY isLoadedChanged)
    Q_PROPERTY(bool isBusy READ isBusy NOTIFY isBusyChanged)
    Q_PROPERTY(std::optional<QString> message READ message NOTIFY messageChanged)
    Q_PROPERTY(bool isImportingFile READ isImportingFile NOTIFY isImportingFileChanged)
    Q_PROPERTY(bool isSavingFile READ isSavingFile NOTIFY isSavingFileChanged)
    Q_PROPERTY(std::optional<QString> fileImportMessage READ fileImportMessage NOTIFY fileImportMessageChanged)
    Q_PROPERTY(std::optional<QString> fileImportDetails READ fileImportDetails NOTIFY fileImportDetailsChanged)
    Q_PROPERTY(bool fileImportFailed READ fileImportFailed NOTIFY fileImportFailedChanged)
    Q_PROPERTY(QString query READ query WRITE setQuery NOTIFY queryChanged)
    Q_PROPERTY(Collection collection READ collection WRITE setCollection NOTIFY collectionChanged)
    Q_PROPERTY(std::optional<QUuid> selectedID READ selectedID NOTIFY selectedIDChanged)
    Q_PROPERTY(std::optional<QUuid> loadingID READ loadingID NOTIFY loadingIDChanged)
    Q_PROPERTY(QUuid selectionRequestID READ selectionRequestID NOTIFY selectionRequestIDChanged)
    Q_PROPERTY(QUuid fileRequestID READ fileRequestID NOTIFY fileRequestIDChanged)
    Q_PROPERTY(QUuid fileNoticeID READ fileNoticeID NOTIFY fileNoticeIDChanged)
    Q_PROPERTY(bool isTerminating READ isTerminating NOTIFY isTerminatingChanged)
    Q_PROPERTY(QList<tavrine::StoredReading> visibleItems READ visibleItems NOTIFY visibleItemsChanged)

    // The failure texts of the list's operations, written to message.
    static const QString kOpenFailed;
    static const QString kPlayFailed;
    static const QString kAddToLibraryFailed;
    static const QString kRemoveFromHistoryFailed;
    static const QString kDeleteFailed;
    static const QString kAddCurrentFailed;

    // The display title is matched on this many Characters at most.
    static constexpr qsizetype kQuickMatchTitleCharacters = 100;
    // A text row's preview: the first kPreviewSourceCharacters of the text, its runs of white space made
    // one space, cut to kPreviewCharacters.
    static constexpr qsizetype kPreviewSourceCharacters = 512;
    static constexpr qsizetype kPreviewCharacters = 120;

    // Reads a chosen file into what the store imports (LibraryFileReader::load by default).
    using FileLoader = std::function<QCoro::Task<LibraryFileReader::Result>(QUrl, CancellationToken)>;
    // Yields the place of the file a request imports; resumes on the main thread.
    using URLResolver = std::function<QCoro::Task<tl::expected<QUrl, LibraryImportFailure>>(CancellationToken)>;

    // The notices of a successful import and of a file panel that gave no file (a failed import's words
    // are importFailureMessage's).
    static const QString kFileImported;
    static const QString kFileSelectionFailed;
    // A drop's place is waited for this long.
    static constexpr std::chrono::seconds kDropTimeout{10};

    // search: the full-text search the model owns; playback: the store (or none) and the player, which
    // must outlive the model; onReadingAction runs before the model opens a reading (select and play);
    // fileLoader reads the files the model imports.
    ReaderHistoryModel(std::unique_ptr<ReadingLibrarySearch> search, MacReadingPlayback& playback,
                       std::function<void()> onReadingAction, FileLoader fileLoader = defaultFileLoader());
    ~ReaderHistoryModel() override;

    // ---- Observed state ----
    const QList<StoredReading>& history() const { return m_history; }
    const QList<StoredReading>& library() const { return m_library; }
    // The store's history limit, as in the last applied state.
    qint64 historyLimit() const { return m_historyLimit; }
    // A store state has been applied, or there is no store. Never goes back to false.
    bool isLoaded() const { return m_isLoaded; }
    // A store operation of the list runs.
    bool isBusy() const { return m_isBusy; }
    // The failure text of the last list operation; nothing after a success.
    const std::optional<QString>& message() const { return m_message; }
    bool isImportingFile() const { return m_isImportingFile; }
    bool isSavingFile() const { return m_isSavingFile; }
    std::optional<QString> fileImportMessage() const { return m_fileImportMessage; }
    std::optional<QString> fileImportDetails() const { return m_fileImportDetails; }
    bool fileImportFailed() const { return m_fileImportFailed; }
    // The search field's text, untrimmed.
    const QString& query() const { return m_query; }
    Collection collection() const { return m_collection; }
    const std::optional<QUuid>& selectedID() const { return m_selectedID; }
    // The reading the selection task is opening.
    const std::optional<QUuid>& loadingID() const { return m_loadingID; }
    // Tokens: an asynchronous step writes its result only while the token it started with is current.
    QUuid selectionRequestID() const { return m_selectionRequestID; }
    QUuid fileRequestID() const { return m_fileRequestID; }
    QUuid fileNoticeID() const { return m_fileNoticeID; }
    bool isTerminating() const { return m_isTerminating; }
    // The rows the list shows: the chosen collection, filtered by the query, in the store's order.
    const QList<StoredReading>& visibleItems() const;

    // ---- Unobserved ----
    MacReadingPlayback& playback() const { return m_playback; }
    ReadingLibrarySearch& search() const { return *m_search; }
    const TaskHandle& selectionTask() const { return m_selectionTask; }
    // The running file import; none runs.
    const TaskHandle& fileTask() const;

    // ---- The store's lists ----
    // Follows the store's states, applying each, until token is cancelled or the store's stream ends
    // (with the store). Without a store, marks the model loaded and returns.
    QCoro::Task<void> load(CancellationToken token = CancellationToken::none());
    // Applies the store's current state once; what the list's operations do after their store work.
    QCoro::Task<void> refresh();
    // Takes over the lists and the limit of state, marks the model loaded, updates the search and drops a
    // selection that is no longer shown. The lists are kept as they come, never sorted or cut.
    void apply(const ReadingStoreState& state);

    // ---- Query, collection and rows ----
    // Both setters run their steps also when the value is unchanged: the file notice is cleared, and the
    // selection is checked (a new query also goes to the search).
    void setQuery(const QString& query);
    void setCollection(Collection collection);
    void applyCollection(Collection collection);
    // Hands every reading of the history, then of the library, and the query to the search.
    void updateSearch();
    // The rows of items that pass the query, in their order: all of them for a blank query, else those
    // the search found, or, while it has no result, those the quick match takes.
    QList<StoredReading> filteredItems(const QList<StoredReading>& items) const;
    // The list's own match with a trimmed, non-blank query: an EPUB creator, then the display title (its
    // first kQuickMatchTitleCharacters), then the text contains it under SearchFold.
    bool quickMatch(const StoredReading& item, const QString& query) const;
    // Drops the selection, and its opening, when its row is not shown.
    void reconcileSelection();
    // Renews fileNoticeID and empties the file notice; message stays.
    void clearFileNotice();

    // The one-line preview of a row: "EPUB · " and the authors for a book, else the start of the text
    // with its white space made single spaces; either made one line by oneLineText.
    static QString rowPreview(const SavedReading& reading);
    // The progress of a row: a percentage truncated and kept below 100 until the reading is completed;
    // compact decides only the texts of the start and of a completed reading.
    static QString rowProgress(const StoredReading& item, bool compact);

    // ---- Operations on readings ----
    // Selects the row of id (nothing: clears the selection) and opens its reading, paused, unless the
    // player shows it already or it is being opened. A row not shown is not selected.
    void select(const std::optional<QUuid>& id);
    // Drops the selection alone, keeping the player's replacement undo and redo (which select(nothing)
    // forgets): what the application does after an undo, the sample or a capture.
    void clearSelection();
    // Opens the reading of a shown row and asks for playback (from its start with fromStart; at once when
    // the application is active, else when it becomes active). The selection is left as it is.
    QCoro::Task<void> play(QUuid id, bool fromStart, bool isActive);
    // The store operations: none without a store or while another runs (nothing changes, no message).
    QCoro::Task<void> addToLibrary(QUuid id);
    QCoro::Task<void> removeFromHistory(QSet<QUuid> ids);
    QCoro::Task<void> deleteDocument(QUuid id);
    // The player's current reading is in the library.
    bool isCurrentInLibrary() const;
    // There is a store, no operation runs, and the player holds a reading with a text that is not blank
    // and not in the library.
    bool canAddCurrentToLibrary() const;
    QCoro::Task<void> addCurrentToLibrary();
    // Drops a pending opening (the selection stays) before the application opens a reading otherwise.
    void cancelPendingSelection();
    // The application quits: no file import starts any more; a pending opening goes on.
    void prepareForTermination();

    // ---- The file import ----
    // One request at a time, each a task of its own: resolve the file's place, read it, store it, then
    // show the library with an empty query and the new reading selected and opened at its start. A newer
    // request, a cancellation, a cleared notice or another reading opened in the player makes an older
    // request fall silent; once the store has begun writing, the write completes and the reading stays.
    //
    // Starts a request for the file resolve yields. canContinue, when given, is asked again before the
    // file is read and before it is stored; its false ends the request with the "unavailable" notice.
    // Nothing happens without a store or while the application quits.
    void beginFileImport(URLResolver resolve, std::function<bool()> canContinue = {});
    // A resolver that yields url itself: the file panel's choice.
    static URLResolver passThroughURL(QUrl url);
    // A drop of urls (what the desktop handed over, not yet checked): false, changing nothing, when
    // canImport says no (when given), without a store, before the lists are loaded, or while a list
    // operation, an import or the quit runs. Otherwise true: more or fewer than one item, or one that
    // offers no file URL, is told in the notice; one file pauses the player and is imported.
    bool importDroppedFiles(const QList<QUrl>& urls, std::function<bool()> canImport = {});
    // The same for the items of a drop, whose file URLs may come late: waited for kDropTimeout on clock
    // (which must outlive the import).
    bool importDroppedItems(QList<std::shared_ptr<ReaderDropItem>> items, std::function<bool()> canImport,
                            const Clock& clock = SystemClock::shared());
    // The file panel could not give a file (not the user closing it).
    void fileSelectionFailed();
    // Ends the running request, silently; ignored while the store writes its reading.
    void cancelFileImport();
    // Shows the notice of a drop refused before any request started.
    void reportImportFailure(ReaderFileDropFailure failure);

    static FileLoader defaultFileLoader();

signals:
    void historyChanged();
    void libraryChanged();
    void historyLimitChanged();
    void isLoadedChanged();
    void isBusyChanged();
    void messageChanged();
    void isImportingFileChanged();
    void isSavingFileChanged();
    void fileImportMessageChanged();
    void fileImportDetailsChanged();
    void fileImportFailedChanged();
    void queryChanged();
    void collectionChanged();
    void selectedIDChanged();
    void loadingIDChanged();
    void selectionRequestIDChanged();
    void fileRequestIDChanged();
    void fileNoticeIDChanged();
    void isTerminatingChanged();
    void visibleItemsChanged();

private:
    using Signal = void (ReaderHistoryModel::*)();

    // While one lives, the model's change signals wait; the last one to go emits them, each once.
    class ChangeBatch {
    public:
        explicit ChangeBatch(ReaderHistoryModel& model) : m_model(model) { ++m_model.m_batchDepth; }
        ChangeBatch(const ChangeBatch&) = delete;
        ChangeBatch& operator=(const ChangeBatch&) = delete;
        ~ChangeBatch() {
            if (--m_model.m_batchDepth == 0) m_model.flushChanges();
        }

    private:
        ReaderHistoryModel& m_model;
    };
    struct QuickMatchFolds;
    // The store operations of the list: how each one is refused, run and worded.
    struct StoreOperation;

    static QCoro::Task<void> followStore(QPointer<ReaderHistoryModel> self, CancellationToken token);
    static QCoro::Task<void> refreshFrom(QPointer<ReaderHistoryModel> self);
    static QCoro::Task<void> openSelection(QPointer<ReaderHistoryModel> self, QUuid requestID,
                                           std::optional<QUuid> readingAtRequest, QUuid id, CancellationToken token);
    static QCoro::Task<void> playReading(QPointer<ReaderHistoryModel> self, QUuid id, bool fromStart, bool isActive);
    static QCoro::Task<void> runStoreOperation(QPointer<ReaderHistoryModel> self, StoreOperation operation);
    // The document list as its file importer sees it.
    class FileImportList;
    static std::unique_ptr<LibraryFileImporter> makeFileImporter(ReaderHistoryModel& model, FileLoader loader);
    static QCoro::Task<void> settleImportOpening(QPointer<ReaderHistoryModel> self, CancellationToken importToken);

    // Writes field and, when it changed, signals (at the end of the running batch, if any).
    template <typename T, typename U>
    void write(T& field, U&& value, Signal changed) {
        if (assignIfChanged(field, std::forward<U>(value))) notify(changed);
    }
    void notify(Signal changed);
    void flushChanges();
    // The rows depend on something that changed.
    void invalidateVisibleItems();
    // Cancels the selection task, renews the selection token and clears loadingID.
    void abandonPendingSelection();
    bool isShown(const QUuid& id) const;
    QuickMatchFolds& foldsOf(const SavedReading& reading) const;
    bool quickMatchFolded(const StoredReading& item, const QString& foldedQuery) const;
    void pruneQuickMatchFolds();

    std::unique_ptr<ReadingLibrarySearch> m_search;
    MacReadingPlayback& m_playback;
    std::function<void()> m_onReadingAction;
    SearchFold m_fold;

    QList<StoredReading> m_history;
    QList<StoredReading> m_library;
    qint64 m_historyLimit = ReadingStoreState::kDefaultHistoryLimit;
    bool m_isLoaded = false;
    bool m_isBusy = false;
    std::optional<QString> m_message;
    bool m_isImportingFile = false;
    bool m_isSavingFile = false;
    std::optional<QString> m_fileImportMessage;
    std::optional<QString> m_fileImportDetails;
    bool m_fileImportFailed = false;
    QString m_query;
    Collection m_collection = Collection::history;
    std::optional<QUuid> m_selectedID;
    TaskHandle m_selectionTask;
    std::optional<QUuid> m_loadingID;
    QUuid m_selectionRequestID = QUuid::createUuid();
    QUuid m_fileRequestID = QUuid::createUuid();
    QUuid m_fileNoticeID = QUuid::createUuid();
    bool m_isTerminating = false;

    // The rows shown and whether they must be computed again; visibleItemsChanged is owed once they
    // differ from the ones last signalled.
    mutable QList<StoredReading> m_visibleItems;
    mutable bool m_visibleItemsStale = false;
    mutable bool m_visibleItemsChanged = false;
    // The quick match's folds of each reading, made when first needed.
    mutable QHash<QUuid, std::shared_ptr<QuickMatchFolds>> m_quickMatchFolds;

    int m_batchDepth = 0;
    QList<Signal> m_pendingSignals;
    // Cancelled when the model goes: ends the store listener's wait.
    CancellationToken m_lifetime;
    // Last, so that it goes first: a request that resumes later finds it gone.
    std::unique_ptr<LibraryFileImporter> m_fileImporter;
};

template <>
struct EnumTable<ReaderHistoryModel::Collection> {
    static constexpr auto entries = std::to_array<std::pair<ReaderHistoryModel::Collection, std::u16string_view>>({
        {ReaderHistoryModel::Collection::history, u"履歴"},
        {ReaderHistoryModel::Collection::library, u"ライブラリ"},
    });
};

}  // namespace tavrine
