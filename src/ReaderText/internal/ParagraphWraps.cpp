#include "ReaderText/internal/ParagraphWraps.h"

#include <unicode/uchar.h>

#include <algorithm>

namespace tavrine::internal {
namespace {

qsizetype columnsOf(char32_t c) {
    const auto category = u_charType(static_cast<UChar32>(c));
    if (category == U_NON_SPACING_MARK || category == U_ENCLOSING_MARK || category == U_FORMAT_CHAR ||
        category == U_CONTROL_CHAR) {
        return 0;
    }
    const auto width = u_getIntPropertyValue(static_cast<UChar32>(c), UCHAR_EAST_ASIAN_WIDTH);
    return width == U_EA_WIDE || width == U_EA_FULLWIDTH ? 2 : 1;
}

bool isClosing(QChar c) {
    return c.category() == QChar::Punctuation_Close || c.category() == QChar::Punctuation_FinalQuote || c == u'"' ||
           c == u'\'';
}

bool endsSentence(QStringView line) {
    line = line.trimmed();
    while (!line.isEmpty() && isClosing(line.back())) line.chop(1);
    if (line.isEmpty()) return false;
    static constexpr QStringView kSentenceEnds = u"。．｡！？.!?";
    return kSentenceEnds.contains(line.back());
}

bool isDigit(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'０' && c <= u'９');
}

// "1." "12)" "３、" "a)": one to three digits, or one letter, closed as a list's number is.
bool startsWithNumberedItem(QStringView line) {
    qsizetype digits = 0;
    while (digits < line.size() && digits < 4 && isDigit(line[digits])) ++digits;
    static constexpr QStringView kNumberClosers = u".)、．）";
    if (digits >= 1 && digits <= 3) return digits < line.size() && kNumberClosers.contains(line[digits]);
    const bool letter = !line.isEmpty() && line[0].isLetter() && line[0].unicode() < 0x80;
    return letter && line.size() > 1 && line[1] == u')';
}

// "(1)" "（２）" "[3]": a number in brackets.
bool startsWithBracketedNumber(QStringView line) {
    static constexpr QStringView kOpeners = u"(（[";
    if (line.size() < 3 || !kOpeners.contains(line[0])) return false;
    qsizetype digits = 1;
    while (digits < line.size() && isDigit(line[digits])) ++digits;
    static constexpr QStringView kClosers = u")）]";
    return digits > 1 && digits < line.size() && kClosers.contains(line[digits]);
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

}  // namespace

qsizetype displayColumns(QStringView text) {
    qsizetype columns = 0;
    for (const char32_t c : text.toUcs4()) columns += columnsOf(c);
    return columns;
}

QList<bool> paragraphWraps(const QList<QStringView>& lines) {
    QList<bool> wraps(std::max<qsizetype>(lines.size() - 1, 0), false);
    if (wraps.isEmpty()) return wraps;
    QList<qsizetype> widths;
    widths.reserve(lines.size());
    for (QStringView line : lines) widths.append(displayColumns(line));
    const qsizetype widest = *std::max_element(widths.cbegin(), widths.cend());
    for (qsizetype i = 0; i < wraps.size(); ++i) {
        const bool filled = widths[i] >= kWrapMinimumColumns && widths[i] * 100 >= widest * kWrapShareOfWidest;
        const QStringView next = lines[i + 1];
        wraps[i] = filled && !next.isEmpty() && !endsSentence(lines[i]) && !startsParagraphOrItem(next);
    }
    return wraps;
}

}  // namespace tavrine::internal
