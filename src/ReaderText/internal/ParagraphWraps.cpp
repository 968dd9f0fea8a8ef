#include "ReaderText/internal/ParagraphWraps.h"

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

char32_t firstCodePoint(QStringView text) {
    if (text.size() >= 2 && text[0].isHighSurrogate() && text[1].isLowSurrogate()) {
        return QChar::surrogateToUcs4(text[0], text[1]);
    }
    return text.isEmpty() ? 0 : text[0].unicode();
}

char32_t lastCodePoint(QStringView text) {
    const qsizetype size = text.size();
    if (size >= 2 && text[size - 1].isLowSurrogate() && text[size - 2].isHighSurrogate()) {
        return QChar::surrogateToUcs4(text[size - 2], text[size - 1]);
    }
    return text.isEmpty() ? 0 : text.back().unicode();
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

// The columns the end of a line would have needed to take the start of the next: its first wide
// character and the odd column that a wide character cannot take, or its first word after a space (none
// after a wide character).
qsizetype roomFor(QStringView line, QStringView next) {
    if (next.isEmpty()) return 0;
    const bool japanese = holdsWide(next);
    if (columnsOf(firstCodePoint(next), japanese) == 2) return 3;
    qsizetype word = 0;
    for (const char32_t c : next.toUcs4()) {
        if (QChar::isSpace(c) || columnsOf(c, japanese) == 2) break;
        word += columnsOf(c, japanese);
    }
    return word + (columnsOf(lastCodePoint(line), holdsWide(line)) == 2 ? 0 : 1);
}

struct Measured {
    qsizetype width = 0;
    qsizetype room = 0;
    bool prose = false;      // its width means something
    bool evidence = false;   // prose before a line that starts with no capital: verse capitalises every line
    bool candidate = false;  // joins if it reaches the wrap width
};

// A source line without its quote marks.
SourceLine unquoted(const SourceLine& line) {
    SourceLine text = line;
    text.text = QStringView(line.text).sliced(quoteMarks(line.text).length);
    return text;
}

// Never joined for their shape, whatever their width: rows, code, indented lines, lines without a letter,
// quotes of another depth.
bool joinsNeverForShape(const SourceLine& line, const SourceLine& next, qsizetype paragraphIndent) {
    if (quoteMarks(line.text).depth != quoteMarks(next.text).depth) return true;
    if (isTableOrListingRow(line.text) || isTableOrListingRow(next.text)) return true;
    const qsizetype commas = separatingCommas(line.text);
    if (commas > 0 && commas == separatingCommas(next.text)) return true;
    if (alignsColumns(line.text) && alignsColumns(next.text)) return true;
    if (endsCodeStatement(line.text) || line.indent > paragraphIndent || next.indent > paragraphIndent) return true;
    return !holdsLetter(line.text);
}

bool startsWithCapital(QStringView text) {
    return !text.isEmpty() && text.front().isUpper();
}

bool parts(const SourceLine& line, const SourceLine& next) {
    return endsSentence(line.text) || next.text.trimmed().isEmpty() || startsParagraphOrItem(next.text) ||
           (closesUtterance(line.text) && opensUtterance(next.text));
}

std::vector<Measured> measure(const QList<SourceLine>& lines) {
    std::vector<Measured> measured(size_t(lines.size()));
    qsizetype paragraphIndent = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const SourceLine& line = lines[i];
        Measured& m = measured[size_t(i)];
        const bool startsParagraph = i == 0 || !lines[i - 1].softEnd;
        if (startsParagraph) paragraphIndent = line.indent;
        if (!line.softEnd || i + 1 == lines.size()) continue;
        const qsizetype marks = quoteMarks(line.text).length;
        const SourceLine next = unquoted(lines[i + 1]);
        const QStringView text = QStringView(line.text).sliced(marks).trimmed();
        m.width = line.margin + columnsIn(QStringView(line.text).first(marks), true) + displayColumns(text);
        m.room = roomFor(text, QStringView(next.text).trimmed());
        m.prose = !joinsNeverForShape(line, lines[i + 1], paragraphIndent) &&
                  !joinsNeverForShape(unquoted(line), next, paragraphIndent);
        m.evidence = m.prose && !startsWithCapital(QStringView(next.text).trimmed());
        m.candidate = m.prose && !parts(unquoted(line), next);
    }
    return measured;
}

bool reaches(const Measured& m, qsizetype wrapWidth) {
    return m.width <= wrapWidth && wrapWidth <= m.width + m.room;
}

// The width that the most lines of evidence reach, if the text wraps there: one pass over a count per column.
std::optional<qsizetype> wrapWidth(const std::vector<Measured>& measured) {
    qsizetype widest = 0;
    for (const Measured& m : measured) {
        if (m.prose) widest = std::max(widest, m.width);
    }
    if (widest < kWrapMinimumColumns) return std::nullopt;
    // reachChanges[w]: how many more lines of evidence reach w than reach w - 1; evidenceAt[w] and proseAt[w]:
    // lines exactly w wide.
    std::vector<qsizetype> reachChanges(size_t(widest) + 2, 0);
    std::vector<qsizetype> evidenceAt(size_t(widest) + 1, 0);
    std::vector<qsizetype> proseAt(size_t(widest) + 1, 0);
    for (const Measured& m : measured) {
        if (!m.prose) continue;
        ++proseAt[size_t(m.width)];
        if (!m.evidence) continue;
        ++reachChanges[size_t(m.width)];
        --reachChanges[size_t(std::min(m.width + m.room, widest) + 1)];
        ++evidenceAt[size_t(m.width)];
    }
    qsizetype best = 0;
    qsizetype reachingBest = 0;
    qsizetype reaching = 0;
    for (qsizetype w = 0; w <= widest; ++w) {
        reaching += reachChanges[size_t(w)];
        if (w >= kWrapMinimumColumns && evidenceAt[size_t(w)] > 0 && reaching >= reachingBest) {
            best = w;
            reachingBest = reaching;
        }
    }
    // Against it: prose at least half as wide, and lines that could have been wraps but end short of it.
    const qsizetype half = (best + 1) / 2;
    qsizetype wideProse = 0;
    qsizetype endedShort = 0;
    for (qsizetype w = half; w <= widest; ++w) wideProse += proseAt[size_t(w)];
    for (const Measured& m : measured) {
        if (m.candidate && m.width >= half && m.width + m.room < best) ++endedShort;
    }
    const bool wraps =
        reachingBest >= kWrapMinimumLines && reachingBest * 2 >= wideProse && reachingBest > 2 * endedShort;
    return wraps ? std::optional(best) : std::nullopt;
}

// Nothing between a hyphenated word's halves, two wide characters, or, in a text of mostly wide
// characters, a wide character and anything but a letter; else a space.
LineEnd endOf(const SourceLine& line, const SourceLine& next, bool mostlyWide) {
    const QuoteMarks marks = quoteMarks(next.text);
    const QStringView text = QStringView(unquoted(line).text).trimmed();
    const QStringView nextText = QStringView(unquoted(next).text).trimmed();
    LineEnd end{.join = LineJoin::joined, .droppedMarks = marks.depth > 0 ? marks.length : 0};
    const char32_t before = lastCodePoint(text);
    const char32_t after = firstCodePoint(nextText);
    const bool wideBefore = isWideBesideWrap(before, holdsWide(text));
    const bool wideAfter = isWideBesideWrap(after, holdsWide(nextText));
    if ((endsInHyphenatedWord(text) && startsWithLowercase(nextText)) || (wideBefore && wideAfter) ||
        ((wideBefore || wideAfter) && mostlyWide && !QChar::isLetter(wideBefore ? after : before))) {
        end.join = LineJoin::unspaced;
    }
    return end;
}

// Wide characters are at least as many as narrow letters and figures.
bool holdsMostlyWide(const QList<SourceLine>& lines) {
    qsizetype wide = 0;
    qsizetype narrow = 0;
    for (const SourceLine& line : lines) {
        const bool japanese = holdsWide(line.text);
        forEachCodePoint(line.text, [&](char32_t c) {
            if (isWideBesideWrap(c, japanese)) {
                ++wide;
            } else if (QChar::isLetterOrNumber(c)) {
                ++narrow;
            }
            return true;
        });
    }
    return wide > 0 && wide >= narrow;
}

}  // namespace

qsizetype displayColumns(QStringView text) {
    return columnsIn(text, holdsWide(text));
}

QList<LineEnd> paragraphWraps(const QList<SourceLine>& lines) {
    QList<LineEnd> joins(lines.size());
    const std::vector<Measured> measured = measure(lines);
    const std::optional<qsizetype> width = wrapWidth(measured);
    if (!width) return joins;
    const bool mostlyWide = holdsMostlyWide(lines);
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        const Measured& m = measured[size_t(i)];
        if (m.candidate && reaches(m, *width)) joins[i] = endOf(lines[i], lines[i + 1], mostlyWide);
    }
    // A selection that starts mid-line: its first line is short, but runs on into the wrapped lines.
    if (lines.size() >= 3 && joins[0].join == LineJoin::kept && joins[1].join != LineJoin::kept &&
        measured[0].candidate && measured[0].width < *width &&
        runsOnInto(unquoted(lines[0]).text, unquoted(lines[1]).text)) {
        joins[0] = endOf(lines[0], lines[1], mostlyWide);
    }
    return joins;
}

}  // namespace tavrine::internal
