// The rules of the reading column without its widgets: its sizes for the space offered, the navigation
// commands' table, the held-modifier test of plain keys, and what each control does to the player
// through the workspace controller (availability, progress, speed, labels, paste, the source view's
// cursor and highlight, and the binding the source view follows).
#include "WorkspaceTesting.h"

#include "ReaderUI/ReaderHeldModifiers.h"
#include "ReaderUI/Workspace/ReaderColumnMetrics.h"
#include "ReaderUI/Workspace/ReaderNavigationCommand.h"
#include "ReaderUI/Workspace/ReaderSourceViewBinding.h"

#include "support/QtPrinters.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>

namespace tavrine {
namespace {

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Action = ReaderPlaybackRequest::Action;
using Command = ReaderNavigationCommand;
using Status = ReadingSession::Status;
using test::readingOf;
using test::shownOffset;
using test::shows;
using testing::ElementsAre;
using testing::IsEmpty;

// ---- Metrics ----

struct Row {
    double width;
    double height;
    bool source;
    bool scrolls;
    double display;
    double padding;
    double spacing;
    double column;
};

TEST(ReaderColumnMetrics, FollowTheWorkedTableAtEveryTextSize) {
    const Row rows[] = {
        {800, 700, false, false, 400, 24, 16, 700}, {800, 700, true, false, 156, 24, 16, 700},
        {800, 560, true, false, 120, 12, 8, 560},   {800, 500, false, false, 200, 12, 8, 500},
        {480, 900, false, false, 400, 12, 8, 900},  {800, 400, true, true, 96, 12, 8, 440},
    };
    for (const Row& row : rows) {
        const auto metrics = ReaderColumnMetrics::make(row.width, row.height, 34, {.showsSource = row.source});
        const auto where = testing::Message() << row.width << "×" << row.height << " source " << row.source;
        EXPECT_EQ(metrics.scrolls, row.scrolls) << where;
        EXPECT_EQ(metrics.displayHeight, row.display) << where;
        EXPECT_EQ(metrics.padding, row.padding) << where;
        EXPECT_EQ(metrics.spacing, row.spacing) << where;
        EXPECT_EQ(metrics.columnHeight, row.column) << where;
        EXPECT_EQ(metrics.alignsTop, row.source) << where;
        EXPECT_EQ(metrics.sourceMinimumHeight, row.scrolls && row.source ? std::optional<double>(130) : std::nullopt)
            << where;

        // Text size 44: every display 50 taller, no row changes between scrolling and not.
        const auto larger = ReaderColumnMetrics::make(row.width, row.height, 44, {.showsSource = row.source});
        EXPECT_EQ(larger.scrolls, row.scrolls) << where;
        EXPECT_EQ(larger.displayHeight, row.display + 50) << where;
        EXPECT_EQ(larger.columnHeight, std::max(row.height, 490.0)) << where;
    }
    // A toolbar alone narrows the display as the source does, without the source's least height.
    const auto toolbar = ReaderColumnMetrics::make(800, 400, 34, {.hasSourceToolbar = true});
    EXPECT_TRUE(toolbar.alignsTop);
    EXPECT_EQ(toolbar.sourceMinimumHeight, std::nullopt);
    EXPECT_EQ(ReaderColumnMetrics::make(800, 700, 34, {.hasSourceToolbar = true}).displayHeight, 156);
}

TEST(ReaderColumnMetrics, BoundariesOfScrollingDisplayHeightAndPadding) {
    // Exactly the least height does not scroll; one pixel less does.
    EXPECT_FALSE(ReaderColumnMetrics::make(800, 440, 34, {}).scrolls);
    EXPECT_TRUE(ReaderColumnMetrics::make(800, 439, 34, {}).scrolls);
    EXPECT_FALSE(ReaderColumnMetrics::make(800, 490, 44, {}).scrolls);
    EXPECT_TRUE(ReaderColumnMetrics::make(800, 489, 44, {}).scrolls);
    // H − 300 of exactly 400 gives 400, one more stays 400, one less 399; H − 440 below 96 gives 96.
    EXPECT_EQ(ReaderColumnMetrics::make(800, 700, 34, {}).displayHeight, 400);
    EXPECT_EQ(ReaderColumnMetrics::make(800, 701, 34, {}).displayHeight, 400);
    EXPECT_EQ(ReaderColumnMetrics::make(800, 699, 34, {}).displayHeight, 399);
    EXPECT_EQ(ReaderColumnMetrics::make(800, 535, 34, {.showsSource = true}).displayHeight, 96);
    EXPECT_EQ(ReaderColumnMetrics::make(800, 597, 34, {.showsSource = true}).displayHeight, 156);
    // A text size below the default adds nothing.
    const auto small = ReaderColumnMetrics::make(800, 700, 18, {});
    EXPECT_EQ(small.extra, 0);
    EXPECT_EQ(small.minimumHeight, 440);
    // A width of 499 or a height of 599 keeps the small padding however large the other side is.
    EXPECT_EQ(ReaderColumnMetrics::make(499, 5'000, 34, {}).padding, 12);
    EXPECT_EQ(ReaderColumnMetrics::make(5'000, 599, 34, {}).spacing, 8);
    EXPECT_EQ(ReaderColumnMetrics::make(500, 600, 34, {}).padding, 24);
    // Nothing finite offered: the column scrolls at its least height rather than failing.
    const auto broken = ReaderColumnMetrics::make(std::numeric_limits<double>::quiet_NaN(),
                                                  std::numeric_limits<double>::infinity(), 34, {});
    EXPECT_TRUE(broken.scrolls);
    EXPECT_EQ(broken.columnHeight, 440);
}

// ---- Commands and keys ----

TEST(ReaderNavigationCommand, FourCasesInOrderEachSentAsTheActionOfItsName) {
    EXPECT_THAT(ReaderNavigationCommands::allCases, ElementsAre(Command::backSentence, Command::forwardSentence,
                                                                Command::backChapter, Command::forwardChapter));
    const Action expected[] = {Action::backSentence, Action::forwardSentence, Action::backChapter,
                               Action::forwardChapter};
    for (const Command command : ReaderNavigationCommands::allCases) {
        EXPECT_EQ(ReaderNavigationCommands::action(command), expected[static_cast<int>(command)]);
        EXPECT_FALSE(ReaderNavigationCommands::explanation(command).endsWith(u'。'));
    }
    EXPECT_EQ(ReaderNavigationCommands::helpText(Command::backSentence),
              u"文の先頭へ戻る：現在の文の先頭へ戻って一時停止します。先頭にいるときは前の文へ戻ります"_s);
    EXPECT_EQ(ReaderNavigationCommands::symbol(Command::forwardChapter), u"forward.end.fill"_s);
}

TEST(ReaderHeldModifiers, EveryFlagButTheKeypadsCountsAsHeld) {
    EXPECT_FALSE(holdsModifier(Qt::NoModifier));
    EXPECT_FALSE(holdsModifier(Qt::KeypadModifier));
    for (const Qt::KeyboardModifier held :
         {Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier, Qt::MetaModifier, Qt::GroupSwitchModifier}) {
        EXPECT_TRUE(holdsModifier(held)) << held;
        EXPECT_TRUE(holdsModifier(held | Qt::KeypadModifier)) << held;
    }
}

// ---- The controller's column rules ----

class ReadingColumnRulesTest : public testing::Test, public test::WorkspaceFixture {
protected:
    ReaderWorkspaceController& showText(const QString& text, ReaderWorkspaceClosures paste = {}) {
        ReaderWorkspaceController& shown = makeWorkspace(nullptr, std::move(paste));
        player().load(readingOf(text), 0);
        appear();
        log.clear();
        return shown;
    }

    // Plays through the automatic start until some phrases have shown, then clears the logs.
    void playAWhile() {
        workspace().perform(Action::togglePlayback, false);
        advance(1.5s);
        ASSERT_EQ(player().session().status, Status::playing);
        settle();
        drainStore();
        log.clear();
        store->clearLog();
    }

    qsizetype saves() {
        drainStore();
        return savedPositions().size();
    }
};

TEST_F(ReadingColumnRulesTest, PlaybackIsControllableOnlyWithSomethingLoadedNoImportAndTheLoadedSource) {
    // Nothing loaded: the workspace's own empty text has no phrase.
    ReaderWorkspaceController& empty = makeWorkspace();
    appear();
    EXPECT_FALSE(empty.canControlPlayback());
    EXPECT_FALSE(empty.canNavigate(Command::forwardSentence));
    // The speed steps do not depend on it: only on the player and on an import.
    EXPECT_TRUE(empty.canStepSpeed(true));
    EXPECT_FALSE(empty.canStepSpeed(false));

    ReaderWorkspaceController& workspace = showText(test::kThreeSentences);
    EXPECT_TRUE(workspace.canControlPlayback());
    EXPECT_TRUE(workspace.canNavigate(Command::forwardSentence));
    EXPECT_FALSE(workspace.canNavigate(Command::forwardChapter));

    workspace.setImporting(true);
    settle();
    EXPECT_FALSE(workspace.canControlPlayback());
    EXPECT_FALSE(workspace.canStepSpeed(true));
    EXPECT_FALSE(workspace.isSpeedSliderEnabled());
    EXPECT_FALSE(workspace.canPasteFromClipboard());
    workspace.setImporting(false);
    settle();

    // An edited source disables the controls but not the speed slider; loading the text enables them.
    workspace.setSource(u"書き換えた"_s);
    EXPECT_FALSE(workspace.canControlPlayback());
    EXPECT_FALSE(workspace.canNavigate(Command::forwardSentence));
    EXPECT_TRUE(workspace.isSpeedSliderEnabled());
    workspace.setSourceCursorValue(0);
    EXPECT_TRUE(workspace.canControlPlayback());
}

TEST_F(ReadingColumnRulesTest, ProgressDragPausesOnceSavingThenSeeksAndArrowsStepOrPassOn) {
    ReaderWorkspaceController& workspace = showText(test::japaneseText(600));
    playAWhile();

    // The drag begins: interaction, release, one pause that saves.
    workspace.progressEditingChanged(true);
    EXPECT_TRUE(workspace.isDraggingProgress());
    EXPECT_THAT(log, ElementsAre(u"interaction"_s, u"release"_s));
    EXPECT_EQ(player().session().status, Status::paused);
    EXPECT_EQ(saves(), 1);
    // Moves seek, each after interaction and release, and save nothing themselves.
    log.clear();
    workspace.setProgressValue(0.5);
    workspace.setProgressValue(0.75);
    EXPECT_THAT(log, ElementsAre(u"interaction"_s, u"release"_s, u"interaction"_s, u"release"_s));
    EXPECT_TRUE(shows(player(), 449));
    EXPECT_EQ(saves(), 1);
    // The end only clears the flag.
    log.clear();
    workspace.progressEditingChanged(false);
    EXPECT_FALSE(workspace.isDraggingProgress());
    EXPECT_THAT(log, IsEmpty());
    EXPECT_EQ(saves(), 1);

    // Arrows step by a hundredth of the text.
    const qsizetype before = shownOffset(player());
    EXPECT_TRUE(workspace.stepProgress(true));
    EXPECT_THAT(log, ElementsAre(u"interaction"_s, u"release"_s));
    EXPECT_GT(shownOffset(player()), before);
    // ... and pass on, touching nothing, while playback cannot be controlled.
    log.clear();
    workspace.setSource(u"書き換えた"_s);
    const qsizetype held = shownOffset(player());
    EXPECT_FALSE(workspace.stepProgress(false));
    EXPECT_THAT(log, IsEmpty());
    EXPECT_EQ(shownOffset(player()), held);

    // The group leaving the screen is neither hovered nor dragged.
    workspace.setHoveringProgress(true);
    workspace.progressEditingChanged(true);
    workspace.progressDisappeared();
    EXPECT_FALSE(workspace.isHoveringProgress());
    EXPECT_FALSE(workspace.isDraggingProgress());
}

TEST_F(ReadingColumnRulesTest, TheSpeedSliderWritesDirectlyAndTheLabelsFollowPlaying) {
    ReaderWorkspaceController& workspace = showText(test::kThreeSentences);
    EXPECT_EQ(workspace.playPauseTitle(), u"再生"_s);
    EXPECT_EQ(workspace.playPauseSymbol(), u"play.fill"_s);

    // Also with an edited source, and with no interaction or focus release.
    workspace.setSource(u"書き換えた"_s);
    workspace.setSpeedMultiplierValue(2.0);
    EXPECT_DOUBLE_EQ(player().baseSeconds(), 0.15);
    workspace.setSpeedMultiplierValue(9.0);
    EXPECT_DOUBLE_EQ(player().baseSeconds(), 0.04);
    EXPECT_DOUBLE_EQ(workspace.speedMultiplierValue(), 7.5);
    EXPECT_FALSE(workspace.canStepSpeed(true));
    EXPECT_TRUE(workspace.canStepSpeed(false));
    EXPECT_THAT(log, IsEmpty());
    workspace.setSource(test::kThreeSentences);

    // Waiting for the automatic start already counts as playing.
    workspace.perform(Action::togglePlayback, true);
    ASSERT_TRUE(player().isWaitingToPlay());
    EXPECT_TRUE(workspace.isPlaying());
    EXPECT_EQ(workspace.playPauseTitle(), u"一時停止"_s);
    EXPECT_EQ(workspace.playPauseSymbol(), u"pause.fill"_s);
}

TEST_F(ReadingColumnRulesTest, PastePausesSavingBeforeTellingTheApplicationAndOnlyThenPastes) {
    ReaderWorkspaceController::Closures paste{.pasteFromClipboard = [this] {
        log.append(player().session().status == Status::paused ? u"paste while paused"_s : u"paste"_s);
    }};
    ReaderWorkspaceController& workspace = showText(test::japaneseText(600), std::move(paste));
    EXPECT_TRUE(workspace.hasClipboardRow());
    playAWhile();

    workspace.paste(workspace.closures().pasteFromClipboard);
    EXPECT_THAT(log, ElementsAre(u"interaction"_s, u"release"_s, u"paste while paused"_s));
    EXPECT_EQ(saves(), 1);

    // Without closures there is no row.
    EXPECT_FALSE(showText(test::kThreeSentences).hasClipboardRow());
}

TEST_F(ReadingColumnRulesTest, TheSourceViewsCursorJumpsAndTheHighlightWaitsForTheLoadedText) {
    ReaderWorkspaceController& workspace = showText(test::kThreeSentences);
    ReaderSourceViewBinding binding(workspace);
    int documents = 0;
    int ranges = 0;
    int tokens = 0;
    QObject::connect(&binding, &ReaderSourceViewBinding::documentChanged, [&] { ++documents; });
    QObject::connect(&binding, &ReaderSourceViewBinding::highlightedRangeChanged, [&] { ++ranges; });
    QObject::connect(&binding, &ReaderSourceViewBinding::releaseEditorFocusChanged, [&] { ++tokens; });
    ASSERT_TRUE(binding.highlightedRange());
    EXPECT_EQ(binding.highlightedRange()->lowerBound, 0);

    // Edited: no highlight, and the cursor makes the player read the edited text from there.
    const QString edited = u"書き換えた文章です。二つ目の文です。"_s;
    workspace.setSource(edited);
    settle();
    EXPECT_EQ(binding.highlightedRange(), std::nullopt);
    EXPECT_EQ(ranges, 1);
    binding.setCursor(10);
    EXPECT_THAT(log, ElementsAre(u"interaction"_s));
    EXPECT_EQ(workspace.loadedSource(), edited);
    settle();
    EXPECT_EQ(player().reading()->document.text, edited);
    ASSERT_TRUE(binding.highlightedRange());
    EXPECT_TRUE(binding.highlightedRange()->contains(10));
    EXPECT_EQ(binding.cursor(), workspace.sourceCursor());
    // The new reading is a new document for the view, once; its focus token changed with it.
    EXPECT_EQ(documents, 1);
    EXPECT_EQ(binding.document().text, edited);
    EXPECT_GE(tokens, 1);

    // Any other interaction pauses, saving.
    workspace.perform(Action::togglePlayback, false);
    advance(0.6s);
    ASSERT_EQ(player().session().status, Status::playing);
    log.clear();
    binding.interact();
    EXPECT_THAT(log, ElementsAre(u"interaction"_s));
    EXPECT_EQ(player().session().status, Status::paused);
}

}  // namespace
}  // namespace tavrine
