// Where the windows of a long reading come from, without a player: the offset a window is cut around,
// the sentence step, the window after the chunk shown and when the source pane's window stays.
#include "ReaderUI/Player/ChunkWindowSource.h"

#include "ReaderCore/Characters.h"

#include "PlayerTesting.h"

#include "support/RunTask.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {

using test::tilingChunks;

// A prepared reading of text, its phrases measured in Characters with 8 kept whole.
std::shared_ptr<PreparedReading> preparedOf(const QString& text) {
    return std::make_shared<PreparedReading>(
        text, QList<ReadingDocument::Section>(), [](QStringView phrase) { return double(characterCount(phrase)); }, 8);
}

ReadingDocument documentOf(const QString& text) {
    return ReadingDocument{.sections = std::nullopt, .text = text, .spans = {}};
}

class ChunkWindowSourceTest : public testing::Test {
protected:
    // A source over a Japanese text of length units whose chunks come from the held source.
    ChunkWindowSource sourceOf(qsizetype length) {
        const QString text = test::japaneseText(length);
        return ChunkWindowSource(preparedOf(text), chunks.source(), documentOf(text));
    }

    std::optional<ChunkWindow> around(const ChunkWindowSource& source, qsizetype offset,
                                      std::optional<bool> sentenceStep = std::nullopt,
                                      CancellationToken token = CancellationToken()) {
        // Nothing when the task did not finish either (which fails the test).
        return test::runTask(ChunkWindowSource::around(source, offset, sentenceStep, std::move(token)))
            .value_or(std::nullopt);
    }

    test::HeldChunkSource chunks;
};

TEST_F(ChunkWindowSourceTest, AWindowIsCutAroundTheOffsetClampedIntoTheText) {
    const ChunkWindowSource source = sourceOf(2'000);
    for (const auto& [asked, target] :
         {std::pair<qsizetype, qsizetype>{-5, 0}, {0, 0}, {1'999, 1'999}, {2'000, 1'999}, {50'000, 1'999}}) {
        SCOPED_TRACE(asked);
        EXPECT_EQ(source.clamped(asked), target);
        const std::optional<ChunkWindow> window = around(source, asked);
        ASSERT_TRUE(window);
        EXPECT_EQ(window->target, target);
        ASSERT_FALSE(window->chunks.isEmpty());
        EXPECT_LE(window->chunks.first().sourceRange.lowerBound, target);
        EXPECT_GT(window->chunks.last().sourceRange.upperBound, target);
        ASSERT_TRUE(window->sourceWindow);
        EXPECT_TRUE(window->sourceWindow->sourceRange.contains(target));
    }
    EXPECT_EQ(chunks.offsets(), (QList<qsizetype>{0, 0, 1'999, 1'999, 1'999}));

    // An empty text has one place, and no chunks there.
    const ChunkWindowSource empty(preparedOf({}), &ChunkWindowSource::preparedChunks, documentOf({}));
    EXPECT_EQ(empty.clamped(3), 0);
    const std::optional<ChunkWindow> nothing = around(empty, 3);
    ASSERT_TRUE(nothing);
    EXPECT_TRUE(nothing->chunks.isEmpty());
}

TEST_F(ChunkWindowSourceTest, ASentenceStepIsTakenFromTheOffsetAskedFor) {
    // 「吾輩は猫である。」 is 8 units, 「名前はまだ無い。」 the next 8.
    const ChunkWindowSource source = sourceOf(2'000);
    EXPECT_EQ(around(source, 0, true)->target, 8);
    EXPECT_EQ(around(source, 12, false)->target, 8);
    // Back from a sentence start goes to the one before.
    EXPECT_EQ(around(source, 8, false)->target, 0);
    const std::optional<ChunkWindow> stepped = around(source, 3, true);
    ASSERT_TRUE(stepped);
    EXPECT_LE(stepped->chunks.first().sourceRange.lowerBound, 8);
    EXPECT_EQ(chunks.offsets().last(), 8);
}

TEST_F(ChunkWindowSourceTest, AFailedOrCancelledFetchGivesNothing) {
    const ChunkWindowSource source = sourceOf(2'000);
    chunks.failNext();
    EXPECT_FALSE(around(source, 100).has_value());
    EXPECT_TRUE(around(source, 100).has_value());

    // Cancelled while the chunks are held back: nothing, though the chunks come.
    chunks.hold();
    CancellationToken token;
    auto fetching = ChunkWindowSource::around(source, 100, std::nullopt, token);
    test::PlayerFixture::settle();
    ASSERT_EQ(chunks.heldCount(), 1);
    token.cancel();
    chunks.release();
    const auto fetched = test::runTask(std::move(fetching));
    ASSERT_TRUE(fetched.has_value());
    EXPECT_FALSE(fetched->has_value());
    EXPECT_FALSE(around(source, 100, true, token).has_value());
}

TEST_F(ChunkWindowSourceTest, TheNextWindowKeepsTheSourceWindowWhileItHoldsTheNewChunks) {
    // 30,000 units: more than one source window.
    const ChunkWindowSource source = sourceOf(30'000);
    chunks.answerWith(
        [](qsizetype offset) { return tilingChunks(offset, std::min<qsizetype>(offset + 80, 30'000), 8); });
    const std::optional<ChunkWindow> first = around(source, 0);
    ASSERT_TRUE(first && first->sourceWindow);
    const TextRange shownRange = first->sourceWindow->sourceRange;
    ASSERT_EQ(shownRange.lowerBound, 0);
    ASSERT_LT(shownRange.upperBound, 30'000);

    const auto after = [&](qsizetype end, std::optional<ReadingSourceWindow> shown) {
        return test::runTask(
                   ChunkWindowSource::after(source, test::chunkAt(end - 8, 8), std::move(shown), CancellationToken()))
            .value_or(std::nullopt);
    };
    // Chunks that end exactly at the window's end keep it.
    const std::optional<ChunkWindow> inside = after(shownRange.upperBound - 80, first->sourceWindow);
    ASSERT_TRUE(inside);
    EXPECT_EQ(inside->target, shownRange.upperBound - 80);
    EXPECT_EQ(inside->chunks.first().sourceRange.lowerBound, shownRange.upperBound - 80);
    EXPECT_EQ(inside->sourceWindow, first->sourceWindow);

    // One unit further and the source pane gets a window cut around the new chunks.
    const std::optional<ChunkWindow> across = after(shownRange.upperBound - 79, first->sourceWindow);
    ASSERT_TRUE(across && across->sourceWindow);
    EXPECT_NE(across->sourceWindow, first->sourceWindow);
    EXPECT_TRUE(ChunkWindowSource::holds(across->sourceWindow, across->chunks));

    // At the end of the text there is nothing more, and the window shown (here none) stays.
    chunks.answerWith([](qsizetype) { return QList<ReadingChunk>(); });
    const std::optional<ChunkWindow> end = after(30'000, std::nullopt);
    ASSERT_TRUE(end);
    EXPECT_TRUE(end->chunks.isEmpty());
    EXPECT_EQ(end->sourceWindow, std::nullopt);
}

TEST(ChunkWindowHoldsTest, AWindowHoldsChunksThatStartAndEndInsideIt) {
    const ReadingSourceWindow window{.document = documentOf({}), .sourceRange = {100, 200}, .totalLength = 1'000};
    struct Case {
        qsizetype from, to;
        bool held;
    };
    for (const Case& c : {Case{100, 200, true}, Case{150, 160, true}, Case{99, 150, false}, Case{150, 201, false},
                          Case{199, 200, true}, Case{200, 208, false}}) {
        SCOPED_TRACE(testing::Message() << c.from << "..<" << c.to);
        EXPECT_EQ(ChunkWindowSource::holds(window, tilingChunks(c.from, c.to, 8)), c.held);
    }
    EXPECT_FALSE(ChunkWindowSource::holds(window, {}));
    EXPECT_FALSE(ChunkWindowSource::holds(std::nullopt, tilingChunks(150, 160, 8)));
}

}  // namespace
}  // namespace tavrine
