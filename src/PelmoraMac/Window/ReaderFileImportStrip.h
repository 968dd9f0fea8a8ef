#pragma once

#include <QFrame>
#include <QString>

#include <functional>
#include <optional>

class QLabel;
class QPushButton;

namespace tavrine {

class ReaderImportNotice;

// The strip under the capture strip that tells about a file import while the document list, which
// would tell it otherwise, is hidden: the import's notice (a failure with its warning triangle and the
// details behind "取り込みの詳細") and, while a file is read or saved, a progress line and, until the save
// begins, "取り込みをキャンセル". Its texts take the strip's whole width and as many lines as they need.
// Made once and refreshed in place; the window shows and hides it. Main thread only.
class ReaderFileImportStrip final : public QFrame {
public:
    struct State {
        std::optional<QString> message{};
        std::optional<QString> details{};
        bool isFailure = false;
        bool isImporting = false;
        bool isSaving = false;
        // The window's commands are blocked: the cancel button is disabled.
        bool isBlocked = false;
    };

    explicit ReaderFileImportStrip(std::function<void()> cancel, QWidget* parent = nullptr);

    void apply(const State& state);

    ReaderImportNotice& notice() const { return *m_notice; }
    QWidget& progress() const { return *m_progress; }
    QPushButton& cancelButton() const { return *m_cancel; }

private:
    ReaderImportNotice* m_notice;
    QWidget* m_progress;
    QLabel* m_progressLabel;
    QPushButton* m_cancel;
};

}  // namespace tavrine
