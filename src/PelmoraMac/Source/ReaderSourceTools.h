#pragma once

#include <QWidget>

#include <functional>

class QLabel;
class QLineEdit;
class QTimer;

namespace tavrine {

class ReaderReadingControlButton;
class ReaderSourceNavigation;

// The source pane's tool row: return to the playback position, find in the document (a button that
// turns into a find field with its match status and match navigation) and the pane's show/hide button,
// all at the trailing end of the row. It keeps no find state of its own: it shows the shared navigation
// and calls its operations, so the menus, the pane and the row always see one query. It binds no key
// but Return and Escape in its field; its help texts name the menu commands' keys.
//
// Main thread only; owned by its parent widget, the navigation outlives it.
class ReaderSourceTools final : public QWidget {
public:
    static constexpr int kHeight = 28;
    static constexpr int kSpacing = 4;
    static constexpr int kFieldMinimumWidth = 64;
    static constexpr int kFieldIdealWidth = 160;
    static constexpr int kFieldMaximumWidth = 220;

    // showsSource: whether the source pane is wanted; canToggleSource: whether it may be shown or hidden
    // now; toggleSource shows or hides it; onInteraction is told when the user opens the find field.
    ReaderSourceTools(ReaderSourceNavigation& navigation, bool showsSource, bool canToggleSource,
                      std::function<void()> toggleSource, std::function<void()> onInteraction,
                      QWidget* parent = nullptr);
    ~ReaderSourceTools() override;

    ReaderSourceNavigation& navigation() const { return m_navigation; }

    // Told when the find area closes while it holds the keyboard focus (Escape in the field, or the close
    // button reached with Tab), after the row has let go of that focus; without it Qt hands the focus to
    // a neighbouring button, whose Space would then press it.
    void setOnFindFocusReleased(std::function<void()> onFindFocusReleased) {
        m_onFindFocusReleased = std::move(onFindFocusReleased);
    }

    // The application's state of the pane, given again whenever it changes. While the pane is not wanted
    // the row holds only the show/hide button.
    bool showsSource() const { return m_showsSource; }
    void setShowsSource(bool showsSource);
    bool canToggleSource() const { return m_canToggleSource; }
    void setCanToggleSource(bool canToggleSource);

    // What the controls do.
    // Follows playback again and reveals the phrase being played; the find state stays as it is.
    void returnToPlayback();
    // Shows and focuses the find field, stops following, then tells onInteraction.
    void openFind();
    // The next or previous match, wrapping around.
    void selectMatch(bool forward);
    // Ends the search, empties the query and hides the find field.
    void closeFind();
    // The query changed: a new search for it (the field calls it for the user's edits).
    void queryChanged();

private:
    // The find field with its match status and match buttons, shown in place of the find button.
    void buildFindArea();
    // What each control does when used.
    void connectControls();
    // Shows the navigation's and the pane's state: which controls stand, what they say, which are enabled.
    void refresh();
    // Focuses the field on a later turn of the event loop, once it stands; a newer request replaces it.
    void requestFieldFocus();

    ReaderSourceNavigation& m_navigation;
    bool m_showsSource;
    bool m_canToggleSource;
    std::function<void()> m_toggleSource;
    std::function<void()> m_onInteraction;
    std::function<void()> m_onFindFocusReleased;

    ReaderReadingControlButton* m_returnButton;
    ReaderReadingControlButton* m_findButton;
    QWidget* m_findArea;
    QLineEdit* m_field;
    QLabel* m_status;
    ReaderReadingControlButton* m_previousButton;
    ReaderReadingControlButton* m_nextButton;
    ReaderReadingControlButton* m_closeButton;
    ReaderReadingControlButton* m_toggleButton;
    QTimer* m_focusTimer;
    bool m_findAreaShown = false;
};

}  // namespace tavrine
