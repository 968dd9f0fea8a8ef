#include "ReaderWidgets/Style/PhraseLineBreaks.h"

#include "ReaderCore/Characters.h"
#include "ReaderText/BudouXSegmenter.h"

#include <QLabel>
#include <QMessageBox>

namespace tavrine {
using namespace Qt::StringLiterals;

QString breakingBetweenPhrases(const QString& text) {
    if (!BudouXSegmenter::containsJapanese(text)) return text;
    static const BudouXSegmenter segmenter;
    QString result;
    result.reserve(text.size() * 2);
    for (const ReadingChunk& phrase : segmenter.segment(text)) {
        const QStringView view(phrase.text);
        if (!BudouXSegmenter::containsJapanese(view)) {
            result += view;
            continue;
        }
        bool joinsNext = false;
        forEachCharacter(view, [&](TextRange range) {
            const QStringView character = view.sliced(range.lowerBound, range.upperBound - range.lowerBound);
            const bool joins = !isBlank(character);
            if (joinsNext && joins) result += kWordJoiner;
            result += character;
            joinsNext = joins;
            return true;
        });
    }
    return result;
}

void setPhraseWrappedText(QLabel& label, const QString& text) {
    // Segmenting costs more than comparing, and callers set the same text again on every refresh.
    if (label.accessibleName() == text && !label.text().isEmpty()) return;
    label.setAccessibleName(text);
    label.setText(breakingBetweenPhrases(text));
}

void setPhraseWrappedTexts(QMessageBox& box) {
    for (QLabel* label : box.findChildren<QLabel*>()) {
        if (label->objectName().startsWith(u"qt_msgbox_"_s) && !label->text().isEmpty())
            setPhraseWrappedText(*label, label->text());
    }
}

}  // namespace tavrine
