#pragma once

#include <QKeyCombination>
#include <QString>

namespace tavrine {

// How a help text names a command's keys: the desktop's own spelling of the combination ("Ctrl+Return").
QString shortcutText(QKeyCombination keys);

// text followed by the keys in full-width parentheses: "再生（Ctrl+Return）".
QString withShortcut(const QString& text, QKeyCombination keys);

}  // namespace tavrine
