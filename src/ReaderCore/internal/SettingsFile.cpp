#include "ReaderCore/internal/SettingsFile.h"

#include "ReaderCore/AtomicFileWrite.h"
#include "ReaderCore/RegularFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace tavrine {
using namespace Qt::StringLiterals;

namespace {

// The largest settings file read; a larger one is no settings file of ours.
constexpr qint64 kLargestFileBytes = 1 << 20;

// How many links in a row a write follows to the file it replaces, as many as the system follows.
constexpr int kLinkDepth = 40;

// How many times a write is made again when another writer changed the file while it was written.
constexpr int kWriteTries = 5;

// How many pauses a changed file that holds no settings must stand still through before it is judged: an
// empty one for 2 s (a writer in place that cut it may take that long to write it again), any other once.
constexpr int kEmptyStillPauses = 20;

// How many names a copy kept aside may take before a write gives up: "<file>.corrupt" and those after it.
constexpr int kAsideNames = 1000;

// The file a write replaces: the settings file, or the file a link in its place leads to, so that
// settings kept elsewhere and linked here (a person's managed configuration) stay there, link and all.
QString replacedFile(const QString& path) {
    QFileInfo file(path);
    for (int depth = 0; depth < kLinkDepth && file.isSymLink(); ++depth) file.setFile(file.symLinkTarget());
    return file.isSymLink() ? path : file.filePath();
}

// The number-th name for a copy of the file kept aside: "<file>.corrupt", then "<file>.corrupt-2", …
QString asideName(const QString& path, int number) {
    if (number == 1) return path + u".corrupt";
    return path + u".corrupt-" + QString::number(number);
}

// The first name for a copy kept aside that nothing has now.
QString freeAsideName(const QString& path) {
    for (int number = 1; number < kAsideNames; ++number) {
        const QString name = asideName(path, number);
        struct stat entry {};
        if (::lstat(QFile::encodeName(name).constData(), &entry) != 0 && errno == ENOENT) return name;
    }
    return asideName(path, kAsideNames);
}

// Whether state is of an empty regular file.
bool isEmptyFile(const FileState& state) {
    return state.file.error == 0 && S_ISREG(state.file.mode) && state.file.size == 0;
}

}  // namespace

SettingsFile::SettingsFile(QString path, FileDefaults::Steps steps)
    : m_path(std::move(path)), m_steps(std::move(steps)) {}

SettingsSave SettingsFile::open() {
    removeLeftovers();
    read();
    m_said.entries = m_entries;
    return std::exchange(m_said, {});
}

SettingsSave SettingsFile::save(const Changes& changes) {
    for (auto change = changes.cbegin(); change != changes.cend(); ++change) {
        const std::optional<QJsonValue>& value = change.value();
        const bool differs = value ? m_entries.value(change.key()) != *value : m_entries.contains(change.key());
        if (!differs) continue;
        if (value) {
            m_entries.insert(change.key(), *value);
        } else {
            m_entries.remove(change.key());
        }
        m_changedKeys.insert(change.key());
        if (m_emptyAside) m_emptyAside->changedKeys.insert(change.key());
        m_pending = true;
    }
    takeWrittenAside();
    if (m_pending) {
        m_said.failure = write();
        if (!m_said.failure) m_pending = false;
    }
    m_said.entries = m_entries;
    return std::exchange(m_said, {});
}

void SettingsFile::removeLeftovers() {
    // Beside the file that writes replace, where they make their temporary files: regular files, never a
    // link or a folder of the same name. No write is under way: the settings are made once the process
    // is the one instance, and no save starts before they are.
    const QFileInfo target(replacedFile(m_path));
    const QDir folder = target.dir();
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden | QDir::NoSymLinks)) {
        if (atomicWriteTarget(name) == target.fileName()) QFile::remove(folder.filePath(name));
    }
}

void SettingsFile::read() {
    // Looked at before it is read: a change in between is one more reason to read it again, never missed.
    m_known = fileStateOf(m_path);
    auto entries = readEntries(m_path);
    if (entries) {
        m_entries = std::move(*entries);
        return;
    }
    refuseFile(u"The settings file %1 %2"_s.arg(m_path, entries.error()));
    sayRefusal();
}

SettingsFile::Look SettingsFile::readAgainIfChanged() {
    FileState now = fileStateOf(m_path);
    if (now == m_known) return Look::same;
    m_known = std::move(now);
    auto entries = readWhenStill(readEntries(m_path));
    if (!entries) {
        // A state no file has: the next look reads it again.
        m_known = FileState{};
        return Look::unsettled;
    }
    if (!*entries) {
        // What the other writer left is the person's: kept aside, or left as it is, never written over.
        refuseFile(u"The settings file %1 was changed and now %2"_s.arg(m_path, entries->error()));
        return Look::taken;
    }
    QJsonObject merged = mergedOver(**entries, m_changedKeys);
    const bool holdsAll = merged == **entries;
    m_entries = std::move(merged);
    // Settings again: nothing is kept aside, and what was to be said of it no longer holds.
    m_keepsFileAside = false;
    m_refusal.clear();
    return holdsAll ? Look::holdsAll : Look::taken;
}

std::optional<tl::expected<QJsonObject, QString>> SettingsFile::readWhenStill(
    tl::expected<QJsonObject, QString> entries) {
    // Perhaps caught between the cut and the write of a writer in place (an editor through a link): judged
    // only once it has had the time to finish, and only once it stood still meanwhile, an empty file longest.
    for (int still = 0; !entries && still < (isEmptyFile(m_known) ? kEmptyStillPauses : 1); ++still) {
        m_steps.pause();
        FileState later = fileStateOf(m_path);
        const bool changing = later != m_known;
        m_known = std::move(later);
        entries = readEntries(m_path);
        if (!entries && changing) return std::nullopt;
    }
    return entries;
}

void SettingsFile::takeWrittenAside() {
    if (!m_emptyAside || fileStateOf(m_emptyAside->name) == m_emptyAside->state) return;
    m_emptyAside->state = fileStateOf(m_emptyAside->name);
    auto entries = readEntries(m_emptyAside->name);
    if (!entries || entries->isEmpty()) {
        // Gone, or still no settings: nothing to take (yet).
        if (m_emptyAside->state.entry.error != 0) m_emptyAside.reset();
        return;
    }
    // The save of a writer in place that landed in the copy: the person's, as if it had been made in the
    // file, with what was changed here since put over it.
    const QJsonObject merged = mergedOver(std::move(*entries), m_emptyAside->changedKeys);
    for (auto entry = merged.constBegin(); entry != merged.constEnd(); ++entry) {
        if (m_entries.value(entry.key()) != entry.value()) m_changedKeys.insert(entry.key());
    }
    m_entries = merged;
    warn(u"The settings file kept as %1 was written after it was set aside; its settings are taken."_s.arg(
        std::exchange(m_emptyAside, std::nullopt)->name));
    m_pending = true;
}

QJsonObject SettingsFile::mergedOver(QJsonObject entries, const QSet<QString>& changedKeys) const {
    for (const QString& key : changedKeys) {
        if (const auto entry = m_entries.constFind(key); entry != m_entries.constEnd()) {
            entries.insert(key, *entry);
        } else {
            entries.remove(key);
        }
    }
    return entries;
}

tl::expected<QJsonObject, QString> SettingsFile::readEntries(const QString& path) const {
    auto contents = readRegularFile(path, kLargestFileBytes);
    if (contents) {
        if (contents->isEmpty()) return tl::unexpected(u"is empty"_s);
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(*contents, &error);
        if (document.isObject()) return document.object();
        return tl::unexpected(u"is not a JSON object"_s);
    }
    if (const auto* refusal = std::get_if<FileRefusal>(&contents.error())) {
        return tl::unexpected(*refusal == FileRefusal::tooLarge ? u"is larger than %1 bytes"_s.arg(kLargestFileBytes)
                                                                : u"is not a regular file"_s);
    }
    const int code = std::get<FileReadError>(contents.error()).code;
    // No file there: nothing on its path, or a file where a folder of the path should be.
    if (code == ENOENT || code == ENOTDIR) return QJsonObject();
    return tl::unexpected(u"cannot be read (%1)"_s.arg(QString::fromLocal8Bit(std::strerror(code))));
}

void SettingsFile::refuseFile(const QString& lead) {
    // Keep for the user what they had there. A regular file is kept aside when the settings are next
    // saved: the file itself, or the link in its place, so that a file the link leads to (a person's managed
    // configuration) is never written while it cannot be read as settings. A link that leads nowhere (a
    // loop) is kept aside too. A file this user may not write is left as it is, and so is anything else (a
    // FIFO, a device, a directory): the settings are not saved over it.
    const bool isLink = QFileInfo(m_path).isSymLink();
    const QString target = replacedFile(m_path);
    m_keepsFileAside = isRegularFile(m_path) || (isLink && target == m_path);
    const bool mayWrite = m_keepsFileAside && mayReplaceFile(target);
    QString outcome;
    if (!m_keepsFileAside) {
        outcome = u"changed settings are not saved there"_s;
    } else if (!mayWrite) {
        outcome =
            u"the file is left as it is: this user may not write it, and changed settings are not saved "
            u"there while that lasts"_s;
    } else {
        m_announcedAside = freeAsideName(m_path);
        outcome = u"the %1 is kept as %2 when the settings are next saved, and they are saved in a new file"_s.arg(
            isLink ? u"link"_s : u"file"_s, m_announcedAside);
    }
    // Nothing more is said while the settings are not saved for the reason just given.
    if (!mayWrite) m_said.saidWhyNotSaved = true;
    m_refusal = u"%1; its settings are ignored and %2."_s.arg(lead, outcome);
    // A file to be kept aside is spoken of once the write is about to move it: should it change meanwhile,
    // it is judged again and the line would no longer be true of it.
    if (!mayWrite) sayRefusal();
}

void SettingsFile::sayRefusal() {
    if (!m_refusal.isEmpty()) warn(std::exchange(m_refusal, {}));
}

tl::expected<QString, QString> SettingsFile::keepFileAside() {
    for (int number = 1; number <= kAsideNames; ++number) {
        const QString aside = asideName(m_path, number);
        const auto moved = renameWithoutReplacing(m_path, aside);
        if (moved) {
            if (aside != m_announcedAside) warn(u"The settings file %1 is kept as %2."_s.arg(m_path, aside));
            return aside;
        }
        // Gone meanwhile: nothing is left to keep.
        if (moved.error().code == ENOENT) return QString();
        if (moved.error().code != EEXIST) {
            return tl::unexpected(u"The settings could not be saved: %1 cannot be kept aside as %2 (%3)."_s.arg(
                m_path, aside, QString::fromLocal8Bit(std::strerror(moved.error().code))));
        }
    }
    return tl::unexpected(
        u"The settings could not be saved: %1 cannot be kept aside, since %2 and the %3 names "
        u"after it are taken."_s.arg(m_path, asideName(m_path, 1), QString::number(kAsideNames - 1)));
}

QByteArray SettingsFile::fileContents() const {
    // Indented for a person who opens the file, as long as the next start reads it whole; compact
    // otherwise (a file of many entries grows by a sixth when indented).
    QByteArray text = QJsonDocument(m_entries).toJson(QJsonDocument::Indented);
    if (text.size() > kLargestFileBytes) text = QJsonDocument(m_entries).toJson(QJsonDocument::Compact);
    return text;
}

std::optional<QString> SettingsFile::write() {
    for (int attempt = 0; attempt < kWriteTries; ++attempt) {
        const auto tried = tryWrite();
        if (!tried) {
            sayRefusal();
            return tried.error();
        }
        if (*tried == Try::written) return std::nullopt;
        m_refusal.clear();
    }
    return u"The settings could not be saved to %1: another program changed it again at each of %2 tries."_s.arg(
        m_path, QString::number(kWriteTries));
}

tl::expected<SettingsFile::Try, QString> SettingsFile::tryWrite() {
    // Another writer's file is never written over unseen: taken, or kept aside, first. One that already
    // holds every value (a writer that read them and wrote them back) is this save landed.
    switch (readAgainIfChanged()) {
    case Look::unsettled: return Try::overtaken;
    case Look::holdsAll: m_changedKeys.clear(); return Try::written;
    case Look::same:
    case Look::taken: break;
    }
    // Only a regular file is replaced: a write never goes through a link to a device, nor replaces a
    // FIFO or a directory that someone put in the file's place.
    if (QFileInfo::exists(m_path) && !isRegularFile(m_path)) {
        return tl::unexpected(u"The settings could not be saved: %1 is not a regular file."_s.arg(m_path));
    }
    // A file this user may not write is the person's to change, never ours: not replaced, nor kept aside.
    if (auto replaceable = mayReplaceFile(replacedFile(m_path)); !replaceable) {
        return tl::unexpected(u"The settings could not be saved to %1: %2"_s.arg(
            m_path, QString::fromLocal8Bit(std::strerror(replaceable.error().code))));
    }
    // A file the next start would refuse is never written: the one on disk stays as it is.
    const QByteArray contents = fileContents();
    if (contents.size() > kLargestFileBytes) {
        return tl::unexpected(
            u"The settings could not be saved to %1: they take %2 bytes, more than the %3 a start reads."_s.arg(
                m_path, QString::number(contents.size()), QString::number(kLargestFileBytes)));
    }
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!QDir().mkpath(folder)) {
        return tl::unexpected(u"The settings could not be saved: the folder %1 cannot be made."_s.arg(folder));
    }
    const auto unchanged = [this] { return fileStateOf(m_path) == m_known; };
    if (m_keepsFileAside) {
        // What is kept aside is the file judged: one changed since is judged again first.
        if (!unchanged()) return Try::overtaken;
        const bool wasEmpty = isEmptyFile(m_known);
        sayRefusal();
        auto kept = keepFileAside();
        if (!kept) return tl::unexpected(kept.error());
        m_keepsFileAside = false;
        // An empty file may yet be written by whoever cut it, through the descriptor it still holds.
        if (wasEmpty && !kept->isEmpty()) m_emptyAside = EmptyAside{*kept, fileStateOf(*kept), m_changedKeys};
        // Its place is empty now, and nothing of it is to be read again should the write below fail.
        m_known = fileStateOf(m_path);
    }
    // Found only now: once a link was kept aside, the new settings go into a file of their own in its place,
    // never into the file the link leads to.
    const QString target = replacedFile(m_path);
    // The file is looked at again last, after the sync that takes most of the write's time (far longer on a
    // slow disk), and what the new file replaces is checked as the two names are exchanged: a save by another
    // writer in that span, or in the instant after the look, keeps its place and is taken by the next try.
    bool overtaken = false;
    const SharedFileCheck check{
        .isUnchanged =
            [&] {
                overtaken = !unchanged();
                return !overtaken;
            },
        .isJudged =
            [&](const struct stat& replaced) {
                overtaken = !isSameFileAsBefore(m_known.file, replaced);
                return !overtaken;
            },
    };
    const auto written = m_steps.replaceFile(
        target, [&contents](FileContents& file) { return file.append(contents); }, check);
    if (overtaken) return Try::overtaken;
    if (!written) {
        return tl::unexpected(u"The settings could not be saved to %1: %2"_s.arg(
            m_path, QString::fromLocal8Bit(std::strerror(written.error().code))));
    }
    ++m_said.writes;
    // Looked at, then read back: a writer that replaced the file in the moment since the rename would
    // otherwise pass for this one, and its save be written over by the next write. The next try reads what
    // is there, and ends at once when that holds every value.
    m_known = fileStateOf(m_path);
    if (const auto back = readRegularFile(m_path, kLargestFileBytes); !back || *back != contents) {
        // A state no file has: the next try reads what is there.
        m_known = FileState{};
        return Try::overtaken;
    }
    m_changedKeys.clear();
    return Try::written;
}

}  // namespace tavrine
