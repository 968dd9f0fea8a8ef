#pragma once

#include "PelmoraMac/Capture/X11/GlobalCaptureShortcut.h"

#include <QPushButton>
#include <QSize>
#include <QString>

#include <functional>

namespace tavrine {

// The button that listens for a new chord of a capture hot key. Idle it shows its label; a click (or
// Space while it has the focus) starts recording ("組み合わせを押してください…"), and the next key pressed
// ends it:
//
// - Escape cancels, Tab and Shift+Tab end it and move the focus on as usual: no chord;
// - any other key, with whatever modifiers are held, becomes a chord for onChord (whether it can be used
//   is decided when it is saved); the key as the keyboard's unshifted symbol, so Shift+1 is 1;
// - pressing a modifier alone, and the repeats of a key already held when recording began, change nothing.
//
// While recording, the key presses that would fire a shortcut elsewhere (the quit command, the menus)
// come here instead; losing the focus ends the recording without a chord. onRecordingChanged hears each
// start and end, so that the application's own hot keys can let their chords through meanwhile.
// Main thread only.
class ShortcutRecorder final : public QPushButton {
    Q_OBJECT

public:
    static constexpr QSize kSize{190, 28};
    static const QString kIdleLabel;
    static const QString kRecordingLabel;

    explicit ShortcutRecorder(QWidget* parent = nullptr);

    // The title while not recording.
    void setLabel(const QString& label);
    bool isRecording() const { return m_isRecording; }

    std::function<void(GlobalCaptureShortcut::Chord)> onChord;
    std::function<void(bool recording)> onRecordingChanged;

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void beginRecording();
    void endRecording();

    QString m_idleLabel = kIdleLabel;
    bool m_isRecording = false;
};

}  // namespace tavrine
