#include "PelmoraMac/Capture/internal/DevToolsTabs.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>

namespace tavrine {
using namespace Qt::StringLiterals;
namespace {

const QString kWorldName = u"tavrine"_s;
const QString kHasFocus = u"document.visibilityState === \"visible\" && document.hasFocus()"_s;

// How long a page may take to tell whether it has the focus before it counts as one that has not: a page
// busy with a long script, or frozen in the background, never keeps the search from the one in front.
constexpr std::chrono::milliseconds kPagePatience{300};

// One page target and how far the search has got with it: attached, its main frame known, an isolated
// world opened in that frame, then asked there whether it is visible and has the focus.
struct PageTarget {
    enum class Step { attach, frameTree, world, focus, focused, unfocused, refused };

    QString targetID;
    QString url;
    QString sessionID{};
    QString frameID{};
    qint64 contextID = 0;
    Step step = Step::attach;
    // The command of the step under way; 0 once the page has answered the last one, or refused.
    qint64 awaited = 0;
    DevToolsFailure refusal = DevToolsFailure::protocolError;

    bool answered() const { return step == Step::focused || step == Step::unfocused || step == Step::refused; }
};

// The command of the page's current step.
DevToolsCommand commandOf(const PageTarget& page) {
    using Step = PageTarget::Step;
    switch (page.step) {
    case Step::attach: return {u"Target.attachToTarget"_s, {{u"targetId"_s, page.targetID}, {u"flatten"_s, true}}};
    case Step::frameTree: return {u"Page.getFrameTree"_s, {}, page.sessionID};
    case Step::world:
        return {u"Page.createIsolatedWorld"_s,
                {{u"frameId"_s, page.frameID}, {u"worldName"_s, kWorldName}, {u"grantUniveralAccess"_s, false}},
                page.sessionID};
    default:
        return {u"Runtime.evaluate"_s,
                {{u"expression"_s, kHasFocus}, {u"contextId"_s, page.contextID}, {u"returnByValue"_s, true}},
                page.sessionID};
    }
}

// Takes the reply of the page's step: the next step, or the page's answer. A page that refuses (it
// closed, went away, or shows a browser page) is not the one in front.
void advance(PageTarget& page, const DevToolsReply& reply) {
    using Step = PageTarget::Step;
    page.awaited = 0;
    if (!reply) {
        page.refusal = reply.error();
        page.step = Step::refused;
        return;
    }
    switch (page.step) {
    case Step::attach:
        page.sessionID = reply->value(u"sessionId"_s).toString();
        page.step = page.sessionID.isEmpty() ? Step::refused : Step::frameTree;
        break;
    case Step::frameTree:
        page.frameID = reply->value(u"frameTree"_s).toObject().value(u"frame"_s).toObject().value(u"id"_s).toString();
        page.step = page.frameID.isEmpty() ? Step::refused : Step::world;
        break;
    case Step::world:
        page.contextID = reply->value(u"executionContextId"_s).toInteger(0);
        page.step = page.contextID == 0 ? Step::refused : Step::focus;
        break;
    default:
        page.step = reply->value(u"result"_s).toObject().value(u"value"_s) == QJsonValue(true) ? Step::focused
                                                                                               : Step::unfocused;
        break;
    }
}

// Every page goes through its steps on its own, as fast as it answers; the pages are ranked by how
// recently each was active.
class FocusSearch {
public:
    FocusSearch(DevToolsConnection& connection, QList<PageTarget> pages)
        : m_connection(connection), m_pages(std::move(pages)) {
        for (PageTarget& page : m_pages) page.awaited = m_connection.post(commandOf(page));
    }
    ~FocusSearch() {
        for (const PageTarget& page : m_pages) {
            if (page.awaited != 0) m_connection.forget(page.awaited);
        }
    }
    FocusSearch(const FocusSearch&) = delete;
    FocusSearch& operator=(const FocusSearch&) = delete;

    // Most recently active first: the order of `recent`, then the pages it does not list.
    void rank(const QStringList& recent) {
        std::stable_sort(m_pages.begin(), m_pages.end(), [&](const PageTarget& left, const PageTarget& right) {
            const auto place = [&](const PageTarget& page) {
                const qsizetype index = recent.indexOf(page.targetID);
                return index < 0 ? recent.size() : index;
            };
            return place(left) < place(right);
        });
    }

    // The page in front: the first page that answers that it has the focus (the first ranked of those that
    // answered together; one page of a browser has the focus at a time); when none does, and every page has
    // answered, refused or been silent past `patience`, the first ranked page, which, when silent, is waited
    // for until `limit` (then timedOut).
    DevToolsResult<PageTarget> find(const QDeadlineTimer& patience, const QDeadlineTimer& limit) {
        std::optional<qsizetype> chosen;
        while (!(chosen = decide(patience.hasExpired()))) {
            auto waited = m_connection.waitUntil([this] { return collect(); }, patience);
            if (!waited) return tl::unexpected(waited.error());
        }
        PageTarget& page = m_pages[*chosen];
        auto waited = m_connection.waitUntil(
            [&] {
                collect();
                return page.answered();
            },
            limit);
        if (!waited) return tl::unexpected(waited.error());
        if (!*waited) return tl::unexpected(DevToolsFailure::timedOut);
        if (page.step == PageTarget::Step::refused) return tl::unexpected(page.refusal);
        return page;
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
                if (!page.answered()) page.awaited = m_connection.post(commandOf(page));
            }
        }
        return any;
    }

    std::optional<qsizetype> decide(bool patienceOver) const {
        const auto focused = std::find_if(m_pages.cbegin(), m_pages.cend(), [](const PageTarget& page) {
            return page.step == PageTarget::Step::focused;
        });
        if (focused != m_pages.cend()) return focused - m_pages.cbegin();
        const bool waiting =
            std::any_of(m_pages.cbegin(), m_pages.cend(), [](const PageTarget& page) { return !page.answered(); });
        if (waiting && !patienceOver) return std::nullopt;
        return 0;
    }

    DevToolsConnection& m_connection;
    QList<PageTarget> m_pages;
};

DevToolsResult<QList<PageTarget>> pageTargets(DevToolsConnection& connection) {
    auto targets = connection.call({u"Target.getTargets"_s});
    if (!targets) return tl::unexpected(targets.error());
    QList<PageTarget> pages;
    for (const QJsonValue& value : targets->value(u"targetInfos"_s).toArray()) {
        const QJsonObject target = value.toObject();
        if (target.value(u"type"_s).toString() != u"page"_s) continue;
        const QString id = target.value(u"targetId"_s).toString();
        if (id.isEmpty()) return tl::unexpected(DevToolsFailure::protocolError);
        pages.append({.targetID = id, .url = target.value(u"url"_s).toString()});
    }
    return pages;
}

// The target identifiers of /json/list, most recently active first.
DevToolsResult<QStringList> recentPages(DevToolsAddress address, DevToolsLimits limits) {
    auto body = fetchDevToolsPage(address, u"/json/list"_s, limits);
    if (!body) return tl::unexpected(body.error());
    const QJsonDocument list = QJsonDocument::fromJson(*body);
    if (!list.isArray()) return tl::unexpected(DevToolsFailure::protocolError);
    QStringList ids;
    for (const QJsonValue& entry : list.array()) {
        if (entry.toObject().value(u"type"_s).toString() == u"page"_s) {
            ids.append(entry.toObject().value(u"id"_s).toString());
        }
    }
    return ids;
}

}  // namespace

DevToolsResult<DevToolsTab> findActiveTab(DevToolsConnection& connection, DevToolsAddress address,
                                          DevToolsLimits limits) {
    const QDeadlineTimer limit(limits.wait, Qt::PreciseTimer);
    const QDeadlineTimer patience(std::min(kPagePatience, limits.wait), Qt::PreciseTimer);
    auto pages = pageTargets(connection);
    if (!pages) return tl::unexpected(pages.error());
    if (pages->isEmpty()) return tl::unexpected(DevToolsFailure::noPage);
    // The pages start on their steps while the browser lists them by their activity.
    FocusSearch search(connection, std::move(*pages));
    auto recent = recentPages(address, limits);
    if (!recent) return tl::unexpected(recent.error());
    search.rank(*recent);
    auto chosen = search.find(patience, limit);
    if (!chosen) return tl::unexpected(chosen.error());

    auto window = connection.call({u"Browser.getWindowForTarget"_s, {{u"targetId"_s, chosen->targetID}}});
    if (!window) {
        return tl::unexpected(window.error() == DevToolsFailure::pageChanged ? window.error()
                                                                             : DevToolsFailure::noWindow);
    }
    const QJsonValue windowID = window->value(u"windowId"_s);
    if (!windowID.isDouble()) return tl::unexpected(DevToolsFailure::noWindow);
    return DevToolsTab{.windowID = QString::number(windowID.toInteger()),
                       .targetID = chosen->targetID,
                       .url = chosen->url,
                       .sessionID = chosen->sessionID,
                       .contextID = chosen->contextID};
}

}  // namespace tavrine
