#include "PelmoraMac/Settings/ShortcutSetting.h"

#include "PelmoraMac/Settings/ShortcutRecorder.h"
#include "ReaderCore/MainThread.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderWidgets/Style/ReaderTextStyle.h"
#include "ReaderWidgets/Style/SelectableText.h"
#include "ReaderWidgets/Style/ToQColor.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tavrine {
using namespace Qt::StringLiterals;

ShortcutSetting::ShortcutSetting(GlobalCaptureShortcut& shortcut, GlobalCaptureShortcut& other, const QString& title,
                                 QWidget* parent)
    : QWidget(parent),
      m_shortcut(shortcut),
      m_other(other),
      m_current(new QLabel),
      m_recorder(new ShortcutRecorder),
      m_save(new QPushButton(u"保存して適用"_s)),
      m_reset(new QPushButton(u"初期キーに戻す"_s)),
      m_error(new QLabel) {
    Q_ASSERT(isMainThread());
    auto* heading = new QLabel(title);
    heading->setTextFormat(Qt::PlainText);
    heading->setFont(readerFont(ReaderTextStyle::headline));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_recorder);
    buttons->addWidget(m_save);
    buttons->addWidget(m_reset);
    buttons->addStretch(1);
    auto* caption = new QLabel(u"「キーを変更」を押して組み合わせを入力し、保存します。Escで入力を中止できます。"_s);
    caption->setWordWrap(true);
    caption->setFont(readerFont(ReaderTextStyle::caption));
    QPalette secondary = caption->palette();
    secondary.setColor(QPalette::WindowText, toQColor(ReaderPalette::secondaryText));
    caption->setPalette(secondary);
    m_error->setTextFormat(Qt::PlainText);
    m_error->setWordWrap(true);
    m_error->setFont(readerFont(ReaderTextStyle::callout));
    // Selectable with the mouse, which leaves the keys on the recorder or its buttons; no stop of Tab, where
    // the settings window's style would show nothing on a label.
    setSelectableText(*m_error, TextSelection::byMouse);
    QPalette red = m_error->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    m_error->setPalette(red);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(heading);
    layout->addWidget(m_current);
    layout->addLayout(buttons);
    layout->addWidget(caption);
    layout->addWidget(m_error);

    m_recorder->onChord = [this](GlobalCaptureShortcut::Chord chord) {
        m_draft = chord;
        refresh();
    };
    m_recorder->onRecordingChanged = [this](bool recording) {
        for (GlobalCaptureShortcut* hotKey : {&m_shortcut, &m_other}) {
            if (recording) {
                hotKey->suspend();
            } else {
                hotKey->resume();
            }
        }
    };
    connect(m_save, &QPushButton::clicked, this, &ShortcutSetting::save);
    connect(m_reset, &QPushButton::clicked, this, &ShortcutSetting::reset);
    for (auto changed : {&GlobalCaptureShortcut::chordChanged, &GlobalCaptureShortcut::registrationChanged,
                         &GlobalCaptureShortcut::errorMessageChanged}) {
        connect(&m_shortcut, changed, this, &ShortcutSetting::refresh);
    }
    refresh();
}

void ShortcutSetting::save() {
    Q_ASSERT(isMainThread());
    if (!m_draft) return;
    if (m_shortcut.setChord(*m_draft, m_other.chord(), /*persist=*/true)) m_draft.reset();
    refresh();
}

void ShortcutSetting::reset() {
    Q_ASSERT(isMainThread());
    const auto chord = GlobalCaptureShortcut::defaultChord(m_shortcut.command());
    if (m_shortcut.setChord(chord, m_other.chord(), /*persist=*/true)) m_draft.reset();
    refresh();
}

void ShortcutSetting::refresh() {
    m_current->setText(u"現在の設定："_s + chordDisplayLabel(m_shortcut.chord()) + u"（"_s +
                       (m_shortcut.isRegistered() ? u"登録済み"_s : u"未登録"_s) + u"）"_s);
    m_recorder->setLabel(m_draft ? chordDisplayLabel(*m_draft) : ShortcutRecorder::kIdleLabel);
    m_save->setEnabled(m_draft.has_value());
    m_reset->setEnabled(!(m_shortcut.chord() == GlobalCaptureShortcut::defaultChord(m_shortcut.command()) &&
                          m_shortcut.isRegistered()));
    m_error->setVisible(m_shortcut.errorMessage().has_value());
    m_error->setText(m_shortcut.errorMessage().value_or(QString()));
}

}  // namespace tavrine
