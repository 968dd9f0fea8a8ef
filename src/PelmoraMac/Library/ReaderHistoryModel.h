#pragma once

#include "ReaderCore/TaskHandle.h"
#include "ReaderStorage/StoredReading.h"

#include <QCoro/QCoroTask>
#include <QList>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

namespace tavrine {

class MacReadingPlayback;
class ReadingLibrarySearch;

// Slot: filled by the document list's model and its operations. Until then it holds the model's place
// with its initial state: nothing loaded, nothing selected, no import running; every operation does
// nothing and every question is answered no. Nothing makes one yet.
//
// The document list: the store's history and library, the search over them, the selection, and the
// list's operations, among them the import of a file. Owned by the application; main thread only.
class ReaderHistoryModel final {
public:
    enum class Collection {
        history,
        library,
    };

    // historyLimit: the most history entries shown. onReadingAction runs whenever the model acts on a
    // reading.
    ReaderHistoryModel(int historyLimit, std::unique_ptr<ReadingLibrarySearch> search, MacReadingPlayback& playback,
                       std::function<void()> onReadingAction);
    ~ReaderHistoryModel();

    // ---- What the shell reads ----
    MacReadingPlayback& playback() const { return m_playback; }
    const QList<StoredReading>& history() const { return m_history; }
    const QList<StoredReading>& library() const { return m_library; }
    // The first load from the store has finished.
    bool isLoaded() const { return false; }
    bool isBusy() const { return false; }
    bool isImportingFile() const { return false; }
    bool isSavingFile() const { return false; }
    bool fileImportFailed() const { return false; }
    bool isTerminating() const { return false; }
    std::optional<QString> fileImportMessage() const { return std::nullopt; }
    std::optional<QString> fileImportDetails() const { return std::nullopt; }
    Collection collection() const { return m_collection; }
    const std::optional<QUuid>& selectedID() const { return m_selectedID; }
    void clearSelection() { m_selectedID.reset(); }
    // The running file import; none runs.
    const TaskHandle& fileTask() const { return m_fileTask; }

    // ---- Operations ----
    // Follows the store's states until its task is cancelled.
    QCoro::Task<void> load() { co_return; }
    bool canAddCurrentToLibrary() const { return false; }
    bool isCurrentInLibrary() const { return false; }
    QCoro::Task<void> addCurrentToLibrary() { co_return; }
    void applyCollection(Collection collection) { Q_UNUSED(collection); }
    // Imports the file that resolve yields.
    void beginFileImport(std::function<std::optional<QUrl>()> resolve) { Q_UNUSED(resolve); }
    // Whether a drop of these files is taken.
    bool importDroppedFiles(const QList<QUrl>& urls) {
        Q_UNUSED(urls);
        return false;
    }
    void fileSelectionFailed() {}
    void cancelFileImport() {}
    void cancelPendingSelection() {}
    void prepareForTermination() {}

private:
    std::unique_ptr<ReadingLibrarySearch> m_search;
    MacReadingPlayback& m_playback;
    std::function<void()> m_onReadingAction;
    QList<StoredReading> m_history;
    QList<StoredReading> m_library;
    Collection m_collection = Collection::history;
    std::optional<QUuid> m_selectedID;
    TaskHandle m_fileTask;
};

}  // namespace tavrine
