#include "ReaderEPUB/internal/EPUBArchivePath.h"

#include <QList>
#include <QString>

#include <algorithm>

namespace tavrine {

bool isSafeArchivePath(QStringView path) {
    if (path.isEmpty() || path.startsWith(u'/')) return false;
    if (path.contains(u'\\') || path.contains(u':')) return false;
    // A lone surrogate has no UTF-8 form, so it cannot name an entry.
    if (!path.isValidUtf16()) return false;
    const QString text = path.toString();
    if (text.normalized(QString::NormalizationForm_C) != text) return false;
    if (hasControlCharacter(path)) return false;
    if (path.contains(u'?') || path.contains(u'#')) return false;

    const auto pieces = path.split(u'/');
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        const QStringView piece = pieces[i];
        if (piece == u"." || piece == u"..") return false;
        if (piece.isEmpty() && i != pieces.size() - 1) return false;
    }
    return true;
}

bool hasControlCharacter(QStringView text) {
    return std::any_of(text.begin(), text.end(),
                       [](QChar unit) { return unit.unicode() < 0x20 || unit.unicode() == 0x7F; });
}

}  // namespace tavrine
