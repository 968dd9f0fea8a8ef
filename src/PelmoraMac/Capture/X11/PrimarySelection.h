#pragma once

#include "PelmoraMac/Capture/CaptureDeadline.h"
#include "PelmoraMac/Capture/CaptureFailure.h"

#include <QString>

#include <sys/types.h>
#include <optional>

namespace tavrine {

class X11InputLog;

// The text of the X11 PRIMARY selection (what was last selected anywhere on the display) when it is what
// the process `pid` has selected now. Its owner window's creator, as the X-Resource extension tells it
// (selection windows carry no _NET_WM_PID), must be that process; and since an application keeps the
// selection when the user clears it, the owner must tell when it took the selection (TIMESTAMP), and
// the user's input since must leave no doubt that it still stands (selectionMayBeCurrent of the log's
// history; without a log, nothing can be told). None when nobody owns it, another process does, it may
// have been cleared, the owner has no text to give, or there is no X display. Read on a connection of
// its own (the application's clipboard is the main thread's and does not keep a deadline), from any
// thread, waiting at most until the deadline (timedOut). tooLong once the owner announces or sends more
// bytes than `unitLimit` UTF-16 units could ever need (no more of it is read); selectionUnknown when the
// text is not UTF-8.
CaptureResult<std::optional<QString>> readPrimarySelection(pid_t pid, qsizetype unitLimit, CaptureDeadline deadline,
                                                           const X11InputLog* activity);

}  // namespace tavrine
