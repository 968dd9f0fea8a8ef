#include "PelmoraMac/Settings/ReadingSettingsTab.h"

#include "PelmoraMac/Window/ReaderPresentation.h"
#include "ReaderCore/MainThread.h"
#include "ReaderUI/Player/ReaderTextSizeSettings.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderWidgets/Style/ReaderTextStyle.h"
#include "ReaderWidgets/Style/ToQColor.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace tavrine {
using namespace Qt::StringLiterals;

namespace {

using Target = ReaderTextSizeSettings::Target;
using Action = ReaderTextSizeSettings::Action;

constexpr Target kTargets[] = {Target::rsvp, Target::source};

QString rowTitle(Target target) {
    return target == Target::rsvp ? u"RSVP"_s : u"原文"_s;
}

}  // namespace

ReadingSettingsTab::ReadingSettingsTab(ReaderTextSizeSettings& textSizes, ReaderPresentation& presentation,
                                       QWidget* parent)
    : QWidget(parent),
      m_textSizes(textSizes),
      m_presentation(presentation),
      m_showsSource(new QCheckBox(u"原文を表示"_s)),
      m_showsHistory(new QCheckBox(u"文書一覧を表示"_s)) {
    Q_ASSERT(isMainThread());
    auto* sizes = new QGroupBox(u"文字サイズ"_s);
    auto* sizeRows = new QVBoxLayout(sizes);
    for (std::size_t i = 0; i < std::size(kTargets); ++i) {
        const Target target = kTargets[i];
        SizeRow& row = m_rows[i];
        row.label = new QLabel;
        row.smaller = new QToolButton;
        row.smaller->setText(u"−"_s);
        row.bigger = new QToolButton;
        row.bigger->setText(u"+"_s);
        row.reset = new QPushButton(u"初期サイズに戻す"_s);
        connect(row.smaller, &QToolButton::clicked, this,
                [this, target] { m_textSizes.perform(Action::decrease, target); });
        connect(row.bigger, &QToolButton::clicked, this,
                [this, target] { m_textSizes.perform(Action::increase, target); });
        connect(row.reset, &QPushButton::clicked, this, [this, target] { m_textSizes.perform(Action::reset, target); });
        auto* line = new QHBoxLayout;
        line->addWidget(row.label);
        line->addWidget(row.smaller);
        line->addWidget(row.bigger);
        line->addSpacing(12);
        line->addWidget(row.reset);
        line->addStretch(1);
        sizeRows->addLayout(line);
    }

    auto* display = new QGroupBox(u"表示"_s);
    auto* displayRows = new QVBoxLayout(display);
    auto* caption = new QLabel(u"文書一覧はウィンドウに十分な幅があるときに表示します。"_s);
    caption->setWordWrap(true);
    caption->setFont(readerFont(ReaderTextStyle::caption));
    QPalette secondary = caption->palette();
    secondary.setColor(QPalette::WindowText, toQColor(ReaderPalette::secondaryText));
    caption->setPalette(secondary);
    displayRows->addWidget(m_showsSource);
    displayRows->addWidget(m_showsHistory);
    displayRows->addWidget(caption);
    // The setters store the wish under its key.
    connect(m_showsSource, &QCheckBox::clicked, this, [this](bool checked) {
        m_presentation.setPrefersSource(checked);
        refresh();
    });
    connect(m_showsHistory, &QCheckBox::clicked, this, [this](bool checked) {
        m_presentation.setPrefersHistory(checked);
        refresh();
    });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(sizes);
    layout->addWidget(display);
    layout->addStretch(1);

    connect(&m_textSizes, &ReaderTextSizeSettings::rsvpPointSizeChanged, this, &ReadingSettingsTab::refresh);
    connect(&m_textSizes, &ReaderTextSizeSettings::sourcePointSizeChanged, this, &ReadingSettingsTab::refresh);
    connect(&m_presentation, &ReaderPresentation::prefersSourceChanged, this, &ReadingSettingsTab::refresh);
    connect(&m_presentation, &ReaderPresentation::prefersHistoryChanged, this, &ReadingSettingsTab::refresh);
    refresh();
}

void ReadingSettingsTab::refresh() {
    for (std::size_t i = 0; i < std::size(kTargets); ++i) {
        const Target target = kTargets[i];
        const SizeRow& row = m_rows[i];
        const auto points = static_cast<long long>(std::trunc(m_textSizes.pointSize(target)));
        row.label->setText(rowTitle(target) + u"："_s + QString::number(points) + u" pt"_s);
        row.smaller->setEnabled(m_textSizes.canPerform(Action::decrease, target));
        row.bigger->setEnabled(m_textSizes.canPerform(Action::increase, target));
        row.reset->setEnabled(m_textSizes.canPerform(Action::reset, target));
    }
    m_showsSource->setChecked(m_presentation.prefersSource());
    m_showsHistory->setChecked(m_presentation.prefersHistory());
}

}  // namespace tavrine
