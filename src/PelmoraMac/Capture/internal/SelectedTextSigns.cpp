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
    // The owners' texts read again. A text of an object still shown that still holds the character as it did
    // holds it as a character of the page's own (what is left of an image in a text pasted from elsewhere),
    // wherever it stands: among other text, or alone, a paragraph of its own (Chromium shows it in a text node
    // of its own, Firefox in the paragraph's own text; neither names an object for it). One that changed, or
    // whose object the application let go (Chromium answers for it a while, without its objects), lost its
    // objects. Chromium names no object for a while for the objects of a paragraph it makes again, so the
    // reading holds only when the next one finds the same characters at the same places of the same objects:
    // a page that makes its objects again makes new ones.
    QList<qsizetype> owners;
    for (const AccessibleTextOffset& place : places) {
        for (qsizetype index = 0; index < m_nodes.size(); ++index) {
            if (m_nodes[index].element == place.element) owners.append(index);
        }
        m_unsettled.append(place.element.path + u'@' + QString::number(place.offset));
    }
    std::sort(owners.begin(), owners.end());
    // How many place holders of each owner's text the bus named no object for.
    QList<int> unnamed;
    for (qsizetype at = 0; at < owners.size(); ++at) {
        if (at > 0 && owners[at] == owners[at - 1])
            ++unnamed.last();
        else
            unnamed.append(1);
    }
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
    QList<qsizetype> bare;
    QList<int> bareUnnamed;
    for (qsizetype index = 0; index < owners.size(); ++index) {
        const std::optional<QString>& text = m_nodes[owners[index]].text;
        const bool shown = (*roles)[index].value_or(AccessibleRole::invalid) != AccessibleRole::invalid;
        const bool same = text && (*texts)[index] == text;
        if (auto literal = ensureFound(shown && same); !literal) return literal;
        if (!isPlaceHoldersOnly(*text)) continue;
        bare.append(owners[index]);
        bareUnnamed.append(unnamed[index]);
    }
    return ensureSpareHolders(bare, bareUnnamed);
}

CaptureResult<void> SelectedTextFollower::ensureSpareHolders(const QList<qsizetype>& owners,
                                                             const QList<int>& unnamed) {
    if (owners.isEmpty()) return {};
    // A text of place holders alone may be a container's whose objects the page is making again: Chromium names
    // none of a box's paragraphs while the page writes them again every few milliseconds, the box's role and
    // text as they were. Each object of an element stands behind one place holder of its whole text, and each
    // other place holder is a character of the page's own; the element's children are its objects, but for the
    // text nodes that Chromium shows as static texts (whose text stands in the element's as it is). So the
    // place holders named no object are characters only where the whole text holds that many more than the
    // element has objects.
    QList<AccessibleTextPart> parts;
    QList<AccessibleElement> elements;
    for (const qsizetype owner : owners) {
        parts.append({.element = m_nodes[owner].element, .range = {.start = 0, .end = -1}});
        elements.append(m_nodes[owner].element);
    }
    auto texts = batch<AccessibleAnswers<QString>>([&](CaptureDeadline d) { return m_bus.texts(parts, d); });
    if (!texts) return tl::unexpected(texts.error());
    auto children = batch<AccessibleAnswers<QList<AccessibleElement>>>(
        [&](CaptureDeadline d) { return m_bus.childrenOf(elements, d); });
    if (!children) return tl::unexpected(children.error());
    QList<AccessibleElement> all;
    QList<qsizetype> ownerOf;
    for (qsizetype index = 0; index < owners.size(); ++index) {
        for (const AccessibleElement& child : (*children)[index].value_or(QList<AccessibleElement>{})) {
            all.append(child);
            ownerOf.append(index);
        }
    }
    auto roles = batch<AccessibleAnswers<std::uint32_t>>([&](CaptureDeadline d) { return m_bus.roles(all, d); });
    if (!roles) return tl::unexpected(roles.error());
    QList<qsizetype> objects(owners.size(), 0);
    for (qsizetype at = 0; at < all.size(); ++at) {
        if ((*roles)[at].value_or(AccessibleRole::invalid) != AccessibleRole::staticText) ++objects[ownerOf[at]];
    }
    for (qsizetype index = 0; index < owners.size(); ++index) {
        const std::optional<QString>& whole = (*texts)[index];
        const qsizetype holders = whole ? whole->count(QChar(kObjectReplacementCharacter)) : 0;
        if (auto spare = ensureFound(holders - objects[index] >= unnamed[index]); !spare) return spare;
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

CaptureResult<void> SelectedTextFollower::ensureStillAsRead() {
    if (!m_limits.webPage) return {};
    // Each text asked again over the range read, and the object behind each of its place holders: every answer
    // the reading was made of still holds when the reading ends, so that it holds of the page at one moment (a
    // box emptied and filled again makes new objects; a browser names none, or others, at a place that moved).
    QList<AccessibleTextPart> parts;
    QList<qsizetype> read;
    // The page's whole text as it was when its selection was found, where that was asked: its objects in the same
    // places, the selection over them is where it was.
    if (m_pageText) parts.append({.element = m_nodes.constFirst().element, .range = {0, -1}});
    QList<AccessibleTextOffset> places;
    QList<std::optional<AccessibleElement>> named;
    for (qsizetype index = 0; index < m_nodes.size(); ++index) {
        const Node& node = m_nodes[index];
        if (!node.text) continue;
        parts.append({.element = node.element, .range = node.range});
        read.append(index);
        int offset = node.range.start;
        qsizetype object = 0;
        for (const QChar c : std::as_const(*node.text)) {
            if (c == QChar(kObjectReplacementCharacter)) {
                places.append({.element = node.element, .offset = offset});
                named.append(node.embedded.value(object++));
            }
            if (!c.isLowSurrogate()) ++offset;
        }
    }
    auto texts = batch<AccessibleAnswers<QString>>([&](CaptureDeadline d) { return m_bus.texts(parts, d); });
    if (!texts) return tl::unexpected(texts.error());
    if (m_pageText) {
        if (auto same = ensureFound(texts->takeFirst() == *m_pageText); !same) return same;
    }
    for (qsizetype at = 0; at < read.size(); ++at) {
        if (auto same = ensureFound((*texts)[at] == m_nodes[read[at]].text); !same) return same;
    }
    if (places.isEmpty()) return {};
    auto objects = batch<AccessibleAnswers<AccessibleElement>>(
        [&](CaptureDeadline d) { return m_bus.embeddedObjectsAgain(places, d); });
    if (!objects) return tl::unexpected(objects.error());
    return ensureFound(*objects == named);
}

}  // namespace tavrine
