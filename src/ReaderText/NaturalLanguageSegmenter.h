#pragma once

#include "ReaderText/TextSegmenting.h"

#include "ReaderCore/TextRange.h"

#include <QSet>
#include <QString>
#include <QStringView>

#include <algorithm>
#include <array>
#include <cstdint>
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

    // The four word sets in one open-addressing table, looked up once per word without forming a
    // string. Nearly every word of a text is in none of them, so a look-up mostly ends at an empty slot.
    class WordClasses {
    public:
        void add(QStringView word, WordClass wordClass);
        std::uint8_t classOf(QStringView word) const;

    private:
        static constexpr qsizetype kLongestWord = 12;
        // A word kept in place, so a look-up reads one slot and no string elsewhere.
        struct Slot {
            std::uint32_t hash = 0;
            std::uint8_t length = 0;
            std::uint8_t classes = 0;
            std::array<char16_t, kLongestWord> units{};
            bool holds(QStringView word, std::uint32_t wordHash) const {
                return hash == wordHash && length == word.size() &&
                       std::equal(word.utf16(), word.utf16() + word.size(), units.begin());
            }
        };
        static std::uint32_t hash(QStringView word);

        std::array<Slot, 256> m_slots;
        qsizetype m_longest = 0;
        // The ASCII units that begin a word of the table: most English words are turned away here.
        std::uint64_t m_asciiFirstUnits[2] = {};
    };

    std::uint8_t classOf(QStringView word) const { return m_wordClasses.classOf(word); }
    bool startsEnglishPhrase(QStringView word) const;

    struct Unit {
        TextRange range;
        // The boundary of the unit's own text, which is also that of a group ending with it: a group grows
        // only while its boundary is none, and every unit after the first starts with a word.
        ReadingChunk::Boundary boundary = ReadingChunk::Boundary::none;
        bool endsPhrase = false;
        bool endsPredicate = false;
        bool isEnglish = false;
        bool startsEnglishPhrase = false;
    };

    void makeUnits(QStringView text, const std::vector<TextRange>& words, bool mayHoldJapanese,
                   std::vector<Unit>& units) const;
    // Appends the end of each group, offset by shift, to ends.
    void appendGroupEnds(const std::vector<Unit>& units, QStringView text, qsizetype shift,
                         std::vector<qsizetype>& ends) const;

    WordClasses m_wordClasses;
    qsizetype m_longestEnglishPhraseStart = 0;
};

}  // namespace tavrine
