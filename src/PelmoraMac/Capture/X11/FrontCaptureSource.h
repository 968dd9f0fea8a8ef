#pragma once

#include "PelmoraMac/Capture/BrowserAutomationConsent.h"
#include "PelmoraMac/Capture/CaptureModel.h"
#include "PelmoraMac/Capture/X11/DesktopEntries.h"

#include <sys/types.h>

#include <cstdint>
#include <optional>

namespace tavrine {

class X11Desktop;

// The source of a capture of the application in front: the process of the window in front (never this
// process), named by its desktop entry (matched by WM_CLASS), else "取得元アプリ". Nothing without a desktop,
// without a front window or without its process. Main thread or the capture's pool thread.
std::optional<CaptureSource> frontCaptureSource(const X11Desktop* desktop);

// The source a front window's process and WM_CLASS make, with its desktop entry when one was found:
// Chromium and Google Chrome are the browser chrome (each with its own desktop id as browserId), an
// entry that handles http and https addresses has its pages' articles looked for, and one that handles
// either is a web browser.
CaptureSource captureSourceOf(pid_t pid, std::uint32_t window, const std::optional<DesktopEntry>& entry);

// Whether the application of this desktop id is a browser whose tab a capture reads: Chromium
// ("chromium") and Google Chrome ("google-chrome" and its channels, "google-chrome-beta", …).
bool isCaptureBrowser(const QString& desktopId);

// The capture browsers installed on this desktop, by their entries in `folders`, for the consent's list.
QList<BrowserAutomationConsent::Browser> installedCaptureBrowsers(const QStringList& folders = desktopEntryFolders());

}  // namespace tavrine
