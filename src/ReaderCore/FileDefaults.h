#pragma once

#include "ReaderCore/AtomicFileWrite.h"
#include "ReaderCore/Defaults.h"
#include "ReaderCore/SerialExecutor.h"

#include <QJsonObject>
#include <QSet>
#include <QThread>
#include <QTimer>

#include <tl/expected.hpp>

#include <functional>
#include <memory>

namespace tavrine {

class SettingsFile;

// The user's settings kept in one JSON object in a file: by default
// <user configuration directory>/org.tavrine.Tavrine/defaults.json. The file is read once, when the
// object is made, as a regular file of at most 1 MiB (opened without waiting, so a FIFO in its place
// cannot hold up the start); a missing file means no settings. Before that, the temporary files that
// writes killed in the middle left beside the file are removed (only the names the writer makes).
//
// A change takes effect in memory at once and is handed, on the next turn of the event loop, to the settings'
// own writer thread, which writes the whole file; a burst of changes (a dragged slider) costs one write,
// and so do the changes made while a write is under way: the next write takes them all, and the last value
// of a key wins. Nothing here ever waits for a write, however slow the disk: the values, their changes and
// what stderr and keepsChanges() say of a write all stay on the main thread. The write is atomic: the
// file holds either the old or the new settings (every byte written and synced before the new file takes
// the old one's name, so a full disk, a quota or an I/O error fails the write rather than cut the file; a
// link in the file's place leads to the file replaced, and the file keeps its permissions). A file that
// this user may not write (made read-only, or another user's) is never replaced nor moved aside, although
// its folder may be written: the write fails. A failed write keeps the old file and every value in memory
// (a later change or sync() tries again) and clears keepsChanges() until a write succeeds. A failure is
// one warning until the settings are kept again, never an error for the caller. The file is written
// indented, or compact when only that fits the size a start reads; settings that would not fit even so
// are not written (a failure like any other), so no start ever refuses a file written here.
//
// JSON has no literal for binary data or for NaN and the infinities, so those are written as one-key
// objects ({"data": "<Base64>"}, {"number": "nan" | "inf" | "-inf"}); every other value is its JSON
// counterpart. Entries that hold none of these shapes are no value to the reader but are kept in the
// file. A file that cannot be read as a JSON object means no settings, with one warning that says what
// will become of it: a regular file (too large, not JSON, unreadable) is moved aside to "<file>.corrupt"
// before a new file takes its place. Where a link stands in the file's place (to such a file, or in a
// loop), the link is what moves aside, so the file it leads to is never written while it cannot be read
// as settings. A file this user may not write stays as it is, and so does anything else (a FIFO, a
// device, a directory): no write replaces it. A copy kept aside never replaces an earlier one: it takes
// the first free name of "<file>.corrupt", "<file>.corrupt-2", "<file>.corrupt-3", …
//
// The file is the person's too, and other writers may share it (an editor, a dotfiles folder): before a
// write replaces it, it is looked at again, and when it is no longer what this object last read or wrote
// (its bytes, its owner or mode, a link swapped), it is read again as at the start. Its entries are then
// taken, with the keys set or removed here since the last read or write put over them, so that an edit
// of another key survives and a key both changed ends with the value set here; a file that no longer
// parses is kept aside as above, and the settings held here go into a new file. The file is looked at
// once more right before the new file takes its name, after it is written and synced: a save by another
// writer in that span is taken, or kept aside, as above, and the write is made again from the settings
// then held (a few times at most, after which the write fails like any other). What a write leaves is
// read back, so that a save that replaced it at once is taken at the next write rather than written over.
// A write that finds the file changed but already holding every value set here (a writer that read them
// and wrote them back) has landed: the file's entries are taken and nothing is written again. A changed
// file that holds no settings (it may be one that a writer in place has cut and not yet written whole) is
// looked at again after a short pause, and judged only once it stood still in it, an empty file only once
// it stood still for 2 s: the copy kept aside is the file judged then, and the line on stderr is said of it
// as it is moved. Should a copy kept aside while empty be written after all (through the descriptor its
// writer held), the next write takes its entries, as another writer's save, and says so.
//
// Owned by the application, on the main thread; its file is read there once, when it is made, and written
// only on the writer thread it owns. Destroying it waits for the save under way and writes what is left.
class FileDefaults final : public Defaults {
public:
    // The steps at which another writer may act, which tests stand in for; called on the writer thread.
    struct Steps {
        // How a write replaces the file: replaceFileAtomically().
        std::function<tl::expected<void, FileWriteError>(
            const QString& path, const std::function<bool(FileContents&)>& produce, const SharedFileCheck& check)>
            replaceFile = replaceFileAtomically;
        // The pause before a changed file that holds no settings is looked at once more: long enough for
        // a writer in place to finish (100 ms). Such a file is judged once it stood still through one, an
        // empty file through 20.
        std::function<void()> pause = [] { QThread::msleep(100); };
    };

    // Where the application keeps its settings; only looked up, nothing is created.
    static QString applicationFile();

    explicit FileDefaults(QString path);
    FileDefaults(QString path, Steps steps);
    FileDefaults(const FileDefaults&) = delete;
    FileDefaults& operator=(const FileDefaults&) = delete;
    // Writes what is still pending.
    ~FileDefaults() override;

    std::optional<DefaultsValue> object(const QString& key) const override;
    void remove(const QString& key) override;
    QString location() const override { return m_path; }

    // Writes pending changes now, waiting for the writer thread: for the end of the process and for tests,
    // never for the window. True when the file holds every value (also when nothing was pending).
    bool sync();

    const QString& path() const { return m_path; }
    // How often the file has been written, for diagnostics.
    qint64 writeCount() const { return m_writeCount; }
    // How many saves have ended without the file holding every value, for diagnostics.
    qint64 failedSaveCount() const { return m_failedSaveCount; }

protected:
    void setValue(const QString& key, DefaultsValue value) override;

private:
    struct Save;

    void changed(const QString& key);
    // Hands the changes not handed over yet to the writer thread, unless a save is under way: they then go
    // once it has ended.
    void handOver();
    // Takes what the save under way came to, once it has ended: told by its watcher, or waited for.
    void takeSave(bool toldByWatcher);

    QString m_path;
    QJsonObject m_entries;
    // The keys set or removed here that no save has been handed yet.
    QSet<QString> m_unsent;
    // Whether the last save ended with the file holding every value it was handed.
    bool m_savedAll = true;
    // Whether stderr has said that the settings are not saved, since they last were.
    bool m_warnedNotSaved = false;
    qint64 m_writeCount = 0;
    qint64 m_failedSaveCount = 0;
    QTimer m_writeTimer;
    // Touched on the writer thread only, once made.
    std::unique_ptr<SettingsFile> m_file;
    SerialExecutor m_writer;
    // The save under way, if any.
    std::unique_ptr<Save> m_save;
};

}  // namespace tavrine
