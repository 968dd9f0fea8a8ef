#pragma once

#include "ReaderCore/FileDefaults.h"
#include "ReaderCore/FileState.h"

#include <QHash>
#include <QJsonObject>
#include <QSet>
#include <QStringList>

#include <tl/expected.hpp>

#include <optional>

namespace tavrine {

// What one save of the settings came to, handed back to the thread that keeps the values.
struct SettingsSave {
    // The settings as the file holds them, or will once the failure is gone: the values handed over, with
    // what another writer saved meanwhile.
    QJsonObject entries;
    // What stderr is to say, in order.
    QStringList lines;
    // Why the settings are not kept, as the warning says it; nothing when the file holds them.
    std::optional<QString> failure;
    // One of the lines already said why changed settings are not saved there: nothing more is to be said of
    // it while that lasts.
    bool saidWhyNotSaved = false;
    // How many files the save wrote.
    qint64 writes = 0;
};

// The settings file as one writer sees it: what it last read or wrote, the keys changed since, and every
// look, merge, copy kept aside and write (see FileDefaults for what each does). Made and opened on the
// thread that keeps the values; after that, only the settings' own writer thread touches it, one save at
// a time, and nothing it does waits for that thread.
class SettingsFile {
public:
    // A change handed over: the new value under its key, or nothing for a key removed.
    using Changes = QHash<QString, std::optional<QJsonValue>>;

    SettingsFile(QString path, FileDefaults::Steps steps);
    SettingsFile(const SettingsFile&) = delete;
    SettingsFile& operator=(const SettingsFile&) = delete;

    // Removes what interrupted writes left beside the file, then reads it: its entries, and what to say.
    SettingsSave open();
    // Takes the changes, then writes the file when anything is not in it yet (also what an earlier save
    // failed to write).
    SettingsSave save(const Changes& changes);

private:
    // What a look at the file before a write came to.
    enum class Look {
        same,       // nothing changed since it was last read or written
        taken,      // changed, and its entries are taken under the ones changed here
        holdsAll,   // changed, and it already holds every value held here: nothing to write
        unsettled,  // changed, holds no settings and is still being written: not judged yet
    };
    // What one try of a write came to: the file holds the settings, or another writer changed it meanwhile
    // and the next try takes what it wrote.
    enum class Try { written, overtaken };
    // A file that was kept aside while empty, which a writer in place may still fill.
    struct EmptyAside {
        QString name;
        FileState state;
        // The keys changed here since the file was last read before it was emptied.
        QSet<QString> changedKeys;
    };

    void removeLeftovers();
    void read();
    Look readAgainIfChanged();
    // The entries of what the file holds now, or why it holds no settings, once it stood still long enough
    // to be judged; nothing when it changed again meanwhile.
    std::optional<tl::expected<QJsonObject, QString>> readWhenStill(tl::expected<QJsonObject, QString> entries);
    // Takes the entries of a copy kept aside while empty that a writer in place has written since.
    void takeWrittenAside();
    // The file's entries with the keys changed here put over them.
    QJsonObject mergedOver(QJsonObject entries, const QSet<QString>& changedKeys) const;
    tl::expected<QJsonObject, QString> readEntries(const QString& path) const;
    void refuseFile(const QString& lead);
    void sayRefusal();
    tl::expected<QString, QString> keepFileAside();
    QByteArray fileContents() const;
    std::optional<QString> write();
    tl::expected<Try, QString> tryWrite();
    void warn(const QString& line) { m_said.lines.append(line); }

    QString m_path;
    FileDefaults::Steps m_steps;
    QJsonObject m_entries;
    // The keys set or removed since the file was last read or written: what a merge puts over its entries.
    QSet<QString> m_changedKeys;
    // The file as this writer last read or wrote it.
    FileState m_known;
    // A change that is not in the file yet.
    bool m_pending = false;
    // The file on disk could not be read as a JSON object: it is kept aside before the first write.
    bool m_keepsFileAside = false;
    // The name the warning gave for the copy kept aside.
    QString m_announcedAside;
    // The line that says what becomes of a file that holds no settings, until it is said.
    QString m_refusal;
    std::optional<EmptyAside> m_emptyAside;
    // What the save under way has to say.
    SettingsSave m_said;
};

}  // namespace tavrine
