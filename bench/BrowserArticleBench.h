#pragma once

#include "PelmoraMac/Capture/CaptureWorkerLauncher.h"

#include <QString>

namespace tavrine::bench {

// The median of 10 article captures (snapshot, extraction and verification, each worker started as
// `worker`) of a generated news page of 200,000 bytes that a headless Chromium shows from `folder`: one line
// "browser-article", or one that says it was skipped without chromium.
void measureBrowserArticle(const QString& folder, const CaptureWorkerLaunch& worker);
// The median of 10 snapshots with the page's HTML of a long news page shown the same way: one line
// "browser-snapshot", or skipped.
void measureBrowserSnapshot(const QString& folder);

}  // namespace tavrine::bench
