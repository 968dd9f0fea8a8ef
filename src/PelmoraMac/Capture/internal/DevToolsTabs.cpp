#include "PelmoraMac/Capture/internal/DevToolsTabs.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace tavrine {
using namespace Qt::StringLiterals;
namespace {

const QString kWorldName = u"tavrine"_s;
const QString kHasFocus = u"document.visibilityState === \"visible\" && document.hasFocus()"_s;

// One page target and what was learnt of it along the way.
struct PageTarget {
    QString targetID;
    QString url;
    QString sessionID{};
    QString frameID{};
    qint64 contextID = 0;
    bool hasFocus = false;
};

// Sends one command for each page that `wanted` picks and hands each reply to `apply`.
template <typename Make, typename Apply>
DevToolsResult<void> forEachPage(DevToolsConnection& connection, QList<PageTarget>& pages, Make make, Apply apply) {
    QList<DevToolsCommand> commands;
    QList<qsizetype> asked;
    for (qsizetype index = 0; index < pages.size(); ++index) {
        if (auto command = make(pages[index])) {
            commands.append(std::move(*command));
            asked.append(index);
        }
    }
    if (commands.isEmpty()) return {};
    auto replies = connection.send(commands);
    if (!replies) return tl::unexpected(replies.error());
    for (qsizetype index = 0; index < asked.size(); ++index) {
        // A page that refuses (it closed, or shows a browser page) is not the one in front.
        if ((*replies)[index]) apply(pages[asked[index]], *(*replies)[index]);
    }
    return {};
}

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

// Attaches to every page, opens an isolated world in its main frame and asks there whether the page is
// visible and has the focus: four steps, each one message to every page at once.
DevToolsResult<void> inspect(DevToolsConnection& connection, QList<PageTarget>& pages) {
    auto step = forEachPage(
        connection, pages,
        [](const PageTarget& page) -> std::optional<DevToolsCommand> {
            return DevToolsCommand{u"Target.attachToTarget"_s, {{u"targetId"_s, page.targetID}, {u"flatten"_s, true}}};
        },
        [](PageTarget& page, const QJsonObject& result) { page.sessionID = result.value(u"sessionId"_s).toString(); });
    if (!step) return step;
    step = forEachPage(
        connection, pages,
        [](const PageTarget& page) -> std::optional<DevToolsCommand> {
            if (page.sessionID.isEmpty()) return std::nullopt;
            return DevToolsCommand{u"Page.getFrameTree"_s, {}, page.sessionID};
        },
        [](PageTarget& page, const QJsonObject& result) {
            page.frameID =
                result.value(u"frameTree"_s).toObject().value(u"frame"_s).toObject().value(u"id"_s).toString();
        });
    if (!step) return step;
    step = forEachPage(
        connection, pages,
        [](const PageTarget& page) -> std::optional<DevToolsCommand> {
            if (page.frameID.isEmpty()) return std::nullopt;
            return DevToolsCommand{
                u"Page.createIsolatedWorld"_s,
                {{u"frameId"_s, page.frameID}, {u"worldName"_s, kWorldName}, {u"grantUniveralAccess"_s, false}},
                page.sessionID};
        },
        [](PageTarget& page, const QJsonObject& result) {
            page.contextID = result.value(u"executionContextId"_s).toInteger(0);
        });
    if (!step) return step;
    return forEachPage(
        connection, pages,
        [](const PageTarget& page) -> std::optional<DevToolsCommand> {
            if (page.contextID == 0) return std::nullopt;
            return DevToolsCommand{
                u"Runtime.evaluate"_s,
                {{u"expression"_s, kHasFocus}, {u"contextId"_s, page.contextID}, {u"returnByValue"_s, true}},
                page.sessionID};
        },
        [](PageTarget& page, const QJsonObject& result) {
            page.hasFocus = result.value(u"result"_s).toObject().value(u"value"_s) == QJsonValue(true);
        });
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
    auto pages = pageTargets(connection);
    if (!pages) return tl::unexpected(pages.error());
    if (pages->isEmpty()) return tl::unexpected(DevToolsFailure::noPage);
    if (auto inspected = inspect(connection, *pages); !inspected) return tl::unexpected(inspected.error());

    QList<const PageTarget*> candidates;
    for (const PageTarget& page : *pages) {
        if (page.hasFocus) candidates.append(&page);
    }
    const PageTarget* chosen = candidates.size() == 1 ? candidates.first() : nullptr;
    if (!chosen) {
        if (candidates.isEmpty()) {
            for (const PageTarget& page : *pages) candidates.append(&page);
        }
        auto recent = recentPages(address, limits);
        if (!recent) return tl::unexpected(recent.error());
        for (const QString& id : *recent) {
            const auto found = std::find_if(candidates.cbegin(), candidates.cend(),
                                            [&](const PageTarget* page) { return page->targetID == id; });
            if (found != candidates.cend()) {
                chosen = *found;
                break;
            }
        }
        if (!chosen) chosen = candidates.first();
    }
    if (chosen->contextID == 0) return tl::unexpected(DevToolsFailure::protocolError);

    auto window = connection.call({u"Browser.getWindowForTarget"_s, {{u"targetId"_s, chosen->targetID}}});
    if (!window) return tl::unexpected(DevToolsFailure::noWindow);
    const QJsonValue windowID = window->value(u"windowId"_s);
    if (!windowID.isDouble()) return tl::unexpected(DevToolsFailure::noWindow);
    return DevToolsTab{.windowID = QString::number(windowID.toInteger()),
                       .targetID = chosen->targetID,
                       .url = chosen->url,
                       .sessionID = chosen->sessionID,
                       .contextID = chosen->contextID};
}

}  // namespace tavrine
