#pragma once

#include "PelmoraMac/Capture/CaptureDeadline.h"
#include "PelmoraMac/Capture/CaptureFailure.h"

#include <QString>

#include <sys/types.h>
#include <optional>

namespace tavrine {

// The text of the X11 PRIMARY selection (what was last selected anywhere on the display) when the
// process `pid` owns it: its owner window's creator, as the X-Resource extension tells it (selection
// windows carry no _NET_WM_PID), must be that process. None when nobody owns it, another process does,
// the owner has no text to give, or there is no X display. Read on a connection of its own (the
// application's clipboard is the main thread's and does not keep a deadline), from any thread, waiting
// at most until the deadline (timedOut). tooLong when the owner announces more bytes than `unitLimit`
// UTF-16 units could ever need, before any is read; selectionUnknown when the text is not UTF-8.
CaptureResult<std::optional<QString>> readPrimarySelection(pid_t pid, qsizetype unitLimit, CaptureDeadline deadline);

}  // namespace tavrine
