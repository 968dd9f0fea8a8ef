#include "PelmoraMac/App/ApplicationLook.h"

#include "ReaderWidgets/Style/ReaderTheme.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace tavrine {
using namespace Qt::StringLiterals;

void applyApplicationLook(QApplication& application) {
    QApplication::setStyle(u"Fusion"_s);
    QApplication::setPalette(ReaderTheme::palette());
    installQtJapaneseTranslation(application);
}

QTranslator* installQtJapaneseTranslation(QApplication& application) {
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    auto* translator = new QTranslator(&application);
    // Named in full: a translation chosen by the locale would follow the environment, which may be
    // anything while the interface is Japanese.
    if (!translator->load(u"qtbase_ja"_s, folder) || !QCoreApplication::installTranslator(translator)) {
        qWarning(
            "tavrine: Qt's Japanese translation (qtbase_ja.qm) is not in %s; Qt's own dialogs stay in "
            "English (Debian package qt6-translations-l10n)",
            qUtf8Printable(folder));
        delete translator;
        return nullptr;
    }
    return translator;
}

}  // namespace tavrine
