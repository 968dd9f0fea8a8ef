#include "PelmoraMac/Capture/internal/DrawnLines.h"

#include "PelmoraMac/Capture/CapturedText.h"
#include "PelmoraMac/Capture/internal/AskedAgain.h"

#include <algorithm>
#include <cmath>
#include <numeric>

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
    return checkedBatch(m_check, m_deadline, calls);
}

CaptureResult<QList<QList<DrawnBreak>>> DrawnLineFinder::find(const QList<FollowedNode>& nodes) {
    m_nodes = &nodes;
    m_offsets.clear();
    m_objectsBefore.clear();
    m_blocksBefore.clear();
    m_candidates.clear();
    m_candidateAt.clear();
    m_placedLeaves.clear();
    m_rowStarts.clear();
    m_boxes.clear();
    if (auto found = findParagraphStarts(); !found) return tl::unexpected(found.error());
    addPlacedObjects();
    QList<QList<DrawnBreak>> breaks(nodes.size());
    if (auto placed = placeCandidates(breaks); !placed) return tl::unexpected(placed.error());
    if (m_placedLeaves.isEmpty()) return sorted(std::move(breaks));
    // The placed items drawn in rows of one line hold one line each: only those of a higher row (a card of
    // two blocks) are asked, as any text without objects is, once the rows are known.
    auto tall = leavesOfTallRows();
    if (!tall) return tl::unexpected(tall.error());
    m_candidates.clear();
    m_candidateAt.clear();
    if (auto split = askableLeaves(*tall); !split) return tl::unexpected(split.error());
    QList<QList<Stretch>> crowded;
    if (auto asked = askParagraphs(std::move(*tall), crowded); !asked) return tl::unexpected(asked.error());
    if (auto placed = placeCandidates(breaks); !placed) return tl::unexpected(placed.error());
    return sorted(std::move(breaks));
}

CaptureResult<void> DrawnLineFinder::placeCandidates(QList<QList<DrawnBreak>>& breaks) {
    // The characters on both sides of each candidate, asked for together; those where only rows are found
    // apart.
    QList<AccessibleTextOffset> places;
    QList<qsizetype> asked;
    QList<AccessibleTextOffset> rowPlaces;
    QList<qsizetype> rowsAsked;
    for (qsizetype index = 0; index < m_candidates.size(); ++index) {
        const Candidate& candidate = m_candidates[index];
        const auto before = drawnNear(candidate.node, candidate.at, false);
        const auto after = before ? drawnNear(candidate.node, candidate.at, true) : std::nullopt;
        if (!after) continue;
        (candidate.rowsOnly ? rowPlaces : places) << *before << *after;
        (candidate.rowsOnly ? rowsAsked : asked).append(index);
    }
    if (!rowsAsked.isEmpty()) {
        if (auto rows = findRows(rowsAsked, rowPlaces, breaks); !rows) return rows;
    }
    if (asked.isEmpty()) return {};
    if (asked.size() > kBoxPairs) return findRows(asked, places, breaks);
    auto boxes = drawnBoxes(places);
    if (!boxes) return tl::unexpected(boxes.error());
    for (qsizetype index = 0; index < asked.size(); ++index) {
        const std::optional<AccessibleBox>& before = (*boxes)[2 * index];
        const std::optional<AccessibleBox>& after = (*boxes)[2 * index + 1];
        if (!before || !after) continue;
        const Candidate& candidate = m_candidates[asked[index]];
        TextBreak kind = breakBetween(*before, *after, TextBreak::paragraph);
        if (kind == TextBreak::paragraph) {
            noteRowStart(candidate.node, candidate.at);
            kind = candidate.onAnotherLine;
        }
        if (kind != TextBreak::none) breaks[candidate.node].append({.at = candidate.at, .kind = kind});
    }
    return {};
}

QList<QList<DrawnBreak>> DrawnLineFinder::sorted(QList<QList<DrawnBreak>> breaks) {
    for (auto& list : breaks) {
        std::sort(list.begin(), list.end(), [](const DrawnBreak& a, const DrawnBreak& b) { return a.at < b.at; });
    }
    return breaks;
}

AccessibleAnswers<AccessibleBox> DrawnLineFinder::drawnBoxes(const QList<AccessibleTextOffset>& places) {
    // Each place is asked once in a read: a row's first character is asked again where the row is measured.
    const auto keyOf = [](const AccessibleTextOffset& place) {
        return std::tuple(place.element.service, place.element.path, place.offset);
    };
    QList<std::optional<AccessibleBox>> boxes(places.size());
    QList<AccessibleTextOffset> unknown;
    QList<qsizetype> unknownAt;
    for (qsizetype index = 0; index < places.size(); ++index) {
        const auto known = m_boxes.find(keyOf(places[index]));
        if (known != m_boxes.end()) {
            boxes[index] = known->second;
            continue;
        }
        unknown.append(places[index]);
        unknownAt.append(index);
    }
    if (unknown.isEmpty()) return boxes;
    const auto boxesAt = [&](const QList<AccessibleTextOffset>& asked) {
        return batch<AccessibleAnswers<AccessibleBox>>(
            [&](CaptureDeadline d) { return m_bus.characterBoxes(asked, d); });
    };
    // A character of a selected text is drawn somewhere: an empty box is one the application has not worked
    // out yet (Firefox answers its first questions about where its page is drawn so, while it learns it).
    auto asked = askedAgain<AccessibleBox>(
        boxesAt(unknown), [](const AccessibleBox& box) { return box.height <= 0; },
        [&](const QList<qsizetype>& indexes) {
            QList<AccessibleTextOffset> again;
            for (const qsizetype index : indexes) again.append(unknown[index]);
            return boxesAt(again);
        },
        kBoxRounds, kBoxPause, m_deadline);
    if (!asked) return asked;
    for (qsizetype index = 0; index < unknown.size(); ++index) {
        boxes[unknownAt[index]] = (*asked)[index];
        if ((*asked)[index]) m_boxes.insert_or_assign(keyOf(unknown[index]), *(*asked)[index]);
    }
    return boxes;
}

CaptureResult<void> DrawnLineFinder::findParagraphStarts() {
    const QList<FollowedNode>& nodes = *m_nodes;
    QList<Stretch> open;
    // The stretches of texts that hold no object.
    QList<Stretch> leaves;
    // The runs of more than kParagraphObjects objects inline.
    QList<QList<Stretch>> crowded;
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
                run.append({.node = index, .next = offsets[start], .end = offsets[unit], .drawn = drawn});
            }
            start = unit + 1;
            drawn = 0;
            const qsizetype child = end ? -1 : node.objects.value(object++, -1);
            if (!end && !(child >= 0 && nodes[child].block)) {
                ++inlineObjects;
                continue;
            }
            if (inlineObjects <= kParagraphObjects)
                (object > 0 ? open : index > 0 && node.placed ? m_placedLeaves : leaves).append(run);
            else if (!run.isEmpty())
                crowded.append(run);
            run.clear();
            inlineObjects = 0;
        }
    }
    if (auto split = askableLeaves(leaves); !split) return tl::unexpected(split.error());
    open.append(leaves);
    // A paragraph of so many objects inline (a line of links) is one flow, which the browser takes long to tell
    // (in proportion to its objects): of such a run, only the stretches drawn over several lines are asked, one
    // at a time, and those that the paragraph told of one holds are not asked at all.
    if (auto spanning = multiLineStretches(crowded); !spanning) return tl::unexpected(spanning.error());
    for (QList<Stretch>& run : crowded) {
        for (Stretch& stretch : run) stretch.part = unitAt(stretch.node, stretch.next);
        if (run.isEmpty()) continue;
        open.append(run.takeFirst());
        open.last().run = &run - crowded.data();
    }
    return askParagraphs(std::move(open), crowded);
}

CaptureResult<void> DrawnLineFinder::askParagraphs(QList<Stretch> open, QList<QList<Stretch>>& crowded) {
    const QList<FollowedNode>& nodes = *m_nodes;
    // Each round asks, in one batch, for the paragraph at the start of each stretch whose paragraphs are not
    // all known, and, past a stretch's first paragraph, at places spread over the rest: each answer tells a paragraph's
    // start and end, and what lies between two paragraphs told is asked for in the next round, so that a stretch of
    // many short paragraphs (a wrapping row of a thousand items) takes a few rounds, not one for each.
    // How long each of the last questions took.
    std::optional<std::chrono::nanoseconds> pace;
    const Clock& clock = SystemClock::shared();
    while (!open.isEmpty()) {
        QList<AccessibleTextOffset> places;
        QList<std::pair<qsizetype, int>> asked;
        for (qsizetype index = 0; index < open.size(); ++index) {
            const Stretch& stretch = open[index];
            const int length = stretch.end - stretch.next;
            const int spread = stretch.spread ? std::max(1, std::min(kParagraphSpread, length / kParagraphSpacing)) : 1;
            for (int probe = 0; probe < spread; ++probe) {
                const int offset = stretch.next + int(qint64(length) * probe / spread);
                places.append({.element = nodes[stretch.node].element, .offset = offset});
                asked.append({index, offset});
            }
        }
        // Chromium takes time in proportion to all the objects of a text to tell each of its paragraphs (55 to
        // 100 ms a question for a page of 660 objects): the questions are asked in parts of kParagraphChunk, or as
        // many as the last ones' pace asks in kParagraphChunkTime (an article's hundreds at once), and where the
        // rest of a round would end too close to the deadline at that pace, the rows of the stretches still open
        // are found apart instead, a line end before each.
        QList<std::optional<AccessibleTextRange>> answers;
        bool late = false;
        for (qsizetype from = 0, size = 0; from < places.size(); from += size) {
            const auto started = clock.monotonicNow();
            late = pace && started + *pace * (places.size() - from) > m_deadline - kParagraphReserve;
            if (late) break;
            size = kParagraphChunk;
            if (pace && pace->count() > 0) size = std::max(size, qsizetype(kParagraphChunkTime / *pace));
            const QList<AccessibleTextOffset> chunk = places.mid(from, size);
            auto paragraphs = batch<AccessibleAnswers<AccessibleTextRange>>(
                [&](CaptureDeadline d) { return m_bus.paragraphsAt(chunk, d); });
            if (!paragraphs) return tl::unexpected(paragraphs.error());
            answers.append(*paragraphs);
            pace = (clock.monotonicNow() - started) / chunk.size();
        }
        if (late) {
            for (const Stretch& stretch : std::as_const(open)) {
                addRowCandidates(stretch);
                if (stretch.run < 0) continue;
                for (const Stretch& waiting : std::as_const(crowded[stretch.run])) addRowCandidates(waiting);
            }
            break;
        }
        QList<Stretch> next;
        for (qsizetype first = 0; first < asked.size();) {
            const Stretch& stretch = open[asked[first].first];
            qsizetype last = first;
            while (last < asked.size() && asked[last].first == asked[first].first) ++last;
            // The paragraphs told, in order; the first is the one the stretch's next question begins.
            int known = stretch.next;
            // Where the paragraphs told reach, past the stretch too.
            int reach = stretch.end;
            for (qsizetype index = first; index < last; ++index) {
                const std::optional<AccessibleTextRange>& paragraph = answers[index];
                const int at = asked[index].second;
                // An answer that does not hold its place says nothing; where the first does not, the
                // stretch's paragraphs are not told.
                if (!paragraph || paragraph->start > at || paragraph->end <= at) {
                    if (index == first) break;
                    continue;
                }
                if (paragraph->start > known) {
                    // A paragraph starts there, and what lies before it is not known.
                    addCandidate(stretch.node, unitAt(stretch.node, paragraph->start), TextBreak::paragraph, false,
                                 stretch.part);
                    next.append({.node = stretch.node,
                                 .next = known,
                                 .end = paragraph->start,
                                 .spread = true,
                                 .part = stretch.part});
                }
                reach = std::max(reach, paragraph->end);
                if (paragraph->end <= known) continue;
                known = paragraph->end;
                if (known >= stretch.end) break;
                addCandidate(stretch.node, unitAt(stretch.node, known), TextBreak::paragraph, false, stretch.part);
            }
            if (known > stretch.next && known < stretch.end)
                next.append(
                    {.node = stretch.node, .next = known, .end = stretch.end, .spread = true, .part = stretch.part});
            // The run's next stretch that the paragraphs told do not hold whole is asked from where they end.
            if (stretch.run >= 0) {
                QList<Stretch>& waiting = crowded[stretch.run];
                while (!waiting.isEmpty() && waiting.constFirst().end <= reach) waiting.removeFirst();
                if (!waiting.isEmpty()) {
                    Stretch following = waiting.takeFirst();
                    if (reach > following.next) {
                        addCandidate(following.node, unitAt(following.node, reach), TextBreak::paragraph, false,
                                     following.part);
                        following.next = reach;
                    }
                    following.run = stretch.run;
                    next.append(following);
                }
            }
            first = last;
        }
        open = std::move(next);
    }
    return {};
}

CaptureResult<void> DrawnLineFinder::askableLeaves(QList<Stretch>& leaves) {
    if (leaves.isEmpty()) return {};
    QList<AccessibleElement> elements;
    for (const Stretch& stretch : std::as_const(leaves)) elements.append((*m_nodes)[stretch.node].element);
    auto counts = batch<AccessibleAnswers<int>>([&](CaptureDeadline d) { return m_bus.childCounts(elements, d); });
    if (!counts) return tl::unexpected(counts.error());
    QList<Stretch> kept;
    for (qsizetype index = 0; index < leaves.size(); ++index) {
        const std::optional<int>& count = (*counts)[index];
        // A text made of one text node of the page (Chromium shows each as a child of its own) flows in one
        // block: a wrapping row's item of a few characters is asked nothing.
        if (count == 1) continue;
        if (count <= kParagraphTextNodes) {
            kept.append(leaves[index]);
            continue;
        }
        // Chromium takes time in proportion to a text's nodes to tell each of its paragraphs (60 ms each for
        // 6,000 cells of a grid): the rows of such a text are found apart, a line end before each.
        addRowCandidates(leaves[index]);
    }
    leaves = std::move(kept);
    return {};
}

CaptureResult<void> DrawnLineFinder::multiLineStretches(QList<QList<Stretch>>& runs) {
    QList<AccessibleTextOffset> places;
    for (QList<Stretch>& run : runs) {
        if (run.size() > kParagraphObjects) {
            QList<Stretch> most = run;
            std::stable_sort(most.begin(), most.end(),
                             [](const Stretch& a, const Stretch& b) { return a.drawn > b.drawn; });
            const int fewest = most[kParagraphObjects - 1].drawn;
            qsizetype kept = 0;
            run.removeIf([&](const Stretch& stretch) { return stretch.drawn < fewest || ++kept > kParagraphObjects; });
        }
        for (const Stretch& stretch : std::as_const(run)) {
            const QString& text = *(*m_nodes)[stretch.node].text;
            const QList<int>& offsets = offsetsOf(stretch.node);
            qsizetype first = unitAt(stretch.node, stretch.next);
            qsizetype last = unitAt(stretch.node, stretch.end) - 1;
            while (!isDrawnCharacter(text[first])) ++first;
            while (!isDrawnCharacter(text[last]) || text[last].isLowSurrogate()) --last;
            places << AccessibleTextOffset{.element = (*m_nodes)[stretch.node].element, .offset = offsets[first]}
                   << AccessibleTextOffset{.element = (*m_nodes)[stretch.node].element, .offset = offsets[last]};
        }
    }
    if (places.isEmpty()) return {};
    auto boxes = drawnBoxes(places);
    if (!boxes) return tl::unexpected(boxes.error());
    qsizetype asked = 0;
    for (QList<Stretch>& run : runs) {
        run.removeIf([&](const Stretch&) {
            const std::optional<AccessibleBox>& first = (*boxes)[asked++];
            const std::optional<AccessibleBox>& last = (*boxes)[asked++];
            return !first || !last || breakBetween(*first, *last, TextBreak::paragraph) != TextBreak::paragraph;
        });
    }
    return {};
}

void DrawnLineFinder::addRowCandidates(const Stretch& stretch) {
    const QString& text = *(*m_nodes)[stretch.node].text;
    bool drawnBefore = false;
    for (qsizetype unit = unitAt(stretch.node, stretch.next); unit < unitAt(stretch.node, stretch.end); ++unit) {
        if (!isDrawnCharacter(text[unit]) || text[unit].isLowSurrogate()) continue;
        if (drawnBefore) addCandidate(stretch.node, unit, TextBreak::line, true, stretch.part);
        drawnBefore = true;
    }
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

void DrawnLineFinder::addCandidate(qsizetype node, qsizetype at, TextBreak onAnotherLine, bool rowsOnly,
                                   qsizetype part) {
    const auto [found, added] = m_candidateAt.try_emplace({node, at}, m_candidates.size());
    if (!added) {
        Candidate& candidate = m_candidates[found->second];
        candidate.onAnotherLine = std::max(candidate.onAnotherLine, onAnotherLine);
        candidate.rowsOnly = candidate.rowsOnly && rowsOnly;
        return;
    }
    m_candidates.append({.node = node, .at = at, .onAnotherLine = onAnotherLine, .rowsOnly = rowsOnly, .part = part});
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

qsizetype DrawnLineFinder::objectIndexAt(qsizetype node, qsizetype at) {
    auto found = m_objectsBefore.find(node);
    if (found == m_objectsBefore.end()) {
        const QString& text = *(*m_nodes)[node].text;
        QList<qsizetype> before;
        before.reserve(text.size() + 1);
        qsizetype objects = 0;
        for (const QChar c : text) {
            before.append(objects);
            if (c == kPlaceHolder) ++objects;
        }
        before.append(objects);
        found = m_objectsBefore.insert(node, std::move(before));
    }
    return found->at(at);
}

qsizetype DrawnLineFinder::blocksBefore(qsizetype node, qsizetype at) {
    auto found = m_blocksBefore.find(node);
    if (found == m_blocksBefore.end()) {
        const FollowedNode& followed = (*m_nodes)[node];
        const QString& text = *followed.text;
        QList<qsizetype> before;
        before.reserve(text.size() + 1);
        qsizetype blocks = 0;
        qsizetype object = 0;
        for (const QChar c : text) {
            before.append(blocks);
            if (c != kPlaceHolder) continue;
            const qsizetype child = followed.objects.value(object++, -1);
            if (child >= 0 && (*m_nodes)[child].block) ++blocks;
        }
        before.append(blocks);
        found = m_blocksBefore.insert(node, std::move(before));
    }
    return found->at(at);
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
