#include "PelmoraMac/Capture/AtspiAccessibilityBus.h"

#include "PelmoraMac/Capture/internal/AccessibilityConnection.h"
#include "PelmoraMac/Capture/internal/AtspiReplies.h"
#include "PelmoraMac/Capture/internal/ChangeAnnouncements.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QEventLoop>
#include <QTimer>

#include <cmath>

namespace tavrine {
using namespace Qt::StringLiterals;
using namespace atspi;

namespace {

// How long the launcher may take to say whether accessibility is on, before a capture's time starts.
constexpr int kLauncherTimeoutMilliseconds = 1'000;
constexpr int kBackstopMilliseconds = 1'000;
// The most calls sent and not yet answered: enough to keep the application busy between answers, well
// below what the bus lets one connection wait for.
constexpr qsizetype kCallsInFlight = 256;

const QString kAccessible = u"org.a11y.atspi.Accessible"_s;
const QString kText = u"org.a11y.atspi.Text"_s;
const QString kHypertext = u"org.a11y.atspi.Hypertext"_s;

QDBusMessage callOf(const AccessibleElement& element, const QString& interface, const QString& method) {
    return QDBusMessage::createMethodCall(element.service, element.path, interface, method);
}

// One answer per item: in order, the answers of the calls made for the items `asked` says were asked, and
// none for the others.
template <typename T>
QList<std::optional<T>> spread(const QList<bool>& asked, QList<std::optional<T>> answers) {
    QList<std::optional<T>> all;
    all.reserve(asked.size());
    qsizetype next = 0;
    for (const bool wasAsked : asked) all.append(wasAsked ? std::move(answers[next++]) : std::nullopt);
    return all;
}

// A property of one of the element's interfaces.
QDBusMessage propertyCall(const AccessibleElement& element, const QString& interface, const QString& name) {
    QDBusMessage message = callOf(element, u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
    message << interface << name;
    return message;
}

QDBusMessage childrenCall(const AccessibleElement& element) {
    return callOf(element, kAccessible, u"GetChildren"_s);
}

QDBusMessage selectionCall(const AccessibleElement& element, int index) {
    QDBusMessage message = callOf(element, kText, u"GetSelection"_s);
    message << index;
    return message;
}

QDBusMessage textCall(const AccessibleElement& element, AccessibleTextRange range) {
    QDBusMessage message = callOf(element, kText, u"GetText"_s);
    message << range.start << range.end;
    return message;
}

// The three steps from a place in a text to the object there: the index of the link at the offset, the
// link, the link's object.
QDBusMessage linkIndexCall(const AccessibleElement& element, int offset) {
    QDBusMessage message = callOf(element, kHypertext, u"GetLinkIndex"_s);
    message << offset;
    return message;
}

QDBusMessage linkCall(const AccessibleElement& element, int index) {
    QDBusMessage message = callOf(element, kHypertext, u"GetLink"_s);
    message << index;
    return message;
}

QDBusMessage linkObjectCall(const AccessibleElement& link) {
    QDBusMessage message = callOf(link, u"org.a11y.atspi.Hyperlink"_s, u"GetObject"_s);
    message << 0;
    return message;
}

// A question about an offset of a text and its kind: where the character is drawn (GetCharacterExtents, 0: in
// the screen's coordinates), or the paragraph that holds it (GetStringAtOffset, 4: the bus's paragraphs).
QDBusMessage textAtCall(const AccessibleElement& element, const QString& method, int offset, uint kind) {
    QDBusMessage message = callOf(element, kText, method);
    message << offset << kind;
    return message;
}

}  // namespace

AtspiAccessibilityBus::AtspiAccessibilityBus(std::shared_ptr<const AccessibilityFocusLog> focusLog)
    : m_focusLog(std::move(focusLog)) {}

AtspiAccessibilityBus::~AtspiAccessibilityBus() = default;

bool AtspiAccessibilityBus::followChanges(const QString& service, CaptureDeadline deadline) {
    if (m_changes) return m_changes->isFollowing();
    if (!m_connection || !m_connection->isConnected()) return false;
    const auto left = std::chrono::duration<double, std::milli>(deadline - SystemClock::shared().monotonicNow());
    if (left.count() <= 0) return false;
    m_changes = std::make_unique<ChangeAnnouncements>(*m_connection, service, int(std::ceil(left.count())));
    return m_changes->isFollowing();
}

QStringList AtspiAccessibilityBus::changedObjects() const {
    return m_changes ? m_changes->changed() : QStringList();
}

bool AtspiAccessibilityBus::isEnabled() {
    if (!accessibilityBusEnabled(kLauncherTimeoutMilliseconds)) return false;
    if (!m_connection || !m_connection->isConnected())
        m_connection = accessibilityBusConnection(kLauncherTimeoutMilliseconds);
    return m_connection.has_value();
}

AccessibleAnswer<QList<QVariant>> AtspiAccessibilityBus::answerOf(const QDBusMessage& reply) const {
    if (reply.type() == QDBusMessage::ReplyMessage) return std::optional(reply.arguments());
    const QString error = reply.errorName();
    if (error == u"org.freedesktop.DBus.Error.NoReply"_s || error == u"org.freedesktop.DBus.Error.Timeout"_s ||
        error == u"org.freedesktop.DBus.Error.TimedOut"_s) {
        return tl::unexpected(CaptureFailure::timedOut);
    }
    if (error == u"org.freedesktop.DBus.Error.UnknownMethod"_s ||
        error == u"org.freedesktop.DBus.Error.UnknownObject"_s ||
        error == u"org.freedesktop.DBus.Error.UnknownInterface"_s ||
        error == u"org.freedesktop.DBus.Error.UnknownProperty"_s ||
        // The application went away since it was found: it has nothing to show any more.
        error == u"org.freedesktop.DBus.Error.ServiceUnknown"_s ||
        error == u"org.freedesktop.DBus.Error.NameHasNoOwner"_s) {
        return none<QList<QVariant>>();
    }
    if (error == u"org.freedesktop.DBus.Error.Disconnected"_s || !m_connection->isConnected()) {
        return tl::unexpected(CaptureFailure::permissionRequired);
    }
    return tl::unexpected(CaptureFailure::unavailable);
}

AccessibleAnswer<QList<QVariant>> AtspiAccessibilityBus::send(const QDBusMessage& message, CaptureDeadline deadline) {
    auto replies = sendAll({message}, deadline);
    if (!replies) return tl::unexpected(replies.error());
    return replies->constFirst();
}

CaptureResult<QList<AccessibleAnswer<QList<QVariant>>>> AtspiAccessibilityBus::sendAll(
    const QList<QDBusMessage>& messages, CaptureDeadline deadline) {
    if (!m_connection || !m_connection->isConnected()) return tl::unexpected(CaptureFailure::permissionRequired);
    const auto left = std::chrono::duration<double, std::milli>(deadline - SystemClock::shared().monotonicNow());
    if (left.count() <= 0) return tl::unexpected(CaptureFailure::timedOut);
    // The bus's own time-out is a coarse timer that may end the wait early or late; the wait is ours, on a
    // precise timer at the deadline, and the bus's time-out only a backstop after it.
    const int timeout = int(std::ceil(left.count()));
    std::vector<std::unique_ptr<QDBusPendingCallWatcher>> watchers(std::size_t(messages.size()));
    qsizetype sent = 0;
    qsizetype answered = 0;
    QEventLoop loop;
    // Keeps kCallsInFlight calls sent and unanswered, until every call is sent.
    std::function<void()> sendMore = [&] {
        while (sent < messages.size() && sent - answered < kCallsInFlight) {
            auto& watcher = watchers[std::size_t(sent++)];
            watcher = std::make_unique<QDBusPendingCallWatcher>(
                m_connection->asyncCall(messages[sent - 1], timeout + kBackstopMilliseconds));
            // Also for a call answered at once: the watcher then tells it from the event loop.
            QObject::connect(watcher.get(), &QDBusPendingCallWatcher::finished, &loop, [&] {
                if (++answered == messages.size()) loop.quit();
                sendMore();
            });
        }
    };
    sendMore();
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(timeout);
    if (answered < messages.size()) loop.exec();
    if (answered < messages.size()) return tl::unexpected(CaptureFailure::timedOut);
    QList<AccessibleAnswer<QList<QVariant>>> replies;
    replies.reserve(messages.size());
    for (const auto& watcher : watchers) replies.append(answerOf(watcher->reply()));
    return replies;
}

AccessibleAnswer<QVariant> AtspiAccessibilityBus::property(const AccessibleElement& element, const QString& interface,
                                                           const QString& name, CaptureDeadline deadline) {
    auto reply = send(propertyCall(element, interface, name), deadline);
    if (!hasArguments(reply, 1)) return withoutValue<QVariant>(reply);
    return std::optional((*reply)->constFirst().value<QDBusVariant>().variant());
}

AccessibleAnswer<QList<AccessibleElement>> AtspiAccessibilityBus::applications(CaptureDeadline deadline) {
    return children({.service = u"org.a11y.atspi.Registry"_s, .path = u"/org/a11y/atspi/accessible/root"_s}, deadline);
}

AccessibleAnswer<pid_t> AtspiAccessibilityBus::processOf(const QString& service, CaptureDeadline deadline) {
    QDBusMessage message = QDBusMessage::createMethodCall(u"org.freedesktop.DBus"_s, u"/org/freedesktop/DBus"_s,
                                                          u"org.freedesktop.DBus"_s, u"GetConnectionUnixProcessID"_s);
    message << service;
    auto reply = send(message, deadline);
    if (!hasArguments(reply, 1)) return withoutValue<pid_t>(reply);
    const auto process = valueOf<uint>((*reply)->constFirst());
    if (!process) return unexpectedAnswer<pid_t>();
    return std::optional(pid_t(*process));
}

std::optional<AccessibleElement> AtspiAccessibilityBus::lastFocused(const QString& service) {
    return m_focusLog ? m_focusLog->lastFocused(service) : std::nullopt;
}

std::optional<Clock::MonotonicTime> AtspiAccessibilityBus::lastFocusChange(const QString& service) {
    return m_focusLog ? m_focusLog->lastChange(service) : std::nullopt;
}

AccessibleAnswer<std::uint32_t> AtspiAccessibilityBus::role(const AccessibleElement& element,
                                                            CaptureDeadline deadline) {
    return roleFrom(send(callOf(element, kAccessible, u"GetRole"_s), deadline));
}

AccessibleAnswer<AccessibleStates> AtspiAccessibilityBus::states(const AccessibleElement& element,
                                                                 CaptureDeadline deadline) {
    auto reply = send(callOf(element, kAccessible, u"GetState"_s), deadline);
    if (!hasArguments(reply, 1)) return withoutValue<AccessibleStates>(reply);
    const QVariant value = (*reply)->constFirst();
    if (!value.canConvert<QDBusArgument>()) return unexpectedAnswer<AccessibleStates>();
    const auto words = qdbus_cast<QList<uint>>(value);
    AccessibleStates states;
    for (qsizetype i = 0; i < std::min<qsizetype>(words.size(), 2); ++i) {
        states.bits |= std::uint64_t(words[i]) << (32 * i);
    }
    return std::optional(states);
}

AccessibleAnswer<AccessibleElement> AtspiAccessibilityBus::parent(const AccessibleElement& element,
                                                                  CaptureDeadline deadline) {
    auto value = property(element, kAccessible, u"Parent"_s, deadline);
    if (!value || !*value) return withoutValue<AccessibleElement>(value);
    if (!(*value)->canConvert<QDBusArgument>()) return unexpectedAnswer<AccessibleElement>();
    const auto parent = elementFrom((*value)->value<QDBusArgument>());
    if (!parent) return unexpectedAnswer<AccessibleElement>();
    if (isNullElement(*parent)) return none<AccessibleElement>();
    return std::optional(*parent);
}

AccessibleAnswer<QList<AccessibleElement>> AtspiAccessibilityBus::children(const AccessibleElement& element,
                                                                           CaptureDeadline deadline) {
    return childrenFrom(send(childrenCall(element), deadline));
}

AccessibleAnswer<int> AtspiAccessibilityBus::childCount(const AccessibleElement& element, CaptureDeadline deadline) {
    return intPropertyFrom(send(propertyCall(element, kAccessible, u"ChildCount"_s), deadline));
}

AccessibleAnswer<QMap<QString, QString>> AtspiAccessibilityBus::documentAttributes(const AccessibleElement& element,
                                                                                   CaptureDeadline deadline) {
    return stringMapFrom(send(callOf(element, u"org.a11y.atspi.Document"_s, u"GetAttributes"_s), deadline));
}

AccessibleAnswer<QMap<QString, QString>> AtspiAccessibilityBus::attributes(const AccessibleElement& element,
                                                                           CaptureDeadline deadline) {
    return stringMapFrom(send(callOf(element, kAccessible, u"GetAttributes"_s), deadline));
}

AccessibleAnswer<int> AtspiAccessibilityBus::characterCount(const AccessibleElement& element,
                                                            CaptureDeadline deadline) {
    return intPropertyFrom(send(propertyCall(element, kText, u"CharacterCount"_s), deadline));
}

AccessibleAnswer<int> AtspiAccessibilityBus::selectionCount(const AccessibleElement& element,
                                                            CaptureDeadline deadline) {
    return intFrom(send(callOf(element, kText, u"GetNSelections"_s), deadline));
}

AccessibleAnswer<AccessibleTextRange> AtspiAccessibilityBus::selection(const AccessibleElement& element, int index,
                                                                       CaptureDeadline deadline) {
    return rangeFrom(send(selectionCall(element, index), deadline));
}

AccessibleAnswer<QString> AtspiAccessibilityBus::text(const AccessibleElement& element, AccessibleTextRange range,
                                                      CaptureDeadline deadline) {
    return stringFrom(send(textCall(element, range), deadline));
}

AccessibleAnswer<AccessibleElement> AtspiAccessibilityBus::embeddedObject(const AccessibleElement& element, int offset,
                                                                          CaptureDeadline deadline) {
    auto objects = embeddedObjects({{.element = element, .offset = offset}}, deadline);
    if (!objects) return tl::unexpected(objects.error());
    return objects->constFirst();
}

template <typename T, typename Parse>
AccessibleAnswers<T> AtspiAccessibilityBus::sendEach(const QList<QDBusMessage>& messages, CaptureDeadline deadline,
                                                     Parse parse) {
    auto replies = sendAll(messages, deadline);
    if (!replies) return tl::unexpected(replies.error());
    QList<std::optional<T>> answers;
    answers.reserve(replies->size());
    for (const Reply& reply : std::as_const(*replies)) {
        auto answer = parse(reply);
        if (!answer) return tl::unexpected(answer.error());
        answers.append(std::move(*answer));
    }
    return answers;
}

AccessibleAnswers<int> AtspiAccessibilityBus::linkIndexes(const QList<AccessibleTextOffset>& places,
                                                          CaptureDeadline deadline) {
    // Rows of places in one element's text, in order.
    QList<std::pair<qsizetype, qsizetype>> rows;
    for (qsizetype index = 0; index < places.size(); ++index) {
        const bool continues = index > 0 && places[index].element == places[index - 1].element &&
                               places[index].offset > places[index - 1].offset;
        if (continues)
            rows.last().second = index + 1;
        else
            rows.append({index, index + 1});
    }
    QList<std::optional<int>> indexes(places.size());
    // Asks for the link index of each of the places, in one batch.
    const auto ask = [&](const QList<qsizetype>& which) -> CaptureResult<void> {
        QList<QDBusMessage> calls;
        for (const qsizetype index : which) calls.append(linkIndexCall(places[index].element, places[index].offset));
        auto answers = sendEach<int>(calls, deadline, intFrom);
        if (!answers) return tl::unexpected(answers.error());
        for (qsizetype i = 0; i < which.size(); ++i) indexes[which[i]] = (*answers)[i];
        return {};
    };
    QList<qsizetype> which;
    for (const auto& [begin, end] : rows) {
        if (end - begin < 3) {
            for (qsizetype index = begin; index < end; ++index) which.append(index);
        } else {
            which << begin << end - 1;
        }
    }
    if (auto asked = ask(which); !asked) return tl::unexpected(asked.error());
    which.clear();
    for (const auto& [begin, end] : rows) {
        if (end - begin < 3) continue;
        const std::optional<int> first = indexes[begin];
        const std::optional<int> last = indexes[end - 1];
        if (first && last && *first >= 0 && *last - *first == end - 1 - begin) {
            for (qsizetype index = begin + 1; index < end - 1; ++index) indexes[index] = *first + int(index - begin);
        } else {
            for (qsizetype index = begin + 1; index < end - 1; ++index) which.append(index);
        }
    }
    if (!which.isEmpty()) {
        if (auto asked = ask(which); !asked) return tl::unexpected(asked.error());
    }
    return indexes;
}

AccessibleAnswers<AccessibleElement> AtspiAccessibilityBus::embeddedObjects(const QList<AccessibleTextOffset>& places,
                                                                            CaptureDeadline deadline) {
    auto links = embeddedLinks(places, deadline);
    if (!links) return tl::unexpected(links.error());
    return linkObjects(*links, {}, deadline);
}

AccessibleAnswers<AccessibleElement> AtspiAccessibilityBus::embeddedObjectsAgain(
    const QList<AccessibleTextOffset>& places, CaptureDeadline deadline) {
    auto links = embeddedLinks(places, deadline);
    if (!links) return tl::unexpected(links.error());
    return linkObjects(*links, m_linkObjects, deadline);
}

AccessibleAnswers<AccessibleElement> AtspiAccessibilityBus::embeddedLinks(const QList<AccessibleTextOffset>& places,
                                                                          CaptureDeadline deadline) {
    auto indexes = linkIndexes(places, deadline);
    if (!indexes) return tl::unexpected(indexes.error());
    QList<QDBusMessage> calls;
    QList<bool> asked;
    for (qsizetype i = 0; i < places.size(); ++i) {
        const std::optional<int>& index = (*indexes)[i];
        asked.append(index && *index >= 0);
        if (asked.back()) calls.append(linkCall(places[i].element, *index));
    }
    auto links = sendEach<AccessibleElement>(calls, deadline, elementFromReply);
    if (!links) return tl::unexpected(links.error());
    return spread(asked, std::move(*links));
}

AccessibleAnswers<AccessibleElement> AtspiAccessibilityBus::linkObjects(
    const QList<std::optional<AccessibleElement>>& links, const QHash<QString, AccessibleElement>& known,
    CaptureDeadline deadline) {
    QList<QDBusMessage> calls;
    QList<bool> asked;
    for (const auto& link : links) {
        asked.append(link.has_value() && !known.contains(link->path));
        if (asked.back()) calls.append(linkObjectCall(*link));
    }
    auto objects = sendEach<AccessibleElement>(calls, deadline, elementFromReply);
    if (!objects) return tl::unexpected(objects.error());
    QList<std::optional<AccessibleElement>> found = spread(asked, std::move(*objects));
    for (qsizetype i = 0; i < links.size(); ++i) {
        if (!links[i]) continue;
        if (!asked[i])
            found[i] = known.value(links[i]->path);
        else if (found[i])
            m_linkObjects.insert(links[i]->path, *found[i]);
    }
    return found;
}

AccessibleAnswers<std::uint32_t> AtspiAccessibilityBus::roles(const QList<AccessibleElement>& elements,
                                                              CaptureDeadline deadline) {
    QList<QDBusMessage> calls;
    for (const AccessibleElement& element : elements) calls.append(callOf(element, kAccessible, u"GetRole"_s));
    return sendEach<std::uint32_t>(calls, deadline, roleFrom);
}

AccessibleAnswers<AccessibleTextRange> AtspiAccessibilityBus::firstSelections(const QList<AccessibleElement>& elements,
                                                                              CaptureDeadline deadline) {
    // The first selection is asked for at once, not after how many there are: an element with nothing selected
    // answers an empty range (Chromium and Firefox), so that a page of thousands of objects costs one question
    // each. An application that refuses it where nothing is selected is asked both, element by element.
    QList<QDBusMessage> calls;
    for (const AccessibleElement& element : elements) calls.append(selectionCall(element, 0));
    auto selections = sendEach<AccessibleTextRange>(calls, deadline, rangeFrom);
    if (!selections && selections.error() == CaptureFailure::unavailable)
        return AccessibilityBus::firstSelections(elements, deadline);
    if (!selections) return tl::unexpected(selections.error());
    for (std::optional<AccessibleTextRange>& selection : *selections) {
        if (selection && (selection->start < 0 || selection->end <= selection->start)) selection.reset();
    }
    return selections;
}

AccessibleAnswers<QMap<QString, QString>> AtspiAccessibilityBus::attributesOf(const QList<AccessibleElement>& elements,
                                                                              CaptureDeadline deadline) {
    QList<QDBusMessage> calls;
    for (const AccessibleElement& element : elements) calls.append(callOf(element, kAccessible, u"GetAttributes"_s));
    return sendEach<QMap<QString, QString>>(calls, deadline, stringMapFrom);
}

AccessibleAnswers<QString> AtspiAccessibilityBus::texts(const QList<AccessibleTextPart>& parts,
                                                        CaptureDeadline deadline) {
    QList<QDBusMessage> calls;
    for (const AccessibleTextPart& part : parts) calls.append(textCall(part.element, part.range));
    return sendEach<QString>(calls, deadline, stringFrom);
}

AccessibleAnswers<int> AtspiAccessibilityBus::childCounts(const QList<AccessibleElement>& elements,
                                                          CaptureDeadline deadline) {
    QList<QDBusMessage> calls;
    for (const AccessibleElement& element : elements) calls.append(propertyCall(element, kAccessible, u"ChildCount"_s));
    return sendEach<int>(calls, deadline, intPropertyFrom);
}

AccessibleAnswers<int> AtspiAccessibilityBus::characterCounts(const QList<AccessibleElement>& elements,
                                                              CaptureDeadline deadline) {
    QList<QDBusMessage> calls;
    for (const AccessibleElement& element : elements) calls.append(propertyCall(element, kText, u"CharacterCount"_s));
    return sendEach<int>(calls, deadline, intPropertyFrom);
}

AccessibleAnswers<AccessibleBox> AtspiAccessibilityBus::characterBoxes(const QList<AccessibleTextOffset>& places,
                                                                       CaptureDeadline deadline) {
    QList<QDBusMessage> calls;
    for (const AccessibleTextOffset& place : places)
        calls.append(textAtCall(place.element, u"GetCharacterExtents"_s, place.offset, 0));
    return sendEach<AccessibleBox>(calls, deadline, boxFrom);
}

AccessibleAnswers<AccessibleBox> AtspiAccessibilityBus::rangeBoxes(const QList<AccessibleTextPart>& parts,
                                                                   CaptureDeadline deadline) {
    QList<QDBusMessage> calls;
    for (const AccessibleTextPart& part : parts) {
        calls.append(callOf(part.element, kText, u"GetRangeExtents"_s));
        calls.last() << part.range.start << part.range.end << uint(0);
    }
    return sendEach<AccessibleBox>(calls, deadline, boxFrom);
}

AccessibleAnswers<AccessibleTextRange> AtspiAccessibilityBus::paragraphsAt(const QList<AccessibleTextOffset>& places,
                                                                           CaptureDeadline deadline) {
    QList<QDBusMessage> calls;
    for (const AccessibleTextOffset& place : places)
        calls.append(textAtCall(place.element, u"GetStringAtOffset"_s, place.offset, 4));
    return sendEach<AccessibleTextRange>(calls, deadline, paragraphFrom);
}

AccessibleAnswers<QList<AccessibleElement>> AtspiAccessibilityBus::childrenOf(const QList<AccessibleElement>& elements,
                                                                              CaptureDeadline deadline) {
    QList<QDBusMessage> calls;
    for (const AccessibleElement& element : elements) calls.append(childrenCall(element));
    return sendEach<QList<AccessibleElement>>(calls, deadline, childrenFrom);
}

}  // namespace tavrine
