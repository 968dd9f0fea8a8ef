#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace tavrine {

// What a capture takes from an application's desktop entry: its id (the file's name without
// ".desktop", folders below applications/ joined by "-"), the name it is shown by (Name[ja], else Name)
// whether it handles both http and https addresses (its MimeType), whether it handles either (a web
// browser) and its StartupWMClass.
struct DesktopEntry {
    QString id;
    QString name;
    bool handlesWebAddresses = false;
    bool isWebBrowser = false;
    // The WM_CLASS its windows carry, when it says.
    QString startupWMClass{};

    bool operator==(const DesktopEntry&) const = default;
};

// The applications folders of the desktop, most important first: $XDG_DATA_HOME/applications (else
// ~/.local/share/applications), then each of $XDG_DATA_DIRS (else /usr/local/share:/usr/share).
QStringList desktopEntryFolders();

// The "[Desktop Entry]" group of an entry's text; none without a Name.
std::optional<DesktopEntry> parseDesktopEntry(const QString& id, const QByteArray& content);

// The entry of the application whose windows carry this WM_CLASS: an entry whose id is the class or the
// instance (letter case aside), else one whose StartupWMClass is either, else one with a reverse-DNS id
// whose last part is either ("org.xfce.mousepad" for "mousepad"); the first folder that has one wins. None
// when no entry matches.
std::optional<DesktopEntry> findDesktopEntry(const QString& instance, const QString& windowClass,
                                             const QStringList& folders = desktopEntryFolders());

// The entries whose id `wanted` accepts, each id once (the first folder's entry: it hides the others, as
// the desktop has it), in the order they are found.
QList<DesktopEntry> findDesktopEntries(const std::function<bool(const QString& id)>& wanted,
                                       const QStringList& folders = desktopEntryFolders());

}  // namespace tavrine
