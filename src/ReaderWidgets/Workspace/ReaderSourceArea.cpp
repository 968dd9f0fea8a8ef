#include "ReaderWidgets/Workspace/ReaderSourceArea.h"

#include "ReaderCore/MainThread.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderUI/Workspace/ReaderSourceViewBinding.h"
#include "ReaderUI/Workspace/ReaderWorkspaceController.h"
#include "ReaderWidgets/Style/ReaderReadingControlButton.h"

#include <QAction>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace tavrine {

using namespace Qt::StringLiterals;

ReaderSourceArea::ReaderSourceArea(ReaderWorkspaceController& workspace, const SourceViewFactory& makeSourceView,
                                   QWidget* parent)
    : QWidget(parent), m_workspace(workspace), m_binding(new ReaderSourceViewBinding(workspace, this)) {
    Q_ASSERT(isMainThread());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(kSpacing);

    const ReaderWorkspaceController::Closures& closures = workspace.closures();
    if (workspace.hasClipboardRow()) {
        m_clipboardRow = new QWidget(this);
        m_clipboardRow->setMinimumHeight(kClipboardRowMinimumHeight);
        auto* row = new QHBoxLayout(m_clipboardRow);
        row->setContentsMargins(0, 0, 0, 0);
        row->addStretch(1);
        if (closures.pasteFromClipboard) {
            m_clipboardButton = new ReaderReadingControlButton(ReaderPalette::control, m_clipboardRow);
            m_clipboardButton->setText(u"クリップボードから置き換え"_s);
            m_clipboardButton->setSymbol(ReaderSymbol::docOnClipboard);
            m_clipboardButton->setLabelStyle(ReaderReadingControlButton::LabelStyle::iconOnly);
            m_clipboardButton->setToolTip(
                u"コピーした文章で原文を置き換えます。右クリックでプレーンテキストとして取り込めます"_s);
            connect(m_clipboardButton, &QAbstractButton::clicked, this,
                    [this] { m_workspace.paste(m_workspace.closures().pasteFromClipboard); });
            m_clipboardButton->setContextMenuPolicy(Qt::ActionsContextMenu);
            if (closures.pastePlainText) {
                auto* plainText = new QAction(u"プレーンテキストとして取り込む"_s, m_clipboardButton);
                connect(plainText, &QAction::triggered, this,
                        [this] { m_workspace.paste(m_workspace.closures().pastePlainText); });
                m_clipboardButton->addAction(plainText);
            }
            row->addWidget(m_clipboardButton);
        }
        layout->addWidget(m_clipboardRow);
    }
    if (makeSourceView) m_sourceView = makeSourceView(*m_binding);
    if (m_sourceView) {
        m_sourceView->setParent(this);
        layout->addWidget(m_sourceView, 1);
    }
    refresh();
}

ReaderSourceArea::~ReaderSourceArea() {
    // The view goes before the binding it holds.
    delete m_sourceView;
}

void ReaderSourceArea::refresh() {
    if (m_clipboardButton) m_clipboardButton->setEnabled(m_workspace.canPasteFromClipboard());
}

}  // namespace tavrine
