#pragma once

#include <QObject>
#include <QPointer>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

class QWidget;
class QWindow;

namespace tavrine {

class ReadingPlayer;

// Where the reader window's keyboard focus goes when the window or what it reads changes, so that Space
// plays what is open without a click first:
// - a reading opened with text (any import, the sample, a row of the document list, undo or redo of a
//   paste): the reading area is asked to take the focus;
// - the window shown, at first and each time it comes back: the reading area takes the focus at once;
// - the window activated while its focus rests nowhere it can show (on nothing yet, or on a widget since
//   hidden): the reading area takes it, rather than the first control in Tab order that Qt would pick;
// - an import or capture that failed (importFailed): the reading area is asked to take the focus, as after
//   one that succeeded.
// Each step leaves the focus alone while the user is at work with the keys (holdsKeyboardWork), in the
// window or in a popup of it that holds the keys (the narrow window's list). An import
// the user starts (importStarted) claims the keys for the reading it opens: from the list's search field
// (whose text stays) or the list whatever ring it showed, as from anywhere else, unless the user goes on
// working in the window (a key pressed there, or the focus moved by a click or Tab) before the reading
// opens. A failed import keeps no claim: a field typed in keeps the focus through it.
//
// A control that is disabled while it has the focus (the reading controls while an import runs) hands
// it, in Qt, to the next control in Tab order, whatever that is: whose Space then does something else
// than play. The reading area is asked to take the focus instead, unless the user has moved it meanwhile.
//
// The window the system activates also becomes the widgets' active window. Qt Widgets drops an activation
// that arrives while a popup is open (a file panel closed by Return in its completion list hands the
// system focus back to the reader while that list is still up): the reader then had the keyboard but no
// active window, so no menu key and no focus request reached it until the user clicked. Once no popup is
// left, the activation is taken over.
//
// Main thread; the window and the player must outlive it.
class ReaderWindowFocus final : public QObject {
    Q_OBJECT

public:
    struct Actions {
        // The application's focus request: the display, or with nothing open the start view's sample
        // button, takes the focus once the reading area has caught up.
        std::function<void()> requestFocus;
        // The reading area takes the focus now (the sample button or the display, whichever is shown).
        std::function<void()> focusNow;
    };

    ReaderWindowFocus(QWidget& window, ReadingPlayer& player, Actions actions, QObject* parent = nullptr);
    ~ReaderWindowFocus() override;

    // An import or capture began (a paste, a capture, a file read from the panel or a drop).
    void importStarted();
    // An import or capture ended without a reading.
    void importFailed();

    // Whether focus marks the user at work with the keys: typing in a text field that can be edited, or
    // walking the document list with the keys (focused by Tab or a key, its ring drawn).
    static bool holdsKeyboardWork(const QWidget* focus);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void readingChanged();
    class ClaimWatch;

    // Whether the keys go to the reading area now: the claim of an import is used up here.
    bool takesKeys();
    // Where the keys go now: the window's focus widget, or that of a popup of the window holding them.
    QWidget* keyboardFocus() const;
    void endImportClaim();
    // The user goes on working in the window, as an event delivered to one of its widgets tells.
    bool isWorkInWindow(const QObject* receiver, const QEvent& event) const;
    void focusWindowChanged(QWindow* focusWindow);
    void focusChanged(QWidget* old, QWidget* now);
    // The focus that a disabled control handed on is still where Qt put it: the reading area takes it.
    void reclaimHandedOnFocus();
    // Makes the window the widgets' active window when the system's focus is on it and no popup stands in
    // the way.
    void adoptActivation();

    QWidget& m_window;
    ReadingPlayer& m_player;
    Actions m_actions;
    std::optional<QUuid> m_readingID;
    // The popup whose closing an activation of the window waits for.
    QPointer<QWidget> m_blockingPopup;
    // Where Qt moved the focus of a control as it was disabled; null for nothing, or none pending.
    QPointer<QWidget> m_handedOnFocus;
    bool m_reclaimPending = false;
    // An import started and has opened no reading yet; the application's events are watched meanwhile.
    bool m_importClaimsKeys = false;
    std::unique_ptr<ClaimWatch> m_claimWatch;
};

}  // namespace tavrine
