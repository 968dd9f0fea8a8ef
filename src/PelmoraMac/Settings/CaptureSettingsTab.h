#pragma once

#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;
class QScrollArea;

namespace tavrine {

class BrowserAutomationConsent;
class BrowserConsentList;
class CaptureModel;
class GlobalCaptureShortcut;
class ReaderPermissionButtons;
class ShortcutSetting;

// The settings window's "取り込みと連携" tab, in a scroll area: the rows of the two capture hot keys with
// their caption and "ショートカットを再登録" (retryRegistration); then the integration with other
// applications: the accessibility permission's state, its explanation and its three buttons, the hint
// shown while it is not granted, and, while a browser capture failed for want of the browser's consent,
// the browser's state and the button that asks for it (or, once refused, asks again); last, each
// installed browser's consent, which the user can withdraw here (BrowserConsentList).
//
// Follows the capture model and the consent; main thread only; every object must outlive it.
class CaptureSettingsTab final : public QWidget {
    Q_OBJECT

public:
    CaptureSettingsTab(CaptureModel& capture, BrowserAutomationConsent& consent, GlobalCaptureShortcut& shortcut,
                       GlobalCaptureShortcut& clipboardShortcut, std::function<void()> retryRegistration,
                       QWidget* parent = nullptr);

    // Scrolls to the accessibility permission: its state and its buttons (and the hint, when shown).
    void showPermission();

    ShortcutSetting& shortcutRow() const { return *m_shortcutRow; }
    ShortcutSetting& clipboardShortcutRow() const { return *m_clipboardShortcutRow; }
    QPushButton& retryButton() const { return *m_retry; }
    QLabel& accessibilityStatus() const { return *m_accessibility; }
    QLabel& deniedHint() const { return *m_deniedHint; }
    ReaderPermissionButtons& permissionButtons() const { return *m_permissionButtons; }
    QLabel& browserStatus() const { return *m_browserStatus; }
    QPushButton& browserButton() const { return *m_browserButton; }
    BrowserConsentList& browserConsentList() const { return *m_browserConsents; }

private:
    void refresh();

    CaptureModel& m_capture;
    ShortcutSetting* m_shortcutRow;
    ShortcutSetting* m_clipboardShortcutRow;
    QPushButton* m_retry;
    QLabel* m_accessibility;
    ReaderPermissionButtons* m_permissionButtons;
    QLabel* m_deniedHint;
    QLabel* m_browserStatus;
    QPushButton* m_browserButton;
    BrowserConsentList* m_browserConsents;
    QScrollArea* m_scroll;
};

}  // namespace tavrine
