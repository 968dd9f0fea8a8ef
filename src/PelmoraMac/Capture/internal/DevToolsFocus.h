#pragma once

#include "PelmoraMac/Capture/internal/DevToolsConnection.h"
#include "PelmoraMac/Capture/internal/DevToolsTabs.h"

#include <QString>

#include <optional>

namespace tavrine {

// The most shadow roots and frames followed from the page down to the focused element, one inside the
// other: the page script's own limit, and the browser's side counts on from where the script stopped.
inline constexpr int kFocusNestingLimit = 32;

// The snapshot of the tab, taken by the page script `script` ("snapshot") with the focused element that
// the browser's side found: the script follows the focus through open shadow roots and frames of the page's
// origin; where it stops, the protocol, which sees what the page cannot, goes on into a closed shadow root
// (its focused element resolved into the isolated world) or a frame of another origin (asked in an isolated
// world of its own: in the page's process, or as a target of its own, attached for it). The focused element is
// read (`RSVPSnapshot.read`) in its frame's world, and the snapshot made of that reading in the main frame's
// world. A focus that cannot be followed to its element (past kFocusNestingLimit levels, or into a frame or
// root the browser will not open) is read as a protected field: never the document's selection in its place.
// The value is the main frame's answer: its text when it is a string, nothing when it is anything else;
// programException when the script throws, and the connection's failures (protocolError for a command that the
// page's world refused) as they come.
DevToolsResult<std::optional<QString>> takePageSnapshot(DevToolsConnection& connection, const DevToolsTab& tab,
                                                        const QString& script, bool wantsHTML);

}  // namespace tavrine
