#include "PelmoraMac/Capture/internal/DevToolsTabs.h"

#include <QDeadlineTimer>
#include <QJsonArray>

namespace tavrine {
using namespace Qt::StringLiterals;
namespace {

const QString kWorldName = u"tavrine"_s;
const QString kVisibility =
    u"document.visibilityState !== \"visible\" ? \"hidden\" : document.hasFocus() ? \"focused\" : \"visible\""_s;

// How long a page may take to tell whether it has the focus before it counts as one that has not: a page
// busy with a long script, or frozen in the background, never keeps the search from the one in front.
constexpr std::chrono::milliseconds kPagePatience{300};

// A browser window as the browser tells it.
struct PageWindow {
    qint64 id = 0;
    BrowserWindowBounds bounds{};
    bool minimized = false;
};

// One page target and how far the search has got with it: an isolated world opened in its main frame, then
// asked there whether it is visible and has the focus. The main frame's id is the target's; the page's frame
// tree, whose size grows with the addresses of its frames, is asked only where the browser knows no frame by
// that id. Beside it, the browser tells where the page's window is, which it knows also of a page too busy
// to answer.
struct PageTarget {
    enum class Step { world, frameTree, visibility, focused, visible, hidden, refused };

    QString targetID;
    QString sessionID;
    QString frameID = targetID;
    bool askedFrameTree = false;
    qint64 contextID = 0;
    Step step = Step::world;
    // The command of the step under way; 0 once the page has answered the last one, or refused.
    qint64 awaited = 0;
    DevToolsFailure refusal = DevToolsFailure::protocolError;
    // The question for the page's window while it is under way, then the window or why there is none.
    qint64 windowAwaited = 0;
    DevToolsResult<PageWindow> window = tl::unexpected(DevToolsFailure::noWindow);

    bool answered() const { return step >= Step::focused; }
    bool windowKnown() const { return windowAwaited == 0; }
    // Gone while the search ran, or before: closed, navigated away, or its renderer crashed (the window
    // then shows the browser's page for a crashed tab where the page was).
    bool gone() const { return step == Step::refused && refusal == DevToolsFailure::pageChanged; }
    // Whether a person may be looking at it: in a window that is not minimized, visible, silent so far,
    // or gone.
    bool mayBeShown() const { return window && !window->minimized && (step == Step::visible || !answered() || gone()); }
    // Whether its window is the one at `front` on the screen, as far as its bounds tell.
    bool inWindowAt(const std::optional<BrowserWindowBounds>& front) const {
        return front && window && mayBeWindowAt(window->bounds, *front);
    }
};

// The command of the page's current step.
DevToolsCommand commandOf(const PageTarget& page) {
    using Step = PageTarget::Step;
    switch (page.step) {
    case Step::frameTree: return {u"Page.getFrameTree"_s, {}, page.sessionID};
    case Step::world:
        return {u"Page.createIsolatedWorld"_s,
                {{u"frameId"_s, page.frameID}, {u"worldName"_s, kWorldName}, {u"grantUniveralAccess"_s, false}},
                page.sessionID};
    default:
        return {u"Runtime.evaluate"_s,
                {{u"expression"_s, kVisibility}, {u"contextId"_s, page.contextID}, {u"returnByValue"_s, true}},
                page.sessionID};
    }
}

// Takes the reply of the page's step: the next step, or the page's answer. A page that refuses (it
// closed, went away, or shows a browser page) is not the one in front.
void advance(PageTarget& page, const DevToolsReply& reply) {
    using Step = PageTarget::Step;
    page.awaited = 0;
    if (!reply && page.step == Step::world && !page.askedFrameTree) {
        // No frame by the target's id: the frame tree names the main frame.
        page.askedFrameTree = true;
        page.step = Step::frameTree;
        return;
    }
    if (!reply) {
        page.refusal = reply.error();
        page.step = Step::refused;
        return;
    }
    switch (page.step) {
    case Step::frameTree:
        page.frameID = reply->value(u"frameTree"_s).toObject().value(u"frame"_s).toObject().value(u"id"_s).toString();
        page.step = page.frameID.isEmpty() ? Step::refused : Step::world;
        break;
    case Step::world:
        page.contextID = reply->value(u"executionContextId"_s).toInteger(0);
        page.step = page.contextID == 0 ? Step::refused : Step::visibility;
        break;
    default: {
        const QJsonValue value = reply->value(u"result"_s).toObject().value(u"value"_s);
        page.step = value == u"focused"_s ? Step::focused : value == u"visible"_s ? Step::visible : Step::hidden;
        break;
    }
    }
}

DevToolsResult<PageWindow> windowOf(const DevToolsReply& reply) {
    if (!reply)
        return tl::unexpected(reply.error() == DevToolsFailure::pageChanged ? reply.error()
                                                                            : DevToolsFailure::noWindow);
    const QJsonValue id = reply->value(u"windowId"_s);
    if (!id.isDouble()) return tl::unexpected(DevToolsFailure::noWindow);
    const QJsonObject bounds = reply->value(u"bounds"_s).toObject();
    return PageWindow{.id = id.toInteger(),
                      .bounds = {.left = bounds.value(u"left"_s).toInt(),
                                 .top = bounds.value(u"top"_s).toInt(),
                                 .width = bounds.value(u"width"_s).toInt(),
                                 .height = bounds.value(u"height"_s).toInt()},
                      .minimized = bounds.value(u"windowState"_s) == u"minimized"_s};
}

// What the search has come to: the page chosen (its place), a failure, or nothing yet.
using Verdict = std::optional<DevToolsResult<qsizetype>>;

// Every page goes through its steps on its own, as fast as it answers.
class FocusSearch {
public:
    FocusSearch(DevToolsConnection& connection, QList<PageTarget> pages)
        : m_connection(connection), m_pages(std::move(pages)) {
        for (PageTarget& page : m_pages) {
            page.awaited = m_connection.post(commandOf(page));
            page.windowAwaited = m_connection.post({u"Browser.getWindowForTarget"_s, {{u"targetId"_s, page.targetID}}});
        }
    }
    ~FocusSearch() {
        for (const PageTarget& page : m_pages) {
            if (page.awaited != 0) m_connection.forget(page.awaited);
            if (page.windowAwaited != 0) m_connection.forget(page.windowAwaited);
        }
    }
    FocusSearch(const FocusSearch&) = delete;
    FocusSearch& operator=(const FocusSearch&) = delete;

    // The page in front (findActiveTab), decided as soon as the pages' answers allow: at once for a page
    // with the focus, else once every page has answered or `patience` has passed, and at the latest at
    // `limit` (timedOut).
    DevToolsResult<PageTarget> find(const QDeadlineTimer& patience, const QDeadlineTimer& limit,
                                    const std::optional<BrowserWindowBounds>& frontWindow) {
        Verdict verdict;
        while (!(verdict = decide(patience.hasExpired(), frontWindow))) {
            auto waited =
                m_connection.waitUntil([this] { return collect(); }, patience.hasExpired() ? limit : patience);
            if (!waited) return tl::unexpected(waited.error());
            if (!*waited && limit.hasExpired()) return tl::unexpected(DevToolsFailure::timedOut);
        }
        if (!*verdict) return tl::unexpected(verdict->error());
        return m_pages[**verdict];
    }

private:
    // Takes the replies that came, each page on to its next step; true when any came.
    bool collect() {
        bool any = false;
        for (PageTarget& page : m_pages) {
            while (page.awaited != 0) {
                auto reply = m_connection.takeReply(page.awaited);
                if (!reply) break;
                any = true;
                advance(page, *reply);
                if (page.answered()) continue;
                page.awaited = m_connection.post(commandOf(page));
            }
            if (page.windowAwaited != 0) {
                if (auto reply = m_connection.takeReply(page.windowAwaited)) {
                    any = true;
                    page.windowAwaited = 0;
                    page.window = windowOf(*reply);
                }
            }
        }
        return any;
    }

    Verdict decide(bool patienceOver, const std::optional<BrowserWindowBounds>& frontWindow) const {
        // A page with the focus is the one; of several that tell so at once, the one in the window in front.
        std::optional<qsizetype> focused;
        for (qsizetype index = 0; index < m_pages.size(); ++index) {
            const PageTarget& page = m_pages[index];
            if (page.step != PageTarget::Step::focused) continue;
            if (!page.windowKnown()) return std::nullopt;
            if (page.inWindowAt(frontWindow)) return index;
            if (!focused) focused = index;
        }
        if (focused) return *focused;
        const bool allKnown = std::all_of(m_pages.cbegin(), m_pages.cend(),
                                          [](const PageTarget& page) { return page.answered() && page.windowKnown(); });
        if (!allKnown && !patienceOver) return std::nullopt;
        // Where each page's window is matters now: the browser tells it at once.
        if (!std::all_of(m_pages.cbegin(), m_pages.cend(), [](const PageTarget& page) { return page.windowKnown(); })) {
            return std::nullopt;
        }

        // The windows that may be in front: those that may show a page, narrowed to the one in front.
        QList<qint64> windows;
        QList<qint64> matching;
        for (const PageTarget& page : m_pages) {
            if (!page.mayBeShown() || windows.contains(page.window->id)) continue;
            windows.append(page.window->id);
            if (page.inWindowAt(frontWindow)) matching.append(page.window->id);
        }
        if (!matching.isEmpty()) windows = matching;

        QList<qsizetype> visible;
        bool silent = false;
        bool gone = false;
        for (qsizetype index = 0; index < m_pages.size(); ++index) {
            const PageTarget& page = m_pages[index];
            if (!page.mayBeShown() || !windows.contains(page.window->id)) continue;
            if (page.step == PageTarget::Step::visible) visible.append(index);
            silent = silent || !page.answered();
            gone = gone || page.gone();
        }
        // A window shows one page: others still silent in it are tabs behind that one.
        if (windows.size() == 1 && visible.size() == 1) return visible.first();
        if (silent) return std::nullopt;
        if (visible.size() == 1) return visible.first();
        if (visible.isEmpty() && gone) return DevToolsResult<qsizetype>(tl::unexpected(DevToolsFailure::pageChanged));
        return DevToolsResult<qsizetype>(tl::unexpected(DevToolsFailure::noFrontPage));
    }

    DevToolsConnection& m_connection;
    QList<PageTarget> m_pages;
};

// The page's address as the browser tells it now.
DevToolsResult<QString> addressOf(DevToolsConnection& connection, const QString& targetID) {
    auto info = connection.call({u"Target.getTargetInfo"_s, {{u"targetId"_s, targetID}}});
    if (!info) return tl::unexpected(info.error());
    return info->value(u"targetInfo"_s).toObject().value(u"url"_s).toString();
}

}  // namespace

DevToolsPages::DevToolsPages(DevToolsConnection& connection) : m_connection(connection) {}

DevToolsPages::~DevToolsPages() {
    if (m_attached) m_connection.onEvent(u"Target.attachedToTarget"_s, {});
}

DevToolsResult<void> DevToolsPages::attach() {
    if (m_attached) return {};
    m_attached = true;
    m_connection.onEvent(u"Target.attachedToTarget"_s, [this](const QJsonObject& params) {
        const QJsonObject target = params.value(u"targetInfo"_s).toObject();
        // A frame's own target, attached to read its focus, is no page.
        if (target.value(u"type"_s).toString() != u"page"_s) return;
        const QString id = target.value(u"targetId"_s).toString();
        const QString session = params.value(u"sessionId"_s).toString();
        if (id.isEmpty() || session.isEmpty()) {
            m_nameless = true;
            return;
        }
        m_pages.append({.targetID = id, .sessionID = session});
        // So that a page whose renderer is gone (which then answers nothing) is told at once: the browser
        // then ends the page's session.
        m_connection.forget(m_connection.post({u"Inspector.enable"_s, {}, session}));
    });
    const QJsonArray pagesOnly{QJsonObject{{u"type"_s, u"page"_s}}};
    // The browser attaches every page it has before it answers, and each it opens later as it opens it.
    auto attached = m_connection.call({u"Target.setAutoAttach"_s,
                                       {{u"autoAttach"_s, true},
                                        {u"waitForDebuggerOnStart"_s, false},
                                        {u"flatten"_s, true},
                                        {u"filter"_s, pagesOnly}}});
    if (!attached) return tl::unexpected(attached.error());
    return {};
}

QList<DevToolsPages::Page> DevToolsPages::current() const {
    QList<Page> pages;
    for (const Page& page : m_pages) {
        // A crashed page is still a tab in its window: the search finds it gone (each command to it fails as a
        // changed page), which is what a person sees there, instead of leaving it out as if the tab had closed.
        if (!m_connection.hasEnded(page.sessionID) || m_connection.hasCrashed(page.sessionID)) pages.append(page);
    }
    return pages;
}

DevToolsResult<DevToolsTab> findActiveTab(DevToolsConnection& connection, DevToolsPages& attached,
                                          DevToolsLimits limits,
                                          const std::optional<BrowserWindowBounds>& frontWindow) {
    const QDeadlineTimer limit(limits.wait, Qt::PreciseTimer);
    const QDeadlineTimer patience(std::min(kPagePatience, limits.wait), Qt::PreciseTimer);
    if (auto ready = attached.attach(); !ready) return tl::unexpected(ready.error());
    if (attached.isMalformed()) return tl::unexpected(DevToolsFailure::protocolError);
    QList<PageTarget> pages;
    for (const DevToolsPages::Page& page : attached.current()) {
        pages.append({.targetID = page.targetID, .sessionID = page.sessionID});
    }
    if (pages.isEmpty()) return tl::unexpected(DevToolsFailure::noPage);
    FocusSearch search(connection, std::move(pages));
    auto chosen = search.find(patience, limit, frontWindow);
    if (!chosen) return tl::unexpected(chosen.error());
    if (!chosen->window) return tl::unexpected(chosen->window.error());
    auto url = addressOf(connection, chosen->targetID);
    if (!url) return tl::unexpected(url.error());
    return DevToolsTab{.windowID = QString::number(chosen->window->id),
                       .targetID = chosen->targetID,
                       .url = *url,
                       .sessionID = chosen->sessionID,
                       .contextID = chosen->contextID};
}

}  // namespace tavrine
