#pragma once

#include "PelmoraMac/Source/InteractionTextView.h"

#include <QObject>
#include <QTextCharFormat>
#include <QTimer>

#include <functional>
#include <optional>

class QAbstractScrollArea;
class QRectF;
class QWidget;
class QKeyEvent;

namespace tavrine {

// The rules both source text views share.
namespace InteractionRules {

// Home, End, Page Up, Page Down and the arrows, with any modifiers: the user moves in the text, so the
// pane stops following playback (reported before the key is handled).
bool isNavigationKey(const QKeyEvent& event);
// Space with no modifier but Shift: never consumed by a view, so the window's playback toggle gets it.
bool isPlaybackKey(const QKeyEvent& event);
// Calls onUserScroll when the user moves a scroll bar of area by hand: a press on its slider or any
// action other than a drag step. valueChanged is never used, since the views' own reveals cause it too.
void reportUserScrolling(QAbstractScrollArea& area, QObject* context, std::function<void()> onUserScroll);
// The name and the help assistive technology gives a source text view.
void describeForAssistiveTechnology(QWidget& view);

// A reveal measures at most this many units of its range.
inline constexpr qsizetype kRevealMeasuredUnits = 256;
// Scrolls area by the least amount that shows bounds (content coordinates) with a margin above and below,
// its top kept in view when it is taller than the viewport; horizontally only when left is out of view.
void scrollToReveal(QAbstractScrollArea& area, const QRectF& bounds, double left);
// The playback phrase is painted in the highlight colours; a search match is underlined.
QTextCharFormat highlightFormat(InteractionTextView::Highlight highlight);

// A reveal waiting for the text's height: a range brought into view, or an offset put at the top.
struct InitialReveal {
    TextRange range;
    bool atTop = false;
};

// The one initial reveal a view keeps: tried on a later turn of the event loop after it is set, and
// again whenever the view asks (a resize); run once, when the text has its height, and only when its
// range lies in the text. A newer one replaces it, and a try meant for an older one does nothing.
class InitialRevealSlot {
public:
    struct Hooks {
        std::function<bool()> hasContentHeight;
        std::function<qsizetype()> textLength;
        std::function<void(TextRange)> reveal;
        std::function<void(qsizetype)> placeAtTop;
    };
    InitialRevealSlot(QObject* context, Hooks hooks) : m_context(context), m_hooks(std::move(hooks)) {}

    void set(InitialReveal reveal);
    // A load: nothing waits any more.
    void clear();
    const std::optional<InitialReveal>& waiting() const { return m_waiting; }
    quint64 generation() const { return m_generation; }
    // Runs the reveal waiting, if it is still the one of generation and the text has its height.
    void tryRun(quint64 generation);

private:
    QObject* m_context;
    Hooks m_hooks;
    std::optional<InitialReveal> m_waiting;
    quint64 m_generation = 0;
};

// The character a view put at its top and the scroll position that shows it there: the view's visible
// offset for as long as it stays at that position (the line's start would lose up to a line at each
// new wrapping).
struct PlacedTop {
    qsizetype offset = 0;
    int scrollValue = 0;
};
// The visible offset a view reports without measuring it: a top offset waiting, or the one it placed
// while its scroll position is still scrollValue; none when it is to be measured.
std::optional<qsizetype> placedTopOffset(const std::optional<InitialReveal>& waiting,
                                         const std::optional<PlacedTop>& placed, int scrollValue);

}  // namespace InteractionRules

// Work decided while painting or laying out, run on a later turn of the event loop: at most one per turn,
// and always the latest asked for (an earlier one waiting is dropped).
class ViewportUpdateQueue {
public:
    explicit ViewportUpdateQueue(QObject* context) : m_context(context) {}

    void schedule(std::function<void()> update) {
        m_update = std::move(update);
        if (m_scheduled) return;
        m_scheduled = true;
        QTimer::singleShot(0, m_context, [this] {
            m_scheduled = false;
            auto update = std::exchange(m_update, nullptr);
            if (update) update();
        });
    }
    void cancel() { m_update = nullptr; }
    bool isPending() const { return static_cast<bool>(m_update); }

private:
    QObject* m_context;
    std::function<void()> m_update;
    bool m_scheduled = false;
};

}  // namespace tavrine
