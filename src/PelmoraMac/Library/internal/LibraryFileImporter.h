#pragma once

#include "PelmoraMac/Library/LibraryFileReader.h"
#include "PelmoraMac/Library/LibraryImportFailure.h"
#include "ReaderCore/CancellationToken.h"
#include "ReaderCore/TaskHandle.h"
#include "ReaderStorage/LibraryFileImport.h"
#include "ReaderStorage/StoreFailure.h"

#include <QCoro/QCoroTask>
#include <QUrl>
#include <QUuid>
#include <tl/expected.hpp>

#include <functional>
#include <memory>
#include <optional>

namespace tavrine {

// What a file request compares against: the list's request, its notice, the player's reading and the
// selected row. A request keeps the one it started with (and, once it has selected its reading, the one
// it left); the list gives the one it has now.
struct FileImportMark {
    QUuid requestID;
    QUuid noticeID;
    std::optional<QUuid> reading;
    // In a request's mark: the row the request selected, nothing before it has selected one (the user's
    // selection is then not part of the rule). In the list's: the selected row.
    std::optional<QUuid> selected;

    bool operator==(const FileImportMark&) const = default;
};

enum class FileImportStanding {
    // The request may act and speak: read, store, select its reading, show a notice.
    current,
    // The user has moved on (another notice, another reading, another selection): a chosen file is still
    // read and stored, but the request selects nothing and says nothing.
    silenced,
    // Cancelled, or a newer request owns the list: the request ends at once, silently.
    superseded,
};

// The one staleness rule of a file request, asked after each of its waits.
FileImportStanding fileImportStanding(const FileImportMark& request, const FileImportMark& now, bool isCancelled);

// The document list's file import: one request at a time, each a task of its own that resolves the file's
// place, reads the file, stores it, then shows it selected in the library and says so. A request
// replaced by a newer one ends at its next step before the newer one starts; once the store has begun
// writing, the write completes. Main thread only.
class LibraryFileImporter {
public:
    // Reads a chosen file into what the store imports.
    using FileLoader = std::function<QCoro::Task<LibraryFileReader::Result>(QUrl, CancellationToken)>;
    // Yields the place of the file a request imports; resumes on the main thread.
    using URLResolver = std::function<QCoro::Task<tl::expected<QUrl, LibraryImportFailure>>(CancellationToken)>;

    // What the importer reads of the list it imports into and what it asks of it. Each call that writes
    // is one step of the list: its observers see all of it or nothing.
    class List {
    public:
        virtual ~List() = default;
        virtual FileImportMark mark() const = 0;
        // A store to import into, and the application not quitting.
        virtual bool canImport() const = 0;
        virtual bool hasStore() const = 0;
        // The store writes a request's reading.
        virtual bool isSaving() const = 0;
        // A request starts: the list's request becomes requestID, its notice is cleared, importing on and
        // saving off.
        virtual void beginRequest(const QUuid& requestID) = 0;
        // The running request is dropped: the list's request becomes requestID, importing off, the notice
        // cleared.
        virtual void abandonRequest(const QUuid& requestID) = 0;
        virtual void beginSaving() = 0;
        // A request ends: failure (when given) goes to the notice, and importing and saving go off when the
        // request is still the list's one.
        virtual void endRequest(bool isListRequest, const std::optional<LibraryImportFailure>& failure) = 0;
        virtual QCoro::Task<StoreResult<QUuid>> storeFile(LibraryFileImport file) = 0;
        // Brings the list up to the store's state.
        virtual QCoro::Task<void> refresh() = 0;
        // Shows the library, unfiltered, with id selected; the selection starts opening it.
        virtual void selectImported(const QUuid& id) = 0;
        // Waits for the opening the selection started, which cancelling importToken stops; then ends its
        // loading state unless a newer selection has taken over.
        virtual QCoro::Task<void> settleOpening(CancellationToken importToken) = 0;
        virtual void announceImported() = 0;
    };

    LibraryFileImporter(std::unique_ptr<List> list, FileLoader loader);
    ~LibraryFileImporter();
    LibraryFileImporter(const LibraryFileImporter&) = delete;
    LibraryFileImporter& operator=(const LibraryFileImporter&) = delete;

    // Starts a request for the file resolve yields, replacing the running one. canContinue, when given,
    // is asked before the file is read and before it is stored; its false ends the request with the
    // "unavailable" notice, and a request with it is also abandoned, before its file is read, once the
    // user has moved on. Nothing happens when the list cannot import.
    void start(URLResolver resolve, std::function<bool()> canContinue = {});
    // Ends the running request silently; ignored while the store writes its reading.
    void cancel();
    // Cancels the running request's task alone (the application quits).
    void stop();
    // The running request; none runs.
    const TaskHandle& task() const { return m_task; }

private:
    struct Request;
    using Self = std::shared_ptr<LibraryFileImporter*>;

    static QCoro::Task<void> perform(Self self, std::shared_ptr<Request> request, CancellationToken token);
    static QCoro::Task<void> saveAndShow(Self self, std::shared_ptr<Request> request, CancellationToken token,
                                         LibraryFileImport file);
    FileImportStanding standing(const Request& request, const CancellationToken& token) const;
    // Ends request, showing failure when it may still speak.
    void fail(const Request& request, const CancellationToken& token, const LibraryImportFailure& failure);
    void end(const Request& request, const std::optional<LibraryImportFailure>& failure = std::nullopt);

    std::unique_ptr<List> m_list;
    FileLoader m_loader;
    TaskHandle m_task;
    // Points at this importer while it lives: a request that resumes afterwards finds nothing and stops.
    Self m_self;
};

}  // namespace tavrine
