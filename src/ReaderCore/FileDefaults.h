#pragma once

#include "ReaderCore/AtomicFileWrite.h"
#include "ReaderCore/Defaults.h"
#include "ReaderCore/FileState.h"

#include <QJsonObject>
#include <QSet>
#include <QThread>
#include <QTimer>

#include <tl/expected.hpp>

#include <functional>

namespace tavrine {

// The user's settings kept in one JSON object in a file: by default
// <user configuration directory>/org.tavrine.Tavrine/defaults.json. The file is read once, when the
// object is made, as a regular file of at most 1 MiB (opened without waiting, so a FIFO in its place
// cannot hold up the start); a missing file means no settings. Before that, the temporary files that
// writes killed in the middle left beside the file are removed (only the names the writer makes).
//
// A change takes effect in memory at once and schedules one write of the whole file for the next turn of
// the event loop, so a burst of changes (a dragged slider) costs one write. The write is atomic: the
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
// A changed file that holds no settings (it may be one that a writer in place has cut and not yet
// written whole) is looked at again after a short pause, and judged only once it stood still in it: the
// copy kept aside is the file judged then, and the line on stderr is said of it as it is moved.
//
// Owned by the application, main thread only.
class FileDefaults final : public Defaults {
public:
    // The steps at which another writer may act, which tests stand in for.
    struct Steps {
        // How a write replaces the file: replaceFileAtomically().
        std::function<tl::expected<void, FileWriteError>(
            const QString& path, const std::function<bool(FileContents&)>& produce, const SharedFileCheck& check)>
            replaceFile = replaceFileAtomically;
        // The pause before a changed file that holds no settings is looked at once more: long enough for
        // a writer in place to finish (100 ms).
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

    // Writes pending changes now. True when the file holds every value (also when nothing was pending).
    bool sync();

    const QString& path() const { return m_path; }
    // How often the file has been written, for diagnostics.
    qint64 writeCount() const { return m_writeCount; }

protected:
    void setValue(const QString& key, DefaultsValue value) override;

private:
    // Removes the temporary files that writes killed in the middle left beside the file.
    void removeLeftovers();
    void read();
    // Takes what the file holds when it is no longer what this object last read or wrote; false when it
    // holds no settings and changed again during the pause (still being written): not judged yet.
    bool readAgainIfChanged();
    // The file's entries (none when there is no file), or why it holds no settings.
    tl::expected<QJsonObject, QString> readEntries() const;
    // Decides what becomes of a file that holds no settings, and says so in one line that starts with lead
    // (which names the file and why): at once, or, for a file to be kept aside, through sayRefusal().
    void refuseFile(const QString& lead);
    // Says the line refuseFile() kept back, if any.
    void sayRefusal();
    // Moves the file (or the link in its place) aside to the first free name beside it; the name it took
    // (empty when nothing was there to move), or what went wrong, as the warning says it.
    tl::expected<QString, QString> keepFileAside();
    void changed();
    // The file's text for the entries now.
    QByteArray fileContents() const;
    // Writes the file; what went wrong, as the warning says it, or nothing.
    std::optional<QString> write();
    // What one try of a write came to: the file holds the settings, or another writer changed it meanwhile
    // and the next try takes what it wrote.
    enum class Try { written, overtaken };
    // One try of write(): what went wrong, as the warning says it, or how it ended.
    tl::expected<Try, QString> tryWrite();

    QString m_path;
    Steps m_steps;
    QJsonObject m_entries;
    // The keys set or removed since the file was last read or written: what a merge puts over its entries.
    QSet<QString> m_changedKeys;
    // The file as this object last read or wrote it.
    FileState m_known;
    // A change that is not in the file yet.
    bool m_pending = false;
    // The file on disk could not be read as a JSON object: it is kept aside before the first write.
    bool m_keepsFileAside = false;
    // The name the warning gave for the copy kept aside.
    QString m_announcedAside;
    // The line that says what becomes of a file that holds no settings, until it is said.
    QString m_refusal;
    // Whether stderr has said that the settings are not saved, since they last were.
    bool m_warnedNotSaved = false;
    qint64 m_writeCount = 0;
    QTimer m_writeTimer;
};

}  // namespace tavrine
