#pragma once

#include "ReaderText/TextSegmenting.h"

#include "ReaderCore/TextRange.h"

#include <QSet>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tavrine {

class CharacterBreaks;

// Cuts ordinary text into phrases: the sentence and word tokenizers find the words, and a few grouping
// rules join each word with what follows it up to the next word, Japanese particles and verb endings
// with the word before them, and up to two English words starting with a function word. Lengths are
// counted in Characters after trimming whitespace and punctuation at both ends.
//
// The BudouX segmenter hands it every line without Japanese script; called directly it copes with
// Japanese too. An immutable value: it may be used from any thread at once.
class NaturalLanguageSegmenter final : public TextSegmenting {
public:
    NaturalLanguageSegmenter();

    QList<ReadingChunk> segment(const QString& text) const override;

    // The phrases of a part of a longer text whose Characters were analysed already: appends to ends the
    // end offsets (in text) of the part's phrases, the last one being the part's end. A blank part adds
    // nothing.
    void appendPhraseEnds(QStringView text, TextRange part, const CharacterBreaks& characters,
                          std::vector<qsizetype>& ends) const;

    // Paragraph when the phrase holds a line feed or a carriage return anywhere; otherwise the
    // punctuation that ends it decides (sentence, clause or none).
    static ReadingChunk::Boundary boundary(QStringView phrase);
    // A scalar of hiragana, katakana or the main CJK ideograph blocks (U+3040-U+30FF, U+3400-U+9FFF).
    static bool containsJapanese(QStringView text);
    static bool containsASCIILetter(QStringView text);

    // Fixed at construction (the segmenter is always built with its defaults).
    const QSet<QString> particles;
    const QSet<QString> continuations;
    const QSet<QString> predicateEndings;
    const QSet<QString> englishPhraseStarts;
    const qsizetype targetLength = 6;
    const qsizetype maximumGroupLength = 8;
    const qsizetype maximumEnglishLength = 12;

private:
    enum WordClass : std::uint8_t {
        particle = 1,
        continuation = 2,
        predicateEnding = 4,
        englishPhraseStart = 8,
    };
    struct WordHash {
        using is_transparent = void;
        std::size_t operator()(std::u16string_view word) const { return std::hash<std::u16string_view>{}(word); }
    };

    std::uint8_t classOf(QStringView word) const;
    bool startsEnglishPhrase(QStringView word) const;

    struct Unit {
        TextRange range;
        bool endsPhrase = false;
        bool endsPredicate = false;
        bool isEnglish = false;
        bool startsEnglishPhrase = false;
    };

    std::vector<Unit> units(QStringView text, const QList<TextRange>& words) const;
    std::vector<TextRange> group(const std::vector<Unit>& units, QStringView text) const;

    // The four word sets in one table, looked up once per word without forming a string.
    std::unordered_map<std::u16string, std::uint8_t, WordHash, std::equal_to<>> m_wordClasses;
    qsizetype m_longestEnglishPhraseStart = 0;
};

}  // namespace tavrine
