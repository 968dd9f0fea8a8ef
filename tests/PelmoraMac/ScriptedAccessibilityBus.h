#pragma once

#include "PelmoraMac/Capture/AccessibilityBus.h"

#include "ScriptedAccessibleTree.h"

#include <QHash>

#include <algorithm>
#include <functional>
#include <limits>

#include <thread>

namespace tavrine::test {

// The accessibility bus with one application, of process kProcess, whose objects are a scripted tree;
// every call is counted by the name of its bus method. A node's delay holds each answer about it back,
// and an answer that would come after the deadline is timedOut at the deadline, as a real bus's.
class ScriptedAccessibilityBus final : public AccessibilityBus {
public:
    static constexpr pid_t kProcess = 4242;
    static inline const QString kService = QStringLiteral(":1.7");

    explicit ScriptedAccessibilityBus(ScriptedAccessibleTree scripted) : tree(std::move(scripted)) {}

    ScriptedAccessibleTree tree;
    bool enabled = true;
    // The element the bus announced focused last.
    std::optional<QString> announcedFocus{};
    // When the focus was last announced to move.
    std::optional<Clock::MonotonicTime> focusChangedAt{};
    // While positive, each answer of states leaves out active and focused, and counts one down: the
    // application while the hot key's grab holds the X11 focus and a moment after.
    int grabbedStateReads = 0;
    // While positive, each answer of states shows detourFocus focused and no other element, and counts one
    // down: the application, coming back, gives the focus to a container of its own for a moment.
    QString detourFocus{};
    int detourStateReads = 0;
    // Whether the container is also the element announced focused last while the detour lasts.
    bool detourAnnounced = false;
    // While positive, each answer of states counts one down before the detour begins, and the focus is
    // announced to move as it does: an application that takes the hot key's grab in late.
    int detourAfterStateReads = 0;
    QHash<QString, int> calls;
    // Whether the application tells where a range of text is drawn (else every range's box is none).
    bool tellsRangeBoxes = true;
    // Whether the box of a range takes in the character at its end as well (Firefox).
    bool rangesTakeTheirEnd = false;
    // Whether the application announces the objects whose children or text it changes, and those it announced:
    // a test that changes the tree adds them.
    bool announcesChanges = false;
    QStringList announced{};

    int textCalls() const {
        return calls.value(QStringLiteral("GetNSelections")) + calls.value(QStringLiteral("GetSelection")) +
               calls.value(QStringLiteral("GetText")) + calls.value(QStringLiteral("CharacterCount"));
    }

    bool isEnabled() override { return enabled; }
    AccessibleAnswer<QList<AccessibleElement>> applications(CaptureDeadline) override {
        ++calls[QStringLiteral("GetChildren")];
        return std::optional(QList<AccessibleElement>{{kService, QString::fromLatin1(ScriptedAccessibleTree::kRoot)}});
    }
    AccessibleAnswer<pid_t> processOf(const QString& service, CaptureDeadline) override {
        ++calls[QStringLiteral("GetConnectionUnixProcessID")];
        return service == kService ? std::optional(kProcess) : std::nullopt;
    }
    std::optional<AccessibleElement> lastFocused(const QString& service) override {
        if (service != kService) return std::nullopt;
        if (detourAnnounced && detourAfterStateReads == 0 && detourStateReads > 0)
            return AccessibleElement{kService, detourFocus};
        if (!announcedFocus) return std::nullopt;
        return AccessibleElement{kService, *announcedFocus};
    }

    std::optional<Clock::MonotonicTime> lastFocusChange(const QString& service) override {
        return service == kService ? focusChangedAt : std::nullopt;
    }

    bool followChanges(const QString& service, CaptureDeadline) override {
        return announcesChanges && service == kService;
    }
    QStringList changedObjects() const override { return announced; }

    AccessibleAnswer<std::uint32_t> role(const AccessibleElement& element, CaptureDeadline deadline) override {
        return answer<std::uint32_t>(u"GetRole", element, deadline, [](ScriptedNode& node) { return node.role; });
    }
    AccessibleAnswer<AccessibleStates> states(const AccessibleElement& element, CaptureDeadline deadline) override {
        return answer<AccessibleStates>(u"GetState", element, deadline, [this](ScriptedNode& node) {
            constexpr std::uint64_t focused = std::uint64_t(1) << AccessibleState::focused;
            AccessibleStates states = node.states;
            if (detourAfterStateReads > 0) {
                if (--detourAfterStateReads == 0) focusChangedAt = SystemClock::shared().monotonicNow();
            } else if (grabbedStateReads > 0) {
                --grabbedStateReads;
                states.bits &= ~((std::uint64_t(1) << AccessibleState::active) | focused);
            } else if (detourStateReads > 0) {
                --detourStateReads;
                states.bits = node.path == detourFocus ? states.bits | focused : states.bits & ~focused;
            }
            return states;
        });
    }
    AccessibleAnswer<AccessibleElement> parent(const AccessibleElement& element, CaptureDeadline deadline) override {
        return answer<AccessibleElement>(u"Parent", element, deadline, [](ScriptedNode& node) {
            return node.parent.isEmpty() ? std::optional<AccessibleElement>{}
                                         : std::optional(AccessibleElement{kService, node.parent});
        });
    }
    AccessibleAnswer<QList<AccessibleElement>> children(const AccessibleElement& element,
                                                        CaptureDeadline deadline) override {
        return answer<QList<AccessibleElement>>(u"GetChildren", element, deadline, [](ScriptedNode& node) {
            QList<AccessibleElement> children;
            for (const QString& child : node.children) children.append({kService, child});
            return children;
        });
    }
    AccessibleAnswer<int> childCount(const AccessibleElement& element, CaptureDeadline deadline) override {
        return answer<int>(u"ChildCount", element, deadline,
                           [](ScriptedNode& node) { return int(node.children.size()); });
    }
    AccessibleAnswer<QMap<QString, QString>> documentAttributes(const AccessibleElement& element,
                                                                CaptureDeadline deadline) override {
        return answer<QMap<QString, QString>>(u"GetAttributes", element, deadline, [this](ScriptedNode& node) {
            const auto attributes = node.documentAttributes;
            tree.addressRead(node.path);
            return attributes;
        });
    }
    AccessibleAnswer<QMap<QString, QString>> attributes(const AccessibleElement& element,
                                                        CaptureDeadline deadline) override {
        return answer<QMap<QString, QString>>(u"GetAttributes", element, deadline,
                                              [](ScriptedNode& node) { return node.attributes; });
    }
    AccessibleAnswer<int> characterCount(const AccessibleElement& element, CaptureDeadline deadline) override {
        return answer<int>(u"CharacterCount", element, deadline, [](ScriptedNode& node) {
            return node.text ? std::optional(codePointCount(*node.text)) : std::nullopt;
        });
    }
    AccessibleAnswer<int> selectionCount(const AccessibleElement& element, CaptureDeadline deadline) override {
        return answer<int>(u"GetNSelections", element, deadline, [](ScriptedNode& node) {
            return node.text ? std::optional(int(node.selections.size())) : std::nullopt;
        });
    }
    AccessibleAnswer<AccessibleTextRange> selection(const AccessibleElement& element, int index,
                                                    CaptureDeadline deadline) override {
        return answer<AccessibleTextRange>(u"GetSelection", element, deadline, [index](ScriptedNode& node) {
            return node.text ? std::optional(node.selections.value(index)) : std::nullopt;
        });
    }
    AccessibleAnswer<QString> text(const AccessibleElement& element, AccessibleTextRange range,
                                   CaptureDeadline deadline) override {
        return answer<QString>(u"GetText", element, deadline, [range](ScriptedNode& node) {
            if (!node.text || node.withholdsText) return std::optional<QString>{};
            return std::optional(codePointSlice(*node.text, range.start, range.end));
        });
    }

    AccessibleAnswer<AccessibleElement> embeddedObject(const AccessibleElement& element, int offset,
                                                       CaptureDeadline deadline) override {
        return answer<AccessibleElement>(u"GetLinkIndex", element, deadline, [offset](ScriptedNode& node) {
            const QList<uint> codePoints = node.text.value_or(QString()).toUcs4();
            if (offset < 0 || offset >= codePoints.size() || codePoints[offset] != 0xFFFC) {
                return std::optional<AccessibleElement>{};
            }
            const auto index = std::count(codePoints.cbegin(), codePoints.cbegin() + offset, 0xFFFCU);
            if (index >= node.embedded.size()) return std::optional<AccessibleElement>{};
            return std::optional(AccessibleElement{kService, node.embedded[index]});
        });
    }

    AccessibleAnswer<AccessibleBox> characterBox(const AccessibleElement& element, int offset,
                                                 CaptureDeadline deadline) override {
        return answer<AccessibleBox>(u"GetCharacterExtents", element, deadline, [offset](ScriptedNode& node) {
            return offset >= 0 && offset < node.boxes.size() ? std::optional(node.boxes[offset]) : std::nullopt;
        });
    }
    // The box around the range's characters, an object replacement character's as its object's whole text
    // (Chromium); an empty box where none is drawn.
    AccessibleAnswer<AccessibleBox> rangeBox(const AccessibleElement& element, AccessibleTextRange range,
                                             CaptureDeadline deadline) override {
        return answer<AccessibleBox>(u"GetRangeExtents", element, deadline, [this, range](ScriptedNode& node) {
            QList<AccessibleBox> drawn;
            if (!tellsRangeBoxes) return AccessibleBox{};
            collectBoxes(node, range.start, range.end + (rangesTakeTheirEnd ? 1 : 0), drawn, 0);
            if (drawn.isEmpty()) return AccessibleBox{};
            int left = drawn[0].x, top = drawn[0].y, right = left + drawn[0].width, bottom = top + drawn[0].height;
            for (const AccessibleBox& box : std::as_const(drawn)) {
                left = std::min(left, box.x);
                top = std::min(top, box.y);
                right = std::max(right, box.x + box.width);
                bottom = std::max(bottom, box.y + box.height);
            }
            return AccessibleBox{.x = left, .y = top, .width = right - left, .height = bottom - top};
        });
    }
    AccessibleAnswer<AccessibleTextRange> paragraphAt(const AccessibleElement& element, int offset,
                                                      CaptureDeadline deadline) override {
        return answer<AccessibleTextRange>(u"GetStringAtOffset", element, deadline, [offset](ScriptedNode& node) {
            const int length = codePointCount(node.text.value_or(QString()));
            if (!node.paragraphStarts || offset < 0 || offset >= length) return std::optional<AccessibleTextRange>{};
            AccessibleTextRange paragraph{.start = 0, .end = length};
            for (const int start : *node.paragraphStarts) {
                if (start <= offset) paragraph.start = start;
                if (start > offset) {
                    paragraph.end = start;
                    break;
                }
            }
            return std::optional(paragraph);
        });
    }
    // Called with the bus method and the node's path before each call about a node is answered: a page that
    // changes its objects while they are read (those it takes away the bus no longer finds).
    std::function<void(ScriptedAccessibleTree&, const QString& method, const QString& path)> change;

private:
    void collectBoxes(const ScriptedNode& node, int start, int end, QList<AccessibleBox>& drawn, int depth) {
        const QList<uint> codePoints = node.text.value_or(QString()).toUcs4();
        for (int offset = std::max(start, 0); offset < std::min(end, int(codePoints.size())); ++offset) {
            const AccessibleBox box = offset < node.boxes.size() ? node.boxes[offset] : AccessibleBox{};
            if (box.height > 0) {
                drawn.append(box);
            } else if (codePoints[offset] == 0xFFFC && depth < 16) {
                const auto index = std::count(codePoints.cbegin(), codePoints.cbegin() + offset, 0xFFFCU);
                const ScriptedNode* object = index < node.embedded.size() ? tree.node(node.embedded[index]) : nullptr;
                if (object) collectBoxes(*object, 0, std::numeric_limits<int>::max(), drawn, depth + 1);
            }
        }
    }

    template <typename T, typename Read>
    AccessibleAnswer<T> answer(QStringView method, const AccessibleElement& element, CaptureDeadline deadline,
                               Read read) {
        ++calls[method.toString()];
        if (change) change(tree, method.toString(), element.path);
        ScriptedNode* node = element.service == kService ? tree.node(element.path) : nullptr;
        if (node && node->delayMilliseconds > 0) {
            const auto answered =
                SystemClock::shared().monotonicNow() + std::chrono::milliseconds(node->delayMilliseconds);
            std::this_thread::sleep_until(std::min(answered, deadline));
            if (answered > deadline) return tl::unexpected(CaptureFailure::timedOut);
        }
        // An object the tree does not hold is unknown to the bus: no value.
        AccessibleAnswer<T> result = std::optional<T>{};
        if (node) result = std::optional<T>(read(*node));
        return result;
    }
};

}  // namespace tavrine::test
