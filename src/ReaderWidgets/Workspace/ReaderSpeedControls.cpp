#include "ReaderWidgets/Workspace/ReaderSpeedControls.h"

#include "ReaderCore/MainThread.h"
#include "ReaderUI/Player/ReadingPlayer.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderUI/Workspace/ReaderWorkspaceController.h"
#include "ReaderWidgets/Style/ReaderReadingControlButton.h"
#include "ReaderWidgets/Style/ReaderTextStyle.h"
#include "ReaderWidgets/Workspace/ReaderDoubleSlider.h"
#include "ReaderWidgets/internal/AccessibleElement.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>

#include <cmath>

namespace tavrine {

using namespace Qt::StringLiterals;
using Action = ReaderPlaybackRequest::Action;

namespace {

ReaderReadingControlButton* stepButton(ReaderSymbol symbol, const QString& title, QWidget* parent) {
    auto* button = new ReaderReadingControlButton(ReaderPalette::control, parent);
    button->setText(title);
    button->setSymbol(symbol);
    button->setLabelStyle(ReaderReadingControlButton::LabelStyle::iconOnly);
    button->setLabelFrame(ReaderSpeedControls::kStepLabelFrame);
    button->setToolTip(title);
    return button;
}

}  // namespace

ReaderSpeedControls::ReaderSpeedControls(ReaderWorkspaceController& workspace, QWidget* parent)
    : QWidget(parent),
      m_workspace(workspace),
      m_minus(stepButton(ReaderSymbol::minus, u"読む速度を0.1倍下げる"_s, this)),
      m_slider(new ReaderDoubleSlider(1.0, 7.5, this)),
      m_plus(stepButton(ReaderSymbol::plus, u"読む速度を0.1倍上げる"_s, this)),
      m_value(new QLabel(this)) {
    Q_ASSERT(isMainThread());
    setFont(readerFont(ReaderTextStyle::callout));

    m_slider->setObjectName(u"readerSpeedSlider"_s);
    m_slider->setMinimumWidth(kSliderMinimumWidth);
    m_slider->setMaximumWidth(kSliderMaximumWidth);
    m_slider->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    makeAccessibleElement(*m_slider, QAccessible::Slider);
    m_slider->setAccessibleName(u"読む速度"_s);
    m_slider->setAccessibleDescription(u"0.1倍ずつ増減します。1倍は補正前の表示時間0.3秒です"_s);
    m_slider->setToolTip(workspace.player().speedHelpText());
    setAccessibleElementValue(*m_slider, QString());
    setAccessibleStepActions(*m_slider, [this](bool increase) { m_workspace.adjustSpeed(increase); });

    m_value->setObjectName(u"readerSpeedValue"_s);
    makeAccessibleElement(*m_value, QAccessible::StaticText);
    m_value->setAccessibleName(u"読む速度"_s);
    m_value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // As wide as the widest speed, so the row does not shift as the figures change.
    m_value->setMinimumWidth(QFontMetrics(font()).horizontalAdvance(u"8.8×"_s) + 2);
    setAccessibleElementValue(*m_value, QString());

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(kSpacing);
    row->addStretch(1);
    row->addWidget(m_minus);
    row->addWidget(m_slider, 1);
    row->addWidget(m_plus);
    row->addWidget(m_value);
    row->addStretch(1);

    connect(m_minus, &QAbstractButton::clicked, this,
            [this] { m_workspace.perform(Action::slower, /*releasesEditorFocus=*/false); });
    connect(m_plus, &QAbstractButton::clicked, this,
            [this] { m_workspace.perform(Action::faster, /*releasesEditorFocus=*/false); });
    connect(m_slider, &ReaderDoubleSlider::userValueChanged, this,
            [this](double multiplier) { m_workspace.setSpeedMultiplierValue(multiplier); });
    connect(m_slider, &ReaderDoubleSlider::editingChanged, this, [this](bool editing) {
        if (editing) m_workspace.beginSpeedAdjustment();
    });
    connect(m_slider, &ReaderDoubleSlider::focusChanged, this,
            [this](bool focused) { m_workspace.setAdjustingSpeed(focused); });
    m_slider->setArrowHandler([this](bool forward) {
        // Taken also when the speed is at its end and the step is refused.
        m_workspace.perform(forward ? Action::faster : Action::slower, /*releasesEditorFocus=*/false);
        return true;
    });
    refresh();
}

void ReaderSpeedControls::refresh() {
    const ReadingPlayer& player = m_workspace.player();
    m_minus->setEnabled(m_workspace.canStepSpeed(false));
    m_plus->setEnabled(m_workspace.canStepSpeed(true));
    m_slider->setEnabled(m_workspace.isSpeedSliderEnabled());
    m_slider->setValueFromModel(m_workspace.speedMultiplierValue());
    const QString spoken = player.speedAccessibilityValue();
    setAccessibleElementValue(*m_slider, spoken);
    setAccessibleElementValue(*m_value, spoken);
    const QString shown = player.speedLabel();
    if (m_value->text() != shown) m_value->setText(shown);
}

}  // namespace tavrine
