#pragma once

#include "PelmoraMac/Capture/internal/DevToolsConnection.h"

#include <QString>

#include <optional>

namespace tavrine {

// The active tab of the browser's front window: its window and target identifiers and its URL as the
// browser reports them, and where programs run in it: a session attached to the tab and an isolated
// world of its main frame (the page's scripts neither see that world nor change its built-ins).
struct DevToolsTab {
    QString windowID{};
    QString targetID{};
    QString url{};
    QString sessionID{};
    qint64 contextID = 0;
};

// The page that is visible and has the focus (the first to tell so; of several that tell at once, the first
// in the browser's /json/list, which lists the most recently active page first); when none is (the address
// bar has the focus), the first page of /json/list. Judged inside an isolated world of each page, so a page
// cannot pretend. All pages are asked at once; one that has not answered within a few hundred milliseconds
// (a page busy with a script, another site's tab in a busy renderer) counts as one without the focus, and
// is not waited for, unless it is the page chosen: then its silence ends in timedOut at the wait limit.
// noPage when the browser shows none, noWindow when the tab's window is unknown, pageChanged when the
// page chosen went away meanwhile.
DevToolsResult<DevToolsTab> findActiveTab(DevToolsConnection& connection, DevToolsAddress address,
                                          DevToolsLimits limits);

}  // namespace tavrine
