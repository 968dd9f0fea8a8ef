#pragma once

#include "PelmoraMac/Capture/AccessibilityBus.h"
#include "PelmoraMac/Capture/internal/FollowedNode.h"

#include <QHash>
#include <QList>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <tuple>

namespace tavrine {

// A break that a node's text takes before one of its units.
struct DrawnBreak {
    qsizetype at = 0;
    TextBreak kind = TextBreak::none;

    bool operator==(const DrawnBreak&) const = default;
};

// Tells where the pieces of a web page's text followed over the bus are drawn on lines of their own, where
// the objects' attributes cannot tell it: a browser leaves out of the bus a container that shows nothing of
// its own (a <div> of flex items, a <span> made a block), so that two text nodes of two blocks stand side by
// side in one object's text, and gives the items of a flex row, of a flex column and blocks made of links
// or <span>s one and the same display.
//
// Two places are looked at. Where the bus divides an object's own text into paragraphs (Chromium starts one
// wherever the page starts a block or a flex item), each paragraph start inside a stretch of the text between
// two objects; the paragraphs are asked for in each stretch that draws two characters or more, in a run
// between two blocks of at most kParagraphObjects objects inline, all stretches' questions one batch a round
// (the place of an object parts pieces already: its standing tells what comes between). A text that holds no
// object is asked only where the bus shows it made of several text nodes (one text node flows in one block),
// and where of more than kParagraphTextNodes, only the rows it is drawn in are found; the text of a placed object
// only where the row it is drawn in is higher than one line. And on both sides of each
// object that the follower could not place by its attributes (`FollowedNode::placed`). At each of these, the last
// character drawn before and the first drawn after are compared, their boxes asked for in one batch: two characters
// touching in one line share it (a <b> in a flex paragraph), two drawn apart in one line (a gap between a row's items)
// take a line end, and two on different lines a paragraph break, or a line end in a container known to lay out its
// items in lines (past kBoxPairs places, only where the rows change: `findRows`). Where the text itself holds a line
// feed there, or a block stands between, or the bus tells no box (or an empty one, still, after asking again a few
// times), nothing is added. Objects shown inline are not divided (a link wraps as a line of text does). One instance
// per text; `check` sees the deadline and the cancellation before and after each batch.
class DrawnLineFinder {
public:
    // How many places of a stretch of text are asked for their paragraphs in one round: one each
    // kParagraphSpacing code points, at most kParagraphSpread.
    static constexpr int kParagraphSpacing = 4;
    static constexpr int kParagraphSpread = 1'024;
    // The most objects inline in a run of text between two blocks whose paragraphs are asked for: Chromium
    // takes time in proportion to a paragraph's objects to tell where it ends (340 ms for 2,000 links), and a
    // paragraph of so many inline objects (a line of links) is one flow of text.
    static constexpr qsizetype kParagraphObjects = 64;
    // The most text nodes of an object's text whose paragraphs are asked for; past it only its rows are found.
    static constexpr int kParagraphTextNodes = 256;
    // The most candidates whose characters on both sides are asked for their boxes: past it, where a page
    // places more pieces than that (a wrapping row of a thousand items), only the rows they are drawn in are
    // found, and each row stays one line, its pieces together where they touch (`findRows`).
    static constexpr qsizetype kBoxPairs = 400;
    // How often boxes the application answers empty are asked for again, and the pause before the first time
    // (each next pause twice as long): Firefox answers its first questions so for a few tens of milliseconds
    // after it is first asked where anything is drawn, longer on a busy machine.
    static constexpr int kBoxRounds = 4;
    static constexpr std::chrono::milliseconds kBoxPause{20};
    // How many paragraph questions are asked at a time at least, how long those asked at a time may take at the
    // last ones' pace, and the time they leave before the deadline to find where the pieces are drawn: past it,
    // rows are found instead of paragraphs.
    static constexpr qsizetype kParagraphChunk = 8;
    static constexpr std::chrono::milliseconds kParagraphChunkTime{100};
    static constexpr std::chrono::milliseconds kParagraphReserve{250};

    DrawnLineFinder(AccessibilityBus& bus, CaptureDeadline deadline, std::function<CaptureResult<void>()> check);

    // For each node, the breaks its text takes, ascending by place.
    CaptureResult<QList<QList<DrawnBreak>>> find(const QList<FollowedNode>& nodes);

private:
    // A place of a node's text where a break may stand, and what it is when the pieces are on two lines.
    struct Candidate {
        qsizetype node = 0;
        qsizetype at = 0;
        TextBreak onAnotherLine = TextBreak::paragraph;
        // Only where it starts a drawn row is it asked for (`findRows`).
        bool rowsOnly = false;
        // Told in a stretch of a run of more than kParagraphObjects objects inline (its first unit), else -1:
        // its rows, and whether its pieces stand apart, are found apart from the objects around it (`findRows`).
        qsizetype part = -1;
    };

    // A stretch of a node's own text between two of its objects: where the next question goes (a code-point
    // offset) and where the stretch ends.
    struct Stretch {
        qsizetype node = 0;
        int next = 0;
        int end = 0;
        // Asked at places spread over it too: what remains of a stretch once its first paragraph is told.
        bool spread = false;
        // Of a run of more than kParagraphObjects objects inline: the index of the run's stretches still waiting
        // (`findParagraphStarts`), the next asked once this one's first paragraph tells where the run's goes on.
        qsizetype run = -1;
        // How many characters it draws.
        int drawn = 0;
        // The part its candidates belong to (`Candidate::part`).
        qsizetype part = -1;
    };

    template <typename Answers>
    Answers batch(const std::function<Answers(CaptureDeadline)>& calls);
    CaptureResult<void> findParagraphStarts();
    // Of the stretches of texts that hold no object, those whose paragraphs are asked for: made of several text
    // nodes, and of not so many that the questions would outlast the capture, whose rows only are found.
    CaptureResult<void> askableLeaves(QList<Stretch>& leaves);
    // Of each run of more than kParagraphObjects objects inline, the stretches (up to kParagraphObjects of those that
    // draw most) whose first and last characters are drawn on different lines: the text of blocks that the bus
    // leaves out (a grid's cells beside a flex row), or a paragraph's text that wraps.
    CaptureResult<void> multiLineStretches(QList<QList<Stretch>>& runs);
    // Asks for the paragraphs of these stretches, in rounds, a candidate at each start told; the stretches of
    // `crowded` runs wait for the one before them.
    CaptureResult<void> askParagraphs(QList<Stretch> open, QList<QList<Stretch>>& crowded);
    // The breaks that the candidates take where their characters are drawn; each row's start noted.
    CaptureResult<void> placeCandidates(QList<QList<DrawnBreak>>& breaks);
    // Of the stretches of placed objects' texts that hold no object (`m_placedLeaves`), those drawn in a row
    // higher than one line, or whose row's height the bus does not tell: one question a row instead of one
    // an object, for a wrapping row of thousands of items.
    CaptureResult<QList<Stretch>> leavesOfTallRows();
    void noteRowStart(qsizetype node, qsizetype at);
    // A candidate of its own row before each character drawn in the stretch but the first.
    void addRowCandidates(const Stretch& stretch);
    // Over kBoxPairs candidates (`asked`, indexes of m_candidates, whose characters before and after are
    // `places`, two each): a break where the character after a candidate is drawn on another line than the
    // character after the one before, found by asking for few of them (within a run of a node's text between
    // two blocks, a row's characters are drawn on one line, and the rows follow one another down), one a row
    // where the rows are alike (`inferRowEnds`). The pieces
    // side by side in a row take a line end each where the run's pieces stand apart (a grid's cells), as one
    // pair of them tells: the run's first candidate, or one inside a row.
    CaptureResult<void> findRows(const QList<qsizetype>& asked, const QList<AccessibleTextOffset>& places,
                                 QList<QList<DrawnBreak>>& breaks);
    // A row whose start alone is asked for (by indexes of `findRows`' order): the starts of the two rows before it,
    // and its own.
    struct RowStart {
        qsizetype rowBefore = 0;
        qsizetype row = 0;
        qsizetype start = 0;
    };
    // Tells, for each start drawn as the rows before it say, that the candidate before it is drawn in the row
    // before's line, and that it starts a row; the others are `unlike`.
    static void inferRowEnds(const QList<RowStart>& starts, QList<std::optional<AccessibleBox>>& after,
                             QList<bool>& known, QList<bool>& rowStart, QList<bool>& inferred, QList<bool>& unlike);
    static QList<QList<DrawnBreak>> sorted(QList<QList<DrawnBreak>> breaks);
    // The boxes of the characters at these places, those answered empty asked again.
    AccessibleAnswers<AccessibleBox> drawnBoxes(const QList<AccessibleTextOffset>& places);
    void addPlacedObjects();
    void addCandidate(qsizetype node, qsizetype at, TextBreak onAnotherLine, bool rowsOnly = false,
                      qsizetype part = -1);
    // The code-point offset of each unit of a node's text (and of its end), in the bus's offsets.
    const QList<int>& offsetsOf(qsizetype node);
    qsizetype unitAt(qsizetype node, int offset);
    // The character drawn first (or last) in a node's text, its objects followed.
    std::optional<AccessibleTextOffset> edgeOf(qsizetype node, bool first, int depth);
    // The character drawn last before a place of a node's text, or first from it (`forward`); none where a
    // block or a line feed comes first.
    std::optional<AccessibleTextOffset> drawnNear(qsizetype node, qsizetype at, bool forward);
    qsizetype objectIndexAt(qsizetype node, qsizetype at);
    // How many of a node's objects before a place of its text are blocks: the run of text between two blocks
    // that the place stands in.
    qsizetype blocksBefore(qsizetype node, qsizetype at);

    AccessibilityBus& m_bus;
    CaptureDeadline m_deadline;
    std::function<CaptureResult<void>()> m_check;
    const QList<FollowedNode>* m_nodes = nullptr;
    QHash<qsizetype, QList<int>> m_offsets;
    // How many objects a node's text holds before each of its units, once asked for.
    QHash<qsizetype, QList<qsizetype>> m_objectsBefore;
    // How many block objects a node's text holds before each of its units, once asked for.
    QHash<qsizetype, QList<qsizetype>> m_blocksBefore;
    QList<Candidate> m_candidates;
    // The texts of placed objects that hold no object, asked once their rows are known.
    QList<Stretch> m_placedLeaves;
    // The boxes told, by element and offset.
    std::map<std::tuple<QString, QString, int>, AccessibleBox> m_boxes;
    // Where a drawn row starts in a node's text (units), as the candidates' boxes told.
    QHash<qsizetype, QList<qsizetype>> m_rowStarts;
    // Where each candidate is in the list, by its node and place.
    std::map<std::pair<qsizetype, qsizetype>, qsizetype> m_candidateAt;
};

// What stands between two characters drawn in these boxes: nothing where they touch in one line, a line end
// where one line holds them apart, else `onAnotherLine`; nothing where a box is empty.
TextBreak breakBetween(const AccessibleBox& before, const AccessibleBox& after, TextBreak onAnotherLine);

}  // namespace tavrine
