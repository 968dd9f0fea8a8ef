#pragma once

#include "PelmoraMac/Capture/CaptureModel.h"

#include <functional>

namespace tavrine {

class Defaults;

// The capture's start-up wiring: the capture model's functions as the application gives them, made from
// the pieces of Capture/ and the desktop's of Capture/X11/:
// - the permission: the session's accessibility bus answers within 250 ms and is enabled; asking for it
//   enables it (no prompt: the next check sees it). The focus tracker starts with the first check that
//   finds the bus enabled;
// - the source: the application of the window in front (frontCaptureSource);
// - the capture: the selection capture over the accessibility bus and the primary selection (while the
//   user's input since it was taken shows it still stands, as a watch started with the functions
//   tells), with the browser's consent as the user answered it when the capture started;
// - the consent: our own dialog, asked while no answer is kept (or always, from the settings), its answer
//   kept in the settings;
// - the accessibility settings: `openSettings`.
// `defaults` must outlive the functions.
CaptureModel::Functions applicationCaptureFunctions(Defaults& defaults, std::function<void()> openSettings);

}  // namespace tavrine
