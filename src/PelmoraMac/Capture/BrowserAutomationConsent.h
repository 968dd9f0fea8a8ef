#pragma once

#include "PelmoraMac/Capture/ArticleBrowser.h"
#include "ReaderCore/Defaults.h"

#include <QString>

namespace tavrine {

// The user's answer to whether Tavrine may read the page that a browser shows, kept in the settings
// under "reader.linux.browserAutomation." followed by the browser's raw value: true allowed, false
// refused, absent not asked yet. The capture reads it as a permission status.

inline constexpr int kAutomationAllowed = 0;
inline constexpr int kAutomationDenied = -1743;
inline constexpr int kAutomationUndecided = -1744;

QString browserAutomationConsentKey(ArticleBrowser browser);

// kAutomationAllowed, kAutomationDenied, or kAutomationUndecided (also for a value that is no Boolean).
// Settings are read on their owner's thread, the main thread.
int browserAutomationPermission(const Defaults& defaults, ArticleBrowser browser);

}  // namespace tavrine
