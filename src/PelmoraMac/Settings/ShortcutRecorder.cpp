#include "PelmoraMac/Settings/ShortcutRecorder.h"

#include "ReaderCore/MainThread.h"

#include <QFocusEvent>
#include <QKeyEvent>

namespace tavrine {
using namespace Qt::StringLiterals;

const QString ShortcutRecorder::kIdleLabel = u"キーを変更…"_s;
const QString ShortcutRecorder::kRecordingLabel = u"組み合わせを押してください…"_s;

namespace {

// The keys that only modify another: held alone they are no chord yet.
bool isModifierKey(int key) {
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_ScrollLock:
    case Qt::Key_Mode_switch:
    case Qt::Key_unknown: return true;
    default: return false;
    }
}

}  // namespace

ShortcutRecorder::ShortcutRecorder(QWidget* parent) : QPushButton(kIdleLabel, parent) {
    Q_ASSERT(isMainThread());
    setFixedSize(kSize);
    setAccessibleName(u"ショートカットのキーを変更"_s);
    setFocusPolicy(Qt::StrongFocus);
    setAutoDefault(false);
    connect(this, &QPushButton::clicked, this, &ShortcutRecorder::beginRecording);
}

void ShortcutRecorder::setLabel(const QString& label) {
    Q_ASSERT(isMainThread());
    m_idleLabel = label;
    if (!m_isRecording) setText(label);
}

void ShortcutRecorder::beginRecording() {
    setFocus(Qt::OtherFocusReason);
    if (!m_isRecording) {
        m_isRecording = true;
        if (onRecordingChanged) onRecordingChanged(true);
    }
    setText(kRecordingLabel);
}

void ShortcutRecorder::endRecording() {
    setText(m_idleLabel);
    if (!m_isRecording) return;
    m_isRecording = false;
    if (onRecordingChanged) onRecordingChanged(false);
}

bool ShortcutRecorder::event(QEvent* event) {
    if (m_isRecording) {
        if (event->type() == QEvent::ShortcutOverride) {
            // Taken here, the key press comes to this button rather than firing a shortcut.
            event->accept();
            return true;
        }
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) && !key->isAutoRepeat()) {
                endRecording();
                // The base class moves the focus on.
                return QPushButton::event(event);
            }
        }
    }
    return QPushButton::event(event);
}

void ShortcutRecorder::keyPressEvent(QKeyEvent* event) {
    if (!m_isRecording) {
        QPushButton::keyPressEvent(event);
        return;
    }
    event->accept();
    if (event->isAutoRepeat() || isModifierKey(event->key())) return;
    endRecording();
    if (event->key() == Qt::Key_Escape) return;
    if (onChord) onChord(GlobalCaptureShortcut::Chord::fromEvent(*event));
}

void ShortcutRecorder::focusOutEvent(QFocusEvent* event) {
    endRecording();
    QPushButton::focusOutEvent(event);
}

}  // namespace tavrine
