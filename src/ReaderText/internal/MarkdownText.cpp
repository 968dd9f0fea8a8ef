#include "ReaderText/internal/MarkdownText.h"

#include "ReaderCore/Characters.h"
#include "ReaderCore/HTMLNamedCharacters.h"
#include "ReaderText/internal/PhraseText.h"

#include <unicode/uchar.h>
#include <unicode/uscript.h>

#include <optional>
#include <utility>

namespace tavrine::internal {
namespace {

bool isWideNotHangul(char32_t c) {
    const auto width = u_getIntPropertyValue(static_cast<UChar32>(c), UCHAR_EAST_ASIAN_WIDTH);
    if (width != U_EA_WIDE && width != U_EA_FULLWIDTH && width != U_EA_HALFWIDTH) return false;
    UErrorCode error = U_ZERO_ERROR;
    return uscript_getScript(static_cast<UChar32>(c), &error) != USCRIPT_HANGUL;
}

constexpr char32_t kReplacementCharacter = 0xFFFD;

// The names every HTML version predefines, beside the table of HTML 4.
std::optional<char32_t> predefinedCharacter(QByteArrayView name) {
    if (name == "amp") return U'&';
    if (name == "lt") return U'<';
    if (name == "gt") return U'>';
    if (name == "quot") return U'"';
    if (name == "apos") return U'\'';
    return std::nullopt;
}

// The code point of "#123" or "#x1F" (the parser admits at most 7 decimal or 6 hexadecimal digits).
char32_t numericCharacter(QByteArrayView number) {
    const bool hexadecimal = number.size() > 1 && (number[1] == 'x' || number[1] == 'X');
    bool ok = false;
    const qulonglong value = number.sliced(hexadecimal ? 2 : 1).toULongLong(&ok, hexadecimal ? 16 : 10);
    if (!ok || value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return kReplacementCharacter;
    return char32_t(value);
}

void appendCodePoint(QString& out, char32_t c) {
    if (QChar::requiresSurrogates(c)) {
        out.append(QChar(QChar::highSurrogate(c)));
        out.append(QChar(QChar::lowSurrogate(c)));
    } else {
        out.append(QChar(char16_t(c)));
    }
}

}  // namespace

bool softBreakVanishesBetween(char32_t before, char32_t after) {
    return isWideNotHangul(before) && isWideNotHangul(after);
}

void appendCharacterReference(QString& out, QByteArrayView reference) {
    // "&" name ";", as the parser reports it.
    const QByteArrayView name = reference.sliced(1, reference.size() - 2);
    if (name.startsWith('#')) {
        appendCodePoint(out, numericCharacter(name));
    } else if (const auto c = predefinedCharacter(name)) {
        appendCodePoint(out, *c);
    } else if (const auto named = htmlNamedCharacter(name)) {
        appendCodePoint(out, *named);
    } else {
        out.append(QLatin1StringView(reference));
    }
}

qsizetype MarkdownText::appendUTF8(QByteArrayView utf8) {
    const qsizetype start = m_text.size();
    // Decoded in place: a UTF-8 run never needs more UTF-16 units than it has bytes.
    m_text.resize(start + m_decoder.requiredSpace(utf8.size()));
    const QChar* end = m_decoder.appendToBuffer(m_text.data() + start, utf8);
    m_text.truncate(end - m_text.constData());
    return placeHeldBreak(start);
}

qsizetype MarkdownText::append(QStringView piece) {
    const qsizetype start = m_text.size();
    m_text.append(piece);
    return placeHeldBreak(start);
}

qsizetype MarkdownText::appendCharacterReference(QByteArrayView reference) {
    const qsizetype start = m_text.size();
    internal::appendCharacterReference(m_text, reference);
    return placeHeldBreak(start);
}

qsizetype MarkdownText::appendMarker(QStringView marker) {
    Q_ASSERT(marker.endsWith(u' '));
    const qsizetype start = append(marker);
    m_afterMarker = true;
    return start;
}

// Inserting before the piece just appended moves that piece only, never the text before it.
qsizetype MarkdownText::placeHeldBreak(qsizetype start) {
    if (start == m_text.size()) return start;
    if (std::exchange(m_afterMarker, false) && m_text[start] == u'\n') {
        m_text.remove(start - 1, 1);
        return start - 1;
    }
    if (!m_pendingSoftBreak) return start;
    m_pendingSoftBreak = false;
    if (start == 0 || m_text[start - 1] == u'\n' || m_text[start - 1] == u' ' ||
        softBreakVanishesBetween(codePointBefore(m_text, start), codePointAt(m_text, start))) {
        return start;
    }
    m_text.insert(start, u' ');
    return start + 1;
}

void MarkdownText::appendLineFeed() {
    m_pendingSoftBreak = false;
    append(u"\n");
}

bool MarkdownText::joinLines(qsizetype offset, bool unspaced, qsizetype droppedMarks) {
    Q_ASSERT(offset > 0 && offset + droppedMarks + 1 < m_text.size() && m_text[offset] == u'\n');
    m_text.remove(offset + 1, droppedMarks);
    if (unspaced || softBreakVanishesBetween(codePointBefore(m_text, offset), codePointAt(m_text, offset + 1))) {
        m_text.remove(offset, 1);
        return true;
    }
    m_text[offset] = u' ';
    return false;
}

void MarkdownText::chopLineFeeds() {
    qsizetype end = m_text.size();
    while (end > 0 && m_text[end - 1] == u'\n') --end;
    m_text.truncate(end);
}

void MarkdownText::clear() {
    m_text.clear();
    m_pendingSoftBreak = false;
    m_afterMarker = false;
}

}  // namespace tavrine::internal
