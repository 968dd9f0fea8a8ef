#pragma once

class QApplication;
class QTranslator;

namespace tavrine {

// What every window of the application shares, set on the application before its first window: the
// Fusion style in the reader's dark palette, so that the windows Qt makes on its own (the file panel,
// message boxes, menus, tool tips, a line edit's menu) are dark too, and Qt's own texts in Japanese.
void applyApplicationLook(QApplication& application);

// Installs Qt's Japanese translation ("qtbase_ja.qm" in Qt's translations folder, Debian's
// qt6-translations-l10n) whatever the process locale, owned by application. Without the file, Qt's texts
// stay English: a warning names the missing package and nothing is installed (null).
QTranslator* installQtJapaneseTranslation(QApplication& application);

}  // namespace tavrine
