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
// The most rows whose changes of line are asked for where a row's length puts them, in one round.
constexpr qsizetype kPredictedRows = 256;

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
    if (auto found = findParagraphStarts(); !found) return tl::unexpected(found.error());
    addPlacedObjects();

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
    QList<QList<DrawnBreak>> breaks(nodes.size());
    if (!rowsAsked.isEmpty()) {
        auto rows = findRows(rowsAsked, rowPlaces, breaks);
        if (!rows) return tl::unexpected(rows.error());
    }
    if (asked.isEmpty()) return sorted(std::move(breaks));
    if (asked.size() > kBoxPairs) {
        auto rows = findRows(asked, places, breaks);
        if (!rows) return tl::unexpected(rows.error());
        return sorted(std::move(breaks));
    }
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
    return sorted(std::move(breaks));
}

QList<QList<DrawnBreak>> DrawnLineFinder::sorted(QList<QList<DrawnBreak>> breaks) {
    for (auto& list : breaks) {
        std::sort(list.begin(), list.end(), [](const DrawnBreak& a, const DrawnBreak& b) { return a.at < b.at; });
    }
    return breaks;
}

CaptureResult<void> DrawnLineFinder::findRows(const QList<qsizetype>& asked, const QList<AccessibleTextOffset>& places,
                                              QList<QList<DrawnBreak>>& breaks) {
    // The candidates in the order of the text, in runs: the candidates of one node's text between two of its
    // blocks (rows follow one another down only within such a run).
    QList<qsizetype> order(asked.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        const Candidate& first = m_candidates[asked[a]];
        const Candidate& second = m_candidates[asked[b]];
        return std::pair(first.node, first.at) < std::pair(second.node, second.at);
    });
    QList<std::pair<qsizetype, qsizetype>> runOf(order.size());
    for (qsizetype index = 0; index < order.size(); ++index) {
        const Candidate& c = m_candidates[asked[order[index]]];
        runOf[index] = {c.node, blocksBefore(c.node, c.at)};
    }
    const auto sameRun = [&](qsizetype a, qsizetype b) { return runOf[a] == runOf[b]; };
    const auto candidateAt = [&](qsizetype index) -> const Candidate& { return m_candidates[asked[order[index]]]; };
    // The box of the first character drawn after each candidate, once asked for, in that order; and of the
    // last drawn before the first candidate of each run.
    QList<std::optional<AccessibleBox>> after(order.size());
    QList<bool> known(order.size(), false);
    QList<AccessibleTextOffset> first;
    QList<qsizetype> firstOf;
    for (qsizetype index = 0; index < order.size(); ++index) {
        if (index > 0 && sameRun(index - 1, index)) continue;
        firstOf.append(index);
        first << places[2 * order[index]] << places[2 * order[index] + 1];
        // The last of the run.
        qsizetype last = index;
        while (last + 1 < order.size() && sameRun(last + 1, index)) ++last;
        if (last > index) {
            firstOf.append(last);
            first.append(places[2 * order[last] + 1]);
        }
    }
    auto edges = drawnBoxes(first);
    if (!edges) return tl::unexpected(edges.error());
    // Whether the pieces side by side in a run's rows stand apart (a grid's cells, the items of a row parted by
    // a gap) or touch (the items of a wrapping row of words), by the run's first index, where told: by its first
    // candidate, or one inside a row. A run of candidates at each character of a text (`rowsOnly`) has no pieces
    // known: each row's characters stay together.
    QHash<qsizetype, bool> apart;
    for (qsizetype at = 0, index = 0; index < firstOf.size(); ++index) {
        const qsizetype candidate = firstOf[index];
        if (candidate > 0 && sameRun(candidate - 1, candidate)) {
            after[candidate] = (*edges)[at++];
            known[candidate] = true;
            continue;
        }
        const std::optional<AccessibleBox>& before = (*edges)[at++];
        after[candidate] = (*edges)[at++];
        known[candidate] = true;
        const Candidate& c = candidateAt(candidate);
        if (!before || !after[candidate]) continue;
        const TextBreak kind = breakBetween(*before, *after[candidate], TextBreak::paragraph);
        if (kind == TextBreak::paragraph) {
            breaks[c.node].append({.at = c.at, .kind = c.onAnotherLine});
        } else if (!c.rowsOnly) {
            apart.insert(candidate, kind == TextBreak::line);
            if (kind == TextBreak::line) breaks[c.node].append({.at = c.at, .kind = TextBreak::line});
        }
    }
    // Between two candidates whose characters after are drawn in one line, every character is: the lines of
    // a row follow one another down. Where two are on different lines, the one between them is asked for,
    // until every change of line is found between two candidates side by side: where a row's length is
    // known, at the place the next row would start, else half way.
    const auto sameLine = [&](qsizetype a, qsizetype b) {
        return !after[a] || !after[b] ||
               breakBetween(*after[a], *after[b], TextBreak::paragraph) != TextBreak::paragraph;
    };
    // Candidates known to start a row; and those whose box after was not asked for but told by their row
    // (`alike`), never taken to tell whether a run's pieces stand apart.
    QList<bool> rowStart(order.size(), false);
    QList<bool> inferred(order.size(), false);
    // Starts asked for alone that did not show that they start a row.
    QList<bool> unlike(order.size(), false);
    for (;;) {
        QList<qsizetype> probes;
        // Rows whose start alone is asked for.
        QList<RowStart> starts;
        // The last change of line known exactly (a candidate drawn on another line than the one before it), the one
        // before it, and the length of a row between two such changes: where the rows are alike, the next rows'
        // changes are asked for where they would be, two candidates each, or one where the rows' geometry tells
        // the other (`alike`), all in one round.
        qsizetype lastChange = -1;
        qsizetype previousChange = -1;
        qsizetype rowLength = 0;
        // Until a row's length is known, a run's first rows are looked for alone, one after the other.
        bool looking = false;
        for (qsizetype lo = 0; lo < order.size();) {
            qsizetype hi = lo + 1;
            while (hi < order.size() && !known[hi]) ++hi;
            if (hi >= order.size()) break;
            if (!sameRun(lo, hi)) {
                lastChange = previousChange = -1;
                rowLength = 0;
                looking = false;
            } else if (looking && rowLength == 0) {
                // Waits for the run's first rows.
            } else if (!sameLine(lo, hi) && hi == lo + 1) {
                if (lastChange >= 0 && rowLength == 0) rowLength = hi - lastChange;
                previousChange = std::exchange(lastChange, hi);
                rowStart[hi] = true;
            } else if (!sameLine(lo, hi)) {
                qsizetype predicted = 0;
                if (rowLength > 1 && lastChange >= 0) {
                    const qsizetype first = lastChange + rowLength * ((lo - lastChange) / rowLength + 1);
                    // The rows' starts alone, where the last two rows known start one row's length apart, at one
                    // place across, and each next row's start can follow from the one before.
                    const bool alike = previousChange >= 0 && lastChange - previousChange == rowLength &&
                                       after[lastChange] && after[previousChange] &&
                                       after[lastChange]->x == after[previousChange]->x;
                    // Up to the next known candidate, which may itself start a row. The candidate before a start
                    // is asked for where the rows are not alike, or the start did not show that it starts a row.
                    for (qsizetype next = first; next <= hi && predicted < kPredictedRows;
                         next += rowLength, ++predicted) {
                        const bool single = alike && !unlike[next];
                        if (!single && next - 1 > lo) probes.append(next - 1);
                        if (single)
                            starts.append({.rowBefore = next - 2 * rowLength, .row = next - rowLength, .start = next});
                        if (next < hi) probes.append(next);
                    }
                }
                if (predicted == 0) {
                    probes.append(lo + (hi - lo) / 2);
                    // A change of line still to be found lies between the last one known and the next.
                    previousChange = -1;
                }
                looking = true;
            }
            lo = hi;
        }
        if (probes.isEmpty()) break;
        std::sort(probes.begin(), probes.end());
        probes.erase(std::unique(probes.begin(), probes.end()), probes.end());
        QList<AccessibleTextOffset> asking;
        for (const qsizetype probe : probes) asking.append(places[2 * order[probe] + 1]);
        auto boxes = drawnBoxes(asking);
        if (!boxes) return tl::unexpected(boxes.error());
        for (qsizetype index = 0; index < probes.size(); ++index) {
            after[probes[index]] = (*boxes)[index];
            known[probes[index]] = true;
        }
        inferRowEnds(starts, after, known, rowStart, inferred, unlike);
    }
    // A run whose first candidate starts a row is told by a candidate inside a row whose box after is known:
    // the last character drawn before it is asked for, one batch for all such runs.
    QList<std::pair<qsizetype, qsizetype>> inside;
    for (qsizetype runStart = 0, previous = 0, index = 1; index < order.size(); ++index) {
        if (!sameRun(index - 1, index)) {
            runStart = previous = index;
            continue;
        }
        if (!known[index] || inferred[index]) continue;
        const bool untold = !apart.contains(runStart) && (inside.isEmpty() || inside.constLast().first != runStart);
        if (untold && !candidateAt(index).rowsOnly && after[index] && sameLine(previous, index))
            inside.append({runStart, index});
        previous = index;
    }
    if (!inside.isEmpty()) {
        QList<AccessibleTextOffset> asking;
        for (const auto& [run, index] : std::as_const(inside)) asking.append(places[2 * order[index]]);
        auto before = drawnBoxes(asking);
        if (!before) return tl::unexpected(before.error());
        for (qsizetype index = 0; index < inside.size(); ++index) {
            const std::optional<AccessibleBox>& box = (*before)[index];
            const std::optional<AccessibleBox>& next = after[inside[index].second];
            if (box && next)
                apart.insert(inside[index].first, breakBetween(*box, *next, TextBreak::paragraph) == TextBreak::line);
        }
    }
    // A line end, or the break the candidate takes, before each row but the first; a line end between pieces
    // that stand apart in a row.
    qsizetype runStart = 0;
    for (qsizetype index = 1; index < order.size(); ++index) {
        if (!sameRun(index - 1, index)) {
            runStart = index;
            continue;
        }
        const Candidate& c = candidateAt(index);
        if (!sameLine(index - 1, index)) {
            breaks[c.node].append({.at = c.at, .kind = c.onAnotherLine});
        } else if (apart.value(runStart, false)) {
            breaks[c.node].append({.at = c.at, .kind = TextBreak::line});
        }
    }
    return {};
}

void DrawnLineFinder::inferRowEnds(const QList<RowStart>& starts, QList<std::optional<AccessibleBox>>& after,
                                   QList<bool>& known, QList<bool>& rowStart, QList<bool>& inferred,
                                   QList<bool>& unlike) {
    // A row's start drawn where the row before it starts across, exactly as far below it as that row is below the
    // one before, starts its line: had the row before ended sooner, a piece of the start's line would be drawn
    // there before it; later, the start would be in the row before's line; had the row before taken two lines,
    // the start would be further down. The candidate before the start is then drawn in the row before's line.
    // A start that does not show it is asked for again with the candidate before it, and so is every next one,
    // which follows only from one shown.
    for (const auto& [rowBefore, row, start] : starts) {
        const std::optional<AccessibleBox>& above = after[rowBefore];
        const std::optional<AccessibleBox>& shown = after[row];
        const std::optional<AccessibleBox>& next = after[start];
        if (!rowStart[rowBefore] || !rowStart[row] || !above || !shown || !next || next->x != shown->x ||
            shown->y <= above->y || next->y - shown->y != shown->y - above->y) {
            unlike[start] = true;
            continue;
        }
        rowStart[start] = true;
        if (start - 1 == row) continue;
        after[start - 1] = shown;
        known[start - 1] = true;
        inferred[start - 1] = true;
    }
}

AccessibleAnswers<AccessibleBox> DrawnLineFinder::drawnBoxes(const QList<AccessibleTextOffset>& places) {
    const auto boxesAt = [&](const QList<AccessibleTextOffset>& asked) {
        return batch<AccessibleAnswers<AccessibleBox>>(
            [&](CaptureDeadline d) { return m_bus.characterBoxes(asked, d); });
    };
    // A character of a selected text is drawn somewhere: an empty box is one the application has not worked
    // out yet (Firefox answers its first questions about where its page is drawn so, while it learns it).
    return askedAgain<AccessibleBox>(
        boxesAt(places), [](const AccessibleBox& box) { return box.height <= 0; },
        [&](const QList<qsizetype>& indexes) {
            QList<AccessibleTextOffset> again;
            for (const qsizetype index : indexes) again.append(places[index]);
            return boxesAt(again);
        },
        kBoxRounds, kBoxPause, m_deadline);
}

CaptureResult<void> DrawnLineFinder::findParagraphStarts() {
    const QList<FollowedNode>& nodes = *m_nodes;
    QList<Stretch> open;
    // The stretches of texts that hold no object.
    QList<Stretch> leaves;
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
            if (inlineObjects <= kParagraphObjects) (object == 0 ? leaves : open).append(run);
            run.clear();
            inlineObjects = 0;
        }
    }
    if (auto split = askableLeaves(leaves); !split) return tl::unexpected(split.error());
    open.append(leaves);
    // Each round asks, in one batch, for the paragraph at the start of each stretch whose paragraphs are not
    // all known, and, past a stretch's first paragraph, at places spread over the rest: each answer tells a paragraph's
    // start and end, and what lies between two paragraphs told is asked for in the next round, so that a stretch of
    // many short paragraphs (a wrapping row of a thousand items) takes a few rounds, not one for each.
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
        auto paragraphs = batch<AccessibleAnswers<AccessibleTextRange>>(
            [&](CaptureDeadline d) { return m_bus.paragraphsAt(places, d); });
        if (!paragraphs) return tl::unexpected(paragraphs.error());
        QList<Stretch> next;
        for (qsizetype first = 0; first < asked.size();) {
            const Stretch& stretch = open[asked[first].first];
            qsizetype last = first;
            while (last < asked.size() && asked[last].first == asked[first].first) ++last;
            // The paragraphs told, in order; the first is the one the stretch's next question begins.
            int known = stretch.next;
            for (qsizetype index = first; index < last; ++index) {
                const std::optional<AccessibleTextRange>& paragraph = (*paragraphs)[index];
                const int at = asked[index].second;
                // An answer that does not hold its place says nothing; where the first does not, the
                // stretch's paragraphs are not told.
                if (!paragraph || paragraph->start > at || paragraph->end <= at) {
                    if (index == first) break;
                    continue;
                }
                if (paragraph->start > known) {
                    // A paragraph starts there, and what lies before it is not known.
                    addCandidate(stretch.node, unitAt(stretch.node, paragraph->start), TextBreak::paragraph);
                    next.append({.node = stretch.node, .next = known, .end = paragraph->start, .spread = true});
                }
                if (paragraph->end <= known) continue;
                known = paragraph->end;
                if (known >= stretch.end) break;
                addCandidate(stretch.node, unitAt(stretch.node, known), TextBreak::paragraph);
            }
            if (known > stretch.next && known < stretch.end)
                next.append({.node = stretch.node, .next = known, .end = stretch.end, .spread = true});
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
        const Stretch& stretch = leaves[index];
        const QString& text = *(*m_nodes)[stretch.node].text;
        bool drawnBefore = false;
        for (qsizetype unit = unitAt(stretch.node, stretch.next); unit < unitAt(stretch.node, stretch.end); ++unit) {
            if (!isDrawnCharacter(text[unit]) || text[unit].isLowSurrogate()) continue;
            if (drawnBefore) addCandidate(stretch.node, unit, TextBreak::line, true);
            drawnBefore = true;
        }
    }
    leaves = std::move(kept);
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

void DrawnLineFinder::addCandidate(qsizetype node, qsizetype at, TextBreak onAnotherLine, bool rowsOnly) {
    const auto [found, added] = m_candidateAt.try_emplace({node, at}, m_candidates.size());
    if (!added) {
        Candidate& candidate = m_candidates[found->second];
        candidate.onAnotherLine = std::max(candidate.onAnotherLine, onAnotherLine);
        candidate.rowsOnly = candidate.rowsOnly && rowsOnly;
        return;
    }
    m_candidates.append({.node = node, .at = at, .onAnotherLine = onAnotherLine, .rowsOnly = rowsOnly});
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
