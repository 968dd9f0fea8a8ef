#pragma once

#include "PelmoraMac/Window/ReaderCommandActions.h"

#include <QToolBar>

class QFrame;

namespace tavrine {

class ReaderEPUBPresentation;
class ReaderImportMenu;
class ReaderLibraryButton;
class ReaderPresentation;
class ReaderToolbarTitle;
class ReaderVisibilityToggle;
class ReaderWindowState;
class ReaderWorkspaceController;
class ReadingPlayer;

// The reader window's toolbar: the document list's switch and the name of the reading at the left, the
// import menu and the library button at the right. Each follows the window's command state and acts
// through the application's commands.
//
// In a window too narrow for the list beside the reader, the switch opens the list as a popup under it
// (340 × 560) with the switch for the wide layout above it; closing the popup clears the compact list. A
// popup takes the keyboard, so it carries the reader window's actions too. Main thread only; the objects
// of its inputs must outlive it.
class ReaderWindowToolbar final : public QToolBar {
    Q_OBJECT

public:
    static constexpr QSize kCompactListSize{340, 560};

    struct Inputs {
        ReaderWindowState& state;
        ReadingPlayer& player;
        ReaderPresentation& presentation;
        ReaderEPUBPresentation& epubPresentation;
        ReaderWorkspaceController& workspace;
        ReaderCommandActions actions;
    };

    explicit ReaderWindowToolbar(Inputs inputs, QWidget* parent = nullptr);
    ~ReaderWindowToolbar() override;

    ReaderVisibilityToggle& historyToggle() const { return *m_historyToggle; }
    ReaderToolbarTitle& title() const { return *m_title; }
    ReaderImportMenu& importMenu() const { return *m_importMenu; }
    ReaderLibraryButton& libraryButton() const { return *m_libraryButton; }
    // Made with the first compact list.
    QFrame* compactList() const { return m_compactList; }

    void refresh();

private:
    void showCompactList(bool shows);

    Inputs m_in;
    ReaderVisibilityToggle* m_historyToggle;
    ReaderToolbarTitle* m_title;
    ReaderImportMenu* m_importMenu;
    ReaderLibraryButton* m_libraryButton;
    QFrame* m_compactList = nullptr;
};

}  // namespace tavrine
