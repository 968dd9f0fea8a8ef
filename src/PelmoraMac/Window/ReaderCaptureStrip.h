#pragma once

#include "PelmoraMac/Capture/CaptureFailure.h"

#include <QFrame>
#include <QString>

#include <functional>
#include <optional>

class QBoxLayout;
class QLabel;
class QPushButton;
class QWidget;

namespace tavrine {

class ReaderImportNotice;

// The help text under a capture failure, in the strip and in the start view; none for most failures.
std::optional<QString> captureFailureHelp(CaptureFailure failure);

// The strip above the reader's panes that tells about captures: a failure (an import notice with the help
// behind its disclosure) and the ways to try again, a capture running, and hot keys that could not be
// registered. Every text takes the strip's whole width and as many lines as it needs, so the strip is as
// tall as its texts at the width it is given. Made once and refreshed in place from what the window hands
// it; the window shows and hides it. Main thread only.
class ReaderCaptureStrip final : public QFrame {
public:
    struct State {
        // The failure the strip shows: none when there is none or the start view shows it instead.
        std::optional<CaptureFailure> failure{};
        QString message{};
        bool isCapturing = false;
        bool hasDocumentText = false;
        // The failed capture did not read the clipboard and its source application still runs.
        bool canRetryInSource = false;
        bool isBlocked = false;
        bool canImportClipboard = false;
        bool isRequestingAutomation = false;
        QString shortcutLabel{};
        std::optional<QString> shortcutError{};
        std::optional<QString> clipboardShortcutError{};
    };

    struct Actions {
        std::function<void()> retryInSource{};
        std::function<void()> importClipboard{};
        std::function<void()> registerShortcuts{};
        // The accessibility permission row: ask for it, open the desktop's settings, read it again.
        std::function<void()> requestPermission{};
        std::function<void()> openPermissionSettings{};
        std::function<void()> refreshPermission{};
        std::function<void()> requestAutomation{};
        std::function<void()> openAutomationSettings{};
        std::function<void()> cancel{};
    };

    explicit ReaderCaptureStrip(Actions actions, QWidget* parent = nullptr);

    void apply(const State& state);

    QPushButton& retryInSourceButton() const { return *m_retryInSource; }
    QPushButton& importClipboardButton() const { return *m_importClipboard; }
    QPushButton& cancelButton() const { return *m_cancel; }
    // The failure's message with its help; hidden while there is no failure.
    ReaderImportNotice& failureNotice() const { return *m_notice; }
    // The accessibility permission buttons, shown while a capture needs the permission.
    QWidget& permissionRow() const { return *m_permissionRow; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // The retry buttons stand in a row while it fits the width, else in a column.
    void arrangeRetryButtons();

    Actions m_actions;
    ReaderImportNotice* m_notice;
    QLabel* m_keptCaption;
    QLabel* m_retryCaption;
    QWidget* m_retryRow;
    QBoxLayout* m_retryLayout;
    QPushButton* m_retryInSource;
    QPushButton* m_importClipboard;
    QWidget* m_progress;
    QLabel* m_progressLabel;
    QLabel* m_shortcutError;
    QLabel* m_clipboardShortcutError;
    QPushButton* m_registerShortcuts;
    QWidget* m_permissionRow;
    QPushButton* m_requestAutomation;
    QPushButton* m_openAutomationSettings;
    QPushButton* m_cancel;
};

}  // namespace tavrine
