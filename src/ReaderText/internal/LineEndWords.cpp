#include "ReaderText/internal/LineEndWords.h"

#include "ReaderText/BudouXParser.h"
#include "ReaderText/internal/LineShapes.h"
#include "ReaderText/internal/TextTokenizer.h"

#include <QString>

#include <algorithm>
#include <vector>

namespace tavrine::internal {
namespace {

// The characters either side of a line end that ICU's dictionary and the phrase model look at: enough for
// the words around it, few enough that asking costs the same for any line.
constexpr qsizetype kContext = 10;

QStringView tailOf(QStringView text) {
    qsizetype start = std::max<qsizetype>(0, text.size() - kContext);
    if (start > 0 && text[start].isLowSurrogate()) --start;
    return text.sliced(start);
}

QStringView headOf(QStringView text) {
    qsizetype end = std::min<qsizetype>(text.size(), kContext);
    if (end < text.size() && text[end].isLowSurrogate()) ++end;
    return text.first(end);
}

bool isHan(QChar c) {
    return c.script() == QChar::Script_Han || c == u'々';
}

bool isHiragana(QChar c) {
    return c.script() == QChar::Script_Hiragana;
}

// A letter of Japanese: a kanji, a kana, the long vowel mark.
bool isJapaneseLetter(QChar c) {
    return isHan(c) || isHiragana(c) || c.script() == QChar::Script_Katakana || c == u'ー';
}

// Verse written in kana: letters all hiragana and no "、" or "。" inside, where prose written in kana (a
// children's book) has them.
bool kanaVerse(QStringView text) {
    bool any = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if ((text[i] == u'、' || text[i] == u'。') && i + 1 < text.size()) return false;
        if (!text[i].isLetter()) continue;
        if (!isHiragana(text[i])) return false;
        any = true;
    }
    return any;
}

bool isDash(QChar c) {
    return c == u'―' || c == u'─' || c == u'—';
}

// Ends a quote or a thought that the next line's particle may carry on: 」』）… ―.
bool endsQuoteOrPause(QChar c) {
    static constexpr QStringView kEnds = u"」』）…‥";
    return kEnds.contains(c) || isDash(c);
}

// Words that only follow another: case and conjunctive particles, the endings of verbs and adjectives
// that ICU's dictionary leaves on their own ("働/け/ば", "流/さ/れる").
bool onlyFollows(QStringView word) {
    static constexpr QStringView kFollowing[] = {
        u"を",   u"が",   u"に",   u"へ",     u"と",     u"で",     u"て",     u"は",   u"も",   u"や",     u"の",
        u"か",   u"ね",   u"よ",   u"ば",     u"る",     u"た",     u"だ",     u"い",   u"ず",   u"ぬ",     u"ん",
        u"れ",   u"せ",   u"さ",   u"け",     u"く",     u"き",     u"し",     u"っ",   u"って", u"から",   u"まで",
        u"より", u"など", u"だけ", u"ほど",   u"くらい", u"ぐらい", u"ので",   u"のに", u"けど", u"けれど", u"ながら",
        u"たり", u"だり", u"ます", u"ました", u"ません", u"です",   u"でした", u"さい", u"ら",   u"ない",   u"なかった",
        u"なる", u"なっ", u"たい", u"られ",   u"られる", u"させ",   u"させる", u"れる", u"っけ"};
    return std::find(std::begin(kFollowing), std::end(kFollowing), word) != std::end(kFollowing);
}

// What counts a number: "1200 / 人", "2.8 / 倍".
bool isCounter(QChar c) {
    static constexpr QStringView kCounters = u"人倍円年月日時分秒個回件台枚本冊歳万億千百号番階度割点位名匹杯週";
    return kCounters.contains(c);
}

// A noun's "の" ends it ("昨年の"): what it qualifies comes next.
bool endsInNounsNo(QStringView line) {
    if (line.size() < 2 || line.back() != u'の') return false;
    const QChar noun = line[line.size() - 2];
    return isHan(noun) || noun.script() == QChar::Script_Katakana;
}

bool phraseModelJoins(QStringView window, qsizetype end) {
    const QList<TextRange> phrases = BudouXParser::shared().parse(window.toString());
    return std::none_of(phrases.cbegin(), phrases.cend(), [end](const TextRange& p) { return p.lowerBound == end; });
}

}  // namespace

Continuation continuationAt(QStringView line, QStringView next) {
    if (line.isEmpty() || next.isEmpty() || startsParagraphOrItem(next)) return Continuation::none;
    const QChar last = line.back();
    const QChar first = next.front();
    if (isDash(last) && isDash(first)) return Continuation::cut;
    const bool afterLetter = last.isLetterOrNumber();
    if (afterLetter && first != u'・' && mayNotStartLine(first.unicode())) return Continuation::cut;
    if (afterLetter && last.isDigit() && isCounter(first)) return Continuation::cut;

    const QStringView tail = tailOf(line);
    const QString window = tail.toString() + headOf(next);
    const qsizetype end = tail.size();
    thread_local std::vector<TextRange> words;
    wordRanges(window, TokenizerLanguage::japanese, words);
    bool inside = false;
    QStringView following;
    for (const TextRange& word : words) {
        if (word.lowerBound < end && end < word.upperBound) inside = true;
        if (word.lowerBound == end) following = QStringView(window).sliced(end, word.length());
    }
    inside = inside && isJapaneseLetter(last) && isJapaneseLetter(first);
    const bool follows = onlyFollows(following);
    if (kanaVerse(line) && kanaVerse(next)) return inside && follows ? Continuation::cut : Continuation::none;
    if (afterLetter && (inside || follows)) return Continuation::cut;
    // An ending that ICU's dictionary leaves as a word of its own and the phrase model keeps with the line's
    // last word: hiragana after a kanji ("住 / み", "淋 / しそう"), one hiragana after another, never one that
    // starts a word of its own ("お", "ご", "あ", "う", "わ").
    static constexpr QStringView kStartsWords = u"おごあうわ";
    const bool kana = !following.isEmpty() && std::all_of(following.begin(), following.end(), isHiragana);
    const bool ending = (isHan(last) && kana) || (isHiragana(last) && kana && following.size() == 1);
    if (ending && !kStartsWords.contains(following.front()) && phraseModelJoins(window, end)) {
        return Continuation::cut;
    }
    return (endsQuoteOrPause(last) && follows) || endsInNounsNo(line) ? Continuation::likely : Continuation::none;
}

}  // namespace tavrine::internal
