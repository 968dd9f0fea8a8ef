#include "ReaderCore/Characters.h"

#include <QStringDecoder>

#include <unicode/ubrk.h>
#include <unicode/uchar.h>

#include <algorithm>
#include <utility>

namespace tavrine {
namespace {

const UChar* icuText(QStringView text) {
    return reinterpret_cast<const UChar*>(text.utf16());
}

UBreakIterator* openCharacterIterator(QStringView text) {
    UErrorCode status = U_ZERO_ERROR;
    UBreakIterator* iterator = ubrk_open(UBRK_CHARACTER, "", icuText(text), static_cast<int32_t>(text.size()), &status);
    if (U_FAILURE(status)) qFatal("ICU character break iterator unavailable: %s", u_errorName(status));
    return iterator;
}

struct IteratorCloser {
    void operator()(UBreakIterator* iterator) const { ubrk_close(iterator); }
};

// One iterator per thread for counting short texts: re-pointing it at a new text is far cheaper than
// opening a new one.
UBreakIterator* sharedCountingIterator(QStringView text) {
    thread_local std::unique_ptr<UBreakIterator, IteratorCloser> iterator(openCharacterIterator(u""));
    UErrorCode status = U_ZERO_ERROR;
    ubrk_setText(iterator.get(), icuText(text), static_cast<int32_t>(text.size()), &status);
    if (U_FAILURE(status)) qFatal("ICU character break iterator rejected a text: %s", u_errorName(status));
    return iterator.get();
}

}  // namespace

char32_t codePointAt(QStringView text, qsizetype offset) {
    const char16_t unit = text[offset].unicode();
    if (QChar::isHighSurrogate(unit) && offset + 1 < text.size()) {
        const char16_t low = text[offset + 1].unicode();
        if (QChar::isLowSurrogate(low)) return QChar::surrogateToUcs4(unit, low);
    }
    return unit;
}

CharacterBreaks::CharacterBreaks(const QString& text) : m_text(text) {
    // ICU reads the buffer in place; m_text keeps it alive and unchanged.
    m_iterator = openCharacterIterator(m_text);
}

CharacterBreaks::~CharacterBreaks() {
    if (m_iterator) ubrk_close(m_iterator);
}

CharacterBreaks::CharacterBreaks(CharacterBreaks&& other) noexcept
    : m_text(std::move(other.m_text)), m_iterator(std::exchange(other.m_iterator, nullptr)) {}

CharacterBreaks& CharacterBreaks::operator=(CharacterBreaks&& other) noexcept {
    if (this != &other) {
        if (m_iterator) ubrk_close(m_iterator);
        m_text = std::move(other.m_text);
        m_iterator = std::exchange(other.m_iterator, nullptr);
    }
    return *this;
}

bool CharacterBreaks::isBoundary(qsizetype offset) const {
    if (offset < 0 || offset > m_text.size()) return false;
    if (offset == 0 || offset == m_text.size()) return true;
    return ubrk_isBoundary(m_iterator, static_cast<int32_t>(offset)) != 0;
}

qsizetype CharacterBreaks::next(qsizetype offset) const {
    if (offset >= m_text.size()) return m_text.size();
    if (offset < 0) return 0;
    const int32_t result = ubrk_following(m_iterator, static_cast<int32_t>(offset));
    return result == UBRK_DONE ? m_text.size() : result;
}

qsizetype CharacterBreaks::previous(qsizetype offset) const {
    if (offset <= 0) return 0;
    if (offset > m_text.size()) return m_text.size();
    // ICU first moves an offset between the halves of a surrogate pair back to the pair's start and then
    // looks before that, so it would skip a boundary at the pair's start.
    const bool insidePair =
        offset < m_text.size() && m_text.at(offset).isLowSurrogate() && m_text.at(offset - 1).isHighSurrogate();
    if (insidePair && isBoundary(offset - 1)) return offset - 1;
    const int32_t result = ubrk_preceding(m_iterator, static_cast<int32_t>(offset));
    return result == UBRK_DONE ? 0 : result;
}

qsizetype CharacterBreaks::characterStart(qsizetype offset) const {
    return isBoundary(offset) ? offset : previous(offset);
}

bool CharacterBreaks::startsWithCombiningMark(qsizetype offset) const {
    return (U_GET_GC_MASK(codePointAt(m_text, offset)) & U_GC_M_MASK) != 0;
}

TextRange CharacterBreaks::composedCharacterSequence(qsizetype offset) const {
    Q_ASSERT(offset >= 0 && offset < m_text.size());
    qsizetype start = characterStart(offset);
    while (start > 0 && startsWithCombiningMark(start)) start = previous(start);
    qsizetype end = next(offset);
    while (end < m_text.size() && startsWithCombiningMark(end)) end = next(end);
    return {start, end};
}

qsizetype characterCount(QStringView text) {
    // Printable ASCII never joins its neighbours: one unit, one Character.
    bool plainAscii = true;
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7E) {
            plainAscii = false;
            break;
        }
    }
    if (plainAscii) return text.size();

    UBreakIterator* iterator = sharedCountingIterator(text);
    qsizetype characters = 0;
    while (ubrk_next(iterator) != UBRK_DONE) ++characters;
    return characters;
}

bool forEachCharacter(QStringView text, const std::function<bool(TextRange)>& visit) {
    // An iterator of its own: visit may count Characters, which re-points the shared one.
    const std::unique_ptr<UBreakIterator, IteratorCloser> iterator(openCharacterIterator(text));
    int32_t start = ubrk_first(iterator.get());
    for (int32_t end = ubrk_next(iterator.get()); end != UBRK_DONE; end = ubrk_next(iterator.get())) {
        if (!visit({start, end})) return false;
        start = end;
    }
    return true;
}

QString firstCharacters(const QString& text, qsizetype count) {
    // Every Character takes at least one unit, so a text no longer than count needs no analysis.
    if (text.size() <= count) return text;
    if (count <= 0) return QString();
    UBreakIterator* iterator = sharedCountingIterator(text);
    int32_t end = 0;
    for (qsizetype taken = 0; taken < count; ++taken) {
        const int32_t next = ubrk_next(iterator);
        if (next == UBRK_DONE) return text;
        end = next;
    }
    return text.left(end);
}

bool isWhitespace(char32_t c) {
    if (c < 0x80) return c == 0x20 || (c >= 0x09 && c <= 0x0D);
    return u_isUWhiteSpace(static_cast<UChar32>(c)) != 0;
}

bool isBlank(QStringView text) {
    // No white-space scalar lies outside the Basic Multilingual Plane, so a unit-wise test is exact: a
    // surrogate means there is text.
    return std::all_of(text.begin(), text.end(), [](QChar c) { return isWhitespace(c.unicode()); });
}

CharacterLengthCheck checkCharacterLengths(QStringView text, const CancellationToken& cancellation) {
    if (text.size() <= kWholeTextLimit) return CharacterLengthCheck::passed;
    auto result = CharacterLengthCheck::passed;
    forEachCharacter(text, [&](TextRange character) {
        if (cancellation.isCancelled()) {
            result = CharacterLengthCheck::cancelled;
        } else if (character.length() > kCharacterUTF16Limit) {
            result = CharacterLengthCheck::overlongCharacter;
        }
        return result == CharacterLengthCheck::passed;
    });
    return result;
}

std::optional<QString> decodeUTF8Strictly(QByteArrayView bytes) {
    QStringDecoder decoder(QStringConverter::Utf8,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) return std::nullopt;
    return text;
}

}  // namespace tavrine
