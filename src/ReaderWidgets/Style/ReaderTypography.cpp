#include "ReaderWidgets/Style/ReaderTypography.h"

#include <QFontDatabase>
#include <QGuiApplication>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace tavrine {

namespace {

// Far beyond any size the settings allow; keeps a wild value from overflowing the pixel size.
constexpr double kLargestReadingSize = 4096;

const QString& preferredFamily() {
    static const QString family = u"Noto Sans CJK JP"_s;
    return family;
}

// Asked once: the font database does not change under a running reader.
bool hasPreferredFamily() {
    static const bool installed = QFontDatabase::hasFamily(preferredFamily());
    return installed;
}

}  // namespace

QString ReaderTypography::readingFontFamily() {
    return hasPreferredFamily() ? preferredFamily() : QGuiApplication::font().family();
}

QFont ReaderTypography::readingFont(double size) {
    if (!std::isfinite(size)) {
        size = kDefaultReadingSize;
    }
    // A font built from its family, never a copy of a shared one, so that each thread measures with a
    // font of its own.
    QFont font(QStringList{readingFontFamily()});
    font.setPixelSize(static_cast<int>(std::lround(std::clamp(size, 1.0, kLargestReadingSize))));
    font.setWeight(QFont::Medium);
    // Light hinting keeps horizontal metrics unhinted, so a phrase has the same width on every desktop
    // whatever its hinting setting, and the chunker's phrases do not change with it.
    font.setHintingPreference(QFont::PreferVerticalHinting);
    return font;
}

}  // namespace tavrine
