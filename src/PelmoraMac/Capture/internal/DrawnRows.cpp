#include "PelmoraMac/Capture/internal/DrawnLines.h"

#include "PelmoraMac/Capture/CapturedText.h"
#include "PelmoraMac/Capture/internal/AskedAgain.h"

#include <QHash>

#include <algorithm>
#include <array>
#include <climits>
#include <numeric>
#include <tuple>

// Where a run of many pieces is drawn in rows: few boxes asked for, one or two a row.

namespace tavrine {

namespace {

constexpr QChar kPlaceHolder(kObjectReplacementCharacter);

// The most rows whose changes of line are asked for where a row's length puts them, in one round.
constexpr qsizetype kPredictedRows = 256;

}  // namespace

CaptureResult<void> DrawnLineFinder::findRows(const QList<qsizetype>& asked, const QList<AccessibleTextOffset>& places,
                                              QList<QList<DrawnBreak>>& breaks) {
    // The candidates in the order of the text, in runs: the candidates of one node's text between two of its
    // blocks, or of one part of it (rows follow one another down only within such a run).
    QList<qsizetype> order(asked.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        const Candidate& first = m_candidates[asked[a]];
        const Candidate& second = m_candidates[asked[b]];
        return std::pair(first.node, first.at) < std::pair(second.node, second.at);
    });
    QList<std::tuple<qsizetype, qsizetype, qsizetype>> runOf(order.size());
    for (qsizetype index = 0; index < order.size(); ++index) {
        const Candidate& c = m_candidates[asked[order[index]]];
        runOf[index] = {c.node, blocksBefore(c.node, c.at), c.part};
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
            noteRowStart(c.node, c.at);
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
            noteRowStart(c.node, c.at);
        } else if (apart.value(runStart, false)) {
            breaks[c.node].append({.at = c.at, .kind = TextBreak::line});
        }
    }
    return {};
}

void DrawnLineFinder::noteRowStart(qsizetype node, qsizetype at) {
    m_rowStarts[node].append(at);
}

CaptureResult<QList<DrawnLineFinder::Stretch>> DrawnLineFinder::leavesOfTallRows() {
    const QList<FollowedNode>& nodes = *m_nodes;
    // Where each object stands: its owner and the unit of its place holder in the owner's text.
    QHash<qsizetype, std::pair<qsizetype, qsizetype>> placeOf;
    for (qsizetype index = 0; index < nodes.size(); ++index) {
        const QString text = nodes[index].text.value_or(QString());
        for (qsizetype unit = 0, object = 0; unit < text.size(); ++unit) {
            if (text[unit] != kPlaceHolder) continue;
            const qsizetype child = nodes[index].objects.value(object++, -1);
            if (child >= 0) placeOf.insert(child, {index, unit});
        }
    }
    for (QList<qsizetype>& starts : m_rowStarts) {
        std::sort(starts.begin(), starts.end());
        starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    }
    // The row each leaf is drawn in: the stretch of its owner's text from the start of the row to the start of
    // the next (units), each asked once.
    QList<std::tuple<qsizetype, qsizetype, qsizetype>> rows;
    QHash<std::pair<qsizetype, qsizetype>, qsizetype> rowAt;
    QList<qsizetype> rowOf;
    for (const Stretch& leaf : std::as_const(m_placedLeaves)) {
        const auto place = placeOf.constFind(leaf.node);
        if (place == placeOf.constEnd()) {
            rowOf.append(-1);
            continue;
        }
        const auto [owner, unit] = *place;
        const QList<qsizetype> starts = m_rowStarts.value(owner);
        const auto next = std::upper_bound(starts.cbegin(), starts.cend(), unit);
        const qsizetype start = next == starts.cbegin() ? 0 : *(next - 1);
        const qsizetype end = next == starts.cend() ? nodes[owner].text->size() : *next;
        const auto found = rowAt.constFind({owner, start});
        if (found == rowAt.constEnd()) {
            rowAt.insert({owner, start}, rows.size());
            rows.append({owner, start, end});
        }
        rowOf.append(found == rowAt.constEnd() ? rows.size() - 1 : found.value());
    }
    // A row is told one line by the starts of the rows around it (their boxes told as the rows were found): the
    // start of the row after it lies at least the row's height, the row before's height and the gaps below the
    // start of the row before, however the rows align their items. Where that is less than two of the owner's
    // shortest spacing of rows, and half a line, the row is no higher than the shortest row and half a line: a
    // second line, even of smaller print, would make it higher. The shortest row is one line where it is less
    // than a line and a half high (a second line of the same print would make it two). The other rows are
    // measured, one question each: a row of one line is no higher than its characters and half again.
    QList<AccessibleTextOffset> starts;
    QList<std::array<qsizetype, 3>> startsOf;
    const auto startAt = [&](qsizetype owner, qsizetype unit) -> qsizetype {
        const auto drawn = unit >= 0 ? drawnNear(owner, unit, true) : std::nullopt;
        if (!drawn) return -1;
        starts.append(*drawn);
        return starts.size() - 1;
    };
    for (const auto& [owner, start, end] : std::as_const(rows)) {
        const QList<qsizetype> known = m_rowStarts.value(owner);
        const auto at = std::lower_bound(known.cbegin(), known.cend(), start);
        // The first row starts with the text.
        const qsizetype before = start == 0 ? -1 : at == known.cbegin() ? 0 : *(at - 1);
        const qsizetype after = end < nodes[owner].text->size() ? end : -1;
        startsOf.append({startAt(owner, before), startAt(owner, start), startAt(owner, after)});
    }
    auto startBoxes = drawnBoxes(starts);
    if (!startBoxes) return tl::unexpected(startBoxes.error());
    const auto startBox = [&](qsizetype index) {
        return index >= 0 ? (*startBoxes)[index] : std::optional<AccessibleBox>{};
    };
    // The owner's shortest spacing of rows, where it is one line.
    QHash<qsizetype, int> spacingOf;
    for (qsizetype row = 0; row < rows.size(); ++row) {
        const auto start = startBox(startsOf[row][1]);
        const auto after = startBox(startsOf[row][2]);
        if (!start || !after || after->y <= start->y) continue;
        const int spacing = after->y - start->y;
        const qsizetype owner = std::get<0>(rows[row]);
        if (2 * spacing < 3 * std::min(start->height, after->height) && spacing < spacingOf.value(owner, INT_MAX))
            spacingOf.insert(owner, spacing);
    }
    const auto oneLineBetween = [&](qsizetype owner, const std::array<qsizetype, 3>& at) {
        const auto above = startBox(at[0]);
        const auto row = startBox(at[1]);
        const auto below = startBox(at[2]);
        if (!above || !row || !below || !spacingOf.contains(owner)) return false;
        const int line = std::min({above->height, row->height, below->height});
        return line > 0 && above->y < row->y && row->y < below->y &&
               2 * (below->y - above->y) < 4 * spacingOf.value(owner) + line;
    };
    QList<bool> oneLine;
    QList<AccessibleTextPart> parts;
    QList<AccessibleTextOffset> edges;
    QList<qsizetype> measured;
    // For each measured row, its range's index in `parts`; -1 for a row of one unit, measured by its edges alone.
    QList<qsizetype> partOf;
    for (qsizetype row = 0; row < rows.size(); ++row) {
        const auto& [owner, from, to] = rows[row];
        const qsizetype start = startsOf[row][1];
        oneLine.append(oneLineBetween(owner, startsOf[row]));
        const auto last = drawnNear(owner, to, false);
        if (oneLine.back() || start < 0 || !last) continue;
        // The row's box is its range's up to its last unit, joined to the boxes of its first and last characters:
        // Firefox's box of a range takes in the character at its end as well (a row's whole range would reach into
        // the next row's first item, two lines high), Chromium's does not.
        qsizetype end = to;
        while (end > from + 1 && nodes[owner].text->at(end - 1).isSpace()) --end;
        const QList<int>& offsets = offsetsOf(owner);
        partOf.append(end - 1 > from ? parts.size() : -1);
        if (partOf.back() >= 0)
            parts.append({.element = nodes[owner].element, .range = {.start = offsets[from], .end = offsets[end - 1]}});
        edges << starts[start] << *last;
        measured.append(row);
    }
    if (!measured.isEmpty()) {
        auto heights = parts.isEmpty()
                           ? AccessibleAnswers<AccessibleBox>(QList<std::optional<AccessibleBox>>{})
                           : checkedBatch<AccessibleAnswers<AccessibleBox>>(
                                 m_check, m_deadline, [&](CaptureDeadline d) { return m_bus.rangeBoxes(parts, d); });
        if (!heights) return tl::unexpected(heights.error());
        auto lines = drawnBoxes(edges);
        if (!lines) return tl::unexpected(lines.error());
        for (qsizetype index = 0; index < measured.size(); ++index) {
            const std::optional<AccessibleBox>& first = (*lines)[2 * index];
            const std::optional<AccessibleBox>& last = (*lines)[2 * index + 1];
            const int line = first && last ? std::min(first->height, last->height) : 0;
            if (line <= 0) continue;
            const std::optional<AccessibleBox> range = partOf[index] >= 0 ? (*heights)[partOf[index]] : first;
            if (!range || range->height <= 0) continue;
            const int top = std::min({first->y, last->y, range->y});
            const int bottom = std::max({first->y + first->height, last->y + last->height, range->y + range->height});
            oneLine[measured[index]] = 2 * (bottom - top) < 3 * line;
        }
    }
    QList<Stretch> tall;
    for (qsizetype index = 0; index < m_placedLeaves.size(); ++index) {
        if (rowOf[index] < 0 || !oneLine[rowOf[index]]) tall.append(m_placedLeaves[index]);
    }
    return tall;
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

}  // namespace tavrine
