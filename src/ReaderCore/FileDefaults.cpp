#include "ReaderCore/FileDefaults.h"

#include "ReaderCore/ApplicationIdentifier.h"
#include "ReaderCore/AtomicFileWrite.h"
#include "ReaderCore/FileState.h"
#include "ReaderCore/Json.h"
#include "ReaderCore/PrintableText.h"
#include "ReaderCore/RegularFile.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QStandardPaths>

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

namespace tavrine {
using namespace Qt::StringLiterals;

namespace {

// The largest settings file read; a larger one is no settings file of ours.
constexpr qint64 kLargestFileBytes = 1 << 20;

constexpr QStringView kDataKey = u"data";
constexpr QStringView kNumberKey = u"number";

// The words for the numbers that JSON cannot write.
constexpr QStringView kNaN = u"nan";
constexpr QStringView kInfinity = u"inf";
constexpr QStringView kNegativeInfinity = u"-inf";

// How many links in a row a write follows to the file it replaces, as many as the system follows.
constexpr int kLinkDepth = 40;

// One line to stderr; the paths in it are the user's and may hold anything a file name can.
void warn(const QString& message) {
    qWarning().noquote() << escapingControlCharacters(message);
}

QJsonValue encodeNumber(double number) {
    if (std::isfinite(number)) return number;
    const QStringView word = std::isnan(number) ? kNaN : number > 0 ? kInfinity : kNegativeInfinity;
    return QJsonObject{{kNumberKey.toString(), word.toString()}};
}

QJsonValue encode(const DefaultsValue& value) {
    return std::visit(
        [](const auto& content) -> QJsonValue {
            using T = std::decay_t<decltype(content)>;
            if constexpr (std::is_same_v<T, double>) {
                return encodeNumber(content);
            } else if constexpr (std::is_same_v<T, QByteArray>) {
                return QJsonObject{{kDataKey.toString(), QString::fromLatin1(base64Text(content))}};
            } else {
                return content;
            }
        },
        value);
}

// The value an entry of the file holds, or nothing for an entry of any other shape.
std::optional<DefaultsValue> decode(const QJsonValue& entry) {
    if (entry.isBool()) return entry.toBool();
    if (entry.isDouble()) return entry.toDouble();
    if (entry.isString()) return entry.toString();
    if (!entry.isObject()) return std::nullopt;
    const QJsonObject object = entry.toObject();
    if (object.size() != 1) return std::nullopt;
    if (object.contains(kDataKey)) {
        const QJsonValue data = object.value(kDataKey);
        if (!data.isString()) return std::nullopt;
        return decodeBase64Strictly(data.toString().toLatin1());
    }
    const QJsonValue word = object.value(kNumberKey);
    if (word == kNaN.toString()) return std::numeric_limits<double>::quiet_NaN();
    if (word == kInfinity.toString()) return std::numeric_limits<double>::infinity();
    if (word == kNegativeInfinity.toString()) return -std::numeric_limits<double>::infinity();
    return std::nullopt;
}

// The file a write replaces: the settings file, or the file a link in its place leads to, so that
// settings kept elsewhere and linked here (a person's managed configuration) stay there, link and all.
QString replacedFile(const QString& path) {
    QFileInfo file(path);
    for (int depth = 0; depth < kLinkDepth && file.isSymLink(); ++depth) file.setFile(file.symLinkTarget());
    return file.isSymLink() ? path : file.filePath();
}

// How many times a write is made again when another writer changed the file while it was written.
constexpr int kWriteTries = 5;

// How many names a copy kept aside may take before a write gives up: "<file>.corrupt" and those after it.
constexpr int kAsideNames = 1000;

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

}  // namespace

QString FileDefaults::applicationFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u'/' +
           QString::fromUtf16(kApplicationIdentifier) + u"/defaults.json";
}

FileDefaults::FileDefaults(QString path) : FileDefaults(std::move(path), Steps{}) {}

FileDefaults::FileDefaults(QString path, Steps steps) : m_path(std::move(path)), m_steps(std::move(steps)) {
    m_writeTimer.setSingleShot(true);
    m_writeTimer.setInterval(0);
    QObject::connect(&m_writeTimer, &QTimer::timeout, [this] { sync(); });
    removeLeftovers();
    read();
}

FileDefaults::~FileDefaults() {
    // Whoever watches whether the settings are kept may be gone already.
    setKeepsChangesObserver({});
    sync();
}

void FileDefaults::removeLeftovers() {
    // Beside the file that writes replace, where they make their temporary files: regular files, never a
    // link or a folder of the same name. No write is under way: the settings are made once the process
    // is the one instance, and a write ends before the event loop turns again.
    const QFileInfo target(replacedFile(m_path));
    const QDir folder = target.dir();
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden | QDir::NoSymLinks)) {
        if (atomicWriteTarget(name) == target.fileName()) QFile::remove(folder.filePath(name));
    }
}

void FileDefaults::read() {
    // Looked at before it is read: a change in between is one more reason to read it again, never missed.
    m_known = fileStateOf(m_path);
    auto entries = readEntries();
    if (entries) {
        m_entries = std::move(*entries);
        return;
    }
    refuseFile(u"The settings file %1 %2"_s.arg(m_path, entries.error()));
    sayRefusal();
}

bool FileDefaults::readAgainIfChanged() {
    FileState now = fileStateOf(m_path);
    if (now == m_known) return true;
    m_known = std::move(now);
    auto entries = readEntries();
    if (!entries) {
        // Perhaps caught between the cut and the write of a writer in place (an editor through a link):
        // judged only once it has had the time to finish, and only once it stood still meanwhile.
        m_steps.pause();
        FileState later = fileStateOf(m_path);
        const bool stillChanging = later != m_known;
        m_known = std::move(later);
        entries = readEntries();
        if (!entries && stillChanging) {
            // A state no file has: the next look reads it again.
            m_known = FileState{};
            return false;
        }
    }
    if (!entries) {
        // What the other writer left is the person's: kept aside, or left as it is, never written over.
        refuseFile(u"The settings file %1 was changed and now %2"_s.arg(m_path, entries.error()));
        return true;
    }
    // The file's entries, with what was set or removed here since the last read or write put over them.
    for (const QString& key : std::as_const(m_changedKeys)) {
        if (const auto entry = m_entries.constFind(key); entry != m_entries.constEnd()) {
            entries->insert(key, *entry);
        } else {
            entries->remove(key);
        }
    }
    m_entries = std::move(*entries);
    m_keepsFileAside = false;
    return true;
}

tl::expected<QJsonObject, QString> FileDefaults::readEntries() const {
    auto contents = readRegularFile(m_path, kLargestFileBytes);
    if (contents) {
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

void FileDefaults::refuseFile(const QString& lead) {
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
    if (!mayWrite) m_warnedNotSaved = true;
    m_refusal = u"%1; its settings are ignored and %2."_s.arg(lead, outcome);
    // A file to be kept aside is spoken of once the write is about to move it: should it change meanwhile,
    // it is judged again and the line would no longer be true of it.
    if (!mayWrite) sayRefusal();
}

void FileDefaults::sayRefusal() {
    if (!m_refusal.isEmpty()) warn(std::exchange(m_refusal, {}));
}

tl::expected<QString, QString> FileDefaults::keepFileAside() {
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

std::optional<DefaultsValue> FileDefaults::object(const QString& key) const {
    const auto entry = m_entries.constFind(key);
    if (entry == m_entries.constEnd()) return std::nullopt;
    return decode(*entry);
}

void FileDefaults::setValue(const QString& key, DefaultsValue value) {
    QJsonValue entry = encode(value);
    if (m_entries.value(key) == entry) return;
    m_entries.insert(key, std::move(entry));
    m_changedKeys.insert(key);
    changed();
}

void FileDefaults::remove(const QString& key) {
    if (!m_entries.contains(key)) return;
    m_entries.remove(key);
    m_changedKeys.insert(key);
    changed();
}

void FileDefaults::changed() {
    m_pending = true;
    if (!m_writeTimer.isActive()) m_writeTimer.start();
}

bool FileDefaults::sync() {
    m_writeTimer.stop();
    if (!m_pending) return true;
    if (const std::optional<QString> problem = write()) {
        // Said once until the settings are kept again: a dragged slider over a read-only file is one line.
        if (!m_warnedNotSaved) warn(*problem);
        m_warnedNotSaved = true;
        setKeepsChanges(false);
        return false;
    }
    m_pending = false;
    m_warnedNotSaved = false;
    setKeepsChanges(true);
    return true;
}

QByteArray FileDefaults::fileContents() const {
    // Indented for a person who opens the file, as long as the next start reads it whole; compact
    // otherwise (a file of many entries grows by a sixth when indented).
    QByteArray text = QJsonDocument(m_entries).toJson(QJsonDocument::Indented);
    if (text.size() > kLargestFileBytes) text = QJsonDocument(m_entries).toJson(QJsonDocument::Compact);
    return text;
}

std::optional<QString> FileDefaults::write() {
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

tl::expected<FileDefaults::Try, QString> FileDefaults::tryWrite() {
    // Another writer's file is never written over unseen: taken, or kept aside, first.
    if (!readAgainIfChanged()) return Try::overtaken;
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
        sayRefusal();
        if (auto kept = keepFileAside(); !kept) return tl::unexpected(kept.error());
        m_keepsFileAside = false;
        // Its place is empty now, and nothing of it is to be read again should the write below fail.
        m_known = fileStateOf(m_path);
    }
    // Found only now: once a link was kept aside, the new settings go into a file of their own in its place,
    // never into the file the link leads to.
    const QString target = replacedFile(m_path);
    // Every write(), the sync and the close are checked before the new file takes the old one's name:
    // QSaveFile (Qt 6.4) ignores a failure of its buffered flush and of the sync, and would
    // put an empty or cut file in place of good settings on a full disk or over a quota. The file is looked
    // at again last, after the sync that takes most of the write's time (far longer on a slow disk), and
    // what the new file replaces is checked as the two names are exchanged: a save by another writer in that
    // span, or in the instant after the look, keeps its place and is taken by the next try.
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
    ++m_writeCount;
    // Looked at, then read back: a writer that replaced the file in the moment since the rename would
    // otherwise pass for this one, and its save be written over by the next write.
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
