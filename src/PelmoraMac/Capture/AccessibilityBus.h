#pragma once

#include "PelmoraMac/Capture/CaptureDeadline.h"
#include "PelmoraMac/Capture/CaptureFailure.h"

#include <QList>
#include <QMap>
#include <QString>

#include <sys/types.h>
#include <cstdint>
#include <optional>

namespace tavrine {

// An object that an application shows on the accessibility bus: the bus name of its connection and its
// object path. Two elements are the same object when both are equal.
struct AccessibleElement {
    QString service;
    QString path;

    bool operator==(const AccessibleElement&) const = default;
};

// The roles and states of the accessibility bus that the selection reader tells apart, as the bus numbers
// them.
namespace AccessibleRole {
// No role: an object the application no longer shows.
inline constexpr std::uint32_t invalid = 0;
inline constexpr std::uint32_t comboBox = 11;
inline constexpr std::uint32_t dialog = 16;
inline constexpr std::uint32_t frame = 23;
inline constexpr std::uint32_t listItem = 32;
// A container of the toolkit's own; Firefox holds the focus on the panel of its page for a moment when its
// window becomes active again.
inline constexpr std::uint32_t panel = 39;
inline constexpr std::uint32_t passwordText = 40;
inline constexpr std::uint32_t text = 61;
inline constexpr std::uint32_t window = 69;
inline constexpr std::uint32_t entry = 79;
inline constexpr std::uint32_t documentWeb = 95;
// A run of text of its own: in a web page, one text node's text, or a line break.
inline constexpr std::uint32_t staticText = 116;
}  // namespace AccessibleRole

namespace AccessibleState {
inline constexpr int active = 1;
inline constexpr int busy = 3;
inline constexpr int editable = 7;
inline constexpr int focused = 12;
inline constexpr int multiLine = 17;
inline constexpr int showing = 25;
}  // namespace AccessibleState

// The states of an element, one bit per state number.
struct AccessibleStates {
    std::uint64_t bits = 0;

    bool has(int state) const { return (bits >> state) & 1U; }
    AccessibleStates with(int state) const { return {bits | (std::uint64_t(1) << state)}; }

    bool operator==(const AccessibleStates&) const = default;
};

// One selection of a text element, in the bus's offsets (code points), half open.
struct AccessibleTextRange {
    int start = 0;
    int end = 0;

    bool operator==(const AccessibleTextRange&) const = default;
};

// A place in an element's text, in the bus's offsets (code points).
struct AccessibleTextOffset {
    AccessibleElement element;
    int offset = 0;

    bool operator==(const AccessibleTextOffset&) const = default;
};

// Where a character of a text is drawn, in pixels of the screen; an empty box where it is not drawn.
struct AccessibleBox {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    bool operator==(const AccessibleBox&) const = default;
};

// A range of an element's text.
struct AccessibleTextPart {
    AccessibleElement element;
    AccessibleTextRange range;

    bool operator==(const AccessibleTextPart&) const = default;
};

// The answer of one call: a value; none when the object, the interface or the value does not exist; or
// a failure: timedOut when no answer came by the deadline, permissionRequired when the accessibility bus
// is gone or disabled, unavailable for any other error.
template <typename T>
using AccessibleAnswer = CaptureResult<std::optional<T>>;

// The answers of several calls of one kind, in the order of the calls; the first failure among them (in
// that order) is the failure of all.
template <typename T>
using AccessibleAnswers = CaptureResult<QList<std::optional<T>>>;

// The calls the selection reader makes on the accessibility bus, each one message answered by the
// deadline at the latest (QtDBus in the application, a scripted tree in tests). Used from the reading
// thread alone; an implementation checks nothing about the deadline besides bounding its wait.
class AccessibilityBus {
public:
    virtual ~AccessibilityBus() = default;

    // Whether the bus is there and enabled: what an application needs to be read at all.
    virtual bool isEnabled() = 0;
    // The applications registered on the bus (the children of its registry's root).
    virtual AccessibleAnswer<QList<AccessibleElement>> applications(CaptureDeadline deadline) = 0;
    // The process of a bus name.
    virtual AccessibleAnswer<pid_t> processOf(const QString& service, CaptureDeadline deadline) = 0;
    // The element that the application showed focused last, as the bus announced it; no call.
    virtual std::optional<AccessibleElement> lastFocused(const QString& service) = 0;
    // When the bus last announced that the application's focus moved (gained or lost), on the monotonic
    // clock; none when it never did, or nobody listens. No call.
    virtual std::optional<Clock::MonotonicTime> lastFocusChange(const QString& service) {
        Q_UNUSED(service);
        return std::nullopt;
    }

    // Starts following the announcements of the application that an object's children or text changed; false
    // where the bus makes none (this version).
    virtual bool followChanges(const QString& service, CaptureDeadline deadline) {
        Q_UNUSED(service);
        Q_UNUSED(deadline);
        return false;
    }
    // The objects whose children or text the application followed announced changed since, in their order: every
    // announcement it made before it answered the last call is in. No call.
    virtual QStringList changedObjects() const { return {}; }

    virtual AccessibleAnswer<std::uint32_t> role(const AccessibleElement& element, CaptureDeadline deadline) = 0;
    virtual AccessibleAnswer<AccessibleStates> states(const AccessibleElement& element, CaptureDeadline deadline) = 0;
    virtual AccessibleAnswer<AccessibleElement> parent(const AccessibleElement& element, CaptureDeadline deadline) = 0;
    virtual AccessibleAnswer<QList<AccessibleElement>> children(const AccessibleElement& element,
                                                                CaptureDeadline deadline) = 0;
    // How many children an element has, without naming them (this version counts them).
    virtual AccessibleAnswer<int> childCount(const AccessibleElement& element, CaptureDeadline deadline);
    // The attributes of a document (its address among them).
    virtual AccessibleAnswer<QMap<QString, QString>> documentAttributes(const AccessibleElement& element,
                                                                        CaptureDeadline deadline) = 0;
    // The object attributes of an element; in a web page its "display" among them ("block", "inline", …).
    virtual AccessibleAnswer<QMap<QString, QString>> attributes(const AccessibleElement& element,
                                                                CaptureDeadline deadline) = 0;

    // The text interface: its length in code points, its selections, and a range of its text.
    virtual AccessibleAnswer<int> characterCount(const AccessibleElement& element, CaptureDeadline deadline) = 0;
    virtual AccessibleAnswer<int> selectionCount(const AccessibleElement& element, CaptureDeadline deadline) = 0;
    virtual AccessibleAnswer<AccessibleTextRange> selection(const AccessibleElement& element, int index,
                                                            CaptureDeadline deadline) = 0;
    virtual AccessibleAnswer<QString> text(const AccessibleElement& element, AccessibleTextRange range,
                                           CaptureDeadline deadline) = 0;
    // The hypertext interface: the element that stands behind the object replacement character at a
    // code-point offset of the element's text (a child: a link, a paragraph, an image); none where no
    // object stands.
    virtual AccessibleAnswer<AccessibleElement> embeddedObject(const AccessibleElement& element, int offset,
                                                               CaptureDeadline deadline) = 0;
    // Where the character at a code-point offset of the element's text is drawn; an object replacement
    // character may be drawn as its object or not at all. None where the application does not tell (this
    // version).
    virtual AccessibleAnswer<AccessibleBox> characterBox(const AccessibleElement& element, int offset,
                                                         CaptureDeadline deadline);
    // Where a range of the element's text is drawn: the box around all of it, an object replacement character's
    // as its object's text (Chromium) or its object (Firefox); an empty box where it is not drawn. None where the
    // application does not tell (this version).
    virtual AccessibleAnswer<AccessibleBox> rangeBox(const AccessibleElement& element, AccessibleTextRange range,
                                                     CaptureDeadline deadline);
    // The paragraph of the element's text that holds a code-point offset, as the application divides its
    // text: a web browser starts one wherever the page starts a block (a flex item among them). None where
    // the application does not tell (this version).
    virtual AccessibleAnswer<AccessibleTextRange> paragraphAt(const AccessibleElement& element, int offset,
                                                              CaptureDeadline deadline);

    // Calls of one kind on many objects at once, as the selection reader follows the objects of a text:
    // the answers are those of the single calls above, in order. These versions make the calls one after
    // the other; the bus's own sends them together and waits for their answers together, so that an
    // application's thousand links cost about what one costs.
    virtual AccessibleAnswers<AccessibleElement> embeddedObjects(const QList<AccessibleTextOffset>& places,
                                                                 CaptureDeadline deadline);
    // The objects at these places once more, to find them still there: a bus may tell each by the link it named
    // there before, without asking the link's object again (this version asks as embeddedObjects does).
    virtual AccessibleAnswers<AccessibleElement> embeddedObjectsAgain(const QList<AccessibleTextOffset>& places,
                                                                      CaptureDeadline deadline) {
        return embeddedObjects(places, deadline);
    }
    virtual AccessibleAnswers<std::uint32_t> roles(const QList<AccessibleElement>& elements, CaptureDeadline deadline);
    // Each element's first selection; none without a text interface or with nothing selected.
    virtual AccessibleAnswers<AccessibleTextRange> firstSelections(const QList<AccessibleElement>& elements,
                                                                   CaptureDeadline deadline);
    virtual AccessibleAnswers<QMap<QString, QString>> attributesOf(const QList<AccessibleElement>& elements,
                                                                   CaptureDeadline deadline);
    virtual AccessibleAnswers<QString> texts(const QList<AccessibleTextPart>& parts, CaptureDeadline deadline);
    virtual AccessibleAnswers<int> childCounts(const QList<AccessibleElement>& elements, CaptureDeadline deadline);
    virtual AccessibleAnswers<int> characterCounts(const QList<AccessibleElement>& elements, CaptureDeadline deadline);
    virtual AccessibleAnswers<AccessibleBox> characterBoxes(const QList<AccessibleTextOffset>& places,
                                                            CaptureDeadline deadline);
    virtual AccessibleAnswers<AccessibleBox> rangeBoxes(const QList<AccessibleTextPart>& parts,
                                                        CaptureDeadline deadline);
    virtual AccessibleAnswers<AccessibleTextRange> paragraphsAt(const QList<AccessibleTextOffset>& places,
                                                                CaptureDeadline deadline);
    // Each element's children, in their order.
    virtual AccessibleAnswers<QList<AccessibleElement>> childrenOf(const QList<AccessibleElement>& elements,
                                                                   CaptureDeadline deadline);
};

}  // namespace tavrine
