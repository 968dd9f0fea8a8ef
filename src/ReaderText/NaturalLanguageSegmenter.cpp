#include "ReaderText/NaturalLanguageSegmenter.h"

#include "ReaderText/internal/PhraseText.h"
#include "ReaderText/internal/TextTokenizer.h"

#include "ReaderCore/Characters.h"

#include <algorithm>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Boundary = ReadingChunk::Boundary;

QStringView slice(QStringView text, TextRange range) {
    return text.sliced(range.lowerBound, range.length());
}

}  // namespace

NaturalLanguageSegmenter::NaturalLanguageSegmenter()
    : particles{u"は"_s, u"が"_s,   u"を"_s,   u"に"_s,   u"へ"_s, u"と"_s, u"で"_s, u"の"_s,
                u"も"_s, u"から"_s, u"まで"_s, u"より"_s, u"や"_s, u"ね"_s, u"よ"_s},
      continuations{u"て"_s,     u"た"_s,     u"だ"_s,   u"です"_s, u"でし"_s,   u"ます"_s, u"まし"_s,
                    u"ませ"_s,   u"ん"_s,     u"ない"_s, u"なく"_s, u"なかっ"_s, u"れる"_s, u"られる"_s,
                    u"せる"_s,   u"させる"_s, u"する"_s, u"し"_s,   u"いる"_s,   u"い"_s,   u"でき"_s,
                    u"できる"_s, u"たい"_s,   u"続け"_s, u"直す"_s},
      predicateEndings{u"する"_s, u"ある"_s, u"いる"_s, u"できる"_s, u"ます"_s, u"です"_s, u"ない"_s,
                       u"た"_s,   u"だ"_s,   u"れる"_s, u"られる"_s, u"たい"_s, u"直す"_s},
      englishPhraseStarts{u"a"_s,     u"an"_s,  u"the"_s,     u"my"_s,   u"your"_s,  u"his"_s,   u"her"_s,
                          u"its"_s,   u"our"_s, u"their"_s,   u"this"_s, u"that"_s,  u"these"_s, u"those"_s,
                          u"at"_s,    u"in"_s,  u"on"_s,      u"of"_s,   u"to"_s,    u"for"_s,   u"from"_s,
                          u"with"_s,  u"by"_s,  u"into"_s,    u"over"_s, u"under"_s, u"about"_s, u"when"_s,
                          u"while"_s, u"if"_s,  u"because"_s, u"and"_s,  u"but"_s,   u"or"_s} {
    const std::pair<const QSet<QString>*, WordClass> sets[] = {{&particles, particle},
                                                               {&continuations, continuation},
                                                               {&predicateEndings, predicateEnding},
                                                               {&englishPhraseStarts, englishPhraseStart}};
    for (const auto& [set, wordClass] : sets) {
        for (const QString& word : *set) m_wordClasses.add(word, wordClass);
    }
    for (const QString& word : englishPhraseStarts) {
        m_longestEnglishPhraseStart = std::max(m_longestEnglishPhraseStart, word.size());
    }
}

std::uint32_t NaturalLanguageSegmenter::WordClasses::hash(QStringView word) {
    std::uint32_t hash = 2166136261u;
    for (const QChar c : word) hash = (hash ^ c.unicode()) * 16777619u;
    return hash;
}

void NaturalLanguageSegmenter::WordClasses::add(QStringView word, WordClass wordClass) {
    if (word.isEmpty() || word.size() > kLongestWord) qFatal("A word of the segmenter's sets does not fit its table");
    const std::uint32_t wordHash = hash(word);
    for (std::size_t index = wordHash;; ++index) {
        Slot& slot = m_slots[index % m_slots.size()];
        if (slot.length == 0) {
            std::copy(word.utf16(), word.utf16() + word.size(), slot.units.begin());
            slot.length = static_cast<std::uint8_t>(word.size());
            slot.hash = wordHash;
        }
        if (slot.holds(word, wordHash)) {
            slot.classes |= wordClass;
            break;
        }
    }
    m_longest = std::max(m_longest, word.size());
    const char16_t first = word.front().unicode();
    if (first < 128) m_asciiFirstUnits[first >> 6] |= std::uint64_t{1} << (first & 63);
}

std::uint8_t NaturalLanguageSegmenter::WordClasses::classOf(QStringView word) const {
    if (word.size() > m_longest || word.isEmpty()) return 0;
    const char16_t first = word.front().unicode();
    if (first < 128 && !((m_asciiFirstUnits[first >> 6] >> (first & 63)) & 1)) return 0;
    const std::uint32_t wordHash = hash(word);
    for (std::size_t index = wordHash;; ++index) {
        const Slot& slot = m_slots[index % m_slots.size()];
        if (slot.length == 0) return 0;
        if (slot.holds(word, wordHash)) return slot.classes;
    }
}

bool NaturalLanguageSegmenter::startsEnglishPhrase(QStringView word) const {
    if (word.size() > m_longestEnglishPhraseStart) return false;
    // Lower-case ASCII words in place; any other goes through the full case mapping.
    char16_t lower[16];
    static_assert(std::size(lower) >= 8);
    if (word.size() <= static_cast<qsizetype>(std::size(lower))) {
        bool ascii = true;
        for (qsizetype i = 0; i < word.size() && ascii; ++i) {
            const char16_t c = word[i].unicode();
            ascii = c < 0x80;
            lower[i] = c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c;
        }
        if (ascii) return (classOf(QStringView(lower, word.size())) & englishPhraseStart) != 0;
    }
    return (classOf(word.toString().toLower()) & englishPhraseStart) != 0;
}

QList<ReadingChunk> NaturalLanguageSegmenter::segment(const QString& text) const {
    if (isBlank(text)) return {};
    const CharacterBreaks characters(text);
    std::vector<qsizetype> ends;
    appendPhraseEnds(text, {0, text.size()}, characters, ends);
    return internal::chunksEndingAt(text, ends, [&](qsizetype start, qsizetype end) {
        return boundary(slice(text, {start, end}));
    });
}

void NaturalLanguageSegmenter::appendPhraseEnds(QStringView text, TextRange part, const CharacterBreaks& characters,
                                                std::vector<qsizetype>& ends) const {
    const QStringView partText = slice(text, part);
    if (isBlank(partText)) return;

    // Reused by every part a thread segments.
    thread_local std::vector<TextRange> sentences;
    thread_local std::vector<TextRange> sentenceWords;
    thread_local std::vector<TextRange> words;
    thread_local std::vector<Unit> units;
    // What the part lacks, none of its sentences and words holds.
    const bool partHasJapanese = containsJapanese(partText);
    internal::sentenceRanges(partText, sentences);
    if (sentences.empty()) sentences.push_back({0, partText.size()});
    words.clear();
    for (const TextRange sentence : sentences) {
        const QStringView sentenceText = slice(partText, sentence);
        const auto language = partHasJapanese && containsJapanese(sentenceText) ? internal::TokenizerLanguage::japanese
                                                                                : internal::TokenizerLanguage::english;
        internal::wordRanges(sentenceText, language, sentenceWords);
        for (const TextRange word : sentenceWords) {
            const TextRange inPart = word.shifted(sentence.lowerBound);
            if (characters.isBoundary(part.lowerBound + inPart.lowerBound)) words.push_back(inPart);
        }
    }
    if (words.empty()) {
        ends.push_back(part.upperBound);
        return;
    }
    makeUnits(partText, words, partHasJapanese, units);
    appendGroupEnds(units, partText, part.lowerBound, ends);
}

void NaturalLanguageSegmenter::makeUnits(QStringView text, const std::vector<TextRange>& words, bool mayHoldJapanese,
                                         std::vector<Unit>& units) const {
    units.clear();
    const auto wordCount = static_cast<qsizetype>(words.size());
    for (qsizetype k = 0; k < wordCount; ++k) {
        // A unit runs from its word to the next word, so the spaces and punctuation after a word stay
        // with it and the units tile the text.
        const qsizetype start = k == 0 ? 0 : words[k].lowerBound;
        const qsizetype end = k + 1 < wordCount ? words[k + 1].lowerBound : text.size();
        const QStringView word = slice(text, words[k]);
        const std::uint8_t wordClass = classOf(word);
        const bool isParticle = (wordClass & particle) != 0;
        const bool endsPhrase = isParticle && word != u"の";
        const bool endsPredicate = (wordClass & predicateEnding) != 0;

        // "と" after a predicate quotes or conditions it: it starts a phrase rather than closing one.
        const bool quotesPredicate = word == u"と" && !units.empty() && units.back().endsPredicate;
        if (!quotesPredicate && (isParticle || (wordClass & continuation) != 0) && !units.empty()) {
            Unit& last = units.back();
            if (last.boundary == Boundary::none &&
                internal::trimmedLength(text.sliced(last.range.lowerBound, end - last.range.lowerBound)) <=
                    maximumGroupLength) {
                last.range.upperBound = end;
                last.boundary = boundary(slice(text, last.range));
                last.endsPhrase = endsPhrase;
                last.endsPredicate = endsPredicate;
                last.isEnglish = false;
                last.startsEnglishPhrase = false;
                continue;
            }
        }
        units.push_back({{start, end},
                         boundary(text.sliced(start, end - start)),
                         endsPhrase,
                         endsPredicate,
                         containsASCIILetter(word) && !(mayHoldJapanese && containsJapanese(word)),
                         startsEnglishPhrase(word)});
    }
}

void NaturalLanguageSegmenter::appendGroupEnds(const std::vector<Unit>& units, QStringView text, qsizetype shift,
                                               std::vector<qsizetype>& ends) const {
    if (units.empty()) return;

    std::size_t index = 0;
    TextRange current = units[0].range;
    // The trimmed length and the boundary of current.
    qsizetype length = internal::trimmedLength(slice(text, current));
    Boundary currentBoundary = units[0].boundary;
    int englishCount = 0;
    bool firstStartsEnglishPhrase = units[0].startsEnglishPhrase;
    auto startGroup = [&](std::size_t next) {
        ends.push_back(shift + current.upperBound);
        index = next;
        current = units[next].range;
        length = internal::trimmedLength(slice(text, current));
        currentBoundary = units[next].boundary;
        englishCount = 0;
        firstStartsEnglishPhrase = units[next].startsEnglishPhrase;
    };

    for (;;) {
        const Unit& added = units[index];
        if (added.isEnglish) ++englishCount;
        const bool lengthStop =
            !added.isEnglish && (length >= targetLength || ((added.endsPhrase || added.endsPredicate) && length > 3));
        if (currentBoundary != Boundary::none || englishCount == 2 || lengthStop) {
            if (index + 1 == units.size()) break;
            startGroup(index + 1);
            continue;
        }
        if (index + 1 == units.size()) break;

        const Unit& next = units[index + 1];
        // English and other words never share a group, and an English phrase-start word begins a group
        // of its own unless the group began with one ("in the" stays together, "cat in" does not).
        if ((englishCount > 0) != next.isEnglish ||
            (next.isEnglish && next.startsEnglishPhrase && !firstStartsEnglishPhrase)) {
            startGroup(index + 1);
            continue;
        }
        const qsizetype limit = next.isEnglish ? maximumEnglishLength : maximumGroupLength;
        const TextRange joined{current.lowerBound, next.range.upperBound};
        const qsizetype joinedLength = internal::trimmedLength(slice(text, joined));
        if (joinedLength <= limit) {
            current = joined;
            length = joinedLength;
            currentBoundary = next.boundary;
            ++index;
            continue;
        }
        startGroup(index + 1);
    }
    ends.push_back(shift + current.upperBound);
}

ReadingChunk::Boundary NaturalLanguageSegmenter::boundary(QStringView phrase) {
    if (std::any_of(phrase.begin(), phrase.end(), [](QChar c) { return c == u'\n' || c == u'\r'; })) {
        return Boundary::paragraph;
    }
    return internal::punctuationBoundary(phrase);
}

bool NaturalLanguageSegmenter::containsJapanese(QStringView text) {
    for (const QChar c : text) {
        const char16_t unit = c.unicode();
        if (unit < 0x3040) continue;  // most units of most texts
        if (unit <= 0x30FF || (unit >= 0x3400 && unit <= 0x9FFF)) return true;
    }
    return false;
}

bool NaturalLanguageSegmenter::containsASCIILetter(QStringView text) {
    for (const QChar c : text) {
        const char16_t unit = c.unicode();
        if ((unit >= u'A' && unit <= u'Z') || (unit >= u'a' && unit <= u'z')) return true;
    }
    return false;
}

}  // namespace tavrine
