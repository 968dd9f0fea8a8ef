#pragma once

#include "PelmoraMac/Capture/AccessibilityBus.h"
#include "PelmoraMac/Capture/AccessibilityFocusLog.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QHash>

#include <memory>
#include <optional>

namespace tavrine {

class ChangeAnnouncements;

// The accessibility bus of the session (AT-SPI over D-Bus). Each call is one blocking message whose wait
// ends at the deadline: no answer by then is timedOut; an unknown object, interface, method or property
// is no value; the bus gone is permissionRequired; any other error is unavailable. The focused elements
// come from the focus tracker's log, when one is given. Made and used on one thread (a pool thread).
class AtspiAccessibilityBus final : public AccessibilityBus {
public:
    explicit AtspiAccessibilityBus(std::shared_ptr<const AccessibilityFocusLog> focusLog = nullptr);
    ~AtspiAccessibilityBus() override;

    // The launcher must say that accessibility is enabled, and its bus must be reachable: this connects
    // to it, and every call before it fails with permissionRequired.
    bool isEnabled() override;
    AccessibleAnswer<QList<AccessibleElement>> applications(CaptureDeadline deadline) override;
    AccessibleAnswer<pid_t> processOf(const QString& service, CaptureDeadline deadline) override;
    std::optional<AccessibleElement> lastFocused(const QString& service) override;
    std::optional<Clock::MonotonicTime> lastFocusChange(const QString& service) override;
    // The registry asked to have the applications announce such changes while this bus follows them.
    bool followChanges(const QString& service, CaptureDeadline deadline) override;
    QStringList changedObjects() const override;
    AccessibleAnswer<std::uint32_t> role(const AccessibleElement& element, CaptureDeadline deadline) override;
    AccessibleAnswer<AccessibleStates> states(const AccessibleElement& element, CaptureDeadline deadline) override;
    AccessibleAnswer<AccessibleElement> parent(const AccessibleElement& element, CaptureDeadline deadline) override;
    AccessibleAnswer<QList<AccessibleElement>> children(const AccessibleElement& element,
                                                        CaptureDeadline deadline) override;
    AccessibleAnswer<int> childCount(const AccessibleElement& element, CaptureDeadline deadline) override;
    AccessibleAnswer<QMap<QString, QString>> documentAttributes(const AccessibleElement& element,
                                                                CaptureDeadline deadline) override;
    AccessibleAnswer<QMap<QString, QString>> attributes(const AccessibleElement& element,
                                                        CaptureDeadline deadline) override;
    AccessibleAnswer<int> characterCount(const AccessibleElement& element, CaptureDeadline deadline) override;
    AccessibleAnswer<int> selectionCount(const AccessibleElement& element, CaptureDeadline deadline) override;
    AccessibleAnswer<AccessibleTextRange> selection(const AccessibleElement& element, int index,
                                                    CaptureDeadline deadline) override;
    AccessibleAnswer<QString> text(const AccessibleElement& element, AccessibleTextRange range,
                                   CaptureDeadline deadline) override;
    // Three messages: the link index of the offset, the link, and the link's object.
    AccessibleAnswer<AccessibleElement> embeddedObject(const AccessibleElement& element, int offset,
                                                       CaptureDeadline deadline) override;
    // Each one message, sent as a batch of one.
    AccessibleAnswer<AccessibleBox> characterBox(const AccessibleElement& element, int offset,
                                                 CaptureDeadline deadline) override {
        auto boxes = characterBoxes({{.element = element, .offset = offset}}, deadline);
        if (!boxes) return tl::unexpected(boxes.error());
        return boxes->constFirst();
    }
    AccessibleAnswer<AccessibleBox> rangeBox(const AccessibleElement& element, AccessibleTextRange range,
                                             CaptureDeadline deadline) override {
        auto boxes = rangeBoxes({{.element = element, .range = range}}, deadline);
        if (!boxes) return tl::unexpected(boxes.error());
        return boxes->constFirst();
    }
    AccessibleAnswer<AccessibleTextRange> paragraphAt(const AccessibleElement& element, int offset,
                                                      CaptureDeadline deadline) override {
        auto paragraphs = paragraphsAt({{.element = element, .offset = offset}}, deadline);
        if (!paragraphs) return tl::unexpected(paragraphs.error());
        return paragraphs->constFirst();
    }

    // Each step's messages sent together, the next step's once the last answer of this one has come.
    AccessibleAnswers<AccessibleElement> embeddedObjects(const QList<AccessibleTextOffset>& places,
                                                         CaptureDeadline deadline) override;
    // The link index and the link at each place: a link named before stands for the object it led to then (an
    // application makes a link for each object and names no link twice), and only a new one is asked its object.
    AccessibleAnswers<AccessibleElement> embeddedObjectsAgain(const QList<AccessibleTextOffset>& places,
                                                              CaptureDeadline deadline) override;
    AccessibleAnswers<std::uint32_t> roles(const QList<AccessibleElement>& elements, CaptureDeadline deadline) override;
    AccessibleAnswers<AccessibleTextRange> firstSelections(const QList<AccessibleElement>& elements,
                                                           CaptureDeadline deadline) override;
    AccessibleAnswers<QMap<QString, QString>> attributesOf(const QList<AccessibleElement>& elements,
                                                           CaptureDeadline deadline) override;
    AccessibleAnswers<QString> texts(const QList<AccessibleTextPart>& parts, CaptureDeadline deadline) override;
    AccessibleAnswers<int> childCounts(const QList<AccessibleElement>& elements, CaptureDeadline deadline) override;
    AccessibleAnswers<int> characterCounts(const QList<AccessibleElement>& elements, CaptureDeadline deadline) override;
    AccessibleAnswers<AccessibleBox> characterBoxes(const QList<AccessibleTextOffset>& places,
                                                    CaptureDeadline deadline) override;
    AccessibleAnswers<AccessibleBox> rangeBoxes(const QList<AccessibleTextPart>& parts,
                                                CaptureDeadline deadline) override;
    AccessibleAnswers<AccessibleTextRange> paragraphsAt(const QList<AccessibleTextOffset>& places,
                                                        CaptureDeadline deadline) override;
    AccessibleAnswers<QList<AccessibleElement>> childrenOf(const QList<AccessibleElement>& elements,
                                                           CaptureDeadline deadline) override;

private:
    // The reply's arguments; none for an unknown object, interface, method or property.
    AccessibleAnswer<QList<QVariant>> send(const QDBusMessage& message, CaptureDeadline deadline);
    // The messages sent with at most kCallsInFlight of them unanswered at a time, and their replies' arguments
    // in their order, each as send() gives it; timedOut unless all are answered by the deadline.
    CaptureResult<QList<AccessibleAnswer<QList<QVariant>>>> sendAll(const QList<QDBusMessage>& messages,
                                                                    CaptureDeadline deadline);
    // The answers to the messages, each reply read by `parse`.
    template <typename T, typename Parse>
    AccessibleAnswers<T> sendEach(const QList<QDBusMessage>& messages, CaptureDeadline deadline, Parse parse);
    AccessibleAnswer<QList<QVariant>> answerOf(const QDBusMessage& reply) const;
    // The link index of each place. A text's links are numbered in the order of their object replacement
    // characters: where the first and the last of a row of places in one text are links as far apart as
    // the places, the places between are the links between, and only the ends are asked for.
    AccessibleAnswers<int> linkIndexes(const QList<AccessibleTextOffset>& places, CaptureDeadline deadline);
    // The link at each place, none where there is none.
    AccessibleAnswers<AccessibleElement> embeddedLinks(const QList<AccessibleTextOffset>& places,
                                                       CaptureDeadline deadline);
    // The object of each link: those in `known` as they are there, the others asked (and kept in m_linkObjects).
    AccessibleAnswers<AccessibleElement> linkObjects(const QList<std::optional<AccessibleElement>>& links,
                                                     const QHash<QString, AccessibleElement>& known,
                                                     CaptureDeadline deadline);
    AccessibleAnswer<QVariant> property(const AccessibleElement& element, const QString& interface, const QString& name,
                                        CaptureDeadline deadline);

    std::shared_ptr<const AccessibilityFocusLog> m_focusLog;
    std::optional<QDBusConnection> m_connection;
    std::unique_ptr<ChangeAnnouncements> m_changes;
    // The object each link named so far led to, by the link's path.
    QHash<QString, AccessibleElement> m_linkObjects;
};

}  // namespace tavrine
