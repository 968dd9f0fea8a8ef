#include "ReaderWidgets/Workspace/ReaderEPUBNavigationButton.h"

#include "ReaderCore/MainThread.h"
#include "ReaderUI/ReaderCommandShortcuts.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderUI/Workspace/ReaderDocumentContext.h"
#include "ReaderWidgets/Style/AccessibleValue.h"
#include "ReaderWidgets/Style/ReaderSymbol.h"
#include "ReaderWidgets/Style/ShortcutText.h"
#include "ReaderWidgets/Style/ToQColor.h"

using namespace Qt::StringLiterals;

namespace tavrine {

ReaderEPUBNavigationButton::ReaderEPUBNavigationButton(QWidget* parent) : QToolButton(parent) {
    Q_ASSERT(isMainThread());
    setObjectName(u"readerToggleEPUBNavigation"_s);
    setAutoRaise(true);
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    setIcon(symbolIcon(ReaderSymbol::listBulletIndent, toQColor(ReaderPalette::control)));
    setIconSize({kIconSize, kIconSize});
    setAccessibleValue(*this, u"非表示"_s);
    apply(ReaderDocumentContext{}, false);
}

void ReaderEPUBNavigationButton::apply(const ReaderDocumentContext& context, bool isPresented) {
    m_isPresented = isPresented;
    const QString label = isPresented ? u"目次を閉じる"_s : u"目次を開く"_s;
    const QString withKeys = withShortcut(label, ReaderCommandShortcuts::toggleEPUBNavigation);
    setText(label);
    if (context.chapter) {
        setToolTip(u"現在の章："_s + *context.chapter + u'。' + withKeys);
        setAccessibleName(*context.chapter + u'。' + label);
    } else {
        setToolTip(withKeys);
        setAccessibleName(label);
    }
    setAccessibleValue(*this, isPresented ? u"表示中"_s : u"非表示"_s);
}

}  // namespace tavrine
