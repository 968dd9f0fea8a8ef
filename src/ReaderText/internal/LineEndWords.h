#pragma once

#include <QStringView>

namespace tavrine::internal {

// What the words either side of a line end of Japanese tell of it, from a few characters either side.
enum class Continuation {
    none,  // the line end falls between words, as far as the words show
    // The next line carries the line on, but the line may still be one of its own: a closing quote or
    // bracket, "……" or "――" before a particle ("」と答えた", "……という"), a noun before "の" at the end.
    // Evidence that the lines around it are wrapped prose, never a wrap alone.
    likely,
    // The line end falls inside a word or the next line only carries the line on: a word that ICU's
    // dictionary finds across it ("店 / 舗"), a particle or an inflection starting the next line ("を",
    // "て", "まで"), an ending after its kanji ("住 / み"), a counter after its number ("1200 / 人"),
    // what may not begin a line after a letter ("っ", "ー", "、"), a dash cut in two ("― / ―").
    cut,
};

// `line` and `next`: the two lines' texts without white space at either end. Lines whose letters are all
// hiragana with no "、" or "。" inside (verse written in kana, where the dictionary finds words across any
// line end and a line may well start with "と") are cut only where both the dictionary and a following
// word say so.
// Costs the same for any line: ICU's dictionary and the phrase model see only the characters near the end.
Continuation continuationAt(QStringView line, QStringView next);

}  // namespace tavrine::internal
