#pragma once

#include "PelmoraMac/Capture/BrowserWindowBounds.h"
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

// The page the browser shows in front, as each page tells in an isolated world of its own (so a page cannot
// pretend) whether it is visible and has the focus, and the browser where each page's window lies:
// - the page that is visible and has the focus (of several that tell so at once, the first in the browser's
//   /json/list, which lists recently active pages first);
// - when none has (the address bar or the find bar has the focus, the focus left the browser, the page is
//   busy): the visible page of the window in front, the browser window whose bounds are `frontWindow`, or,
//   without such bounds or a window that has them, the only window that shows a page. A page that told
//   that it is hidden, or whose window is minimized, is never chosen. A page still silent there (busy with
//   a script) is waited for, unless its window shows another page, which then is the one in front; one
//   whose renderer is gone (crashed) ends the search with pageChanged when its window shows no other.
// All pages are asked at once. A page that has not answered within a few hundred milliseconds counts as one
// without the focus; a page the choice waits on that stays silent ends in timedOut at the wait limit.
// noPage when the browser shows none, noFrontPage when the page in front cannot be told (no visible page,
// or several, in the windows that may be in front), noWindow when the chosen page's window is unknown,
// pageChanged when it went away meanwhile.
DevToolsResult<DevToolsTab> findActiveTab(DevToolsConnection& connection, DevToolsAddress address,
                                          DevToolsLimits limits,
                                          const std::optional<BrowserWindowBounds>& frontWindow = std::nullopt);

}  // namespace tavrine
