#pragma once

#include <QWidget>

#include <functional>

class QScreen;
class QTabWidget;

namespace tavrine {

class BrowserAutomationConsent;
class CaptureModel;
class CaptureSettingsTab;
class GlobalCaptureShortcut;
class MacUpdateController;
class ReaderPresentation;
class ReaderTextSizeSettings;
class ReadingSettingsTab;

// The settings window: one top-level window without a menu bar, 580×560 with 12 pixels around its tabs,
// "読書", "取り込みと連携" and "アップデート", which show the settings the application's objects hold (it owns
// none of them, so a change here is seen at once everywhere). The window's title is the name of the tab
// shown. Ctrl+W closes it.
//
// It tells the application whether it is the active window (onKeyWindowChange): false when it is shown
// and, one turn of the event loop later, whether it is active then; then true on each activation, false on
// each deactivation, on hiding and on closing. Each time it is shown, and each time the application
// becomes active while it is visible, the accessibility permission is read again.
//
// Made by the application the first time it is opened, and kept; main thread only.
class ReaderSettingsView final : public QWidget {
    Q_OBJECT

public:
    static constexpr QSize kSize{580, 560};

    struct Inputs {
        ReaderTextSizeSettings& textSizes;
        ReaderPresentation& presentation;
        MacUpdateController& updates;
        CaptureModel& capture;
        BrowserAutomationConsent& browserConsent;
        GlobalCaptureShortcut& shortcut;
        GlobalCaptureShortcut& clipboardShortcut;
        // Registers both hot keys again.
        std::function<void()> retryRegistration;
        std::function<void(bool isActive)> onKeyWindowChange;
    };

    explicit ReaderSettingsView(Inputs inputs, QWidget* parent = nullptr);

    // Moves the window, frame included where a window manager has framed it before, to the centre of the
    // screen's available area; a frame larger than that area keeps to its top-left corner.
    void centreOn(const QScreen& screen);
    static QPoint centredFramePosition(QSize frameSize, const QRect& area);

    QTabWidget& tabs() const { return *m_tabs; }
    ReadingSettingsTab& readingTab() const { return *m_readingTab; }
    CaptureSettingsTab& captureTab() const { return *m_captureTab; }

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void report(bool isActive);

    CaptureModel& m_capture;
    std::function<void(bool)> m_onKeyWindowChange;
    QTabWidget* m_tabs;
    ReadingSettingsTab* m_readingTab;
    CaptureSettingsTab* m_captureTab;
};

}  // namespace tavrine
