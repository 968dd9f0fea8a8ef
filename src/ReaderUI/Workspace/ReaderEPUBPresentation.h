#pragma once

#include <QObject>

namespace tavrine {

// Whether the table-of-contents pane is to be shown: one flag shared by the application's menu command,
// the command context the menus read and the reader workspace, which shows the pane while it is set and
// clears it when the pane asks to close. Not saved between runs. Main thread; owned by the application
// (a workspace given none makes its own).
class ReaderEPUBPresentation : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool showsNavigation READ showsNavigation WRITE setShowsNavigation NOTIFY showsNavigationChanged)

public:
    explicit ReaderEPUBPresentation(QObject* parent = nullptr);

    bool showsNavigation() const { return m_showsNavigation; }
    // Storing the value the flag already holds tells nobody.
    void setShowsNavigation(bool shows);
    void toggleShowsNavigation() { setShowsNavigation(!m_showsNavigation); }

signals:
    void showsNavigationChanged(bool showsNavigation);

private:
    bool m_showsNavigation = false;
};

}  // namespace tavrine
