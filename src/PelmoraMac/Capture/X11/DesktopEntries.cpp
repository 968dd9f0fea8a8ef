#include "PelmoraMac/Capture/X11/DesktopEntries.h"

#include "ReaderCore/RegularFile.h"

#include <QDir>
#include <QDirIterator>
#include <QSet>

namespace tavrine {
using namespace Qt::StringLiterals;

namespace {

// Desktop entries are small; a larger file is no entry.
constexpr qint64 kEntryByteLimit = 256 * 1024;

// Anything but a regular file (a FIFO would hold the capture up, a device may never end) is no entry.
std::optional<QByteArray> readEntry(const QString& path) {
    auto content = readRegularFile(path, kEntryByteLimit);
    if (!content) return std::nullopt;
    return std::move(*content);
}

QString idOf(const QString& folder, const QString& path) {
    QString relative = QDir(folder).relativeFilePath(path);
    relative.chop(qsizetype(sizeof ".desktop") - 1);
    return relative.replace(u'/', u'-');
}

// An entry's text with "\s", "\n", "\t", "\r" and "\\" read as the format escapes them.
QString unescaped(const QString& value) {
    QString text;
    text.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != u'\\' || i + 1 == value.size()) {
            text += value[i];
            continue;
        }
        const QChar next = value[++i];
        switch (next.unicode()) {
        case u's': text += u' '; break;
        case u'n': text += u'\n'; break;
        case u't': text += u'\t'; break;
        case u'r': text += u'\r'; break;
        default: text += next; break;
        }
    }
    return text;
}

// The last part of a reverse-DNS id ("mousepad" of "org.xfce.mousepad"); empty for any other id. Such
// applications name their windows' class after it, not after the whole id.
QString reverseDomainTail(const QString& id) {
    if (id.count(u'.') < 2) return {};
    return id.mid(id.lastIndexOf(u'.') + 1);
}

}  // namespace

QStringList desktopEntryFolders() {
    QString home = qEnvironmentVariable("XDG_DATA_HOME");
    if (home.isEmpty()) home = QDir::homePath() + u"/.local/share"_s;
    QString dirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dirs.isEmpty()) dirs = u"/usr/local/share:/usr/share"_s;
    QStringList folders{home + u"/applications"_s};
    for (const QString& dir : dirs.split(u':', Qt::SkipEmptyParts)) folders.append(dir + u"/applications"_s);
    return folders;
}

std::optional<DesktopEntry> parseDesktopEntry(const QString& id, const QByteArray& content) {
    bool inEntry = false;
    std::optional<QString> name;
    std::optional<QString> japaneseName;
    QStringList mimeTypes;
    QString startupWMClass;
    for (const QByteArray& rawLine : content.split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.isEmpty() || line.startsWith(u'#')) continue;
        if (line.startsWith(u'[')) {
            inEntry = line == u"[Desktop Entry]"_s;
            continue;
        }
        if (!inEntry) continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0) continue;
        const QString key = line.left(equals).trimmed();
        const QString value = unescaped(line.mid(equals + 1).trimmed());
        if (key == u"Name"_s) {
            name = value;
        } else if (key == u"Name[ja]"_s) {
            japaneseName = value;
        } else if (key == u"StartupWMClass"_s) {
            startupWMClass = value;
        } else if (key == u"MimeType"_s) {
            mimeTypes = value.split(u';', Qt::SkipEmptyParts);
        }
    }
    if (!name) return std::nullopt;
    QSet<QString> types;
    for (const QString& type : mimeTypes) types.insert(type.trimmed().toLower());
    return DesktopEntry{
        .id = id,
        .name = japaneseName && !japaneseName->isEmpty() ? *japaneseName : *name,
        .handlesWebAddresses =
            types.contains(u"x-scheme-handler/http"_s) && types.contains(u"x-scheme-handler/https"_s),
        .isWebBrowser = types.contains(u"x-scheme-handler/http"_s) || types.contains(u"x-scheme-handler/https"_s),
        .startupWMClass = startupWMClass,
    };
}

std::optional<DesktopEntry> findDesktopEntry(const QString& instance, const QString& windowClass,
                                             const QStringList& folders) {
    QStringList names;
    for (const QString& name : {windowClass, instance}) {
        if (!name.isEmpty() && !names.contains(name, Qt::CaseInsensitive)) names.append(name);
    }
    if (names.isEmpty()) return std::nullopt;
    for (const QString& folder : folders) {
        std::optional<DesktopEntry> byWindowClass;
        std::optional<DesktopEntry> byIdTail;
        QDirIterator files(folder, {u"*.desktop"_s}, QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString path = files.next();
            const QString id = idOf(folder, path);
            const bool idMatches = names.contains(id, Qt::CaseInsensitive);
            const QString tail = reverseDomainTail(id);
            const bool tailMatches = !byIdTail && !tail.isEmpty() && names.contains(tail, Qt::CaseInsensitive);
            if (!idMatches && byWindowClass) continue;
            const auto content = readEntry(path);
            if (!content) continue;
            const auto entry = parseDesktopEntry(id, *content);
            if (!entry) continue;
            if (idMatches) return entry;
            if (!entry->startupWMClass.isEmpty() && names.contains(entry->startupWMClass, Qt::CaseInsensitive)) {
                byWindowClass = entry;
            } else if (tailMatches) {
                byIdTail = entry;
            }
        }
        if (byWindowClass) return byWindowClass;
        if (byIdTail) return byIdTail;
    }
    return std::nullopt;
}

QList<DesktopEntry> findDesktopEntries(const std::function<bool(const QString& id)>& wanted,
                                       const QStringList& folders) {
    QList<DesktopEntry> entries;
    QSet<QString> seen;
    for (const QString& folder : folders) {
        QDirIterator files(folder, {u"*.desktop"_s}, QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString path = files.next();
            const QString id = idOf(folder, path);
            if (seen.contains(id) || !wanted(id)) continue;
            seen.insert(id);
            const auto content = readEntry(path);
            if (!content) continue;
            if (auto entry = parseDesktopEntry(id, *content)) entries.append(std::move(*entry));
        }
    }
    return entries;
}

}  // namespace tavrine
