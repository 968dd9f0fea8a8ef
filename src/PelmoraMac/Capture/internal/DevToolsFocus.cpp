#include "PelmoraMac/Capture/internal/DevToolsFocus.h"

#include <QJsonArray>

namespace tavrine {
using namespace Qt::StringLiterals;
namespace {

// The name of the isolated worlds opened in frames; the page's scripts never see them.
const QString kFrameWorldName = u"tavrine"_s;

// An isolated world of one frame, in the session of the target that holds the frame.
struct World {
    QString sessionID;
    qint64 contextID = 0;

    bool operator==(const World&) const = default;
};

// Where the focus ends: the world of its frame and the argument that hands its element to a function
// there (null where nothing in that frame has the focus); no world when it cannot be followed.
struct FocusEnd {
    std::optional<World> world{};
    QJsonObject element{};
};

QJsonObject valueArgument(const QJsonValue& value) {
    return {{u"value"_s, value}};
}

// The reply to one command: its result or the browser's refusal. A failure of the connection fails.
DevToolsResult<DevToolsReply> ask(DevToolsConnection& connection, const DevToolsCommand& command) {
    auto replies = connection.send({command});
    if (!replies) return tl::unexpected(replies.error());
    return replies->first();
}

// The result of a command whose refusal (protocolError) means that the way on is closed: none then. Any other
// failure (the page went away meanwhile) fails.
DevToolsResult<std::optional<QJsonObject>> resultIfAllowed(const DevToolsResult<DevToolsReply>& answer) {
    if (!answer) return tl::unexpected(answer.error());
    if (*answer) return std::optional(**answer);
    if (answer->error() == DevToolsFailure::protocolError) return std::optional<QJsonObject>{};
    return tl::unexpected(answer->error());
}

// The value of a program run in a world, as the protocol describes it (a remote object): programException when
// it threw, protocolError when the world refused to run it.
DevToolsResult<QJsonObject> resultOf(const DevToolsResult<DevToolsReply>& answer) {
    if (!answer) return tl::unexpected(answer.error());
    if (!*answer) return tl::unexpected(answer->error());
    if ((*answer)->contains(u"exceptionDetails"_s)) return tl::unexpected(DevToolsFailure::programException);
    return (*answer)->value(u"result"_s).toObject();
}

DevToolsResult<QJsonObject> evaluate(DevToolsConnection& connection, const World& world, const QString& expression) {
    return resultOf(ask(
        connection,
        {u"Runtime.evaluate"_s, {{u"expression"_s, expression}, {u"contextId"_s, world.contextID}}, world.sessionID}));
}

DevToolsResult<QJsonObject> callFunction(DevToolsConnection& connection, const World& world, const QString& declaration,
                                         const QJsonArray& arguments, bool byValue = false) {
    return resultOf(ask(connection, {u"Runtime.callFunctionOn"_s,
                                     {{u"functionDeclaration"_s, declaration},
                                      {u"executionContextId"_s, world.contextID},
                                      {u"arguments"_s, arguments},
                                      {u"returnByValue"_s, byValue}},
                                     world.sessionID}));
}

bool isElement(const QJsonObject& remote) {
    return remote.value(u"subtype"_s) == u"node"_s && !remote.value(u"objectId"_s).toString().isEmpty();
}

// The shadow root of a described element when it is a closed one: the page's script cannot enter it.
std::optional<qint64> closedShadowRoot(const QJsonObject& node) {
    for (const QJsonValue& root : node.value(u"shadowRoots"_s).toArray()) {
        if (root.toObject().value(u"shadowRootType"_s) == u"closed"_s) {
            return root.toObject().value(u"backendNodeId"_s).toInteger();
        }
    }
    return std::nullopt;
}

std::optional<World> worldOf(const DevToolsReply& created, const QString& sessionID) {
    const qint64 context = created ? created->value(u"executionContextId"_s).toInteger() : 0;
    if (context == 0) return std::nullopt;
    return World{sessionID, context};
}

// An isolated world of the frame: in the session of the frame's parent when the frame lives in the same
// process; else in the frame's own target (a frame of another site), whose id is the frame's. The parent's
// session answers that it knows no such frame in the second case, which is no failure here; none where
// neither opens one.
DevToolsResult<std::optional<World>> frameWorld(DevToolsConnection& connection, const QString& frameID,
                                                const QString& parentSession) {
    const QJsonObject world{
        {u"frameId"_s, frameID}, {u"worldName"_s, kFrameWorldName}, {u"grantUniveralAccess"_s, false}};
    auto here = ask(connection, {u"Page.createIsolatedWorld"_s, world, parentSession});
    if (!here) return tl::unexpected(here.error());
    if (auto found = worldOf(*here, parentSession)) return found;
    auto attached = ask(connection, {u"Target.attachToTarget"_s, {{u"targetId"_s, frameID}, {u"flatten"_s, true}}});
    if (!attached) return tl::unexpected(attached.error());
    const QString session = *attached ? (**attached).value(u"sessionId"_s).toString() : QString();
    if (session.isEmpty()) return std::optional<World>{};
    // A frame whose renderer is gone answers nothing; asked so, the browser ends its session at once.
    connection.forget(connection.post({u"Inspector.enable"_s, {}, session}));
    auto there = ask(connection, {u"Page.createIsolatedWorld"_s, world, session});
    if (!there) return tl::unexpected(there.error());
    return worldOf(*there, session);
}

QString focusCall(int budget) {
    return u"\nRSVPSnapshot.focus(null, "_s + QString::number(budget) + u");"_s;
}

// Follows the focus from the tab's main frame: the page script as far as it goes, then the browser into a
// closed shadow root or a frame of another origin where the script stopped, and the script again from there.
// Each level the script follows and each one the browser opens counts against kFocusNestingLimit.
DevToolsResult<FocusEnd> followFocus(DevToolsConnection& connection, const DevToolsTab& tab, const QString& script) {
    World world{tab.sessionID, tab.contextID};
    int budget = kFocusNestingLimit;
    auto found = evaluate(connection, world, script + focusCall(budget));
    for (;;) {
        if (!found) return tl::unexpected(found.error());
        if (found->value(u"value"_s) == u"tooDeep"_s) return FocusEnd{};
        if (!isElement(*found)) return FocusEnd{world, valueArgument(QJsonValue::Null)};
        const QString element = found->value(u"objectId"_s).toString();
        const QJsonObject elementArgument{{u"objectId"_s, element}};

        // Without its children: the focused element is often the body of a long page.
        auto described = resultIfAllowed(
            ask(connection, {u"DOM.describeNode"_s, {{u"objectId"_s, element}, {u"depth"_s, 0}}, world.sessionID}));
        if (!described) return tl::unexpected(described.error());
        if (!*described) return FocusEnd{};
        const QJsonObject node = (*described)->value(u"node"_s).toObject();
        const std::optional<qint64> closedRoot = closedShadowRoot(node);
        const QString frameID = node.value(u"frameId"_s).toString();
        if (!closedRoot && frameID.isEmpty()) return FocusEnd{world, elementArgument};

        auto levels = evaluate(connection, world, u"RSVPSnapshot.levels()"_s);
        if (!levels) return tl::unexpected(levels.error());
        budget -= levels->value(u"value"_s).toInt(kFocusNestingLimit) + 1;
        if (budget < 0) return FocusEnd{};

        if (closedRoot) {
            auto root = resultIfAllowed(
                ask(connection, {u"DOM.resolveNode"_s,
                                 {{u"backendNodeId"_s, *closedRoot}, {u"executionContextId"_s, world.contextID}},
                                 world.sessionID}));
            if (!root) return tl::unexpected(root.error());
            const QString rootObject =
                *root ? (*root)->value(u"object"_s).toObject().value(u"objectId"_s).toString() : QString();
            if (rootObject.isEmpty()) return FocusEnd{};
            found = callFunction(connection, world,
                                 u"function (root, budget) { return RSVPSnapshot.focus(root, budget); }"_s,
                                 {QJsonObject{{u"objectId"_s, rootObject}}, valueArgument(budget)});
            // Nothing inside has the focus: the host itself has.
            if (found && found->value(u"subtype"_s) == u"null"_s) return FocusEnd{world, elementArgument};
            continue;
        }
        auto inner = frameWorld(connection, frameID, world.sessionID);
        if (!inner) return tl::unexpected(inner.error());
        if (!*inner) return FocusEnd{};
        world = **inner;
        found = evaluate(connection, world, script + focusCall(budget));
    }
}

}  // namespace

DevToolsResult<std::optional<QString>> takePageSnapshot(DevToolsConnection& connection, const DevToolsTab& tab,
                                                        const QString& script, bool wantsHTML) {
    auto end = followFocus(connection, tab, script);
    if (!end) return tl::unexpected(end.error());
    const World main{tab.sessionID, tab.contextID};
    const QJsonObject wanted = valueArgument(wantsHTML);
    DevToolsResult<QJsonObject> payload;
    if (end->world == main) {
        payload = callFunction(
            connection, main,
            u"function (wantsHTML, element) { return RSVPSnapshot.snapshot(wantsHTML, RSVPSnapshot.read(element)); }"_s,
            {wanted, end->element}, true);
    } else {
        QJsonObject reading{{u"status"_s, u"protectedField"_s}};
        if (end->world) {
            auto read =
                callFunction(connection, *end->world, u"function (element) { return RSVPSnapshot.read(element); }"_s,
                             {end->element}, true);
            if (!read) return tl::unexpected(read.error());
            reading = read->value(u"value"_s).toObject();
        }
        payload = callFunction(connection, main,
                               u"function (wantsHTML, reading) { return RSVPSnapshot.snapshot(wantsHTML, reading); }"_s,
                               {wanted, valueArgument(reading)}, true);
    }
    if (!payload) return tl::unexpected(payload.error());
    const QJsonValue value = payload->value(u"value"_s);
    if (!value.isString()) return std::optional<QString>();
    return std::optional(value.toString());
}

}  // namespace tavrine
