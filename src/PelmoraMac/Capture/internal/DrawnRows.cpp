#include "PelmoraMac/Capture/internal/DrawnLines.h"

#include <QHash>

#include <algorithm>
#include <numeric>
#include <tuple>

// Where a run of many pieces is drawn in rows: few boxes asked for, one or two a row.

namespace tavrine {

namespace {

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

}  // namespace tavrine
