#include "PelmoraMac/Capture/AccessibilityBus.h"

namespace tavrine {

namespace {

// Each answer of `call` for the items in turn, until the first failure.
template <typename T, typename Item, typename Call>
AccessibleAnswers<T> oneByOne(const QList<Item>& items, Call call) {
    QList<std::optional<T>> answers;
    answers.reserve(items.size());
    for (const Item& item : items) {
        auto answer = call(item);
        if (!answer) return tl::unexpected(answer.error());
        answers.append(std::move(*answer));
    }
    return answers;
}

}  // namespace

AccessibleAnswers<AccessibleElement> AccessibilityBus::embeddedObjects(const QList<AccessibleTextOffset>& places,
                                                                       CaptureDeadline deadline) {
    return oneByOne<AccessibleElement>(places, [&](const AccessibleTextOffset& place) {
        return embeddedObject(place.element, place.offset, deadline);
    });
}

AccessibleAnswers<std::uint32_t> AccessibilityBus::roles(const QList<AccessibleElement>& elements,
                                                         CaptureDeadline deadline) {
    return oneByOne<std::uint32_t>(elements, [&](const AccessibleElement& element) { return role(element, deadline); });
}

AccessibleAnswers<AccessibleTextRange> AccessibilityBus::firstSelections(const QList<AccessibleElement>& elements,
                                                                         CaptureDeadline deadline) {
    return oneByOne<AccessibleTextRange>(
        elements, [&](const AccessibleElement& element) -> AccessibleAnswer<AccessibleTextRange> {
            auto count = selectionCount(element, deadline);
            if (!count) return tl::unexpected(count.error());
            if (!*count || **count <= 0) return std::optional<AccessibleTextRange>{};
            return selection(element, 0, deadline);
        });
}

AccessibleAnswers<QMap<QString, QString>> AccessibilityBus::attributesOf(const QList<AccessibleElement>& elements,
                                                                         CaptureDeadline deadline) {
    return oneByOne<QMap<QString, QString>>(
        elements, [&](const AccessibleElement& element) { return attributes(element, deadline); });
}

AccessibleAnswers<QString> AccessibilityBus::texts(const QList<AccessibleTextPart>& parts, CaptureDeadline deadline) {
    return oneByOne<QString>(parts,
                             [&](const AccessibleTextPart& part) { return text(part.element, part.range, deadline); });
}

AccessibleAnswer<int> AccessibilityBus::childCount(const AccessibleElement& element, CaptureDeadline deadline) {
    auto listed = children(element, deadline);
    if (!listed) return tl::unexpected(listed.error());
    AccessibleAnswer<int> count{std::in_place};
    if (*listed) count = std::optional(int((*listed)->size()));
    return count;
}

AccessibleAnswers<int> AccessibilityBus::childCounts(const QList<AccessibleElement>& elements,
                                                     CaptureDeadline deadline) {
    return oneByOne<int>(elements, [&](const AccessibleElement& element) { return childCount(element, deadline); });
}

AccessibleAnswers<int> AccessibilityBus::characterCounts(const QList<AccessibleElement>& elements,
                                                         CaptureDeadline deadline) {
    return oneByOne<int>(elements, [&](const AccessibleElement& element) { return characterCount(element, deadline); });
}

AccessibleAnswer<AccessibleBox> AccessibilityBus::characterBox(const AccessibleElement&, int, CaptureDeadline) {
    return std::optional<AccessibleBox>{};
}

AccessibleAnswer<AccessibleBox> AccessibilityBus::rangeBox(const AccessibleElement&, AccessibleTextRange,
                                                           CaptureDeadline) {
    return std::optional<AccessibleBox>{};
}

AccessibleAnswer<AccessibleTextRange> AccessibilityBus::paragraphAt(const AccessibleElement&, int, CaptureDeadline) {
    return std::optional<AccessibleTextRange>{};
}

AccessibleAnswers<AccessibleBox> AccessibilityBus::characterBoxes(const QList<AccessibleTextOffset>& places,
                                                                  CaptureDeadline deadline) {
    return oneByOne<AccessibleBox>(
        places, [&](const AccessibleTextOffset& place) { return characterBox(place.element, place.offset, deadline); });
}

AccessibleAnswers<AccessibleBox> AccessibilityBus::rangeBoxes(const QList<AccessibleTextPart>& parts,
                                                              CaptureDeadline deadline) {
    return oneByOne<AccessibleBox>(
        parts, [&](const AccessibleTextPart& part) { return rangeBox(part.element, part.range, deadline); });
}

AccessibleAnswers<AccessibleTextRange> AccessibilityBus::paragraphsAt(const QList<AccessibleTextOffset>& places,
                                                                      CaptureDeadline deadline) {
    return oneByOne<AccessibleTextRange>(
        places, [&](const AccessibleTextOffset& place) { return paragraphAt(place.element, place.offset, deadline); });
}

AccessibleAnswers<QList<AccessibleElement>> AccessibilityBus::childrenOf(const QList<AccessibleElement>& elements,
                                                                         CaptureDeadline deadline) {
    return oneByOne<QList<AccessibleElement>>(
        elements, [&](const AccessibleElement& element) { return children(element, deadline); });
}

}  // namespace tavrine
