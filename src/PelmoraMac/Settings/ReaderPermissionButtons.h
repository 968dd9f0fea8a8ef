#pragma once

#include <QString>
#include <QWidget>

class QPushButton;

namespace tavrine {

class CaptureModel;

// The accessibility permission's three buttons in a row, in the settings window: "権限を設定する" asks for the
// permission and reads it again, "システム設定を開く" shows where it is granted, and the third (titled
// recheckTitle, "状態を再確認") reads it again. Always enabled.
// Main thread only; the capture model must outlive the row.
class ReaderPermissionButtons final : public QWidget {
public:
    ReaderPermissionButtons(CaptureModel& capture, const QString& recheckTitle, QWidget* parent = nullptr);

    QPushButton& requestButton() const { return *m_request; }
    QPushButton& openSettingsButton() const { return *m_openSettings; }
    QPushButton& recheckButton() const { return *m_recheck; }

private:
    QPushButton* m_request;
    QPushButton* m_openSettings;
    QPushButton* m_recheck;
};

}  // namespace tavrine
