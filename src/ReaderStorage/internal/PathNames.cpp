#include "ReaderStorage/internal/PathNames.h"

namespace tavrine {
namespace {

// The path with runs of '/' collapsed and trailing ones dropped ("/" itself stays).
QString withFixedSlashes(QStringView path) {
    QString fixed;
    fixed.reserve(path.size());
    for (const QChar c : path) {
        if (c == u'/' && fixed.endsWith(u'/')) continue;
        fixed.append(c);
    }
    if (fixed.size() > 1 && fixed.endsWith(u'/')) fixed.chop(1);
    return fixed;
}

}  // namespace

QString lastPathComponent(QStringView path) {
    const QString fixed = withFixedSlashes(path);
    if (fixed.size() <= 1) return fixed;
    return fixed.mid(fixed.lastIndexOf(u'/') + 1);
}

QString pathExtension(QStringView path) {
    const QString component = lastPathComponent(path);
    if (component == u"/") return QString();
    const qsizetype dot = component.lastIndexOf(u'.');
    if (dot <= 0) return QString();
    return component.mid(dot + 1);
}

bool isFileNameWithExtension(QStringView name, QStringView extension) {
    return !name.isEmpty() && lastPathComponent(name) == name && pathExtension(name).toLower() == extension;
}

}  // namespace tavrine
