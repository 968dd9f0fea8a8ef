#include "ReaderText/BudouXSegmenter.h"

#include "ReaderText/BudouXParser.h"
#include "ReaderText/NaturalLanguageSegmenter.h"
#include "ReaderText/internal/PhraseText.h"

#include "ReaderCore/Characters.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <optional>
#include <vector>

namespace tavrine {
namespace {
using Boundary = ReadingChunk::Boundary;

bool extendsCharacter(char32_t c) {
    const auto kind = u_getIntPropertyValue(static_cast<UChar32>(c), UCHAR_GRAPHEME_CLUSTER_BREAK);
    return kind == U_GCB_EXTEND || kind == U_GCB_ZWJ || kind == U_GCB_SPACING_MARK;
}

// Whether the run of whitespace Characters at the end of text[start, end) holds a line break. A
// Character counts as whitespace when its first scalar is, so a space followed by a combining mark
// does and a mark left alone after a line break does not. characters, when given, is the analysis of
// the whole of text; without it the phrase is analysed on its own, only when it ends in whitespace or a
// mark.
bool trailingWhitespaceHoldsLineBreak(QStringView text, qsizetype start, qsizetype end,
                                      const CharacterBreaks* characters) {
    if (end <= start) return false;
    const char32_t last = internal::codePointBefore(text, end);
    // Line-break scalars always stand alone (CR LF being one Character that starts with CR).
    if (internal::isLineBreakScalar(last)) return true;
    // A whitespace Character ends with its whitespace scalar or with a mark joined to it.
    if (!isWhitespace(last) && !extendsCharacter(last)) return false;

    std::optional<CharacterBreaks> own;
    qsizetype shift = 0;
    if (!characters) {
        own.emplace(text.sliced(start, end - start).toString());
        characters = &*own;
        shift = start;
    }
    for (qsizetype position = end; position > start;) {
        const qsizetype characterStart = std::max(characters->previous(position - shift) + shift, start);
        const char32_t first = codePointAt(text, characterStart);
        if (internal::isLineBreakScalar(first)) return true;
        if (!isWhitespace(first)) return false;
        position = characterStart;
    }
    return false;
}

Boundary boundaryAfter(QStringView text, qsizetype start, qsizetype end, const CharacterBreaks* characters) {
    if (trailingWhitespaceHoldsLineBreak(text, start, end, characters)) return Boundary::paragraph;
    return internal::punctuationBoundary(text.sliced(start, end - start));
}

const NaturalLanguageSegmenter& lineSegmenter() {
    static const NaturalLanguageSegmenter segmenter;
    return segmenter;
}

// The phrases found so far, as their end offsets: phrases tile the text from 0, so a line's phrases
// start where the previous phrase ended, and the blank lines before the first phrase ride in front of
// it without being tracked.
struct PhraseEnds {
    std::vector<qsizetype> ends;

    void appendLine(QStringView text, TextRange line, qsizetype breakEnd, const CharacterBreaks& characters) {
        const QStringView lineText = text.sliced(line.lowerBound, line.length());
        if (isBlank(lineText)) {
            // A blank line and its break join the phrase before it.
            if (!ends.empty()) ends.back() = breakEnd;
            return;
        }
        if (BudouXSegmenter::containsJapanese(lineText)) {
            BudouXParser::shared().appendBreaks(text, line, characters, ends);
        } else {
            lineSegmenter().appendPhraseEnds(text, line, characters, ends);
            ends.pop_back();  // the line's last phrase ends after its break instead
        }
        ends.push_back(breakEnd);
    }
};

}  // namespace

QList<ReadingChunk> BudouXSegmenter::segment(const QString& text) const {
    if (isBlank(text)) return {};

    const CharacterBreaks characters(text);
    PhraseEnds phrases;
    const qsizetype length = text.size();
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i < length;) {
        const char16_t unit = text[i].unicode();
        if ((unit > 0x0D && unit < 0x85) || !internal::isLineBreakScalar(unit)) {
            ++i;
            continue;
        }
        const qsizetype breakEnd = unit == u'\r' && i + 1 < length && text[i + 1] == u'\n' ? i + 2 : i + 1;
        phrases.appendLine(text, {lineStart, i}, breakEnd, characters);
        lineStart = i = breakEnd;
    }
    phrases.appendLine(text, {lineStart, length}, length, characters);
    return internal::chunksEndingAt(text, phrases.ends, [&](qsizetype start, qsizetype end) {
        return boundaryAfter(text, start, end, &characters);
    });
}

bool BudouXSegmenter::containsJapanese(QStringView text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (unit < 0x3040) continue;  // most units of most texts
        if ((unit >= 0x3040 && unit <= 0x30FF) || (unit >= 0x3400 && unit <= 0x9FFF) ||
            (unit >= 0xFF66 && unit <= 0xFF9D)) {
            return true;
        }
        if (QChar::isHighSurrogate(unit)) {
            const char32_t c = codePointAt(text, i);
            if (c >= 0x20000 && c <= 0x323AF) return true;
        }
    }
    return false;
}

Boundary BudouXSegmenter::boundary(QStringView phrase) {
    return boundaryAfter(phrase, 0, phrase.size(), nullptr);
}

}  // namespace tavrine
