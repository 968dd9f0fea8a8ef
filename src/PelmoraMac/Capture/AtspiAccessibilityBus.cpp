#include "PelmoraMac/Capture/AtspiAccessibilityBus.h"

#include "PelmoraMac/Capture/internal/AccessibilityConnection.h"
#include "PelmoraMac/Capture/internal/AtspiMessages.h"

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
// How many of the watchers of the batches before are let go at each reply.
constexpr int kSpentPerReply = 2;

}  // namespace

AtspiAccessibilityBus::AtspiAccessibilityBus(std::shared_ptr<const AccessibilityFocusLog> focusLog)
    : m_focusLog(std::move(focusLog)) {}

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
    AccessibleAnswer<QList<QVariant>> answer = none<QList<QVariant>>();
    auto sent = sendAll({message}, deadline, [&](qsizetype, const QDBusMessage& reply) { answer = answerOf(reply); });
    if (!sent) return tl::unexpected(sent.error());
    return answer;
}

CaptureResult<void> AtspiAccessibilityBus::sendAll(const QList<QDBusMessage>& messages, CaptureDeadline deadline,
                                                   const std::function<void(qsizetype, const QDBusMessage&)>& take) {
    QList<QDBusMessage> calls = messages;
    return sendChained(calls, deadline, take);
}

CaptureResult<void> AtspiAccessibilityBus::sendChained(
    QList<QDBusMessage>& messages, CaptureDeadline deadline,
    const std::function<void(qsizetype, const QDBusMessage&)>& take) {
    if (!m_connection || !m_connection->isConnected()) return tl::unexpected(CaptureFailure::permissionRequired);
    const auto left = std::chrono::duration<double, std::milli>(deadline - SystemClock::shared().monotonicNow());
    if (left.count() <= 0) return tl::unexpected(CaptureFailure::timedOut);
    // The bus's own time-out is a coarse timer that may end the wait early or late; the wait is ours, on a
    // precise timer at the deadline, and the bus's time-out only a backstop after it.
    const int timeout = int(std::ceil(left.count()));
    std::vector<std::unique_ptr<QDBusPendingCallWatcher>> watchers;
    watchers.reserve(std::size_t(messages.size()));
    qsizetype answered = 0;
    QEventLoop loop;
    // Keeps kCallsInFlight calls sent and unanswered, until every call is sent. Each reply is taken as it comes,
    // while the application works out the next ones: a batch of thousands is read by the time its last answer
    // is in, and a call that an answer leads to goes out with the rest.
    std::function<void()> sendMore = [&] {
        while (qsizetype(watchers.size()) < messages.size() && qsizetype(watchers.size()) - answered < kCallsInFlight) {
            const qsizetype index = qsizetype(watchers.size());
            watchers.push_back(std::make_unique<QDBusPendingCallWatcher>(
                m_connection->asyncCall(messages[index], timeout + kBackstopMilliseconds)));
            // Also for a call answered at once: the watcher then tells it from the event loop.
            QObject::connect(watchers.back().get(), &QDBusPendingCallWatcher::finished, &loop, [&, index] {
                take(index, watchers[std::size_t(index)]->reply());
                // The last batch's watchers go a few at a time while the application works on this one's
                // calls: thousands at once are 15 ms in which nothing is asked.
                for (int spent = 0; spent < kSpentPerReply && !m_spent.empty(); ++spent) m_spent.pop_back();
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
    // Those still unanswered no longer reach this batch: their connections went with the loop.
    for (auto& watcher : watchers) m_spent.push_back(std::move(watcher));
    if (answered < messages.size()) return tl::unexpected(CaptureFailure::timedOut);
    return {};
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
    return roleFrom(send(roleCall(element), deadline));
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
    return stringMapFrom(send(attributesCall(element), deadline));
}

AccessibleAnswer<int> AtspiAccessibilityBus::characterCount(const AccessibleElement& element,
                                                            CaptureDeadline deadline) {
    return intPropertyFrom(send(propertyCall(element, kText, u"CharacterCount"_s), deadline));
}

AccessibleAnswer<int> AtspiAccessibilityBus::selectionCount(const AccessibleElement& element,
                                                            CaptureDeadline deadline) {
    return intFrom(send(selectionCountCall(element), deadline));
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
    QList<std::optional<T>> answers(messages.size());
    // The failure of the first call in order that failed, whenever its answer came.
    qsizetype failedAt = messages.size();
    CaptureFailure failure = CaptureFailure::unavailable;
    auto sent = sendAll(messages, deadline, [&](qsizetype index, const QDBusMessage& reply) {
        auto answer = parse(answerOf(reply));
        if (answer) {
            answers[index] = std::move(*answer);
        } else if (index < failedAt) {
            failedAt = index;
            failure = answer.error();
        }
    });
    if (!sent) return tl::unexpected(sent.error());
    if (failedAt < messages.size()) return tl::unexpected(failure);
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
    auto indexes = linkIndexes(places, deadline);
    if (!indexes) return tl::unexpected(indexes.error());
    // Each link's object is asked as soon as the link is told, in the same stream of calls.
    QList<QDBusMessage> calls;
    // The place of each call, and whether it asks for the link (else for its object).
    QList<std::pair<qsizetype, bool>> asks;
    for (qsizetype i = 0; i < places.size(); ++i) {
        const std::optional<int>& index = (*indexes)[i];
        if (!index || *index < 0) continue;
        calls.append(linkCall(places[i].element, *index));
        asks.append({i, true});
    }
    QList<std::optional<AccessibleElement>> objects(places.size());
    // The failure of the first place whose link or object failed, links before objects.
    std::pair<bool, qsizetype> failedAt{true, places.size()};
    CaptureFailure failure = CaptureFailure::unavailable;
    auto sent = sendChained(calls, deadline, [&](qsizetype call, const QDBusMessage& reply) {
        const auto [place, isLink] = asks[call];
        auto answer = elementFromReply(answerOf(reply));
        if (!answer) {
            if (std::pair(!isLink, place) < failedAt) {
                failedAt = {!isLink, place};
                failure = answer.error();
            }
        } else if (isLink && *answer) {
            calls.append(linkObjectCall(**answer));
            asks.append({place, false});
        } else if (!isLink) {
            objects[place] = *answer;
        }
    });
    if (!sent) return tl::unexpected(sent.error());
    if (failedAt.second < places.size()) return tl::unexpected(failure);
    return objects;
}

AccessibleAnswers<std::uint32_t> AtspiAccessibilityBus::roles(const QList<AccessibleElement>& elements,
                                                              CaptureDeadline deadline) {
    QList<QDBusMessage> calls;
    for (const AccessibleElement& element : elements) calls.append(roleCall(element));
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
    for (const AccessibleElement& element : elements) calls.append(attributesCall(element));
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
