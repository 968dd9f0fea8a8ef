#pragma once

#include <QObject>

#include <functional>

namespace tavrine {

// Watches every window of the application for window-modal dialogs (the sheets of this desktop: a
// dialog opened with open() over its window): onSheet(true) when one is shown, onSheet(false) when one is
// hidden. Installed on the application while it lives; main thread only.
class WindowSheetWatcher final : public QObject {
public:
    explicit WindowSheetWatcher(std::function<void(bool shown)> onSheet, QObject* parent = nullptr);
    ~WindowSheetWatcher() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void(bool)> m_onSheet;
};

}  // namespace tavrine
