#include "PelmoraMac/Capture/internal/RTFReader.h"

#include "PelmoraMac/Capture/internal/RTFCodePages.h"
#include "PelmoraMac/Capture/internal/RTFKeywords.h"
#include "ReaderCore/Characters.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tavrine {
namespace {

using Traits = RichText::Traits;

constexpr int kDefaultCodePage = 1252;
// A parameter is a signed number of at most this many digits; more makes the data unreadable.
constexpr int kParameterDigitLimit = 10;
// The longest font name kept and the most fonts kept: far more than any real document has, and they
// bound the memory a hostile font table can take. Text in a font beyond the limit has no traits.
constexpr qsizetype kFontNameLimit = 256;
constexpr size_t kFontLimit = 10'000;
// Decoded bytes are handed on in pieces of at most this size, so that a long run of escapes is
// checked against the text limit as it grows.
constexpr qsizetype kByteRunPiece = 4'096;
// Monospace families recognised by name, folded and without spaces.
constexpr std::u16string_view kMonospaceNames[] = {
    u"courier",  u"menlo",        u"consolas",    u"monaco",     u"lucidaconsole",
    u"msgothic", u"ｍｓゴシック", u"inconsolata", u"sourcecode", u"sfmono",
};

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

    int listDepth() const { return inList ? int(std::clamp<qint64>(listLevel, 0, 99)) + 1 : 0; }
};

// What a group starts with and restores at its end.
struct Group {
    CharacterFormat character;
    ParagraphFormat paragraph;
    Destination destination = Destination::text;
};

struct Font {
    QString name;
    qint64 charset = -1;
    int codePage = 0;
    bool modernFamily = false;
    bool fixedPitch = false;
    // The name ends at its semicolon; what follows is not part of it.
    bool named = false;
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

bool isMonospaceName(const QString& name) {
    const QString folded = name.toCaseFolded();
    // "Mono" and "Monospace" as words of their own ("DejaVu Sans Mono", "Osaka-Mono"), not as the
    // start of another word ("Monotype Corsiva").
    qsizetype wordStart = -1;
    for (qsizetype i = 0; i <= folded.size(); ++i) {
        const bool letter = i < folded.size() && folded.at(i).isLetter();
        if (letter && wordStart < 0) wordStart = i;
        if (!letter && wordStart >= 0) {
            const QStringView word = QStringView(folded).sliced(wordStart, i - wordStart);
            if (word == u"mono" || word == u"monospace") return true;
            wordStart = -1;
        }
    }
    QString compact = folded;
    compact.removeIf([](QChar c) { return c.isSpace(); });
    return std::ranges::any_of(kMonospaceNames, [&](std::u16string_view known) { return compact.contains(known); });
}

class Reader {
public:
    Reader(QByteArrayView data, qsizetype textLimit) : m_data(data), m_textLimit(textLimit) {}

    tl::expected<RichText, RTFReadFailure> read();

private:
    Group& group() { return m_groups.back(); }
    Destination destination() const { return m_groups.back().destination; }

    void openGroup();
    void closeGroup();
    void readControl();
    void controlWord(std::string_view name, std::optional<qint64> parameter);
    void controlSymbol(char symbol);
    // Counts one fallback character of \uN off, when some are left: true when this one is skipped.
    bool skipsFallback();

    void textBytes(QByteArrayView bytes);
    void gatherBytes(QByteArrayView bytes);
    void finishBytes();
    void decodeBytes(bool finish);
    void append(QStringView text);
    void appendToFontName(QStringView text);
    void appendUnicode(qint64 value);
    void endLine();
    void dropBlankLine();
    void endParagraph(const ParagraphFormat& format);

    Font& fontEntry(qint64 id);
    // The traits and code page of the text font in effect.
    Traits currentTraits();
    int currentCodePage();
    int codePageOf(const Font* font) const;
    const Font* currentFont();

    void fail(RTFReadFailure failure) {
        m_failure = failure;
        m_stopped = true;
    }

    QByteArrayView m_data;
    qsizetype m_position = 0;
    const qsizetype m_textLimit;
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
    std::unordered_map<qint64, Font> m_fonts;
    qint64 m_fontEntry = -1;
    // The monospace trait of each font, worked out once.
    std::unordered_map<qint64, bool> m_monospace;

    // The byte run being decoded (\'hh escapes and the bytes among them) and its code page.
    QByteArray m_bytes;
    int m_bytesCodePage = 0;
    bool m_decoding = false;
    CodePageDecoder m_decoder;

    RichText m_result;
    // Where the current RTF paragraph started, and its formatting when text last came into it.
    qsizetype m_paragraphStart = 0;
    ParagraphFormat m_openParagraph;
    // Where the current line of the text starts.
    qsizetype m_lineStart = 0;
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
    dropBlankLine();
    endParagraph(m_openParagraph);

    // Unpaired surrogates become U+FFFD (same length), and no run bound falls inside a pair.
    QString& text = m_result.text;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            ++i;
        } else if (c.isSurrogate()) {
            text[i] = QChar::ReplacementCharacter;
        }
    }
    auto splitsPair = [&](qsizetype offset) {
        return offset > 0 && offset < text.size() && text.at(offset - 1).isHighSurrogate() &&
               text.at(offset).isLowSurrogate();
    };
    for (auto& run : m_result.runs) {
        if (splitsPair(run.start)) ++run.start;
        if (splitsPair(run.end)) ++run.end;
    }
    m_result.runs.removeIf([](const RichText::Run& run) { return run.start >= run.end; });
    return std::move(m_result);
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
        m_fontEntry = -1;
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
    if (destination() == Destination::skipped) return;

    Group& current = group();
    CharacterFormat& character = current.character;
    ParagraphFormat& paragraph = current.paragraph;
    const qint64 value = parameter.value_or(0);
    const bool on = !parameter || *parameter != 0;

    if (destination() == Destination::fontTable) {
        switch (keyword) {
        case K::font:
            m_fontEntry = value;
            if (m_fonts.size() >= kFontLimit && !m_fonts.contains(value)) {
                m_fontEntry = -1;
                return;
            }
            m_fonts[value] = Font{};
            m_monospace.erase(value);
            return;
        case K::fontFamily:
        case K::modernFamily:
            if (m_fontEntry >= 0) fontEntry(m_fontEntry).modernFamily = keyword == K::modernFamily;
            return;
        case K::fontCharset:
            if (m_fontEntry >= 0) fontEntry(m_fontEntry).charset = value;
            return;
        case K::fontPitch:
            if (m_fontEntry >= 0) fontEntry(m_fontEntry).fixedPitch = value == 1;
            return;
        case K::fontCodePage:
            if (m_fontEntry >= 0) fontEntry(m_fontEntry).codePage = int(std::clamp<qint64>(value, 0, 65535));
            return;
        case K::unicode: appendUnicode(value); return;
        case K::unicodeSkipCount: character.unicodeSkipCount = std::max<qint64>(value, 0); return;
        case K::skippedDestination:
        case K::picture:
        case K::fontTable: current.destination = Destination::skipped; return;
        default: return;
        }
    }

    switch (keyword) {
    case K::unknown:
    case K::binary:
    case K::keptDestination:
    case K::fontFamily:
    case K::modernFamily:
    case K::fontCharset:
    case K::fontPitch:
    case K::fontCodePage: break;
    case K::skippedDestination: current.destination = Destination::skipped; break;
    case K::picture:
        append(u"\uFFFC");
        current.destination = Destination::skipped;
        break;
    case K::fontTable:
        current.destination = Destination::fontTable;
        m_fontEntry = -1;
        break;
    case K::ansi: m_documentCodePage = kDefaultCodePage; break;
    case K::mac: m_documentCodePage = 10000; break;
    case K::pc: m_documentCodePage = 437; break;
    case K::pca: m_documentCodePage = 850; break;
    case K::ansicpg:
        if (value > 0 && value <= 65535) m_documentCodePage = int(value);
        break;
    case K::defaultFont: m_defaultFont = value; break;
    case K::plain: {
        const qint64 skipCount = character.unicodeSkipCount;
        character = CharacterFormat{};
        character.unicodeSkipCount = skipCount;
        break;
    }
    case K::bold: character.bold = on; break;
    case K::italic: character.italic = on; break;
    case K::hidden: character.hidden = on; break;
    case K::font: character.font = value; break;
    case K::obliqueness: character.oblique = value != 0; break;
    case K::unicodeSkipCount: character.unicodeSkipCount = std::max<qint64>(value, 0); break;
    case K::paragraphDefault: paragraph = ParagraphFormat{}; break;
    case K::outlineLevel: paragraph.headerLevel = value >= 0 && value <= 5 ? int(value) + 1 : 0; break;
    case K::listOverride: paragraph.inList = true; break;
    case K::listLevel: paragraph.listLevel = value; break;
    case K::paragraph:
        append(u"\n");
        if (!character.hidden) endParagraph(paragraph);
        break;
    case K::lineBreak: append(u"\n"); break;
    case K::blockEnd:
        if (character.hidden) break;
        if (destination() == Destination::text) dropBlankLine();
        if (!m_result.text.isEmpty() && !m_result.text.endsWith(u'\n')) append(u"\n");
        endParagraph(paragraph);
        break;
    case K::tab: append(u"\t"); break;
    case K::unicode:
        if (parameter) appendUnicode(value);
        break;
    case K::bullet: append(u"\u2022"); break;
    case K::enDash: append(u"\u2013"); break;
    case K::emDash: append(u"\u2014"); break;
    case K::leftQuote: append(u"\u2018"); break;
    case K::rightQuote: append(u"\u2019"); break;
    case K::leftDoubleQuote: append(u"\u201C"); break;
    case K::rightDoubleQuote: append(u"\u201D"); break;
    case K::enSpace: append(u"\u2002"); break;
    case K::emSpace: append(u"\u2003"); break;
    case K::quarterEmSpace: append(u"\u2005"); break;
    case K::zeroWidthJoiner: append(u"\u200D"); break;
    case K::zeroWidthNonJoiner: append(u"\u200C"); break;
    case K::leftToRightMark: append(u"\u200E"); break;
    case K::rightToLeftMark: append(u"\u200F"); break;
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
    case Destination::fontTable: appendToFontName(text); return;
    case Destination::text: break;
    }
    const CharacterFormat& character = group().character;
    if (character.hidden) return;
    if (text.front() == u'\n') dropBlankLine();
    QString& out = m_result.text;
    const qsizetype start = out.size();
    const qsizetype room = m_textLimit + 1 - start;
    out.append(text.first(std::min(room, text.size())));
    if (const qsizetype lineFeed = out.lastIndexOf(u'\n'); lineFeed >= start) m_lineStart = lineFeed + 1;
    const Traits traits = currentTraits();
    if (traits.any()) {
        if (!m_result.runs.isEmpty() && m_result.runs.back().end == start && m_result.runs.back().traits == traits) {
            m_result.runs.back().end = out.size();
        } else {
            m_result.runs.append({start, out.size(), traits});
        }
    }
    m_openParagraph = group().paragraph;
    if (out.size() > m_textLimit) fail(RTFReadFailure::tooLong);
}

// A line of nothing but white space (no-break spaces, tabs and the like) shows nothing: it is cut off
// when it ends, so that it reads as the empty line it looks like. Its runs go with it; the formatting of
// paragraphs is recorded only when they end, after this.
void Reader::dropBlankLine() {
    QString& text = m_result.text;
    if (m_lineStart >= text.size()) return;
    for (qsizetype i = m_lineStart; i < text.size(); ++i) {
        if (!isWhitespace(text.at(i).unicode())) return;
    }
    text.truncate(m_lineStart);
    QList<RichText::Run>& runs = m_result.runs;
    while (!runs.isEmpty() && runs.back().end > m_lineStart) {
        if (runs.back().start >= m_lineStart) {
            runs.removeLast();
        } else {
            runs.back().end = m_lineStart;
            break;
        }
    }
}

void Reader::appendToFontName(QStringView text) {
    if (m_fontEntry < 0) return;
    Font& font = fontEntry(m_fontEntry);
    if (font.named) return;
    const qsizetype end = text.indexOf(u';');
    if (end >= 0) {
        text = text.first(end);
        font.named = true;
    }
    font.name.append(text.first(std::min(text.size(), kFontNameLimit - font.name.size())));
    m_monospace.erase(m_fontEntry);
}

void Reader::endParagraph(const ParagraphFormat& format) {
    const qsizetype end = m_result.text.size();
    if (end > m_paragraphStart && (format.headerLevel > 0 || format.inList)) {
        m_result.paragraphStyles.append({m_paragraphStart, end, format.headerLevel, format.listDepth()});
    }
    m_paragraphStart = end;
}

Font& Reader::fontEntry(qint64 id) {
    m_monospace.erase(id);
    return m_fonts[id];
}

const Font* Reader::currentFont() {
    const qint64 id = group().character.font >= 0 ? group().character.font : m_defaultFont;
    const auto found = m_fonts.find(id);
    return found == m_fonts.end() ? nullptr : &found->second;
}

Traits Reader::currentTraits() {
    const CharacterFormat& character = group().character;
    Traits traits{.bold = character.bold, .italic = character.italic, .oblique = character.oblique};
    const qint64 id = character.font >= 0 ? character.font : m_defaultFont;
    const auto known = m_monospace.find(id);
    if (known != m_monospace.end()) {
        traits.monospace = known->second;
    } else if (const Font* font = currentFont()) {
        traits.monospace = font->modernFamily || font->fixedPitch || isMonospaceName(font->name);
        m_monospace.emplace(id, traits.monospace);
    }
    return traits;
}

int Reader::codePageOf(const Font* font) const {
    if (font) {
        if (font->codePage > 0) return font->codePage;
        if (const int codePage = codePageOfCharset(font->charset)) return codePage;
    }
    return m_documentCodePage;
}

int Reader::currentCodePage() {
    if (destination() == Destination::fontTable) {
        const auto found = m_fonts.find(m_fontEntry);
        return codePageOf(found == m_fonts.end() ? nullptr : &found->second);
    }
    return codePageOf(currentFont());
}

}  // namespace

tl::expected<RichText, RTFReadFailure> readRTF(QByteArrayView data, qsizetype textLimit) {
    return Reader(data, textLimit).read();
}

}  // namespace tavrine
