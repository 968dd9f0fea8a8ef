#include "PelmoraMac/Capture/internal/DrawnLines.h"

#include "PelmoraMac/Capture/CapturedText.h"
#include "ReaderCore/Clock.h"

#include <algorithm>
#include <cmath>
#include <thread>

namespace tavrine {
using namespace Qt::StringLiterals;

namespace {

constexpr QChar kPlaceHolder(kObjectReplacementCharacter);

bool isDrawnCharacter(QChar c) {
    return !c.isSpace() && c != kPlaceHolder;
}

// Objects shown inline flow with the text around them: their own text is never divided.
bool showsInline(const FollowedNode& node) {
    return node.display.startsWith(u"inline"_s) || node.display.startsWith(u"ruby"_s);
}

}  // namespace

TextBreak breakBetween(const AccessibleBox& before, const AccessibleBox& after, TextBreak onAnotherLine) {
    const int height = std::min(before.height, after.height);
    if (height <= 0 || before.width < 0 || after.width < 0) return TextBreak::none;
    const double middleBefore = before.y + before.height / 2.0;
    const double middleAfter = after.y + after.height / 2.0;
    if (std::abs(middleBefore - middleAfter) >= height / 2.0) return onAnotherLine;
    // A quarter of the line's height: less than a space between words is no gap; the items of a row are
    // parted by more.
    const double gap = after.x - (before.x + before.width);
    return gap > -height / 4.0 && gap < height / 4.0 ? TextBreak::none : TextBreak::line;
}

DrawnLineFinder::DrawnLineFinder(AccessibilityBus& bus, CaptureDeadline deadline,
                                 std::function<CaptureResult<void>()> check)
    : m_bus(bus), m_deadline(deadline), m_check(std::move(check)) {}

template <typename Answers>
Answers DrawnLineFinder::batch(const std::function<Answers(CaptureDeadline)>& calls) {
    if (auto inTime = m_check(); !inTime) return tl::unexpected(inTime.error());
    auto answers = calls(m_deadline);
    if (auto inTime = m_check(); !inTime) return tl::unexpected(inTime.error());
    return answers;
}

CaptureResult<QList<QList<DrawnBreak>>> DrawnLineFinder::find(const QList<FollowedNode>& nodes) {
    m_nodes = &nodes;
    m_offsets.clear();
    m_candidates.clear();
    m_candidateAt.clear();
    if (auto found = findParagraphStarts(); !found) return tl::unexpected(found.error());
    addPlacedObjects();

    // The characters on both sides of each candidate, asked for together.
    QList<AccessibleTextOffset> places;
    QList<qsizetype> asked;
    for (qsizetype index = 0; index < m_candidates.size(); ++index) {
        const Candidate& candidate = m_candidates[index];
        const auto before = drawnNear(candidate.node, candidate.at, false);
        const auto after = before ? drawnNear(candidate.node, candidate.at, true) : std::nullopt;
        if (!after) continue;
        places << *before << *after;
        asked.append(index);
    }
    QList<QList<DrawnBreak>> breaks(nodes.size());
    if (asked.isEmpty()) return breaks;
    auto boxes = drawnBoxes(places);
    if (!boxes) return tl::unexpected(boxes.error());
    for (qsizetype index = 0; index < asked.size(); ++index) {
        const std::optional<AccessibleBox>& before = (*boxes)[2 * index];
        const std::optional<AccessibleBox>& after = (*boxes)[2 * index + 1];
        if (!before || !after) continue;
        const Candidate& candidate = m_candidates[asked[index]];
        const TextBreak kind = breakBetween(*before, *after, candidate.onAnotherLine);
        if (kind != TextBreak::none) breaks[candidate.node].append({.at = candidate.at, .kind = kind});
    }
    for (auto& list : breaks) {
        std::sort(list.begin(), list.end(), [](const DrawnBreak& a, const DrawnBreak& b) { return a.at < b.at; });
    }
    return breaks;
}

AccessibleAnswers<AccessibleBox> DrawnLineFinder::drawnBoxes(const QList<AccessibleTextOffset>& places) {
    auto boxes =
        batch<AccessibleAnswers<AccessibleBox>>([&](CaptureDeadline d) { return m_bus.characterBoxes(places, d); });
    // A character of a selected text is drawn somewhere: an empty box is one the application has not worked
    // out yet (Firefox answers its first questions about where its page is drawn so, while it learns it).
    for (int round = 0; boxes && round < kBoxRounds; ++round) {
        QList<qsizetype> empty;
        QList<AccessibleTextOffset> again;
        for (qsizetype index = 0; index < places.size(); ++index) {
            if (!(*boxes)[index] || (*boxes)[index]->height > 0) continue;
            empty.append(index);
            again.append(places[index]);
        }
        if (empty.isEmpty()) break;
        const Clock& clock = SystemClock::shared();
        std::this_thread::sleep_until(std::min(clock.monotonicNow() + kBoxPause, m_deadline));
        auto answers =
            batch<AccessibleAnswers<AccessibleBox>>([&](CaptureDeadline d) { return m_bus.characterBoxes(again, d); });
        if (!answers) return answers;
        for (qsizetype index = 0; index < empty.size(); ++index) (*boxes)[empty[index]] = (*answers)[index];
    }
    return boxes;
}

CaptureResult<void> DrawnLineFinder::findParagraphStarts() {
    const QList<FollowedNode>& nodes = *m_nodes;
    // Each stretch of a node's own text between two of its objects: where the next question goes (a
    // code-point offset) and where the stretch ends.
    struct Stretch {
        qsizetype node = 0;
        int next = 0;
        int end = 0;
    };
    QList<Stretch> open;
    for (qsizetype index = 0; index < nodes.size(); ++index) {
        const FollowedNode& node = nodes[index];
        if (!node.text || (index > 0 && showsInline(node))) continue;
        const QString& text = *node.text;
        // The stretches of each run of the text between two blocks, and the objects inline in it.
        QList<Stretch> run;
        qsizetype inlineObjects = 0;
        qsizetype start = 0;
        int drawn = 0;
        qsizetype object = 0;
        for (qsizetype unit = 0; unit <= text.size(); ++unit) {
            const bool end = unit == text.size();
            if (!end && text[unit] != kPlaceHolder) {
                if (isDrawnCharacter(text[unit]) && !text[unit].isLowSurrogate()) ++drawn;
                continue;
            }
            // Only a stretch of two characters drawn or more can be two pieces.
            if (drawn > 1) {
                const QList<int>& offsets = offsetsOf(index);
                run.append({.node = index, .next = offsets[start], .end = offsets[unit]});
            }
            start = unit + 1;
            drawn = 0;
            const qsizetype child = end ? -1 : node.objects.value(object++, -1);
            if (!end && !(child >= 0 && nodes[child].block)) {
                ++inlineObjects;
                continue;
            }
            if (inlineObjects <= kParagraphObjects) open.append(run);
            run.clear();
            inlineObjects = 0;
        }
    }
    for (int round = 0; round < kParagraphRounds && !open.isEmpty(); ++round) {
        QList<AccessibleTextOffset> places;
        for (const Stretch& stretch : open)
            places.append({.element = nodes[stretch.node].element, .offset = stretch.next});
        auto paragraphs = batch<AccessibleAnswers<AccessibleTextRange>>(
            [&](CaptureDeadline d) { return m_bus.paragraphsAt(places, d); });
        if (!paragraphs) return tl::unexpected(paragraphs.error());
        QList<Stretch> next;
        for (qsizetype index = 0; index < open.size(); ++index) {
            const Stretch& stretch = open[index];
            const std::optional<AccessibleTextRange>& paragraph = (*paragraphs)[index];
            // A paragraph that ends inside the stretch: the next starts there.
            if (!paragraph || paragraph->end <= stretch.next || paragraph->end >= stretch.end) continue;
            addCandidate(stretch.node, unitAt(stretch.node, paragraph->end), TextBreak::paragraph);
            next.append({.node = stretch.node, .next = paragraph->end, .end = stretch.end});
        }
        open = std::move(next);
    }
    return {};
}

void DrawnLineFinder::addPlacedObjects() {
    const QList<FollowedNode>& nodes = *m_nodes;
    for (qsizetype index = 0; index < nodes.size(); ++index) {
        const FollowedNode& node = nodes[index];
        if (!node.text) continue;
        qsizetype object = 0;
        for (qsizetype unit = 0; unit < node.text->size(); ++unit) {
            if (node.text->at(unit) != kPlaceHolder) continue;
            const qsizetype child = node.objects.value(object++, -1);
            if (child < 0 || !nodes[child].placed) continue;
            if (unit > 0) addCandidate(index, unit, nodes[child].onAnotherLine);
            if (unit + 1 < node.text->size()) addCandidate(index, unit + 1, nodes[child].onAnotherLine);
        }
    }
}

void DrawnLineFinder::addCandidate(qsizetype node, qsizetype at, TextBreak onAnotherLine) {
    const auto [found, added] = m_candidateAt.try_emplace({node, at}, m_candidates.size());
    if (!added) {
        Candidate& candidate = m_candidates[found->second];
        candidate.onAnotherLine = std::max(candidate.onAnotherLine, onAnotherLine);
        return;
    }
    m_candidates.append({.node = node, .at = at, .onAnotherLine = onAnotherLine});
}

const QList<int>& DrawnLineFinder::offsetsOf(qsizetype node) {
    auto found = m_offsets.find(node);
    if (found != m_offsets.end()) return *found;
    const FollowedNode& followed = (*m_nodes)[node];
    const QString text = followed.text.value_or(QString());
    QList<int> offsets;
    offsets.reserve(text.size() + 1);
    int offset = followed.range.start;
    for (const QChar c : text) {
        offsets.append(offset);
        if (!c.isHighSurrogate()) ++offset;
    }
    offsets.append(offset);
    return *m_offsets.insert(node, std::move(offsets));
}

qsizetype DrawnLineFinder::unitAt(qsizetype node, int offset) {
    const QList<int>& offsets = offsetsOf(node);
    return std::lower_bound(offsets.cbegin(), offsets.cend(), offset) - offsets.cbegin();
}

qsizetype DrawnLineFinder::objectIndexAt(qsizetype node, qsizetype at) const {
    const QString& text = *(*m_nodes)[node].text;
    return std::count(text.cbegin(), text.cbegin() + at, kPlaceHolder);
}

std::optional<AccessibleTextOffset> DrawnLineFinder::edgeOf(qsizetype node, bool first, int depth) {
    const FollowedNode& followed = (*m_nodes)[node];
    if (!followed.text || depth > 64) return std::nullopt;
    const QString& text = *followed.text;
    const qsizetype objects = std::count(text.cbegin(), text.cend(), kPlaceHolder);
    qsizetype object = first ? 0 : objects - 1;
    for (qsizetype step = 0; step < text.size(); ++step) {
        const qsizetype unit = first ? step : text.size() - 1 - step;
        const QChar c = text[unit];
        if (c == kPlaceHolder) {
            const qsizetype child = followed.objects.value(first ? object++ : object--, -1);
            if (child < 0) continue;
            if (auto inside = edgeOf(child, first, depth + 1)) return inside;
            continue;
        }
        if (c.isSpace()) continue;
        const qsizetype at = c.isLowSurrogate() && unit > 0 ? unit - 1 : unit;
        return AccessibleTextOffset{.element = followed.element, .offset = offsetsOf(node)[at]};
    }
    return std::nullopt;
}

std::optional<AccessibleTextOffset> DrawnLineFinder::drawnNear(qsizetype node, qsizetype at, bool forward) {
    const FollowedNode& followed = (*m_nodes)[node];
    const QString& text = *followed.text;
    qsizetype object = objectIndexAt(node, at) - (forward ? 0 : 1);
    const qsizetype step = forward ? 1 : -1;
    for (qsizetype unit = forward ? at : at - 1; unit >= 0 && unit < text.size(); unit += step) {
        const QChar c = text[unit];
        if (c == u'\n') return std::nullopt;
        if (c == kPlaceHolder) {
            const qsizetype child = followed.objects.value(object, -1);
            object += step;
            if (child < 0) continue;
            if ((*m_nodes)[child].block) return std::nullopt;
            if (auto inside = edgeOf(child, forward, 0)) return inside;
            continue;
        }
        if (c.isSpace()) continue;
        const qsizetype place = c.isLowSurrogate() && unit > 0 ? unit - 1 : unit;
        return AccessibleTextOffset{.element = followed.element, .offset = offsetsOf(node)[place]};
    }
    return std::nullopt;
}

}  // namespace tavrine
