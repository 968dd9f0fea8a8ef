#pragma once

class QAccessibleInterface;
class QObject;
class QString;

namespace tavrine {

// The bounded view to assistive technology: read-only multi-line text with its caret and selection.
// Installed once as an accessibility factory; answers for bounded views only.
QAccessibleInterface* boundedTextAccessible(const QString& className, QObject* object);

}  // namespace tavrine
