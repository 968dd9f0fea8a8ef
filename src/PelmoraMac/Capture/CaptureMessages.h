#pragma once

#include "PelmoraMac/Capture/ArticleBrowser.h"
#include "PelmoraMac/Capture/CaptureFailure.h"

#include <QString>

#include <optional>

namespace tavrine {

// What the capture texts are made from: the capture model's fields that they read.
struct CaptureMessageState {
    bool isCapturing = false;
    std::optional<CaptureFailure> failure{};
    bool succeeded = false;
    bool usesClipboard = false;
    bool loadedBody = false;
    std::optional<QString> sourceName{};
    std::optional<ArticleBrowser> sourceBrowser{};
    QString frontmostShortcutLabel{};
    QString clipboardShortcutLabel{};
};

// The browser's name in the capture texts: for Chromium and Google Chrome the name the source goes by
// (its desktop entry's), "ブラウザー" when the source is no browser.
QString captureBrowserName(std::optional<ArticleBrowser> browser, const std::optional<QString>& sourceName);

// The capture notice's text: progress, the failure, the success, or the hint before any capture. Never
// empty.
QString captureStatusMessage(const CaptureMessageState& state);

// The start view's text for a failed clipboard import while the player shows no text; none otherwise.
std::optional<QString> captureClipboardFailureMessage(const CaptureMessageState& state, bool playerShowsText);

}  // namespace tavrine
