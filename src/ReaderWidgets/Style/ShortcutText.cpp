#include "ReaderWidgets/Style/ShortcutText.h"

#include <QKeySequence>

using namespace Qt::StringLiterals;

namespace tavrine {

QString shortcutText(QKeyCombination keys) {
    return QKeySequence(keys).toString(QKeySequence::NativeText);
}

QString withShortcut(const QString& text, QKeyCombination keys) {
    return text + u'（' + shortcutText(keys) + u'）';
}

}  // namespace tavrine
