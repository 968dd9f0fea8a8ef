#include "ReaderWidgets/Workspace/ReaderProgressControl.h"

#include "ReaderCore/MainThread.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderUI/Workspace/ReaderDocumentContext.h"
#include "ReaderUI/Workspace/ReaderWorkspaceController.h"
#include "ReaderWidgets/Style/ReaderTextStyle.h"
#include "ReaderWidgets/Style/ToQColor.h"
#include "ReaderWidgets/Workspace/ReaderDoubleSlider.h"
#include "ReaderWidgets/internal/AccessibleElement.h"

#include <QEnterEvent>
#include <QHideEvent>
#include <QLabel>
#include <QVBoxLayout>

namespace tavrine {

using namespace Qt::StringLiterals;

ReaderProgressControl::ReaderProgressControl(ReaderWorkspaceController& workspace, QWidget* parent)
    : QWidget(parent),
      m_workspace(workspace),
      m_caption(new QLabel(this)),
      m_slider(new ReaderDoubleSlider(0, 1, this)) {
    Q_ASSERT(isMainThread());
    makeAccessibleElement(*this, QAccessible::Grouping);

    m_caption->setObjectName(u"readerBodyProgress"_s);
    m_caption->setFont(readerFont(ReaderTextStyle::caption));
    m_caption->setTextInteractionFlags(Qt::NoTextInteraction);
    hideFromAccessibility(*m_caption);

    m_slider->setObjectName(u"readerProgressSlider"_s);
    // A click or a drag moves the position and leaves the keyboard focus where it was, so Space still
    // plays; Tab reaches the slider, whose arrows then step.
    m_slider->setFocusPolicy(Qt::TabFocus);
    makeAccessibleElement(*m_slider, QAccessible::Slider);
    m_slider->setAccessibleName(u"文章の再生位置"_s);
    m_slider->setAccessibleDescription(u"位置を変更すると一時停止します"_s);
    setAccessibleElementValue(*m_slider, QString());

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(kSpacing);
    layout->addWidget(m_caption, 0, Qt::AlignLeft);
    layout->addWidget(m_slider);

    connect(m_slider, &ReaderDoubleSlider::userValueChanged, this,
            [this](double value) { m_workspace.setProgressValue(value); });
    connect(m_slider, &ReaderDoubleSlider::editingChanged, this,
            [this](bool editing) { m_workspace.progressEditingChanged(editing); });
    connect(m_slider, &ReaderDoubleSlider::focusChanged, this,
            [this](bool focused) { m_workspace.setAdjustingProgress(focused); });
    m_slider->setArrowHandler([this](bool forward) { return m_workspace.stepProgress(forward); });
    showCaption(false);
    refresh();
}

void ReaderProgressControl::refresh() {
    const ReaderDocumentContext& context = m_workspace.documentContext();
    m_slider->setValueFromModel(context.progress);
    m_slider->setEnabled(m_workspace.canControlPlayback());
    setAccessibleElementValue(*m_slider, context.progressLabel);
    if (m_caption->text() != context.progressLabel) m_caption->setText(context.progressLabel);
    showCaption(m_workspace.isHoveringProgress() || m_workspace.isDraggingProgress() ||
                m_workspace.isAdjustingProgress());
}

void ReaderProgressControl::showCaption(bool shown) {
    if (m_captionShown == shown) return;
    m_captionShown = shown;
    // Transparent rather than hidden: the caption keeps its line, so the slider never moves.
    QPalette palette = m_caption->palette();
    palette.setColor(QPalette::WindowText, shown ? toQColor(ReaderPalette::secondaryText) : QColor(Qt::transparent));
    m_caption->setPalette(palette);
}

void ReaderProgressControl::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    m_workspace.setHoveringProgress(true);
}

void ReaderProgressControl::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    m_workspace.setHoveringProgress(false);
}

void ReaderProgressControl::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    // A minimised window is no disappearance.
    if (!event->spontaneous()) m_workspace.progressDisappeared();
}

}  // namespace tavrine
