#pragma once

#include "PelmoraMac/Capture/CaptureModel.h"
#include "PelmoraMac/Capture/X11/DesktopEntries.h"

#include <QString>

#include <functional>
#include <optional>
#include <string>

namespace tavrine {

class Defaults;

// The capture model's functions as the application gives them:
// - the permission: the session's accessibility bus answers within 250 ms and is enabled; asking for it
//   enables it (no prompt: the next check sees it). The focus tracker starts with the first check that
//   finds the bus enabled;
// - the source: the process of the window in front (never this process), named by its desktop entry
//   (matched by WM_CLASS), else "取得元アプリ"; Chromium and Google Chrome are the browser chrome, and an
//   entry that handles http and https addresses has its pages' articles looked for;
// - the capture: the selection capture over the accessibility bus and the primary selection (while the
//   user's input since it was taken shows it still stands, as a watch started with the functions
//   tells), with the browser's consent as the user answered it when the capture started;
// - the consent: our own dialog, asked while no answer is kept (or always, from the settings), its answer
//   kept in the settings;
// - the accessibility settings: `openSettings`.
// `defaults` must outlive the functions.
CaptureModel::Functions applicationCaptureFunctions(Defaults& defaults, std::function<void()> openSettings);

// The source a front window's process and WM_CLASS make, with its desktop entry when one was found.
CaptureSource captureSourceOf(pid_t pid, std::uint32_t window, const std::optional<DesktopEntry>& entry);

}  // namespace tavrine
