// The one road of playback actions from menus, keys and buttons through the workspace to the player:
// its guards, the order of what it tells the application, requests arriving while a reading loads, and
// the information sheet and contents pane they open.
#include "WorkspaceTesting.h"

#include "support/QtPrinters.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCoreApplication>

namespace tavrine {
namespace {

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Action = ReaderPlaybackRequest::Action;
using Status = ReadingSession::Status;
using test::readingOf;

class WorkspaceRoutingTest : public testing::Test, public test::WorkspaceFixture {
protected:
    // A book of three 1,000-unit chapters, prepared window by window.
    static SavedReading book() {
        SavedReading reading = readingOf(test::japaneseText(3'000), test::sectionsOf({1'000, 1'000, 1'000}));
        reading.epub = EPUBBook::Information{};
        return reading;
    }

    // The workspace shown over a player holding reading at offset, its first window prepared.
    ReaderWorkspaceController& showOpened(const SavedReading& reading, qsizetype offset = 0,
                                          ReaderEPUBPresentation* presentation = nullptr) {
        ReaderWorkspaceController& shown = makeWorkspace(presentation);
        player().load(reading, offset);
        EXPECT_TRUE(waitUntilPrepared());
        appear();
        log.clear();
        return shown;
    }

    // Plays the short text at once (through the automatic start) and clears the log.
    void playShortText() {
        player().togglePlayback();
        advance(0.5s);
        ASSERT_EQ(player().session().status, Status::playing);
        log.clear();
    }
};

TEST_F(WorkspaceRoutingTest, ARequestIsRefusedWhileImportingWhileTheSourceIsEditedAndWhenThePlayerCannot) {
    ReaderWorkspaceController& workspace = showOpened(readingOf(test::kThreeSentences));
    const double speed = player().baseSeconds();

    // GIVEN an import under way WHEN a request arrives THEN it is dropped, also once the import ends.
    workspace.setImporting(true);
    request(Action::faster);
    workspace.setImporting(false);
    settle();
    EXPECT_EQ(player().baseSeconds(), speed);

    // The source edited and not loaded: buttons and requests alike are refused.
    workspace.setSource(u"書き換えた文章"_s);
    workspace.perform(Action::faster, true);
    request(Action::faster);
    EXPECT_EQ(player().baseSeconds(), speed);
    workspace.setSource(test::kThreeSentences);
    request(Action::faster);
    EXPECT_LT(player().baseSeconds(), speed);

    // The player cannot: a text without chapters, without book information; nothing is called.
    log.clear();
    for (Action action : {Action::forwardChapter, Action::backChapter, Action::showEPUBNavigation}) {
        workspace.perform(action, true);
    }
    settle();
    EXPECT_THAT(log, testing::IsEmpty());
    EXPECT_FALSE(workspace.epubPresentation().showsNavigation());
    EXPECT_EQ(player().requestedOffset(), 0);

    // Nothing to inform about in an empty text.
    workspace.setImportedText(imported(QString()));
    request(Action::showDocumentInformation);
    ASSERT_EQ(player().reading()->document.text, QString());
    EXPECT_FALSE(workspace.showsDocumentInformation());
}

// What each action tells the application and when the player moves: the application first, then the
// editor's focus token, then (for an action that moves the position) the source pane, the player last.
TEST_F(WorkspaceRoutingTest, ActionsTellTheApplicationInOrderBeforeThePlayerActs) {
    ReaderWorkspaceController& workspace = makeWorkspace();
    appear();
    const auto playerActs = [this] {
        if (log.isEmpty() || log.last() != u"player") log.append(u"player"_s);
    };
    QObject::connect(&player(), &ReadingPlayer::sessionChanged, playerActs);
    QObject::connect(&player(), &ReadingPlayer::baseSecondsChanged, playerActs);
    // The middle of a book at a middle speed: every action can be carried out.
    player().setBaseSeconds(0.1);
    const auto reopen = [&] {
        player().load(book(), 1'500);
        ASSERT_TRUE(waitUntilPrepared());
        settle();
        log.clear();
    };

    const QStringList moving{u"interaction"_s, u"release"_s, u"navigation"_s, u"player"_s};
    const QStringList staying{u"interaction"_s, u"release"_s, u"player"_s};
    for (Action action : ReaderPlaybackRequest::allActions) {
        SCOPED_TRACE(int(action));
        if (action == Action::showEPUBNavigation || action == Action::showDocumentInformation) continue;
        const bool moves = action != Action::togglePlayback && action != Action::slower && action != Action::faster;
        reopen();
        ASSERT_TRUE(player().canPerform(action));
        request(action);
        EXPECT_EQ(log, moves ? moving : staying);

        // A control that leaves the editor its focus keeps the token.
        reopen();
        workspace.perform(action, false);
        QStringList kept = moves ? moving : staying;
        kept.removeAll(u"release"_s);
        EXPECT_EQ(log, kept);
    }

    // The two "show" actions only open what they show.
    reopen();
    request(Action::showEPUBNavigation);
    request(Action::showDocumentInformation);
    EXPECT_THAT(log, testing::IsEmpty());
    EXPECT_TRUE(workspace.epubPresentation().showsNavigation());
    EXPECT_TRUE(workspace.showsDocumentInformation());
}

TEST_F(WorkspaceRoutingTest, EveryRequestRunsOnceInOrderOfArrival) {
    ReaderWorkspaceController& workspace = showOpened(readingOf(test::kThreeSentences));
    const double speed = player().speedMultiplier();

    // Three requests in one turn are three steps, none taken inside the call that hands them in.
    const ReaderPlaybackRequest first(Action::faster);
    workspace.setPlaybackRequest(first);
    workspace.setPlaybackRequest(ReaderPlaybackRequest(Action::faster));
    workspace.setPlaybackRequest(ReaderPlaybackRequest(Action::slower));
    EXPECT_EQ(player().speedMultiplier(), speed);
    settle();
    EXPECT_NEAR(player().speedMultiplier(), speed + 0.1, 1e-9);

    // A request already received, handed in again, is not repeated.
    workspace.setPlaybackRequest(std::nullopt);
    workspace.setPlaybackRequest(first);
    settle();
    EXPECT_NEAR(player().speedMultiplier(), speed + 0.1, 1e-9);

    // The same action asked twice is two requests, each performed: the order of arrival decides.
    playShortText();
    request(Action::togglePlayback);
    EXPECT_EQ(player().session().status, Status::paused);
    workspace.setPlaybackRequest(ReaderPlaybackRequest(Action::togglePlayback));
    workspace.setPlaybackRequest(ReaderPlaybackRequest(Action::backSentence));
    settle();
    // Resumed, then stopped by the sentence move.
    EXPECT_FALSE(player().isWaitingToPlay());
    EXPECT_EQ(player().session().status, Status::paused);
    EXPECT_EQ(log.count(u"interaction"_s), 3);
}

TEST_F(WorkspaceRoutingTest, PlayAskedForWhileTheFirstWindowIsPreparedStartsWhenItComes) {
    ReaderWorkspaceController& workspace = makeWorkspace();
    workspace.setActive(true);
    appear();
    chunks.hold();
    workspace.setImportedText(imported(test::japaneseText(3'000)));
    settle();
    ASSERT_TRUE(player().isPreparing());

    request(Action::togglePlayback);
    EXPECT_TRUE(player().isWaitingToPlay());
    advance(1s);
    EXPECT_NE(player().session().status, Status::playing);

    chunks.release();
    ASSERT_TRUE(waitUntilPrepared());
    EXPECT_EQ(player().session().status, Status::playing);
    EXPECT_EQ(test::shownOffset(player()), 0);
}

TEST_F(WorkspaceRoutingTest, AChapterMoveWhileTheWindowIsPreparedCountsFromTheOffsetAskedFor) {
    for (const auto& [action, target] : {std::pair{Action::forwardChapter, 2'000}, {Action::backChapter, 1'000}}) {
        SCOPED_TRACE(int(action));
        makeWorkspace();
        appear();
        chunks.hold();
        player().load(book(), 1'500);
        settle();
        ASSERT_TRUE(player().isPreparing());

        request(action);
        EXPECT_EQ(player().requestedOffset(), target);
        chunks.release();
        ASSERT_TRUE(waitUntilPrepared());
        EXPECT_TRUE(test::shows(player(), target));
        EXPECT_EQ(player().session().status, Status::paused);
    }
}

TEST_F(WorkspaceRoutingTest, ARequestInTheTurnOfANewImportActsOnTheNewReading) {
    ReaderWorkspaceController& workspace = showOpened(readingOf(u"一つだけの文。"_s));
    ASSERT_FALSE(player().canPerform(Action::forwardSentence));

    // The request comes first; the import is handled first all the same.
    const QString text = u"一つ目の文です。二つ目の文です。"_s;
    workspace.setPlaybackRequest(ReaderPlaybackRequest(Action::forwardSentence));
    workspace.setImportedText(imported(text));
    settle();
    ASSERT_EQ(player().reading()->document.text, text);
    EXPECT_EQ(test::shownOffset(player()), text.indexOf(u"二つ目"));
}

TEST_F(WorkspaceRoutingTest, TheSheetStaysOpenForRequestsAndANewReadingClosesItAndThePane) {
    ReaderEPUBPresentation presentation;
    ReaderWorkspaceController& workspace = showOpened(book(), 0, &presentation);

    request(Action::showDocumentInformation);
    request(Action::showEPUBNavigation);
    ASSERT_TRUE(workspace.showsDocumentInformation());
    // The application's flag, which its menu and toolbar share.
    EXPECT_TRUE(presentation.showsNavigation());

    // Requests go on while the sheet is open; a second "show information" leaves the one sheet.
    request(Action::togglePlayback);
    EXPECT_TRUE(player().isWaitingToPlay());
    bool reopened = false;
    QObject::connect(&workspace, &ReaderWorkspaceController::changed,
                     [&] { reopened = reopened || !workspace.showsDocumentInformation(); });
    request(Action::showDocumentInformation);
    EXPECT_TRUE(workspace.showsDocumentInformation());
    EXPECT_FALSE(reopened);

    // The same reading under another title is no new reading.
    SavedReading renamed = *player().reading();
    renamed.title = u"別の題"_s;
    player().load(renamed, 0);
    settle();
    EXPECT_TRUE(workspace.showsDocumentInformation());
    EXPECT_TRUE(presentation.showsNavigation());

    workspace.setImportedText(imported(test::kThreeSentences));
    settle();
    EXPECT_FALSE(workspace.showsDocumentInformation());
    EXPECT_FALSE(presentation.showsNavigation());

    // Dismissed, the sheet can be asked for again.
    request(Action::showDocumentInformation);
    workspace.setShowsDocumentInformation(false);
    request(Action::showDocumentInformation);
    EXPECT_TRUE(workspace.showsDocumentInformation());
}

TEST_F(WorkspaceRoutingTest, TheContentsPaneReportsAChoiceAndHandsTheFocusBack) {
    ReaderWorkspaceController& workspace = showOpened(book());
    bool focusAsked = false;
    QObject::connect(&workspace, &ReaderWorkspaceController::displayFocusRequested, [&] { focusAsked = true; });

    workspace.epubPaneSelected();
    EXPECT_EQ(log, (QStringList{u"navigation"_s, u"interaction"_s, u"release"_s}));

    workspace.epubPaneFocusDeparted();
    EXPECT_FALSE(focusAsked) << "the display takes the focus after the current update";
    settle();
    EXPECT_TRUE(focusAsked);
    EXPECT_TRUE(workspace.isDisplayFocused());
}

TEST_F(WorkspaceRoutingTest, AFocusRequestClearsTheFocusFlagsBeforeTheDisplayTakesTheFocus) {
    ReaderWorkspaceController& workspace = showOpened(readingOf(test::kThreeSentences));
    workspace.setAdjustingSpeed(true);
    workspace.setDisplayFocused(true);
    settle();

    QStringList seen;
    QObject::connect(&workspace, &ReaderWorkspaceController::changed, [&] {
        seen.append(u"changed %1 %2"_s.arg(workspace.isAdjustingSpeed()).arg(workspace.isDisplayFocused()));
    });
    QObject::connect(&workspace, &ReaderWorkspaceController::displayFocusRequested, [&] { seen.append(u"focus"_s); });
    workspace.setFocusRequest(QUuid::createUuid());
    settle();
    ASSERT_GE(seen.size(), 2);
    EXPECT_EQ(seen.first(), u"changed 0 0"_s);
    EXPECT_TRUE(seen.contains(u"focus"_s));
    EXPECT_FALSE(workspace.isAdjustingSpeed());
    EXPECT_TRUE(workspace.isDisplayFocused());
}

TEST_F(WorkspaceRoutingTest, AHandlerThatRunsTheEventLoopStopsTheProgramInDebugBuilds) {
#ifdef QT_NO_DEBUG
    GTEST_SKIP() << "the assertion is compiled out of release builds";
#else
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            PlayerFixture fixture;
            ReadingPlayer& player = fixture.makePlayer();
            player.load(readingOf(test::kThreeSentences), 0);
            ReaderWorkspaceController* workspace = nullptr;
            ReaderWorkspaceController::Closures closures{.onInteraction = [&workspace] {
                workspace->setActive(!workspace->isActive());
                QCoreApplication::processEvents();
            }};
            ReaderWorkspaceController made(player, nullptr, std::move(closures));
            workspace = &made;
            made.appeared();
            made.setPlaybackRequest(ReaderPlaybackRequest(Action::faster));
            for (int turn = 0; turn < 5; ++turn) QCoreApplication::processEvents();
        },
        "inside another");
#endif
}

}  // namespace
}  // namespace tavrine
