#include "PelmoraMac/Capture/internal/SelectedTextFollower.h"

#include "PelmoraMac/Capture/CapturedText.h"

// The signs that a web page changed the objects of its selection while they were read: each ends the read
// with sourceChanged, or leaves it to be taken only when the next read gives the same.

namespace tavrine {
using namespace Qt::StringLiterals;

CaptureResult<void> SelectedTextFollower::ensureFound(bool found) const {
    if (found || !m_limits.webPage) return {};
    return tl::unexpected(CaptureFailure::sourceChanged);
}

CaptureResult<void> SelectedTextFollower::ensureLiteral(const QList<AccessibleTextOffset>& places) {
    if (places.isEmpty() || !m_limits.webPage) return {};
    // The owners' texts read again. A text of an object still shown that still holds the character as it did,
    // among other text, may hold it as a character (a page's text may: what is left of an image pasted from
    // elsewhere); one that changed, whose object the application let go (Chromium answers for it a while,
    // without its objects), or that holds nothing else lost its objects. Chromium names no object for a
    // while for the objects of a paragraph it makes again, so the reading holds only when the next one finds
    // the same characters.
    QList<qsizetype> owners;
    for (const AccessibleTextOffset& place : places) {
        for (qsizetype index = 0; index < m_nodes.size(); ++index) {
            if (m_nodes[index].element == place.element) owners.append(index);
        }
        m_unsettled.append(place.element.path + u'@' + QString::number(place.offset));
    }
    std::sort(owners.begin(), owners.end());
    owners.erase(std::unique(owners.begin(), owners.end()), owners.end());
    QList<AccessibleTextPart> parts;
    QList<AccessibleElement> elements;
    for (const qsizetype owner : owners) {
        parts.append({.element = m_nodes[owner].element, .range = m_nodes[owner].range});
        elements.append(m_nodes[owner].element);
    }
    auto roles = batch<AccessibleAnswers<std::uint32_t>>([&](CaptureDeadline d) { return m_bus.roles(elements, d); });
    if (!roles) return tl::unexpected(roles.error());
    auto texts = batch<AccessibleAnswers<QString>>([&](CaptureDeadline d) { return m_bus.texts(parts, d); });
    if (!texts) return tl::unexpected(texts.error());
    for (qsizetype index = 0; index < owners.size(); ++index) {
        const std::optional<QString>& text = m_nodes[owners[index]].text;
        const bool shown = (*roles)[index].value_or(AccessibleRole::invalid) != AccessibleRole::invalid;
        const bool same = (*texts)[index] == text && text && readableUnits(*text) > 0;
        if (auto literal = ensureFound(shown && same); !literal) return literal;
    }
    return {};
}

CaptureResult<void> SelectedTextFollower::ensureIdleUnchanged(const QList<Idle>& idle) {
    if (idle.isEmpty() || !m_limits.webPage) return {};
    QList<AccessibleElement> elements;
    for (const Idle& object : idle) elements.append(object.element);
    auto counts = batch<AccessibleAnswers<int>>([&](CaptureDeadline d) { return m_bus.characterCounts(elements, d); });
    if (!counts) return tl::unexpected(counts.error());
    QList<AccessibleElement> untold;
    for (qsizetype index = 0; index < idle.size(); ++index) {
        const std::optional<int>& count = (*counts)[index];
        if (!count) {
            untold.append(idle[index].element);
            continue;
        }
        if (!idle[index].inside) continue;
        // An object inside the selected stretch is selected whole: one with text and nothing selected was
        // rewritten while it was read.
        if (auto unchanged = ensureFound(*count <= 0); !unchanged) return unchanged;
        // One without text that is no image (a paragraph, a link, a ruby) may be one the page is making again
        // (Chromium shows a new object so before it has its text): the reading is taken only when the next
        // one gives the same.
        if (!showsNoText(idle[index].role)) m_unsettled.append(idle[index].element.path);
    }
    return ensureStillShown(untold);
}

CaptureResult<void> SelectedTextFollower::ensureStillShown(const QList<AccessibleElement>& untold) {
    if (untold.isEmpty()) return {};
    // An object with no text to select (an image) is still there; one that the bus no longer finds has gone
    // with its text.
    auto still = batch<AccessibleAnswers<std::uint32_t>>([&](CaptureDeadline d) { return m_bus.roles(untold, d); });
    if (!still) return tl::unexpected(still.error());
    for (const auto& role : *still) {
        if (auto found = ensureFound(role.value_or(AccessibleRole::invalid) != AccessibleRole::invalid); !found)
            return found;
    }
    return {};
}

CaptureResult<void> SelectedTextFollower::ensureWholeGiven(const QList<qsizetype>& unread) {
    if (unread.isEmpty() || !m_limits.webPage) return {};
    QList<AccessibleElement> untold;
    QList<qsizetype> empty;
    for (const qsizetype index : unread) {
        if (m_nodes[index].text)
            empty.append(index);
        else
            untold.append(m_nodes[index].element);
    }
    // An object selected whole that gives no text has none to give (an image) while it is still there.
    if (auto shown = ensureStillShown(untold); !shown) return shown;
    if (empty.isEmpty()) return {};
    // One that gives an empty text though something of it is selected was caught half made; one with neither,
    // that is no image, may be one the page is making again (Chromium shows a new object so before it has its
    // text), or an element the page keeps empty: the reading is taken only when the next one gives the same.
    QList<AccessibleElement> elements;
    for (const qsizetype index : empty) elements.append(m_nodes[index].element);
    auto selections = batch<AccessibleAnswers<AccessibleTextRange>>(
        [&](CaptureDeadline d) { return m_bus.firstSelections(elements, d); });
    if (!selections) return tl::unexpected(selections.error());
    for (qsizetype at = 0; at < empty.size(); ++at) {
        const std::optional<AccessibleTextRange>& range = (*selections)[at];
        if (auto unselected = ensureFound(!range || range->start < 0 || range->end <= range->start); !unselected)
            return unselected;
        if (!showsNoText(m_nodes[empty[at]].role)) m_unsettled.append(m_nodes[empty[at]].element.path);
    }
    return {};
}

}  // namespace tavrine
