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
// heading's "■" in an element alone) cannot be told from masked text, and is taken for it. The bullet a
// browser draws before a list item (its "::marker", a text object of no text node) is no text of the page
// and is left out, as the page leaves it out of its own selection.
//
// Nothing is asked of a text without a mark. Otherwise the objects whose text read holds a mark are asked
// how many children they have, then for their children. Where the text read holds an object replacement
// character, the bus has named the object there already: between two such objects, a lone child holds the
// text between them. Only the other children are asked for their roles, whether they have children and
// their texts; the lone children that would keep a mark, for their roles and whether they have children;
// and a first child that would keep one, for its attributes (a marker's tag). Each question is one batch.
// One instance per text; `check` sees the deadline and the cancellation before and after each batch.
class ClearMarkFinder {
public:
    // The most children of the objects holding marks looked at for one text; past it, every mark of the
    // text counts as masked. Chromium lists 4,000 children in about 300 ms.
    static constexpr qsizetype kChildLimit = 10'000;

    ClearMarkFinder(AccessibilityBus& bus, CaptureDeadline deadline, std::function<CaptureResult<void>()> check);

    // The places of the marks that the page shows in the clear, ascending, in `text` once its object
    // replacement characters are taken out. `followed` tells where `text` was read; without it, or when it
    // is another text's, no mark is shown in the clear.
    CaptureResult<QList<qsizetype>> clearMarks(const QString& text, const std::optional<FollowedText>& followed);

private:
    // An object whose text read holds a mark (a source of the text), its children, and what is known of
    // each child: the object named at an object replacement character of the text read, the text that
    // stands between two such objects where the child is alone there, or nothing yet (it is asked).
    struct Holder {
        qsizetype source = 0;
        QList<AccessibleElement> children{};
        QList<bool> named{};
        QList<std::optional<QString>> texts{};
        // Where the text read does not tell the children apart: none of its marks is shown in the clear.
        bool unknown = false;
    };

    template <typename Answers>
    Answers batch(const std::function<Answers(CaptureDeadline)>& calls);
    // Fills in what the text read tells of the holder's children.
    static void place(const FollowedText::Source& source, Holder& holder);
    // For each holder, the stretches of the text read (in units) that lie in a text object holding more
    // than marks.
    CaptureResult<QList<QList<std::pair<qsizetype, qsizetype>>>> clearStretches(const FollowedText& followed,
                                                                                QList<Holder>& holders);

    AccessibilityBus& m_bus;
    CaptureDeadline m_deadline;
    std::function<CaptureResult<void>()> m_check;
};

}  // namespace tavrine
