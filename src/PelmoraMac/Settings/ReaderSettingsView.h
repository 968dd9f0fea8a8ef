#pragma once

#include <QWidget>

class QTabWidget;

namespace tavrine {

class MacUpdateController;

// The settings window: one top-level window without a menu bar, 580×560, whose tabs show the settings the
// application's objects hold (it owns none of them, so a change here is seen at once everywhere). The
// window's title is the name of the tab shown.
//
// Made by the application the first time it is opened, and kept; main thread only.
class ReaderSettingsView final : public QWidget {
    Q_OBJECT

public:
    static constexpr QSize kSize{580, 560};

    explicit ReaderSettingsView(MacUpdateController& updates, QWidget* parent = nullptr);

    QTabWidget& tabs() const { return *m_tabs; }

private:
    QTabWidget* m_tabs;
};

}  // namespace tavrine
