#include "PelmoraMac/Capture/internal/SelectedTextFollower.h"

#include "PelmoraMac/Capture/CapturedText.h"

namespace tavrine {

CaptureResult<std::optional<AccessibleTextRange>> SelectedTextFollower::rangeFromObjects(
    const AccessibleElement& page) {
    using Range = std::optional<AccessibleTextRange>;
    auto texts = batch<AccessibleAnswers<QString>>([&](CaptureDeadline d) {
        return m_bus.texts({{.element = page, .range = {0, -1}}}, d);
    });
    if (!texts) return tl::unexpected(texts.error());
    const std::optional<QString>& text = texts->constFirst();
    m_pageText = text;
    if (!text || text->isEmpty() || text->size() > kPageObjects || !isPlaceHoldersOnly(*text)) return std::nullopt;
    QList<AccessibleTextOffset> places;
    for (int offset = 0; offset < int(text->size()); ++offset) places.append({.element = page, .offset = offset});
    auto objects = batch<AccessibleAnswers<AccessibleElement>>(
        [&](CaptureDeadline d) { return m_bus.embeddedObjects(places, d); });
    if (!objects) return tl::unexpected(objects.error());
    QList<AccessibleElement> elements;
    for (const std::optional<AccessibleElement>& object : std::as_const(*objects)) {
        if (!object) return std::nullopt;
        elements.append(*object);
    }
    auto roles = batch<AccessibleAnswers<std::uint32_t>>([&](CaptureDeadline d) { return m_bus.roles(elements, d); });
    if (!roles) return tl::unexpected(roles.error());
    // Nothing of a field is asked for, not even whether it holds the selection: the page is asked instead.
    for (const std::optional<std::uint32_t>& role : std::as_const(*roles)) {
        if (!role || *role == AccessibleRole::invalid || isField(*role)) return std::nullopt;
    }
    auto selections = selectionsOf(elements);
    if (!selections) return tl::unexpected(selections.error());
    AccessibleTextRange told{.start = -1, .end = -1};
    for (int offset = 0; offset < int(elements.size()); ++offset) {
        const std::optional<AccessibleTextRange>& range = (*selections)[offset];
        if (!range || range->start < 0 || range->end <= range->start) continue;
        if (told.start < 0) told.start = offset;
        told.end = offset + 1;
    }
    if (told.start < 0) return std::nullopt;
    return Range(told);
}

}  // namespace tavrine
