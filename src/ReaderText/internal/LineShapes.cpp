#include "ReaderText/internal/LineShapes.h"

#include <algorithm>

namespace tavrine::internal {
namespace {

constexpr QStringView kSentenceEnds = u"。．｡！？.!?";

bool isClosing(QChar c) {
    return c.category() == QChar::Punctuation_Close || c.category() == QChar::Punctuation_FinalQuote || c == u'"' ||
           c == u'\'';
}

bool isDigit(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'０' && c <= u'９');
}

constexpr QStringView kKanjiNumerals = u"〇一二三四五六七八九十百千";

bool isKanjiNumeral(QChar c) {
    return kKanjiNumerals.contains(c);
}

// "1." "12)" "３、" "一、" "十二．" "a)": one to three digits or kanji numerals, or one letter, closed as a
// list's number is. A numeral right after the closer makes a decimal number, a date or a count ("1.5倍",
// "2.5 percent", "2024.12.1", "一、二度"), never an item.
bool startsWithNumberedItem(QStringView line) {
    for (const auto numeral : {isDigit, isKanjiNumeral}) {
        qsizetype digits = 0;
        while (digits < line.size() && digits < 4 && numeral(line[digits])) ++digits;
        static constexpr QStringView kNumberClosers = u".)、．）";
        if (digits >= 1 && digits <= 3) {
            if (digits >= line.size() || !kNumberClosers.contains(line[digits])) return false;
            return digits + 1 >= line.size() || !numeral(line[digits + 1]);
        }
    }
    const bool letter = !line.isEmpty() && line[0].isLetter() && line[0].unicode() < 0x80;
    return letter && line.size() > 1 && line[1] == u')';
}

// "(1)" "（２）" "[3]" "（一）" "〔三〕": a number in brackets.
bool startsWithBracketedNumber(QStringView line) {
    static constexpr QStringView kOpeners = u"(（[〔";
    if (line.size() < 3 || !kOpeners.contains(line[0])) return false;
    qsizetype digits = 1;
    while (digits < line.size() && digits < 4 && (isDigit(line[digits]) || isKanjiNumeral(line[digits]))) ++digits;
    static constexpr QStringView kClosers = u")）]〕";
    return digits > 1 && digits < line.size() && kClosers.contains(line[digits]);
}

bool isBoxDrawing(QChar c) {
    return c.unicode() >= 0x2500 && c.unicode() <= 0x257F;
}

bool isHorizontalBoxLine(QChar c) {
    static constexpr QStringView kHorizontal = u"─━┄┅┈┉╌╍═";
    return kHorizontal.contains(c);
}

// A corner, an edge or a crossing draws a table; a horizontal line draws one (a border, a rule) only where it
// touches no other character, for between words it is a dash.
bool isDrawnWithBoxes(QStringView line) {
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (!isBoxDrawing(line[i])) continue;
        if (!isHorizontalBoxLine(line[i])) return true;
        qsizetype end = i;
        while (end < line.size() && isHorizontalBoxLine(line[end])) ++end;
        const bool touchesBefore = i > 0 && !line[i - 1].isSpace();
        const bool touchesAfter = end < line.size() && !line[end].isSpace();
        if (!touchesBefore && !touchesAfter) return true;
        i = end - 1;
    }
    return false;
}

// "-rw-r--r--", "drwxr-xr-x", "lrwxrwxrwx": a file's type and its three triples of permissions.
bool startsWithFileMode(QStringView line) {
    static constexpr QStringView kTypes = u"-dlcbps";
    if (line.size() < 11 || !kTypes.contains(line[0]) || !(line[10] == u' ' || line[10] == u'.' || line[10] == u'+')) {
        return false;
    }
    for (qsizetype i = 1; i <= 9; ++i) {
        static constexpr QStringView kPermissions[] = {u"r-", u"w-", u"xsStT-"};
        if (!kPermissions[(i - 1) % 3].contains(line[i])) return false;
    }
    return true;
}

bool isKana(QChar c) {
    return c.script() == QChar::Script_Hiragana || c.script() == QChar::Script_Katakana || c == u'ー';
}

bool startsWithLowercaseLetter(QStringView word) {
    const auto letter = std::find_if(word.cbegin(), word.cend(), [](QChar c) { return c.isLetter(); });
    return letter != word.cend() && letter->isLower();
}

bool isNumeral(QChar c) {
    return isDigit(c) || isKanjiNumeral(c);
}

}  // namespace

bool endsSentence(QStringView line) {
    line = line.trimmed();
    while (!line.isEmpty() && isClosing(line.back())) line.chop(1);
    return !line.isEmpty() && kSentenceEnds.contains(line.back());
}

bool holdsSentenceEndBeforeItsEnd(QStringView line) {
    line = line.trimmed();
    for (qsizetype i = 0; i + 1 < line.size(); ++i) {
        if (!kSentenceEnds.contains(line[i])) continue;
        qsizetype next = i + 1;
        while (next < line.size() && (isClosing(line[next]) || kSentenceEnds.contains(line[next]))) ++next;
        // "3.14" and "e.g." end nothing: a sentence's end is followed by a space or by a wide character.
        if (next < line.size() && (line[i].unicode() >= 0x3000 || line[next].isSpace())) return true;
    }
    return false;
}

bool startsParagraphOrItem(QStringView line) {
    if (line.isEmpty()) return false;
    if (line[0].isSpace()) return true;
    // Markdown's own bullets ("- ", "* ", "+ ") start a list before a line gets here.
    static constexpr QStringView kBullets = u"・•◦‣●○■□◆◇▪▫※＊";
    if (kBullets.contains(line[0])) return true;
    const char16_t first = line[0].unicode();
    if (first >= 0x2460 && first <= 0x2473) return true;  // ① to ⑳
    return startsWithNumberedItem(line) || startsWithBracketedNumber(line);
}

bool closesUtterance(QStringView line) {
    line = line.trimmed();
    return !line.isEmpty() && (line.back() == u'」' || line.back() == u'』');
}

bool opensUtterance(QStringView line) {
    line = line.trimmed();
    return !line.isEmpty() && (line.front() == u'「' || line.front() == u'『');
}

bool endsCodeStatement(QStringView line) {
    line = line.trimmed();
    return !line.isEmpty() && (line.back() == u';' || line.back() == u'{' || line.back() == u'}');
}

bool holdsLetter(QStringView line) {
    return std::any_of(line.cbegin(), line.cend(), [](QChar c) { return c.isLetter(); });
}

bool endsInHyphenatedWord(QStringView line) {
    line = line.trimmed();
    return line.size() >= 2 && (line.back() == u'-' || line.back() == u'‐') && line[line.size() - 2].isLetter();
}

bool startsWithLowercase(QStringView line) {
    return !line.isEmpty() && line.front().isLower();
}

bool isTableOrListingRow(QStringView line) {
    line = line.trimmed();
    if (line.isEmpty()) return false;
    if (line.front() == u'|' || line.back() == u'|' || isDrawnWithBoxes(line)) {
        return true;
    }
    return line.indexOf(u'\t') > 0 || startsWithFileMode(line);
}

qsizetype separatingCommas(QStringView line) {
    qsizetype count = 0;
    for (qsizetype i = 0; i + 1 < line.size(); ++i) {
        if (line[i] != u',' || line[i + 1].isSpace()) continue;
        if (i > 0 && isDigit(line[i - 1])) {
            qsizetype digits = 0;
            while (i + 1 + digits < line.size() && isDigit(line[i + 1 + digits])) ++digits;
            if (digits == 3) continue;
        }
        ++count;
    }
    return count;
}

bool isNumberedHeading(QStringView line) {
    line = line.trimmed();
    if (line.startsWith(u'第')) {
        qsizetype end = 1;
        while (end < line.size() && isNumeral(line[end])) ++end;
        static constexpr QStringView kCounters = u"章節部編話回幕巻";
        return end > 1 && end < line.size() && kCounters.contains(line[end]);
    }
    static constexpr QStringView kParts[] = {u"Chapter", u"Part",  u"Section", u"Book",     u"Volume",
                                             u"Act",     u"Scene", u"Lesson",  u"Appendix", u"Article"};
    static constexpr QStringView kRomanNumerals = u"IVXLC";
    for (const QStringView part : kParts) {
        if (!line.startsWith(part) || line.size() <= part.size() + 1 || line[part.size()] != u' ') continue;
        const qsizetype start = part.size() + 1;
        qsizetype end = start;
        while (end < line.size() && (isDigit(line[end]) || kRomanNumerals.contains(line[end]))) ++end;
        // "Chapter 2 of the book" is a sentence: the number ends the line or is closed by . or :.
        return end > start && (end == line.size() || line[end] == u'.' || line[end] == u':');
    }
    return false;
}

bool runsOnInto(QStringView line, QStringView next) {
    if (startsParagraphOrItem(line)) return false;
    line = line.trimmed();
    if (line.isEmpty() || endsSentence(line) || closesUtterance(line) || isNumberedHeading(line)) return false;
    const QChar last = line.back();
    if (last == u'、' || last == u'，' || isKana(last)) return true;
    if (last.unicode() < 0x2E80) {
        if (!last.isLetterOrNumber() && !endsInHyphenatedWord(line)) return false;
        // A title capitalises its words; a line cut from a paragraph holds a lowercase word where it was cut.
        const QStringView lastWord = line.sliced(line.lastIndexOf(u' ') + 1);
        return startsWithLowercaseLetter(line) || startsWithLowercaseLetter(lastWord) ||
               startsWithLowercase(next.trimmed());
    }
    return last.isLetter() && (holdsSentenceEndBeforeItsEnd(line) || isKana(line.front()));
}

QuoteMarks quoteMarks(QStringView line) {
    qsizetype at = 0;
    while (at < line.size() && line[at].isSpace()) ++at;
    qsizetype depth = 0;
    for (; at < line.size() && line[at] == u'＞'; ++at) ++depth;
    if (depth == 0) return {};
    if (at < line.size() && (line[at] == u' ' || line[at] == u'\u3000')) ++at;
    return {depth, at};
}

bool isSignatureSeparator(QStringView line) {
    return line.trimmed() == u"--";
}

bool mayNotStartLine(char32_t c) {
    static constexpr QStringView kNeverFirst =
        u"、。，．・：；？！‼⁇⁈⁉ヽヾゝゞ々〻ー）］｝〕〉》」』】〙〗〟’”｠»‐゠–〜～…‥"
        u"ぁぃぅぇぉっゃゅょゎゕゖァィゥェォッャュョヮヵヶㇰㇱㇲㇳㇴㇵㇶㇷㇸㇹㇺㇻㇼㇽㇾㇿ),.!?:;]}";
    return c <= 0xFFFF && kNeverFirst.contains(QChar(char16_t(c)));
}

bool mayNotEndLine(char32_t c) {
    static constexpr QStringView kNeverLast = u"（［｛〔〈《「『【〘〖〝‘“｟«([{";
    return c <= 0xFFFF && kNeverLast.contains(QChar(char16_t(c)));
}

bool alignsColumns(QStringView line) {
    line = line.trimmed();
    const auto aligning = [](QChar c) { return c == u' ' || c == u'\u3000'; };
    for (qsizetype i = 1; i + 2 < line.size(); ++i) {
        if (aligning(line[i]) && aligning(line[i + 1]) && !kSentenceEnds.contains(line[i - 1]) &&
            !isClosing(line[i - 1]) && line[i - 1] != u':') {
            return true;
        }
    }
    return false;
}

}  // namespace tavrine::internal
