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

// The browser's pages, each attached on the connection once, for the life of the object: the browser is asked
// to attach every page it has, and each it opens later (never a frame or a worker), and tells of each in a
// message of its own, whose size grows with that page's address alone. A page whose session ended because it
// closed is no longer one of them; one whose renderer crashed still is (its tab stays, showing the browser's
// page for a crashed tab), however early the browser told the crash.
class DevToolsPages {
public:
    struct Page {
        QString targetID;
        QString sessionID;
    };

    explicit DevToolsPages(DevToolsConnection& connection);
    ~DevToolsPages();
    DevToolsPages(const DevToolsPages&) = delete;
    DevToolsPages& operator=(const DevToolsPages&) = delete;

    // Asks the browser to attach the pages, the first time; the failure of that request.
    DevToolsResult<void> attach();
    // The pages attached whose sessions go on or whose renderers crashed, in the order the browser attached them.
    QList<Page> current() const;
    // Whether the browser told of a page without its identifiers.
    bool isMalformed() const { return m_nameless; }

private:
    DevToolsConnection& m_connection;
    QList<Page> m_pages;
    bool m_attached = false;
    bool m_nameless = false;
};

// The page the browser shows in front, as each page tells in an isolated world of its own (so a page cannot
// pretend) whether it is visible and has the focus, and the browser where each page's window lies:
// - the page that is visible and has the focus (of several that tell so at once, the one whose window is at
//   `frontWindow`, else the first the browser told of);
// - when none has (the address bar or the find bar has the focus, the focus left the browser, the page is
//   busy): the visible page of the window in front, the browser window that may be the one at `frontWindow`
//   (mayBeWindowAt: at the scale factor the browser draws with), or, without such bounds or a window that
//   may be there, the only window that shows a page. A page that told that it is hidden, or whose window
//   is minimized, is never chosen. A page still silent there (busy with a script) is waited for, unless its
//   window shows another page, which then is the one in front; one whose renderer is gone (crashed) ends
//   the search with pageChanged when its window shows no other.
// All pages of `pages` (attached first, where they are not yet) are asked at once. A page that has not
// answered within a few hundred milliseconds counts as one without the focus; a page the choice waits on that
// stays silent ends in timedOut at the wait limit. Of a page behind, the one message that attached it is all
// that grows with an address, its own (and its frame tree, where the browser knows no main frame by its id):
// neither its frames' addresses nor other pages' add up in one message, so what tabs behind hold never meets
// the message limit, which keeps guarding what is read of the page in front.
// noPage when the browser shows none, noFrontPage when the page in front cannot be told (no visible page,
// or several, in the windows that may be in front), noWindow when the chosen page's window is unknown,
// pageChanged when it went away meanwhile. The tab's URL is the one the browser tells for the page chosen.
DevToolsResult<DevToolsTab> findActiveTab(DevToolsConnection& connection, DevToolsPages& pages, DevToolsLimits limits,
                                          const std::optional<BrowserWindowBounds>& frontWindow = std::nullopt);

}  // namespace tavrine
