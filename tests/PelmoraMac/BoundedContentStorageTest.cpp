// The bounded view's content: 256-unit pieces inside real paragraphs, their styling, enumeration in both
// directions, the trimmed element cache (driven by a fake layout manager), and the colours drawn over them.
#include "PelmoraMac/Source/ReaderArticleStyle.h"
#include "PelmoraMac/Source/ReaderBoundedContentStorage.h"
#include "PelmoraMac/Source/ReaderBoundedLayoutManager.h"
#include "ReaderUI/ReaderPalette.h"
#include "ReaderWidgets/Style/ToQColor.h"
#include "support/EventLoop.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace tavrine {
namespace {

using Kind = ReadingDocument::Span::Kind;
using Span = ReadingDocument::Span;
using Direction = ReaderBoundedContentStorage::Direction;

ReadingDocument documentOf(QString text, QList<Span> spans = {}) {
    return {.sections = std::nullopt, .text = std::move(text), .spans = std::move(spans)};
}

class FakeLayoutManager final : public ReaderBoundedLayoutManager {
public:
    std::optional<TextRange> protectedRange() const override { return visible; }
    void invalidate(TextRange range) override { invalidated.append(range); }

    std::optional<TextRange> visible;
    QList<TextRange> invalidated;
};

// The pieces handed out from location on, in the direction, as many as asked for.
QList<TextRange> handOut(ReaderBoundedContentStorage& storage, std::optional<qsizetype> location, Direction direction,
                         qsizetype count) {
    QList<TextRange> ranges;
    storage.enumerateTextElements(location, direction, [&](const auto& element) {
        ranges.append(element->range);
        return ranges.size() < count;
    });
    return ranges;
}

TEST(BoundedContentStorageTest, PiecesTileParagraphsWithoutSplittingASequenceAndJoinWithoutSpacing) {
    // A 600-unit list item, a surrogate pair across unit 256 of a paragraph, a sequence of 300 units.
    const QString item = QString(599, u'a') + u'\n';
    const QString pair = QString(255, u'b') + u"😀"_s + u"c\n"_s;
    const QString longSequence = u'e' + QString(299, QChar(0x0301)) + u'\n';
    const QString text = item + pair + longSequence;
    ReaderBoundedContentStorage storage(
        documentOf(text, {{.kind = Kind::listItem, .start = 0, .end = 600, .level = 1}}), 15);

    const QList<TextRange> expected{{0, 256},   {256, 512},  {512, 600},  {600, 855},
                                    {855, 859}, {859, 1159}, {1159, 1160}};
    EXPECT_EQ(storage.ranges(), expected);
    EXPECT_EQ(storage.paragraphs()[1], (TextRange{0, 600}));
    EXPECT_EQ(storage.paragraphRange(858), (TextRange{600, 859}));
    EXPECT_EQ(storage.paragraphRange(text.size()), (TextRange{text.size(), text.size()}));

    QList<std::shared_ptr<const ReaderBoundedParagraph>> pieces;
    storage.enumerateTextElements(std::nullopt, Direction::forward, [&](const auto& element) {
        pieces.append(element);
        return pieces.size() < 3;
    });
    ASSERT_EQ(pieces.size(), 3);
    const double scale = 1;
    // Only the paragraph's first piece has its first line hang for the marker; only its last has
    // spacing after.
    EXPECT_DOUBLE_EQ(pieces[0]->format.leftMargin(), 18 * scale);
    EXPECT_DOUBLE_EQ(pieces[0]->format.textIndent(), -14 * scale);
    EXPECT_DOUBLE_EQ(pieces[0]->format.bottomMargin(), 0);
    EXPECT_DOUBLE_EQ(pieces[1]->format.bottomMargin(), 0);
    for (const auto& later : {pieces[1], pieces[2]}) {
        EXPECT_DOUBLE_EQ(later->format.textIndent(), 0);
        EXPECT_DOUBLE_EQ(later->format.topMargin(), 0);
        EXPECT_DOUBLE_EQ(later->format.leftMargin(), 18 * scale);
    }
    EXPECT_DOUBLE_EQ(pieces[2]->format.bottomMargin(), 10 * scale);
    EXPECT_EQ(pieces[2]->text, text.mid(512, 88));

    // An empty text has no pieces: nothing is handed out, and a trim is still scheduled.
    ReaderBoundedContentStorage empty(documentOf(QString()), 15);
    EXPECT_FALSE(empty.enumerateTextElements(std::nullopt, Direction::forward, [](const auto&) { return true; }));
    EXPECT_TRUE(empty.isTrimPending());
}

TEST(BoundedContentStorageTest, ElementsAreStyledFromPrototypesOfTheirSpans) {
    // strong | header cell (read linearly here) | heading over strong, inside one paragraph.
    const QString text = u"bold head title rest\n"_s;
    ReaderBoundedContentStorage storage(
        documentOf(text, {{.kind = Kind::strong, .start = 0, .end = 4},
                          {.kind = Kind::table, .start = 0, .end = text.size(), .level = 1},
                          {.kind = Kind::tableHeader, .start = 5, .end = 9},
                          {.kind = Kind::heading, .start = 10, .end = 15, .level = 3},
                          {.kind = Kind::strong, .start = 12, .end = 15}}),
        15);
    std::shared_ptr<const ReaderBoundedParagraph> element;
    storage.enumerateTextElements(0, Direction::forward, [&](const auto& handed) {
        element = handed;
        return false;
    });
    ASSERT_TRUE(element);
    const ReaderAttributedString whole = ReaderArticleStyle::attributedString(
        documentOf(text, {{.kind = Kind::strong, .start = 0, .end = 4},
                          {.kind = Kind::strong, .start = 5, .end = 9},
                          {.kind = Kind::heading, .start = 10, .end = 15, .level = 3},
                          {.kind = Kind::strong, .start = 12, .end = 15}}),
        15);
    // The element's formats tile it, and each unit has the whole-text typography's font and colours.
    qsizetype covered = 0;
    for (const QTextLayout::FormatRange& range : element->formats) {
        ASSERT_EQ(range.start, covered);
        for (qsizetype offset = range.start; offset < range.start + range.length; ++offset) {
            SCOPED_TRACE(offset);
            const QTextCharFormat expected = whole.attributes(offset).character;
            EXPECT_EQ(range.format.font(), expected.font());
            EXPECT_EQ(range.format.foreground(), expected.foreground());
        }
        covered += range.length;
    }
    EXPECT_EQ(covered, text.size());
    // bold | plain | header as bold | plain | heading (strong or not: one face) | plain
    EXPECT_EQ(element->formats.size(), 6);
}

TEST(BoundedContentStorageTest, EnumeratesForwardAndInReverseFromAnyLocation) {
    ReaderBoundedContentStorage storage(documentOf(QString(2560, u'a')), 15);
    ASSERT_EQ(storage.ranges().size(), 10);
    EXPECT_EQ(handOut(storage, 5 * 256 + 30, Direction::forward, 2), (QList<TextRange>{{1280, 1536}, {1536, 1792}}));
    EXPECT_EQ(handOut(storage, 5 * 256, Direction::reverse, 2), (QList<TextRange>{{1024, 1280}, {768, 1024}}));
    EXPECT_EQ(handOut(storage, std::nullopt, Direction::reverse, 1), (QList<TextRange>{{2304, 2560}}));
    EXPECT_EQ(handOut(storage, 2560, Direction::forward, 1), QList<TextRange>{});
    // The result is where the last element handed out ends (forward) or starts (reverse), also when the
    // visitor stops there.
    EXPECT_EQ(storage.enumerateTextElements(300, Direction::forward, [](const auto&) { return false; }), 512);
    EXPECT_EQ(storage.enumerateTextElements(std::nullopt, Direction::reverse, [](const auto&) { return true; }), 0);
}

TEST(BoundedContentStorageTest, TrimEvictsTheLeastRecentlyHandedOutOutsideTheProtectedRange) {
    // 600 full pieces of one paragraph.
    ReaderBoundedContentStorage storage(documentOf(QString(600 * 256, u'a')), 15);
    FakeLayoutManager manager;

    // Without a layout manager a trim evicts nothing.
    handOut(storage, std::nullopt, Direction::forward, 600);
    storage.trimCache();
    EXPECT_EQ(storage.cachedElementCount(), 600);

    // GIVEN all 600 handed out, most recently the last; WHEN the scheduled trim runs (once for the two
    // enumerations of this turn): THEN the 128 most recent stay (32,768 units), and the evicted run is
    // invalidated as one range.
    storage.setLayoutManager(&manager);
    handOut(storage, std::nullopt, Direction::forward, 600);
    handOut(storage, 599 * 256, Direction::forward, 1);
    EXPECT_TRUE(storage.isTrimPending());
    ASSERT_TRUE(test::processEventsUntil([&] { return !storage.isTrimPending(); }));
    EXPECT_EQ(storage.cachedElementCount(), 128);
    EXPECT_EQ(storage.cachedUnits(), 32'768);
    EXPECT_TRUE(storage.isCached(472));
    EXPECT_FALSE(storage.isCached(471));
    EXPECT_EQ(manager.invalidated, (QList<TextRange>{{0, 472 * 256}}));

    // Pieces meeting the protected range survive even when old; they count towards the limits.
    manager.invalidated.clear();
    handOut(storage, std::nullopt, Direction::forward, 600);
    manager.visible = TextRange{10 * 256 + 5, 12 * 256 + 1};  // pieces 10, 11 and 12
    storage.trimCache();
    EXPECT_EQ(storage.cachedElementCount(), 128);
    EXPECT_TRUE(storage.isCached(10) && storage.isCached(12));
    EXPECT_FALSE(storage.isCached(13));
    EXPECT_EQ(manager.invalidated, (QList<TextRange>{{0, 10 * 256}, {13 * 256, 475 * 256}}));
}

TEST(BoundedContentStorageTest, RenderingAttributesAreTheArticleColoursPlusTheDecorationsCutToTheRange) {
    // quote | code | plain
    const QString text = u"quoted text\ncode\nplain words here\n"_s;
    ReaderBoundedContentStorage storage(documentOf(text, {{.kind = Kind::quote, .start = 0, .end = 12},
                                                          {.kind = Kind::code, .start = 12, .end = 16},
                                                          {.kind = Kind::emphasis, .start = 17, .end = 22}}),
                                        15);
    QTextCharFormat playback;
    playback.setBackground(toQColor(ReaderPalette::playbackHighlight));
    storage.setDecoration(u"playback"_s, {.range = {10, 20}, .format = playback});

    for (const TextRange block : {TextRange{0, 12}, TextRange{12, 17}, TextRange{17, text.size()}}) {
        SCOPED_TRACE(block.lowerBound);
        const QList<QTextLayout::FormatRange> attributes = storage.renderingAttributes(block);
        // Colour runs tile the block, with no font or slant; the decoration comes after, cut to the block.
        qsizetype covered = 0;
        qsizetype index = 0;
        while (covered < block.length()) {
            ASSERT_LT(index, attributes.size());
            const QTextLayout::FormatRange& run = attributes[index++];
            ASSERT_EQ(run.start, covered);
            EXPECT_FALSE(run.format.hasProperty(QTextFormat::FontFamilies));
            EXPECT_FALSE(run.format.hasProperty(QTextFormat::FontPixelSize));
            EXPECT_FALSE(run.format.hasProperty(QTextFormat::FontStyleHint));
            EXPECT_FALSE(run.format.hasProperty(QTextFormat::FontItalic));
            const QTextCharFormat article = storage.article().attributes(block.lowerBound + run.start).character;
            EXPECT_EQ(run.format.foreground(), article.foreground());
            EXPECT_EQ(run.format.background(), article.background());
            covered += run.length;
        }
        const TextRange cut = TextRange{10, 20}.clamped(block.lowerBound, block.upperBound);
        ASSERT_EQ(attributes.size() - index, 1);
        EXPECT_EQ(attributes[index].start, cut.lowerBound - block.lowerBound);
        EXPECT_EQ(attributes[index].length, cut.length());
        EXPECT_EQ(attributes[index].format, playback);
    }
    EXPECT_EQ(storage.renderingAttributes({0, 4}).first().format.foreground().color(),
              toQColor(ReaderPalette::secondaryText));
    EXPECT_EQ(storage.renderingAttributes({12, 16}).first().format.background().color(),
              toQColor(ReaderPalette::sidebar));
    // A block the decoration misses has none; nor has any once it is removed.
    EXPECT_EQ(storage.renderingAttributes({22, 30}).size(), 1);
    storage.removeDecoration(u"playback"_s);
    EXPECT_EQ(storage.renderingAttributes({0, 12}).size(), 1);
}

TEST(BoundedContentStorageTest, NamesGridCellsOnlyWhenTheTextNeedsNoBoundedLayoutButForItsLength) {
    // A long text of short paragraphs with a 2 × 2 grid; the same with one paragraph of 5,000 units.
    const auto longText = [](qsizetype paragraph) {
        QString text = u"前\n"_s;
        const qsizetype table = text.size();
        text += u"甲\n乙\n丙\n丁\n"_s;
        QList<Span> spans{{.kind = Kind::table, .start = table, .end = text.size(), .level = 2}};
        for (qsizetype i = 0; i < 4; ++i) {
            spans.append({.kind = i < 2 ? Kind::tableHeader : Kind::tableCell,
                          .start = table + 2 * i,
                          .end = table + 2 * i + 2});
        }
        while (text.size() <= 25'000) text += QString(paragraph - 1, u'本') + u'\n';
        return documentOf(text, spans);
    };
    ReaderBoundedContentStorage grids(longText(100), 15);
    EXPECT_TRUE(grids.drawsGridTables());
    const std::optional<ReaderGridCell> cell = grids.gridCell({6, 8});
    ASSERT_TRUE(cell);
    EXPECT_EQ(std::tuple(cell->row, cell->column, cell->isHeader()), std::tuple(1, 0, false));
    EXPECT_FALSE(grids.gridCell({6, 9}));
    EXPECT_FALSE(grids.gridCell({0, 2}));
    // The piece of a cell has a cell paragraph's spacing.
    std::shared_ptr<const ReaderBoundedParagraph> piece;
    grids.enumerateTextElements(6, Direction::forward, [&](const auto& element) {
        piece = element;
        return false;
    });
    EXPECT_DOUBLE_EQ(piece->format.bottomMargin(), 3);

    ReaderBoundedContentStorage linear(longText(5'000), 15);
    EXPECT_FALSE(linear.drawsGridTables());
    EXPECT_FALSE(linear.gridCell({6, 8}));
}

}  // namespace
}  // namespace tavrine
