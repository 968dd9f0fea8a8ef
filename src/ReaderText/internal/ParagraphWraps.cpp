#include "ReaderText/internal/ParagraphWraps.h"

#include "ReaderText/internal/LineEndWords.h"
#include "ReaderText/internal/LineShapes.h"

#include <unicode/uchar.h>
#include <unicode/uscript.h>

#include <algorithm>
#include <optional>
#include <vector>

namespace tavrine::internal {
namespace {

int eastAsianWidth(char32_t c) {
    return u_getIntPropertyValue(static_cast<UChar32>(c), UCHAR_EAST_ASIAN_WIDTH);
}

bool isWideOrFullwidth(char32_t c) {
    const int width = eastAsianWidth(c);
    return width == U_EA_WIDE || width == U_EA_FULLWIDTH;
}

// `japanese`: the character stands in a line that holds a wide character, where an ambiguous one shows wide.
qsizetype columnsOf(char32_t c, bool japanese) {
    const auto category = u_charType(static_cast<UChar32>(c));
    if (category == U_NON_SPACING_MARK || category == U_ENCLOSING_MARK || category == U_FORMAT_CHAR ||
        category == U_CONTROL_CHAR) {
        return 0;
    }
    return isWideOrFullwidth(c) || (japanese && eastAsianWidth(c) == U_EA_AMBIGUOUS) ? 2 : 1;
}

// What a wrap runs on from or into with nothing between, as between two Japanese characters: wide,
// fullwidth, halfwidth (ｱ), ambiguous in a line of Japanese; never Hangul, as Korean spaces its words.
bool isWideBesideWrap(char32_t c, bool japanese) {
    const int width = eastAsianWidth(c);
    if (width != U_EA_WIDE && width != U_EA_FULLWIDTH && width != U_EA_HALFWIDTH &&
        !(japanese && width == U_EA_AMBIGUOUS)) {
        return false;
    }
    UErrorCode error = U_ZERO_ERROR;
    return uscript_getScript(static_cast<UChar32>(c), &error) != USCRIPT_HANGUL;
}

// Calls f with each code point of text, in order, until f answers false.
template <typename F>
void forEachCodePoint(QStringView text, F f) {
    for (qsizetype at = 0; at < text.size();) {
        char32_t c = text[at].unicode();
        if (text[at].isHighSurrogate() && at + 1 < text.size() && text[at + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[at], text[at + 1]);
            ++at;
        }
        ++at;
        if (!f(c)) return;
    }
}

// The code point after the first `skipped` ones, or 0 where the text holds no more.
char32_t firstCodePoint(QStringView text, qsizetype skipped = 0) {
    char32_t found = 0;
    forEachCodePoint(text, [&](char32_t c) {
        if (skipped-- > 0) return true;
        found = c;
        return false;
    });
    return found;
}

char32_t lastCodePoint(QStringView text) {
    const qsizetype size = text.size();
    if (size >= 2 && text[size - 1].isLowSurrogate() && text[size - 2].isHighSurrogate()) {
        return QChar::surrogateToUcs4(text[size - 2], text[size - 1]);
    }
    return text.isEmpty() ? 0 : text.back().unicode();
}

// Closing marks alone ("。", "」。"): the end of the line before, which a source that knows no rules of Japanese
// line breaking moved down when the line was full.
bool isMovedDownEnd(QStringView body) {
    bool all = !body.isEmpty();
    forEachCodePoint(body, [&](char32_t c) { return all = mayNotStartLine(c); });
    return all;
}

bool holdsWide(QStringView text) {
    bool found = false;
    forEachCodePoint(text, [&](char32_t c) { return !(found = isWideOrFullwidth(c)); });
    return found;
}

qsizetype columnsIn(QStringView text, bool japanese) {
    qsizetype columns = 0;
    forEachCodePoint(text, [&](char32_t c) {
        columns += columnsOf(c, japanese);
        return true;
    });
    return columns;
}

// The columns of a text's first word: a run of characters that are neither white space nor wide; a wide
// character alone where it starts with one.
qsizetype firstWordColumns(QStringView text, bool japanese) {
    qsizetype columns = 0;
    forEachCodePoint(text, [&](char32_t c) {
        const qsizetype width = columnsOf(c, japanese);
        if (QChar::isSpace(c) || width == 2) {
            if (columns == 0 && width == 2) columns = 2;
            return false;
        }
        columns += width;
        return true;
    });
    return columns;
}

// What the measure knows of one line.
struct Measure {
    QStringView text;  // after its quote marks, as the source showed it
    QStringView body;  // the same without white space at either end
    QuoteMarks marks;
    qsizetype wide = 0;  // wide characters and narrow letters or figures, for a block of mostly wide ones
    qsizetype narrow = 0;
    bool japanese = false;  // it holds a wide character
    bool shaped = false;    // a line of another shape, a block of its own
    bool item = false;      // it starts an item of a list, or continues one under a hanging indent

    // Of a line whose end is soft:
    bool hangs = false;      // it ends in a closing mark, which may hang past the edge
    bool prose = false;      // its width means something
    bool evidence = false;   // prose before a line that starts with no capital: verse capitalises every line
    bool parts = false;      // it ends a sentence or a paragraph
    bool candidate = false;  // joins if it reaches the wrap width
    bool exempt = false;     // it tells nothing of verse: an utterance's line, or the line before one
    bool piece = false;      // the first line, plainly a piece of a line: it reaches every width past its own
    qsizetype width = 0;
    qsizetype reach = -1;                     // the widest width it reaches
    qsizetype narrowWidth = 0;                // its width with East Asian Ambiguous characters one column wide
    Continuation words = Continuation::none;  // what the words at its end tell, in Japanese
    qsizetype hangingIndent = 0;  // the white space before the next line, which continues it under an indent
    qsizetype breakColumn = 0;    // where the source could first have broken it
};

// Also where the source counted "…", "―" and the like one column wide, as some tools do.
bool reaches(const Measure& m, qsizetype wrapWidth) {
    const qsizetype beyond = m.reach - m.width;
    return (m.width <= wrapWidth && wrapWidth <= m.reach) ||
           (m.narrowWidth < m.width && m.narrowWidth <= wrapWidth && wrapWidth <= m.narrowWidth + beyond);
}

bool startsWithCapital(QStringView text) {
    return !text.isEmpty() && text.front().isUpper();
}

// Never joined for their shape, whatever their width: rows, code, indented lines.
bool joinsNeverForShape(const Measure& line, const Measure& next, const SourceLine& source,
                        const SourceLine& nextSource, qsizetype paragraphIndent) {
    if (line.shaped || next.shaped || line.marks.depth != next.marks.depth) return true;
    if (isTableOrListingRow(line.text) || isTableOrListingRow(next.text)) return true;
    const qsizetype commas = separatingCommas(line.text);
    if (commas > 0 && commas == separatingCommas(next.text)) return true;
    if (alignsColumns(line.text) && alignsColumns(next.text)) return true;
    return endsCodeStatement(line.text) || source.indent > paragraphIndent || nextSource.indent > paragraphIndent;
}

bool parts(const Measure& line, const Measure& next) {
    return endsSentence(line.text) || next.body.isEmpty() || next.item || startsParagraphOrItem(next.text) ||
           (closesUtterance(line.text) && opensUtterance(next.text));
}

// "い、" "ろ、" "は、": items counted in the order of the iroha from its first letter, each within a few lines
// of the one before; alone, "い、" or "は、" at a line's start is more often a wrap ("少な / い、", "私 / は、").
void markIrohaItems(std::vector<Measure>& measured) {
    static constexpr QStringView kIroha = u"いろはにほへとちりぬるを";
    constexpr qsizetype kLinesApart = 6;
    const auto letterOf = [](const Measure& m) {
        return m.body.size() >= 3 && m.body[1] == u'、' ? kIroha.indexOf(m.body[0]) : qsizetype(-1);
    };
    qsizetype first = -1;  // the line of "い、" that may start a list
    qsizetype last = -1;   // the line of the list's last item
    qsizetype expected = 0;
    for (qsizetype i = 0; i < qsizetype(measured.size()); ++i) {
        const qsizetype letter = letterOf(measured[size_t(i)]);
        if (letter == 0) {
            first = last = i;
            expected = 1;
        } else if (letter > 0 && letter == expected && i - last <= kLinesApart) {
            measured[size_t(first)].item = measured[size_t(i)].item = true;
            last = i;
            ++expected;
        }
    }
}

// What the words at a Japanese line's end tell of it. A next line indented under an item (a step's second
// line under "　　") continues it only where its words carry the line on; its white space goes with the join.
void readWords(Measure& m, Measure& next) {
    if (next.item) return;
    const bool indented = !next.text.isEmpty() && next.text.front().isSpace();
    if (indented && !m.item) return;
    m.words = continuationAt(m.body, next.body);
    // A sentence that starts inside the line runs on into the next: running prose, no item nor verse.
    if (m.words == Continuation::none && !indented && holdsSentenceEndBeforeItsEnd(m.body) && !endsSentence(m.body) &&
        !closesUtterance(m.body)) {
        m.words = Continuation::likely;
    }
    if (!indented) return;
    if (m.words != Continuation::cut) {
        m.words = Continuation::none;
        return;
    }
    while (m.hangingIndent < next.text.size() && next.text[m.hangingIndent].isSpace()) ++m.hangingIndent;
    m.parts = false;
    next.item = true;
}

// Each line's shape, then the width of each line whose end is soft.
std::vector<Measure> measure(const QList<SourceLine>& lines) {
    std::vector<Measure> measured(size_t(lines.size()));
    bool inSignature = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        Measure& m = measured[size_t(i)];
        m.marks = quoteMarks(lines[i].text);
        m.text = QStringView(lines[i].text).sliced(m.marks.length);
        m.body = m.text.trimmed();
        m.japanese = holdsWide(m.body);
        forEachCodePoint(m.body, [&m](char32_t c) {
            if (isWideBesideWrap(c, m.japanese)) {
                ++m.wide;
            } else if (QChar::isLetterOrNumber(c)) {
                ++m.narrow;
            }
            return true;
        });
        const bool startsParagraph = i == 0 || !lines[i - 1].softEnd;
        if (startsParagraph) inSignature = false;
        const bool headsParagraph = startsParagraph || endsSentence(measured[size_t(i - 1)].text);
        const bool endOfLineBefore = i > 0 && lines[i - 1].softEnd && isMovedDownEnd(m.body);
        m.shaped = inSignature || isTableOrListingRow(m.text) || (!holdsLetter(m.body) && !endOfLineBefore) ||
                   (headsParagraph && isNumberedHeading(m.body));
        m.item = !m.text.isEmpty() && !m.text.front().isSpace() && startsParagraphOrItem(m.text);
        if (isSignatureSeparator(m.body)) inSignature = true;
    }
    markIrohaItems(measured);
    qsizetype paragraphIndent = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i == 0 || !lines[i - 1].softEnd) paragraphIndent = lines[i].indent;
        if (!lines[i].softEnd || i + 1 == lines.size()) continue;
        Measure& m = measured[size_t(i)];
        const Measure& next = measured[size_t(i + 1)];
        const qsizetype margin = lines[i].margin + columnsIn(QStringView(lines[i].text).first(m.marks.length), true);
        // An indentation the reading kept (an ideographic space that starts a paragraph) takes its columns.
        QStringView shown = m.text;
        while (!shown.isEmpty() && shown.back().isSpace()) shown.chop(1);
        m.width = margin + columnsIn(shown, m.japanese);
        m.narrowWidth = margin + columnsIn(shown, false);
        const char32_t first = firstCodePoint(next.body);
        if (next.body.isEmpty()) {
            m.reach = m.width;
        } else if (columnsOf(first, next.japanese) == 2) {
            // The odd column a wide character cannot take; one character more where the rules of Japanese
            // line breaking moved it down.
            const bool explained =
                mayNotStartLine(first) || mayNotStartLine(firstCodePoint(next.body, 1)) || mayNotEndLine(first);
            m.reach = m.width + 1 + (explained ? 2 : 0);
        } else {
            const bool spaced = columnsOf(lastCodePoint(m.body), m.japanese) != 2;
            m.reach = m.width + firstWordColumns(next.body, next.japanese) + (spaced ? 1 : 0);
        }
        m.breakColumn = margin + firstWordColumns(m.body, m.japanese);
        static constexpr QStringView kHangingMarks = u"、。，．";
        m.hangs = !m.body.isEmpty() && kHangingMarks.contains(m.body.back());
        m.prose = !joinsNeverForShape(m, next, lines[i], lines[i + 1], paragraphIndent);
        m.evidence = m.prose && !startsWithCapital(next.body);
        m.parts = parts(m, next);
        if (m.prose && (m.japanese || next.japanese)) readWords(m, measured[size_t(i + 1)]);
        m.candidate = m.prose && !m.parts;
        m.exempt = closesUtterance(m.text) || opensUtterance(next.text);
    }
    return measured;
}

// Lines read together: each block may wrap at a width of its own.
struct Block {
    qsizetype begin = 0;
    qsizetype end = 0;
    std::optional<qsizetype> width;  // the width it wraps at by its own lines
    bool mostlyWide = false;         // Japanese (or Chinese), which writes no space between its words
    // Of Japanese: the words at one of its line ends show it to be wrapped prose.
    bool shown = false;
    // Of Japanese: three lines or more none of whose ends is shown to be a wrap, that each end between words
    // (a timetable's, a list's, a poem's): they wrap at no width of their own however alike, only at the one
    // that the prose around them shows.
    bool betweenWords = false;
};

// Blocks end at a line end that is not soft, around a line of another shape or a change of quote marks, and
// after a line that parts from the next well short of the line before it: a paragraph's end.
std::vector<Block> blocksOf(const QList<SourceLine>& lines, const std::vector<Measure>& measured) {
    std::vector<Block> blocks;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        bool starts = i == 0;
        if (!starts) {
            const Measure& before = measured[size_t(i - 1)];
            const Measure& line = measured[size_t(i)];
            starts = !lines[i - 1].softEnd || before.shaped || line.shaped || before.marks.depth != line.marks.depth;
            if (!starts && i >= 2 && blocks.back().begin <= i - 2) {
                const qsizetype aboveWidth = measured[size_t(i - 2)].width;
                starts = before.parts && before.width < aboveWidth && !reaches(before, aboveWidth);
            }
        }
        if (starts) blocks.push_back(Block{.begin = i, .end = i, .width = std::nullopt});
        blocks.back().end = i + 1;
    }
    return blocks;
}

template <typename F>
void forEachLine(const std::vector<const Block*>& blocks, F f) {
    for (const Block* block : blocks) {
        for (qsizetype i = block->begin; i < block->end; ++i) f(i);
    }
}

struct Tally {
    qsizetype width = 0;
    qsizetype reaching = 0;
};

// The width of a prose line, at least kWrapMinimumColumns, that the most lines of evidence reach, the wider
// on a tie: one pass over a count per column.
Tally mostReached(const std::vector<Measure>& measured, const std::vector<const Block*>& blocks) {
    qsizetype widest = 0;
    forEachLine(blocks, [&](qsizetype i) {
        if (measured[size_t(i)].prose) widest = std::max(widest, measured[size_t(i)].width);
    });
    if (widest < kWrapMinimumColumns) return {};
    // reachChanges[w]: how many more lines of evidence reach w than reach w - 1; proseAt[w]: a line w wide.
    std::vector<qsizetype> reachChanges(size_t(widest) + 2, 0);
    std::vector<bool> proseAt(size_t(widest) + 1, false);
    const auto reachFrom = [&](qsizetype from, qsizetype to) {
        ++reachChanges[size_t(from)];
        --reachChanges[size_t(std::min(to, widest) + 1)];
    };
    forEachLine(blocks, [&](qsizetype i) {
        const Measure& m = measured[size_t(i)];
        if (!m.prose) return;
        proseAt[size_t(m.width)] = true;
        proseAt[size_t(m.narrowWidth)] = true;
        if (!m.evidence) return;
        // Counted with "…" and the like one column wide, the line reaches from its narrower width too.
        const qsizetype narrowReach = m.narrowWidth + (m.reach - m.width);
        const bool apart = narrowReach + 1 < m.width;
        reachFrom(apart ? m.width : m.narrowWidth, m.piece ? widest : m.reach);
        if (apart) reachFrom(m.narrowWidth, narrowReach);
    });
    Tally best;
    qsizetype reaching = 0;
    for (qsizetype w = 0; w <= widest; ++w) {
        reaching += reachChanges[size_t(w)];
        if (w >= kWrapMinimumColumns && proseAt[size_t(w)] && reaching > 0 && reaching >= best.reaching) {
            best = {w, reaching};
        }
    }
    return best;
}

// Whether the lines of `judged` wrap at the width of `tally`.
bool wrapsAt(const std::vector<Measure>& measured, const Tally& tally, const std::vector<const Block*>& judged) {
    const qsizetype half = (tally.width + 1) / 2;
    qsizetype wideProse = 0;
    qsizetype against = 0;
    forEachLine(judged, [&](qsizetype i) {
        const Measure& m = measured[size_t(i)];
        if (!m.prose) return;
        if (m.width >= half) ++wideProse;
        if (!m.candidate || m.exempt) return;
        const bool wider = m.narrowWidth - (m.hangs ? 2 : 0) > tally.width && m.breakColumn <= tally.width;
        const bool endedShort = i > 0 && m.width >= half && m.reach < tally.width;
        if (wider || endedShort) ++against;
    });
    return tally.reaching >= kWrapMinimumLines && tally.reaching > 2 * against && tally.reaching * 2 >= wideProse;
}

struct Widths {
    std::optional<qsizetype> text;       // the width of the blocks that wrap at none of their own
    std::optional<qsizetype> shown;      // the width at which the blocks that their words show wrap, together
    std::optional<qsizetype> selection;  // the width of a Japanese selection's one full line
    // Wrapped prose around a short block of Japanese whose words show nothing: a block that its words show,
    // or one of other letters that wraps.
    bool aroundShown = false;
};

// The width the lines of `judged` wrap at together, where they do.
std::optional<qsizetype> widthOf(const std::vector<Measure>& measured, const std::vector<const Block*>& judged) {
    const Tally tally = mostReached(measured, judged);
    if (tally.reaching == 0 || !wrapsAt(measured, tally, judged)) return std::nullopt;
    return tally.width;
}

// The width each block wraps at by its own lines, where they tell one; then the text's width, which the
// other blocks wrap at where their lines, judged together, do not outweigh it.
Widths tellWidths(const std::vector<Measure>& measured, std::vector<Block>& blocks) {
    std::vector<const Block*> all;
    for (Block& block : blocks) {
        qsizetype wide = 0;
        qsizetype narrow = 0;
        for (qsizetype i = block.begin; i < block.end; ++i) {
            wide += measured[size_t(i)].wide;
            narrow += measured[size_t(i)].narrow;
            block.shown = block.shown || (i + 1 < block.end && measured[size_t(i)].words != Continuation::none);
        }
        block.mostlyWide = wide > 0 && wide >= narrow;
        block.betweenWords = block.mostlyWide && !block.shown && block.end - block.begin >= 3;
        all.push_back(&block);
    }
    const Tally text = mostReached(measured, all);
    std::vector<const Block*> judged;
    for (Block& block : blocks) {
        qsizetype evidence = 0;
        for (qsizetype i = block.begin; i < block.end; ++i) {
            // A line that ends a sentence or an utterance may reach the width, but where it does not, it
            // tells nothing of it.
            evidence += measured[size_t(i)].evidence && !measured[size_t(i)].parts ? 1 : 0;
        }
        if (evidence >= kWrapMinimumLines) {
            const std::vector<const Block*> alone{&block};
            const Tally own = mostReached(measured, alone);
            // A width of its own stands where it is at least half the text's: a few short lines alike (a
            // list, a verse quoted in a text wrapped at 76) are no paragraph wrapped at their width.
            if (own.reaching > 0 && own.width * 2 >= text.width && wrapsAt(measured, own, alone))
                block.width = own.width;
        }
        if (!block.width) judged.push_back(&block);
    }
    std::vector<const Block*> shown;
    for (const Block& block : blocks) {
        if (block.shown) shown.push_back(&block);
    }
    Widths widths{.text = std::nullopt, .shown = widthOf(measured, shown), .selection = std::nullopt};
    if (!judged.empty() && text.reaching > 0 && wrapsAt(measured, text, judged)) widths.text = text.width;
    widths.aroundShown = std::any_of(blocks.cbegin(), blocks.cend(), [&](const Block& block) {
        return block.shown || (!block.mostlyWide && (block.width || widths.text));
    });
    return widths;
}

// The width at which a block's line ends join, where it has one.
std::optional<qsizetype> joinWidth(const Block& block, const Widths& widths) {
    if (block.betweenWords) return widths.shown;
    if (block.mostlyWide && !block.shown && !widths.aroundShown) return std::nullopt;
    if (block.width) return block.width;
    return widths.text ? widths.text : widths.selection;
}

// The units after the line feed that go with a join: the quote marks the next line repeats, the white space
// it hangs under an item with.
qsizetype droppedWith(const Measure& line, const Measure& next) {
    return (next.marks.depth > 0 ? next.marks.length : 0) + line.hangingIndent;
}

// Nothing between a hyphenated word's halves, two wide characters, or, in a block of mostly wide
// characters, a wide character and anything ("、iPhone", "5G回線", "kmで"); else a space.
LineEnd endOf(const Measure& line, const Measure& next, const Block& block) {
    LineEnd end{.join = LineJoin::joined, .droppedMarks = droppedWith(line, next)};
    const bool wideBefore = isWideBesideWrap(lastCodePoint(line.body), line.japanese);
    const bool wideAfter = isWideBesideWrap(firstCodePoint(next.body), next.japanese);
    if ((endsInHyphenatedWord(line.body) && startsWithLowercase(next.body)) || (wideBefore && wideAfter) ||
        ((wideBefore || wideAfter) && block.mostlyWide)) {
        end.join = LineJoin::unspaced;
    }
    return end;
}

// A Japanese selection that starts and ends mid-line, its words cut at a line end: the width of its one full
// line, wider than the first and the last, whose end is soft and no utterance's.
std::optional<qsizetype> fullLineOfSelection(const std::vector<Measure>& measured, const std::vector<Block>& blocks,
                                             bool firstRunsOn) {
    auto last = qsizetype(measured.size()) - 1;
    while (last > 0 && measured[size_t(last)].body.isEmpty()) --last;
    if (!firstRunsOn || last < 2 || blocks[0].end <= last || !blocks[0].mostlyWide) return std::nullopt;
    const auto cut = [](const Measure& m) { return m.words == Continuation::cut; };
    if (std::none_of(measured.cbegin(), measured.cbegin() + last, cut)) return std::nullopt;
    qsizetype full = 1;
    for (qsizetype i = 2; i < last; ++i) {
        if (measured[size_t(i)].width > measured[size_t(full)].width) full = i;
    }
    const Measure& line = measured[size_t(full)];
    const qsizetype lastWidth = columnsIn(measured[size_t(last)].text, measured[size_t(last)].japanese);
    if (line.width <= measured[0].width || line.width <= lastWidth || line.width < kWrapMinimumColumns ||
        !line.candidate || line.exempt) {
        return std::nullopt;
    }
    return line.width;
}

}  // namespace

qsizetype displayColumns(QStringView text) {
    return columnsIn(text, holdsWide(text));
}

QList<LineEnd> paragraphWraps(const QList<SourceLine>& lines) {
    QList<LineEnd> ends(lines.size());
    if (lines.size() < 2) return ends;
    std::vector<Measure> measured = measure(lines);
    // A selection that starts mid-line: its first line runs on into the next, and where it is plainly a
    // piece of a line (it or its next line starts with a lowercase letter, it starts with what may not
    // begin a line, it holds the end of a sentence), it reaches every width it is no wider than.
    Measure& first = measured[0];
    const bool firstRunsOn = first.candidate && runsOnInto(first.text, measured[1].text);
    first.piece =
        firstRunsOn && (startsWithLowercase(first.body) || startsWithLowercase(measured[1].body) ||
                        mayNotStartLine(firstCodePoint(first.body)) || holdsSentenceEndBeforeItsEnd(first.body));
    std::vector<Block> blocks = blocksOf(lines, measured);
    Widths widths = tellWidths(measured, blocks);
    widths.selection = fullLineOfSelection(measured, blocks, firstRunsOn);
    std::vector<std::optional<qsizetype>> blockWidths;
    for (const Block& block : blocks) blockWidths.push_back(joinWidth(block, widths));
    for (size_t b = 0; b < blocks.size(); ++b) {
        for (qsizetype i = blocks[b].begin; i < blocks[b].end && i + 1 < lines.size(); ++i) {
            const Measure& m = measured[size_t(i)];
            if (m.candidate && m.words == Continuation::cut) {
                ends[i] = {.join = LineJoin::unspaced, .droppedMarks = droppedWith(m, measured[size_t(i + 1)])};
            } else if (m.candidate && blockWidths[b] && reaches(m, *blockWidths[b])) {
                ends[i] = endOf(m, measured[size_t(i + 1)], blocks[b]);
            }
        }
    }
    if (firstRunsOn && lines.size() >= 3 && ends[0].join == LineJoin::kept && ends[1].join != LineJoin::kept &&
        blockWidths[0] && measured[0].width < *blockWidths[0]) {
        ends[0] = endOf(measured[0], measured[1], blocks[0]);
    }
    return ends;
}

}  // namespace tavrine::internal
