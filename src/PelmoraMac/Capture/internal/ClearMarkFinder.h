#pragma once

#include "PelmoraMac/Capture/AccessibilityBus.h"
#include "PelmoraMac/Capture/internal/SelectedTextFollower.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace tavrine {

// Tells which of the •, ◦ and ■ (isBrowserMaskCharacter) of a web page's text read over the accessibility
// bus the page shows in the clear.
//
// A browser draws each character of the text its page masks as one of these marks, and gives the marks as
// that text: on the bus, masked text differs from marks written in a text only in where it stands. Chromium
// shows each text node of a page as an object of its own: a static text without children, whose text stands
// in its parent's text as it is (where an element's object stands behind an object replacement character).
// A masked node's text is nothing but marks, one per character, its spaces and line breaks too. So a mark
// in such a text object that holds any other character is the page's own; a mark in a text object of
// nothing but marks may be masked text, and so is every mark that no such object accounts for: where the
// application shows no text objects of their own (Firefox gives a paragraph's text as the paragraph's), or
// the objects do not make up the text read. Clear text that is nothing but marks in a node of its own (a
// heading's "■" in an element alone) cannot be told from masked text, and is taken for it.
//
// Nothing is asked of a text without a mark. Otherwise the objects whose text read holds a mark are asked,
// each question to all of them in one batch: their children, the children's roles, whether each static text
// has children, and the text of those that have none. One instance per text; `check` sees the deadline and
// the cancellation before and after each batch.
class ClearMarkFinder {
public:
    // The most children of the objects holding marks looked at for one text; past it, every mark of the
    // text counts as masked.
    static constexpr qsizetype kChildLimit = 40'000;

    ClearMarkFinder(AccessibilityBus& bus, CaptureDeadline deadline, std::function<CaptureResult<void>()> check);

    // The places of the marks that the page shows in the clear, ascending, in `text` once its object
    // replacement characters are taken out. `followed` tells where `text` was read; without it, or when it
    // is another text's, no mark is shown in the clear.
    CaptureResult<QList<qsizetype>> clearMarks(const QString& text, const std::optional<FollowedText>& followed);

private:
    // An object whose text read holds a mark (a source of the text), and its children.
    struct Holder {
        qsizetype source = 0;
        QList<AccessibleElement> children{};
    };

    template <typename Answers>
    Answers batch(const std::function<Answers(CaptureDeadline)>& calls);
    // For each holder, the stretches of its full text (in units) that are text objects holding more than
    // marks; none where its children do not make up the text read.
    CaptureResult<QList<QList<std::pair<qsizetype, qsizetype>>>> clearStretches(const FollowedText& followed,
                                                                                const QList<Holder>& holders);

    AccessibilityBus& m_bus;
    CaptureDeadline m_deadline;
    std::function<CaptureResult<void>()> m_check;
};

}  // namespace tavrine
