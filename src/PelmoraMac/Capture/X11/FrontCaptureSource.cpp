#include "PelmoraMac/Capture/X11/FrontCaptureSource.h"

#include "PelmoraMac/X11/X11Desktop.h"

#include <unistd.h>

namespace tavrine {
using namespace Qt::StringLiterals;

std::optional<CaptureSource> frontCaptureSource(const X11Desktop* desktop) {
    if (!desktop) return std::nullopt;
    const auto window = desktop->frontWindow();
    if (!window || !window->pid || *window->pid == ::getpid()) return std::nullopt;
    const auto names = desktop->windowClass(window->id);
    const auto entry = names ? findDesktopEntry(QString::fromLatin1(names->instance.c_str()),
                                                QString::fromLatin1(names->className.c_str()))
                             : std::nullopt;
    return captureSourceOf(*window->pid, window->id, entry);
}

CaptureSource captureSourceOf(pid_t pid, std::uint32_t window, const std::optional<DesktopEntry>& entry) {
    CaptureSource source{.pid = pid, .name = u"取得元アプリ"_s, .window = window};
    if (!entry) return source;
    if (!entry->name.isEmpty()) source.name = entry->name;
    if (isCaptureBrowser(entry->id)) {
        source.browser = ArticleBrowser::chrome;
        source.browserId = entry->id;
    }
    source.includeWebArticles = entry->handlesWebAddresses;
    source.isWebBrowser = entry->isWebBrowser;
    return source;
}

bool isCaptureBrowser(const QString& desktopId) {
    return desktopId == u"chromium"_s || desktopId.startsWith(u"google-chrome"_s);
}

QList<BrowserAutomationConsent::Browser> installedCaptureBrowsers(const QStringList& folders) {
    QList<BrowserAutomationConsent::Browser> browsers;
    for (const DesktopEntry& entry : findDesktopEntries(isCaptureBrowser, folders)) {
        browsers.append({.id = entry.id, .name = entry.name});
    }
    return browsers;
}

}  // namespace tavrine
