#pragma once

#include "PelmoraMac/Updates/ApplicationVersion.h"

#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;

namespace tavrine {

class MacUpdateController;

// The settings window's update pane: the two update preferences, the manual check, what updating sends
// and when it installs, the controller's status and the version line. Every control shows the
// controller's value: a toggle writes the updater's preference and then shows what the controller
// reports, so one the updater does not take goes back at once. When new versions come only from the
// source (UpdateDelivery::sourceBuild), every control is disabled and one line says so in place of the
// texts on checking and installing.
//
// Main thread only; the controller must outlive the pane.
class MacUpdateSettings final : public QWidget {
    Q_OBJECT

public:
    // What the pane says of a build that does not update itself.
    static const QString kSourceBuildLine;

    explicit MacUpdateSettings(MacUpdateController& updates, ApplicationVersion version = ApplicationVersion::current(),
                               QWidget* parent = nullptr);

private:
    void refresh();

    MacUpdateController& m_updates;
    QCheckBox* m_automaticallyChecks;
    QCheckBox* m_automaticallyDownloads;
    QPushButton* m_check;
    QLabel* m_status;
};

}  // namespace tavrine
