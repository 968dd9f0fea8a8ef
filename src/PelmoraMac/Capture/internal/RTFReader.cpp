#include "PelmoraMac/Capture/internal/RTFReader.h"

#include "PelmoraMac/Capture/internal/RTFCodePages.h"
#include "PelmoraMac/Capture/internal/RTFFontTable.h"
#include "PelmoraMac/Capture/internal/RTFKeywords.h"
#include "PelmoraMac/Capture/internal/RichTextBuilder.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <vector>

namespace tavrine {
namespace {

using Traits = RichText::Traits;

constexpr int kDefaultCodePage = 1252;
// A parameter is a signed number of at most this many digits; more makes the data unreadable.
constexpr int kParameterDigitLimit = 10;
// Decoded bytes are handed on in pieces of at most this size, so that a long run of escapes is
// checked against the text limit as it grows.
constexpr qsizetype kByteRunPiece = 4'096;

enum class Destination : quint8 {
    text,
    fontTable,
    skipped,
};

struct CharacterFormat {
    // -1: the document's default font (\deff).
    qint64 font = -1;
    qint64 unicodeSkipCount = 1;
    bool bold = false;
    bool italic = false;
    bool oblique = false;
    bool hidden = false;
};

struct ParagraphFormat {
    int headerLevel = 0;
    qint64 listLevel = 0;
    bool inList = false;

    RichTextBuilder::Levels levels() const {
        return {headerLevel, inList ? int(std::clamp<qint64>(listLevel, 0, 99)) + 1 : 0};
    }
};

// What a group starts with and restores at its end.
struct Group {
    CharacterFormat character;
    ParagraphFormat paragraph;
    Destination destination = Destination::text;
};

bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
// A byte of plain text that the text keeps: printable ASCII, bytes above 0x7F, and the tab.
bool isTextByte(uchar byte) {
    return byte >= 0x20 || byte == '\t';
}

// The character a control word stands for, or nothing for the words that stand for none.
std::u16string_view specialCharacter(RTFKeyword keyword) {
    using K = RTFKeyword;
    switch (keyword) {
    case K::bullet: return u"\u2022";
    case K::enDash: return u"\u2013";
    case K::emDash: return u"\u2014";
    case K::leftQuote: return u"\u2018";
    case K::rightQuote: return u"\u2019";
    case K::leftDoubleQuote: return u"\u201C";
    case K::rightDoubleQuote: return u"\u201D";
    case K::enSpace: return u"\u2002";
    case K::emSpace: return u"\u2003";
    case K::quarterEmSpace: return u"\u2005";
    case K::zeroWidthJoiner: return u"\u200D";
    case K::zeroWidthNonJoiner: return u"\u200C";
    case K::leftToRightMark: return u"\u200E";
    case K::rightToLeftMark: return u"\u200F";
    default: return {};
    }
}

class Reader {
public:
    Reader(QByteArrayView data, qsizetype textLimit) : m_data(data), m_text(textLimit) {}

    tl::expected<RichText, RTFReadFailure> read();

private:
    Group& group() { return m_groups.back(); }
    Destination destination() const { return m_groups.back().destination; }

    void openGroup();
    void closeGroup();
    void readControl();
    void controlWord(std::string_view name, std::optional<qint64> parameter);
    // The words of the font table, and those of the text by what they act on: the destination, the
    // document, the character format, the paragraph and its breaks. The three first answer whether the
    // word was theirs.
    void fontTableWord(RTFKeyword keyword, qint64 value);
    bool destinationWord(RTFKeyword keyword);
    bool documentWord(RTFKeyword keyword, qint64 value);
    bool characterWord(RTFKeyword keyword, std::optional<qint64> parameter);
    void paragraphWord(RTFKeyword keyword, qint64 value);
    void controlSymbol(char symbol);
    // Counts one fallback character of \uN off, when some are left: true when this one is skipped.
    bool skipsFallback();

    void textBytes(QByteArrayView bytes);
    void gatherBytes(QByteArrayView bytes);
    void finishBytes();
    void decodeBytes(bool finish);
    void append(QStringView text);
    void appendUnicode(qint64 value);

    // The text font in effect, and its traits and code page (in the font table, the entry's).
    qint64 currentFont() const;
    Traits currentTraits();
    int currentCodePage() const;

    void fail(RTFReadFailure failure) {
        m_failure = failure;
        m_stopped = true;
    }

    QByteArrayView m_data;
    qsizetype m_position = 0;
    bool m_stopped = false;
    std::optional<RTFReadFailure> m_failure;

    // The state outside every group, then one entry per open group.
    std::vector<Group> m_groups{Group{}};
    // \uN fallback characters still to skip.
    qint64 m_fallbackToSkip = 0;
    // After \*: the next control word names a destination that may be skipped.
    bool m_ignorable = false;

    int m_documentCodePage = kDefaultCodePage;
    qint64 m_defaultFont = 0;
    RTFFontTable m_fonts;

    // The byte run being decoded (\'hh escapes and the bytes among them) and its code page.
    QByteArray m_bytes;
    int m_bytesCodePage = 0;
    bool m_decoding = false;
    CodePageDecoder m_decoder;

    RichTextBuilder m_text;
};

tl::expected<RichText, RTFReadFailure> Reader::read() {
    const char* const bytes = m_data.data();
    const qsizetype size = m_data.size();
    while (m_position < size && !m_stopped) {
        switch (bytes[m_position]) {
        case '{':
            ++m_position;
            openGroup();
            break;
        case '}':
            ++m_position;
            closeGroup();
            break;
        case '\\':
            ++m_position;
            readControl();
            break;
        case '\r':
        case '\n':
            // Line breaks of the data are not text.
            ++m_position;
            break;
        default: {
            qsizetype end = m_position + 1;
            while (end < size && bytes[end] != '{' && bytes[end] != '}' && bytes[end] != '\\' && bytes[end] != '\r' &&
                   bytes[end] != '\n') {
                ++end;
            }
            textBytes(m_data.sliced(m_position, end - m_position));
            m_position = end;
        }
        }
    }
    if (!m_stopped) finishBytes();
    if (m_failure) return tl::unexpected(*m_failure);
    return m_text.finish();
}

void Reader::openGroup() {
    finishBytes();
    m_fallbackToSkip = 0;
    m_ignorable = false;
    if (qsizetype(m_groups.size()) > kRTFGroupDepthLimit) {
        fail(RTFReadFailure::unreadable);
        return;
    }
    m_groups.push_back(m_groups.back());
}

void Reader::closeGroup() {
    finishBytes();
    m_fallbackToSkip = 0;
    m_ignorable = false;
    if (m_groups.size() <= 1) return;
    if (destination() == Destination::fontTable &&
        m_groups[m_groups.size() - 2].destination != Destination::fontTable) {
        m_fonts.endEntry();
    }
    m_groups.pop_back();
    // The group that opened first ends the document; what follows it is not read.
    if (m_groups.size() == 1) m_stopped = true;
}

void Reader::readControl() {
    const char* const bytes = m_data.data();
    const qsizetype size = m_data.size();
    if (m_position >= size) return;
    if (!isLetter(bytes[m_position])) {
        controlSymbol(bytes[m_position++]);
        return;
    }
    const qsizetype nameStart = m_position;
    while (m_position < size && isLetter(bytes[m_position])) ++m_position;
    const std::string_view name(bytes + nameStart, size_t(m_position - nameStart));

    std::optional<qint64> parameter;
    const bool negative = m_position + 1 < size && bytes[m_position] == '-' && isDigit(bytes[m_position + 1]);
    if (negative) ++m_position;
    if (m_position < size && isDigit(bytes[m_position])) {
        qint64 value = 0;
        int digits = 0;
        while (m_position < size && isDigit(bytes[m_position])) {
            if (++digits > kParameterDigitLimit) {
                fail(RTFReadFailure::unreadable);
                return;
            }
            value = value * 10 + (bytes[m_position++] - '0');
        }
        parameter = negative ? -value : value;
    }
    // One space after a control word is its delimiter, not text.
    if (m_position < size && bytes[m_position] == ' ') ++m_position;
    controlWord(name, parameter);
}

bool Reader::skipsFallback() {
    if (m_fallbackToSkip <= 0) return false;
    --m_fallbackToSkip;
    return true;
}

void Reader::controlSymbol(char symbol) {
    if (symbol == '\'') {
        // Two hex digits: one byte of text in the font's code page. Data cut short ends here.
        const qsizetype size = m_data.size();
        if (m_position + 2 > size) {
            m_position = size;
            return;
        }
        const int high = hexValue(m_data[m_position]);
        const int low = hexValue(m_data[m_position + 1]);
        if (high < 0 || low < 0) return;
        m_position += 2;
        if (skipsFallback()) return;
        m_ignorable = false;
        const char byte = char(high * 16 + low);
        if (destination() != Destination::skipped) gatherBytes(QByteArrayView(&byte, 1));
        return;
    }
    finishBytes();
    if (symbol == '*') {
        m_ignorable = true;
        return;
    }
    m_ignorable = false;
    if (skipsFallback()) return;
    switch (symbol) {
    case '\\':
    case '{':
    case '}': {
        const QChar literal = QLatin1Char(symbol);
        append(QStringView(&literal, 1));
        break;
    }
    case '~': append(u"\u00A0"); break;
    case '_': append(u"\u2011"); break;
    case '\n':
    case '\r': controlWord("par", std::nullopt); break;
    default:
        // \- (optional hyphen), \| and \: (index entries) and unknown symbols give nothing.
        break;
    }
}

void Reader::controlWord(std::string_view name, std::optional<qint64> parameter) {
    using K = RTFKeyword;
    finishBytes();
    const RTFKeyword keyword = rtfKeyword(name);
    if (keyword == K::binary) {
        // Binary data of the given length follows, whatever the destination: never read as text.
        const qint64 length = std::max<qint64>(parameter.value_or(0), 0);
        m_position += std::min<qint64>(length, m_data.size() - m_position);
        skipsFallback();
        m_ignorable = false;
        return;
    }
    if (skipsFallback()) return;
    const bool ignorable = std::exchange(m_ignorable, false);
    if (ignorable && keyword != K::keptDestination && keyword != K::skippedDestination && keyword != K::picture &&
        keyword != K::fontTable) {
        group().destination = Destination::skipped;
        return;
    }
    const qint64 value = parameter.value_or(0);
    switch (destination()) {
    case Destination::skipped: return;
    case Destination::fontTable: fontTableWord(keyword, value); return;
    case Destination::text: break;
    }
    if (const std::u16string_view character = specialCharacter(keyword); !character.empty()) {
        append(character);
        return;
    }
    if (destinationWord(keyword) || documentWord(keyword, value) || characterWord(keyword, parameter)) return;
    paragraphWord(keyword, value);
}

void Reader::fontTableWord(RTFKeyword keyword, qint64 value) {
    using K = RTFKeyword;
    switch (keyword) {
    case K::font: m_fonts.startEntry(value); return;
    case K::fontFamily:
    case K::modernFamily: m_fonts.setModernFamily(keyword == K::modernFamily); return;
    case K::fontCharset: m_fonts.setCharset(value); return;
    case K::fontPitch: m_fonts.setFixedPitch(value == 1); return;
    case K::fontCodePage: m_fonts.setCodePage(value); return;
    case K::unicode: appendUnicode(value); return;
    case K::unicodeSkipCount: group().character.unicodeSkipCount = std::max<qint64>(value, 0); return;
    case K::skippedDestination:
    case K::picture:
    case K::fontTable: group().destination = Destination::skipped; return;
    default: return;
    }
}

bool Reader::destinationWord(RTFKeyword keyword) {
    using K = RTFKeyword;
    switch (keyword) {
    case K::skippedDestination: group().destination = Destination::skipped; return true;
    case K::picture:
        append(u"\uFFFC");
        group().destination = Destination::skipped;
        return true;
    case K::fontTable:
        group().destination = Destination::fontTable;
        m_fonts.endEntry();
        return true;
    default: return false;
    }
}

bool Reader::documentWord(RTFKeyword keyword, qint64 value) {
    using K = RTFKeyword;
    switch (keyword) {
    case K::ansi: m_documentCodePage = kDefaultCodePage; return true;
    case K::mac: m_documentCodePage = 10000; return true;
    case K::pc: m_documentCodePage = 437; return true;
    case K::pca: m_documentCodePage = 850; return true;
    case K::ansicpg:
        if (value > 0 && value <= 65535) m_documentCodePage = int(value);
        return true;
    case K::defaultFont: m_defaultFont = value; return true;
    default: return false;
    }
}

bool Reader::characterWord(RTFKeyword keyword, std::optional<qint64> parameter) {
    using K = RTFKeyword;
    CharacterFormat& character = group().character;
    const qint64 value = parameter.value_or(0);
    const bool on = !parameter || *parameter != 0;
    switch (keyword) {
    case K::plain: {
        const qint64 skipCount = character.unicodeSkipCount;
        character = CharacterFormat{};
        character.unicodeSkipCount = skipCount;
        return true;
    }
    case K::bold: character.bold = on; return true;
    case K::italic: character.italic = on; return true;
    case K::hidden: character.hidden = on; return true;
    case K::font: character.font = value; return true;
    case K::obliqueness: character.oblique = value != 0; return true;
    case K::unicodeSkipCount: character.unicodeSkipCount = std::max<qint64>(value, 0); return true;
    case K::unicode:
        if (parameter) appendUnicode(value);
        return true;
    default: return false;
    }
}

void Reader::paragraphWord(RTFKeyword keyword, qint64 value) {
    using K = RTFKeyword;
    ParagraphFormat& paragraph = group().paragraph;
    const bool hidden = group().character.hidden;
    switch (keyword) {
    case K::paragraphDefault: paragraph = ParagraphFormat{}; break;
    case K::outlineLevel: paragraph.headerLevel = value >= 0 && value <= 5 ? int(value) + 1 : 0; break;
    case K::listOverride: paragraph.inList = true; break;
    case K::listLevel: paragraph.listLevel = value; break;
    case K::paragraph:
        append(u"\n");
        if (!hidden) m_text.endParagraph(paragraph.levels());
        break;
    case K::lineBreak: append(u"\n"); break;
    case K::blockEnd:
        if (hidden) break;
        m_text.dropBlankLine();
        if (!m_text.text().isEmpty() && !m_text.text().endsWith(u'\n')) append(u"\n");
        m_text.endParagraph(paragraph.levels());
        break;
    case K::tab: append(u"\t"); break;
    default: break;
    }
}

void Reader::appendUnicode(qint64 value) {
    // Negative values are the units above 0x7FFF written as signed 16-bit numbers; a few writers give a
    // whole code point beyond the BMP.
    if (value < 0) value += 65536;
    if (value >= 0 && value <= 0xFFFF) {
        const QChar unit{char16_t(value)};
        append(QStringView(&unit, 1));
    } else if (value > 0xFFFF && value <= 0x10FFFF) {
        const char16_t pair[] = {QChar::highSurrogate(char32_t(value)), QChar::lowSurrogate(char32_t(value))};
        append(QStringView(pair, 2));
    } else {
        append(u"\uFFFD");
    }
    m_fallbackToSkip = group().character.unicodeSkipCount;
}

void Reader::textBytes(QByteArrayView bytes) {
    m_ignorable = false;
    if (m_fallbackToSkip > 0) {
        const qsizetype skipped = qsizetype(std::min<qint64>(m_fallbackToSkip, bytes.size()));
        m_fallbackToSkip -= skipped;
        bytes = bytes.sliced(skipped);
    }
    if (bytes.isEmpty() || destination() == Destination::skipped) return;
    const auto* data = reinterpret_cast<const uchar*>(bytes.data());
    const qsizetype size = bytes.size();
    qsizetype i = 0;
    while (i < size && !m_stopped) {
        qsizetype end = i;
        if (!m_decoding) {
            // Plain ASCII needs no decoding in any code page that RTF writers use.
            while (end < size && data[end] < 0x80 && isTextByte(data[end])) ++end;
            if (end > i) {
                append(QString::fromLatin1(bytes.data() + i, end - i));
                i = end;
                continue;
            }
        }
        while (end < size && isTextByte(data[end])) ++end;
        if (end > i) {
            gatherBytes(bytes.sliced(i, end - i));
            i = end;
        } else {
            ++i;  // a control character of the data, not text
        }
    }
}

void Reader::gatherBytes(QByteArrayView bytes) {
    if (!m_decoding) {
        m_decoding = true;
        m_bytesCodePage = currentCodePage();
    }
    m_bytes.append(bytes);
    if (m_bytes.size() >= kByteRunPiece) decodeBytes(false);
}

void Reader::finishBytes() {
    if (m_decoding) decodeBytes(true);
}

void Reader::decodeBytes(bool finish) {
    QString decoded;
    m_decoder.decode(m_bytesCodePage, m_bytes, finish, decoded);
    m_bytes.clear();
    if (finish) m_decoding = false;
    append(decoded);
}

void Reader::append(QStringView text) {
    if (text.isEmpty() || m_stopped) return;
    switch (destination()) {
    case Destination::skipped: return;
    case Destination::fontTable: m_fonts.appendToName(text); return;
    case Destination::text: break;
    }
    if (group().character.hidden) return;
    if (!m_text.append(text, currentTraits(), group().paragraph.levels())) fail(RTFReadFailure::tooLong);
}

qint64 Reader::currentFont() const {
    const qint64 font = m_groups.back().character.font;
    return font >= 0 ? font : m_defaultFont;
}

Traits Reader::currentTraits() {
    const CharacterFormat& character = group().character;
    return {.bold = character.bold,
            .italic = character.italic,
            .monospace = m_fonts.isMonospace(currentFont()),
            .oblique = character.oblique};
}

int Reader::currentCodePage() const {
    return m_fonts.codePage(destination() == Destination::fontTable ? m_fonts.entry() : currentFont(),
                            m_documentCodePage);
}

}  // namespace

tl::expected<RichText, RTFReadFailure> readRTF(QByteArrayView data, qsizetype textLimit) {
    return Reader(data, textLimit).read();
}

}  // namespace tavrine
