#pragma once

#include "ReaderCore/ReadingDocument.h"
#include "ReaderCore/TextRange.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

class QAbstractScrollArea;

namespace tavrine {

// What every source text view is to the rest of the application: a read-only, selectable view of the
// whole text, its own scroll area, with the phrase being played and the current match drawn over it.
// Every offset it takes or gives is a UTF-16 offset of the source text. While one that cannot be edited
// has the focus, the Space key toggles playback as it does in the window itself: a view never consumes
// Space.
//
// User interaction (a navigation key, a click, the wheel, the scroll bars moved by hand) is reported
// through onInteraction; the view's own scrolling (reveals) never is. Main thread only.
class InteractionTextView {
public:
    enum class Highlight { playback, search };

    virtual ~InteractionTextView() = default;

    virtual bool isEditable() const { return false; }

    // The widget: the scroll area that holds the text.
    virtual QAbstractScrollArea* scrollArea() = 0;

    // Shows document at the point size: drops the selection, the highlights and any pending reveal.
    virtual void load(const ReadingDocument& document, double pointSize) = 0;
    virtual const QString& source() const = 0;
    qsizetype textLength() const { return source().size(); }

    virtual void setOnInteraction(std::function<void()> onInteraction) = 0;

    // Told when the user changes the selection or moves the caret (never for setSelectedRange).
    virtual void setOnSelectionChanged(std::function<void()> onSelectionChanged) = 0;

    // The selection (one range, empty for a caret); setting it neither scrolls nor reports interaction.
    virtual QList<TextRange> selectedRanges() const = 0;
    virtual void setSelectedRange(TextRange range) = 0;
    // The offset of the first character at the top of the visible area; none without text. While a top
    // offset waits (setInitialTopOffset), and after it was placed for as long as the view stays where it
    // put it, that offset itself: so steps that each keep the top keep the same character, not the start
    // of its line one line further back each time.
    virtual std::optional<qsizetype> visibleOffset() const = 0;

    // Brings range into view, 8 points clear of the edges, measuring at most its first 256 units; an
    // empty range reveals the character at its location. Before the text has a height the reveal waits
    // for it. A click, the wheel or a load cancels a reveal still waiting; a key does not.
    virtual void scrollRangeToVisible(TextRange range) = 0;
    virtual bool hasPendingReveal() const = 0;
    // Reveals range once the text first has a height, on a later turn of the event loop; a newer range
    // replaces one not yet revealed, and one that does not lie in the text is ignored.
    virtual void setInitialRevealRange(TextRange range) = 0;
    // As setInitialRevealRange, but the line that holds offset is put at the top of the view (as far as
    // the text reaches below it): the place of a view that shows the same text anew.
    virtual void setInitialTopOffset(qsizetype offset) = 0;
    // Whether the text has been laid out to a height (a reveal before that has nothing to scroll).
    virtual bool hasContentHeight() const = 0;

    // The phrase being read, while the pane follows playback; none otherwise, and none after a load. A
    // relayout (a new width or height, a top offset placed after a new point size) keeps the view's top
    // line unless that would leave this range out of view: then the range is revealed, as following does.
    virtual void setFollowedRange(std::optional<TextRange> range) = 0;

    // Draws highlight over range, or removes it (none). The range lies in the text and is not empty;
    // ReaderTextHighlight checks that.
    virtual void drawHighlight(Highlight highlight, std::optional<TextRange> range) = 0;

    // Writes exactly the selected source units to the clipboard as plain text; nothing when the
    // selection is empty.
    virtual void copySelection() = 0;
};

}  // namespace tavrine
