#pragma once

#include "PelmoraMac/Capture/X11/GlobalCaptureShortcut.h"

#include <QString>
#include <QWidget>

#include <optional>

class QLabel;
class QPushButton;

namespace tavrine {

class ShortcutRecorder;

// One capture hot key in the settings window: its title, the chord in force and whether it is
// registered, the recorder, "保存して適用" and "初期キーに戻す", a caption and, when the hot key has one,
// its error in red. A recorded chord is only a draft (shown on the recorder) until it is saved; nothing is
// registered or stored while recording. Saving and resetting go through the hot key itself, with the
// other hot key's chord as the one to differ from; a refused save keeps the draft and the hot key says
// why. While either row records, both hot keys let their chords through (suspended).
//
// Follows the hot key's chord, registration and error; main thread only; both hot keys must outlive it.
class ShortcutSetting final : public QWidget {
    Q_OBJECT

public:
    ShortcutSetting(GlobalCaptureShortcut& shortcut, GlobalCaptureShortcut& other, const QString& title,
                    QWidget* parent = nullptr);

    const std::optional<GlobalCaptureShortcut::Chord>& draft() const { return m_draft; }
    ShortcutRecorder& recorder() const { return *m_recorder; }
    QPushButton& saveButton() const { return *m_save; }
    QPushButton& resetButton() const { return *m_reset; }
    QLabel& currentLine() const { return *m_current; }
    QLabel& errorLabel() const { return *m_error; }

    void save();
    void reset();

private:
    void refresh();

    GlobalCaptureShortcut& m_shortcut;
    GlobalCaptureShortcut& m_other;
    std::optional<GlobalCaptureShortcut::Chord> m_draft;
    QLabel* m_current;
    ShortcutRecorder* m_recorder;
    QPushButton* m_save;
    QPushButton* m_reset;
    QLabel* m_error;
};

}  // namespace tavrine
