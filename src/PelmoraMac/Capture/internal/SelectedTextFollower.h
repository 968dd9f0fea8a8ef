#pragma once

#include "PelmoraMac/Capture/AccessibilityBus.h"
#include "PelmoraMac/Capture/internal/AskedAgain.h"
#include "PelmoraMac/Capture/internal/DrawnLines.h"
#include "PelmoraMac/Capture/internal/FollowedNode.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>

namespace tavrine {

// A text put together from what several objects gave, with where each stretch of it was read.
struct FollowedText {
    // An object whose text was read: the range read (the bus's offsets), the text it gave, and the object
    // behind each object replacement character of that text, in order (none where the bus named none).
    struct Source {
        AccessibleElement element;
        AccessibleTextRange range;
        QString text;
        QList<std::optional<AccessibleElement>> objects{};

        bool operator==(const Source&) const = default;
    };
    // A stretch of `text`, from `at`, that is `length` units of a source's text from `from` on.
    struct Run {
        qsizetype at = 0;
        qsizetype source = 0;
        qsizetype from = 0;
        qsizetype length = 0;

        bool operator==(const Run&) const = default;
    };

    QString text;
    QList<Source> sources;
    // In the order of the text; what lies between them (line breaks between blocks, an object's place
    // holder) was read from no object.
    QList<Run> runs;

    bool operator==(const FollowedText&) const = default;
};

// Reads the selected text of an element with each object replacement character in it followed to the
// selected part of its object's text (a web page's text holds one for each of its elements: a paragraph,
// a list, a link), and so on inside those objects. The objects are asked level by level, each level's in
// one batch of calls per question, so that a paragraph of a thousand links costs a few round trips; the
// text is then put together in the order it is read in.
//
// An object adds nothing when it is none, a field (a password field or any other: its value is never
// asked for), has nothing selected or no text, or its selected text holds nothing to read, or the
// selection covers only a list item's marker (the bullet or number a page draws before the item's own
// text): its place holder stays in the text, which the reading leaves out. A block of the page (a
// paragraph, a heading, an item of a list: display other than inline) stands apart from what is around
// it, a blank line between; a ruby annotation and its parts are never blocks. An element inline in HTML
// that the browser shows as a block where its container is left out of the bus, tells no display or lays out
// items (a flex or grid container) is placed by where it is drawn, and so are the blocks the bus leaves out
// within one object's text (`DrawnLineFinder`, in a web page only): two pieces the page draws on different
// lines never run together, pieces drawn touching in one line stay in it. One instance per read; `check`
// sees the deadline and the cancellation before and after each batch.
//
// Limits end the read rather than cut it: tooLong once what was read and the objects still to follow
// (each at least a unit) pass the text limit, before those are followed; selectionUnknown when an object
// is nested deeper than the depth limit. A web page is read whole or not at all: an object the page took away
// or is making again while it is read (no role, a selection without text, nothing selected inside the
// selected stretch though it has text, a place holder named no object in a text that changed) ends the read
// with sourceChanged, never a text with its words missing; a place holder named no object in a text still as it
// was read is the page's own character, among other text or alone in its paragraph (`unsettled`). Once read, every
// text and every place holder's object is asked again, and the page's whole text where its range was told by its
// objects: the reading stands only where each is as it was read, so that it holds of the page at one moment (a box
// emptied and filled between two questions, a paragraph rewritten after it was read, a picture put in before the
// objects were named end the read with sourceChanged).
class SelectedTextFollower {
public:
    // The longest text, in UTF-16 units, and the deepest nesting of objects followed.
    struct Limits {
        qsizetype textUnits = 0;
        int depth = 0;
        // The text is a web page's: its objects are placed where they are drawn, and every place holder
        // stands for an object.
        bool webPage = false;
    };

    // How often a page's elements answered with no attributes at all are asked again, and the first pause
    // before it (each next pause twice as long).
    static constexpr int kAttributesRounds = 3;
    static constexpr std::chrono::milliseconds kAttributesPause{20};
    // The most objects of a page whose selection its objects tell.
    static constexpr qsizetype kPageObjects = 64;

    SelectedTextFollower(AccessibilityBus& bus, CaptureDeadline deadline, std::function<CaptureResult<void>()> check,
                         Limits limits);

    // The text of `range` of `element`, its objects followed; none when the element gives no text; tooLong
    // over the limit.
    CaptureResult<std::optional<QString>> read(const AccessibleElement& element, AccessibleTextRange range);
    // The selected range of a web page whose text is made of objects alone (at most kPageObjects), told by its
    // objects' selections rather than asked of the page: from the first object that holds some of the selection
    // to the last, the range the page gives. A browser takes long to tell a page's selection where it begins and
    // ends among thousands of objects (Chromium 0.5 s for a flex row of 5,000 items) and little to tell its
    // objects'. None where the page's text holds more than objects, an object is not named or is a field, or
    // none holds any of the selection: the page is asked.
    CaptureResult<std::optional<AccessibleTextRange>> rangeFromObjects(const AccessibleElement& page);
    // The page's whole text as rangeFromObjects found it, none before it asked.
    std::optional<QString> pageText() const { return m_pageText.value_or(std::nullopt); }
    // Whether the last read asked any of these objects (by their paths) what it holds.
    bool asked(const QStringList& paths) const;
    // The text that the last read gave, with where each stretch of it was read.
    FollowedText followed() const;
    // The objects of the page inside the selected stretch that showed no text though they are no image, and
    // the place holders for which the bus named no object: each may have been read as the page made it
    // again, so the reading holds only when the next read gives the same text with the same objects and
    // places so (a page that makes its objects again makes new ones).
    const QStringList& unsettled() const { return m_unsettled; }

private:
    using Node = FollowedNode;

    // Where an object found in a text goes: the node whose text holds it, and its place in that node's list.
    struct Slot {
        qsizetype owner = 0;
        qsizetype object = 0;
    };

    template <typename Answers>
    Answers batch(const std::function<Answers(CaptureDeadline)>& calls);
    // Reads the texts of the nodes from `first` on, then finds and describes the objects in them as new
    // nodes; returns the index of the first new node.
    CaptureResult<qsizetype> readLevel(qsizetype first);
    CaptureResult<void> addObjects(const QList<AccessibleTextOffset>& places, const QList<Slot>& targets);
    // The first selection of each of these elements.
    AccessibleAnswers<AccessibleTextRange> selectionsOf(const QList<AccessibleElement>& elements);
    // The object attributes of these elements; in a web page, those answered with none asked again.
    AccessibleAnswers<QMap<QString, QString>> describe(const QList<AccessibleElement>& elements);
    // Marks the list items of which the selection covers only the marker.
    CaptureResult<void> findLoneMarkers();

    // An object of a selected text with nothing selected in it: its role, and whether it stands inside the
    // selected stretch of its owner's text (not at either end of it, where the selection may end inside it).
    struct Idle {
        AccessibleElement element;
        std::uint32_t role = 0;
        bool inside = false;
    };

    // Objects that vanished in a web page end the read.
    CaptureResult<void> ensureFound(bool found) const;
    // Object replacement characters of these nodes' texts for which the bus named no object: characters of
    // the page's text where the nodes' texts are still as they were read, else the page changed them.
    CaptureResult<void> ensureLiteral(const QList<AccessibleTextOffset>& places);
    // Nodes whose texts read are place holders alone, `unnamed` of them named no object each: characters of the
    // page's text only where the whole text holds more place holders than the object has objects.
    CaptureResult<void> ensureSpareHolders(const QList<qsizetype>& owners, const QList<int>& unnamed);
    // Objects with nothing selected: one inside the selected stretch that has text, or one the bus no longer
    // finds, was changed by the page while it was read.
    CaptureResult<void> ensureIdleUnchanged(const QList<Idle>& idle);
    // Objects selected whole (these nodes) that gave no text, or an empty one: one gone, or one whose empty text
    // has something selected, was changed by the page while it was read.
    CaptureResult<void> ensureWholeGiven(const QList<qsizetype>& unread);
    // Objects that gave no text at all: each must still be there.
    CaptureResult<void> ensureStillShown(const QList<AccessibleElement>& untold);
    // Every text read still the same over its range, and every place holder's object the same: else the page changed
    // while it was read.
    CaptureResult<void> ensureStillAsRead();
    CaptureResult<bool> appendText(const Node& node, QString& text);
    void appendRun(const Node& node, qsizetype from, qsizetype to, QString& text);
    CaptureResult<bool> appendObject(const Node& node, QString& text);
    // Ends the paragraph that the text ends in, with a blank line, unless it is empty or ends in one.
    void startParagraph(QString& text);
    // Ends the line that the text ends in, unless it is empty or ends in a line feed.
    void startLine(QString& text);

    AccessibilityBus& m_bus;
    CaptureDeadline m_deadline;
    std::function<CaptureResult<void>()> m_check;
    Limits m_limits;
    QList<Node> m_nodes;
    // The selections told of objects (asked, or told as the first or last of an object made of objects alone, or
    // by those), by their paths: in the one read of this instance, with the page's range found before it.
    QHash<QString, std::optional<AccessibleTextRange>> m_selections;
    QStringList m_unsettled;
    // The whole text of the page whose range its objects were asked for, as it was then: a page whose objects change
    // changes its text of place holders, and with it where its selection lies.
    std::optional<std::optional<QString>> m_pageText;
    // A block ended the text: what comes next starts a paragraph; or what comes next was drawn on a line of
    // its own.
    bool m_paragraphEnded = false;
    bool m_lineEnded = false;
    // The breaks each node's text takes where its pieces are drawn apart.
    QList<QList<DrawnBreak>> m_breaks;
    // Units to read in the texts read so far, of every level.
    qsizetype m_readableUnits = 0;
    // The text put together, and where its stretches come from (sources are nodes).
    QString m_text;
    QList<FollowedText::Run> m_runs;
};

template <typename Answers>
Answers SelectedTextFollower::batch(const std::function<Answers(CaptureDeadline)>& calls) {
    return checkedBatch(m_check, m_deadline, calls);
}

// Units of a text that are something to read: neither white space nor an object's place holder.
qsizetype readableUnits(QStringView text);
// Whether a text is made of object replacement characters alone (none at all counts as so).
bool isPlaceHoldersOnly(QStringView text);
// Whether an object of this role is a field: a password field, a one-line entry, a combo box.
bool isField(std::uint32_t role);
// Whether an object of this role shows no text of its own: an image, an icon, a rule between parts.
bool showsNoText(std::uint32_t role);

// Whether a text, white space aside, is only a list item's marker: a bullet, a dash, or a number or letter
// with its stop ("•", "–", "3.", "b)", "iv.", "二、").
bool isListMarker(QStringView text);

}  // namespace tavrine
