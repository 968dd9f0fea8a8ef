#pragma once

#include <QChar>
#include <QString>

class QLabel;
class QMessageBox;

namespace tavrine {

// Japanese in a word-wrapped label breaks between phrases, never inside a word. Left to itself, Qt's
// line breaking may break between any two kana or ideographs ("コンピュー / ター").

// Draws nothing and forbids a line break on either side of it.
inline constexpr QChar kWordJoiner{0x2060};

// text with a word joiner between the Characters of each of its phrases (the BudouX phrases) that holds
// Japanese script, white space left free; text without Japanese comes back unchanged. The result is for
// drawing only: what is read aloud or copied is text itself.
QString breakingBetweenPhrases(const QString& text);

// Sets a word-wrapped label to text, broken between phrases, with text as its accessible name.
void setPhraseWrappedText(QLabel& label, const QString& text);

// The same for a message box's own texts (its message and its informative text): call it once the box has
// them. Qt's box wraps them as any label.
void setPhraseWrappedTexts(QMessageBox& box);

}  // namespace tavrine
