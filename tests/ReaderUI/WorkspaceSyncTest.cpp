// How the workspace keeps its source state and the player in step: at appearance, when a reading is
// imported, when the player switches readings or windows, when an import starts, when the application's
// activity changes and when the workspace is removed; and that views are told once, after each change.
#include "WorkspaceTesting.h"

#include "ReaderCore/Characters.h"
#include "ReaderCore/MemoryDefaults.h"
#include "ReaderUI/Workspace/ReaderDocumentContext.h"

#include "support/FakeClock.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace tavrine {
namespace {

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Action = ReaderPlaybackRequest::Action;
using Status = ReadingSession::Status;
using test::readingOf;

class WorkspaceSyncTest : public testing::Test, public test::WorkspaceFixture {
protected:
    // The source state the workspace mirrors, for comparing before and after.
    struct Mirror {
        QString source;
        QString loadedSource;
        ReadingDocument document;
        qsizetype cursor = 0;
        ReadingSourceWindow window;
        QUuid token;

        bool operator==(const Mirror&) const = default;
    };

    Mirror mirror() {
        const ReaderWorkspaceController& shown = workspace();
        return {shown.source(),       shown.loadedSource(), shown.sourceDocument(),
                shown.sourceCursor(), shown.sourceWindow(), shown.releaseEditorFocus()};
    }

    static ReadingSourceWindow emptyWindow() { return ReadingSourceWindow::around(ReadingDocument{}, 0); }

    // The workspace shown while the application is active, playing an imported short text for a while.
    ReaderWorkspaceController& showPlaying() {
        ReaderWorkspaceController& shown = makeWorkspace();
        shown.setActive(true);
        appear();
        shown.setImportedText(imported(test::kThreeSentences, /*autoplay=*/true));
        EXPECT_TRUE(advanceUntil([this] { return player().session().status == Status::playing; }, 1s));
        advance(0.3s);
        drainStore();
        return shown;
    }
};

TEST_F(WorkspaceSyncTest, AnImportedReadingIsTakenOnceAndMirroredAtOnce) {
    ReaderWorkspaceController& workspace = makeWorkspace();
    appear();
    const ImportedReading first = imported(test::kThreeSentences);
    workspace.setImportedText(first);
    EXPECT_FALSE(player().reading() && player().reading()->id == first.id()) << "taken inside the setter";
    settle();
    ASSERT_EQ(player().readingID(), first.id());
    const Mirror taken = mirror();
    EXPECT_EQ(taken.source, test::kThreeSentences);
    EXPECT_EQ(taken.loadedSource, taken.source);
    EXPECT_EQ(taken.document, first.document());
    EXPECT_EQ(taken.window, *player().sourceWindow());

    // The same reading with other flags: the player refuses it, and nothing of the workspace changes.
    player().moveSentence(true);
    ImportedReading again = first;
    again.autoplay = true;
    workspace.setImportedText(again);
    settle();
    EXPECT_EQ(mirror(), taken);
    EXPECT_FALSE(player().pendingAutoplay());

    // Quitting, the player refuses everything new.
    player().prepareForTermination();
    workspace.setImportedText(imported(u"終了中に届いた文章"_s));
    settle();
    EXPECT_EQ(player().readingID(), first.id());
    EXPECT_EQ(mirror(), taken);
}

TEST_F(WorkspaceSyncTest, ALongTextIsMirroredAtOnceAndItsWindowWhenTheFirstOneLands) {
    ReaderWorkspaceController& workspace = makeWorkspace();
    appear();
    chunks.hold();
    const QString text = test::japaneseText(30'000);
    workspace.setImportedText(imported(text));
    settle();
    ASSERT_TRUE(player().isPreparing());
    EXPECT_EQ(workspace.source(), text);
    EXPECT_EQ(workspace.sourceDocument().text, text);
    EXPECT_EQ(workspace.sourceCursor(), 0);
    EXPECT_EQ(workspace.sourceWindow(), emptyWindow());

    chunks.release();
    ASSERT_TRUE(waitUntilPrepared());
    settle();
    EXPECT_EQ(workspace.sourceWindow(), *player().sourceWindow());
    EXPECT_EQ(workspace.sourceWindow().totalLength, text.size());

    // A window the player drops (a new load of a long text) leaves the last one until the next.
    const ReadingSourceWindow shown = workspace.sourceWindow();
    chunks.hold();
    workspace.setImportedText(imported(test::japaneseText(20'000)));
    settle();
    ASSERT_FALSE(player().sourceWindow());
    EXPECT_EQ(workspace.sourceWindow(), emptyWindow()) << "the new reading mirrors its missing window";
    chunks.release();
    ASSERT_TRUE(waitUntilPrepared());
    settle();
    EXPECT_EQ(workspace.sourceWindow().totalLength, 20'000);
    EXPECT_NE(workspace.sourceWindow(), shown);
}

TEST_F(WorkspaceSyncTest, NothingIsHandledBeforeAppearanceAndWhatIsPresentThenIsTakenOver) {
    ReaderWorkspaceController& workspace = makeWorkspace();
    player().load(readingOf(test::kThreeSentences), 0);
    player().startPlayback(true);
    const ImportedReading waiting = imported(u"表示前に届いた文章。"_s);
    bool focusAsked = false;
    QObject::connect(&workspace, &ReaderWorkspaceController::displayFocusRequested, [&] { focusAsked = true; });

    workspace.setImportedText(waiting);
    workspace.setPlaybackRequest(ReaderPlaybackRequest(Action::faster));
    workspace.setImporting(true);
    workspace.setFocusRequest(QUuid::createUuid());
    workspace.setActive(true);
    settle();
    EXPECT_EQ(player().session().status, Status::playing);
    EXPECT_NE(player().readingID(), waiting.id());

    // At appearance the pending import is applied; the request, the import's start and the focus request
    // present then are starting values, not changes.
    const double speed = player().baseSeconds();
    appear();
    EXPECT_EQ(player().readingID(), waiting.id());
    EXPECT_EQ(workspace.source(), waiting.text());
    EXPECT_EQ(player().baseSeconds(), speed);
    EXPECT_FALSE(focusAsked);
}

TEST_F(WorkspaceSyncTest, AppearanceMirrorsThePlayersReadingOrLoadsTheWorkspacesOwnText) {
    // Nothing loaded anywhere: the workspace's own text, empty, becomes the reading.
    ReaderWorkspaceController& workspace = makeWorkspace();
    appear();
    ASSERT_TRUE(player().reading());
    EXPECT_EQ(player().reading()->document, ReadingDocument{});
    EXPECT_FALSE(player().reading()->title);
    EXPECT_EQ(workspace.loadedSource(), u""_s);

    // Shown again over a reading the player opened meanwhile: mirrored where the player stands.
    workspace.disappeared();
    player().load(readingOf(test::kThreeSentences), test::kThreeSentences.indexOf(u"名前"));
    settle();
    EXPECT_EQ(workspace.source(), u""_s) << "mirrored while removed";
    appear();
    EXPECT_EQ(workspace.source(), test::kThreeSentences);
    EXPECT_EQ(workspace.sourceCursor(), test::shownOffset(player()));
    EXPECT_GT(workspace.sourceCursor(), 0);

    // An imported reading present at appearance and already taken: mirrored all the same.
    const ImportedReading once = imported(u"一度だけの文章。"_s);
    workspace.setImportedText(once);
    settle();
    workspace.disappeared();
    player().load(readingOf(test::kThreeSentences), 0);
    appear();
    EXPECT_EQ(player().reading()->document.text, test::kThreeSentences);
    EXPECT_EQ(workspace.source(), test::kThreeSentences);
}

TEST_F(WorkspaceSyncTest, ImportingPausesAndSavesAtItsStartOnly) {
    ReaderWorkspaceController& workspace = showPlaying();
    const qsizetype saved = savedPositions().size();

    workspace.setImporting(true);
    settle();
    EXPECT_EQ(player().session().status, Status::paused);
    drainStore();
    ASSERT_EQ(savedPositions().size(), saved + 1);
    EXPECT_EQ(savedPositions().last().utf16Offset, test::shownOffset(player()));

    workspace.setImporting(false);
    advance(1s);
    drainStore();
    EXPECT_EQ(player().session().status, Status::paused);
    EXPECT_EQ(savedPositions().size(), saved + 1);
}

TEST_F(WorkspaceSyncTest, TheApplicationsActivityReachesThePlayer) {
    ReaderWorkspaceController& workspace = makeWorkspace();
    appear();
    // An automatic start that comes while the application is inactive waits for it.
    workspace.setImportedText(imported(test::kThreeSentences, /*autoplay=*/true));
    advance(1s);
    EXPECT_NE(player().session().status, Status::playing);
    EXPECT_TRUE(player().pendingAutoplay());

    workspace.setActive(true);
    settle();
    advance(499ms);
    EXPECT_NE(player().session().status, Status::playing);
    advance(1ms);
    EXPECT_EQ(player().session().status, Status::playing);

    workspace.setActive(false);
    settle();
    EXPECT_EQ(player().session().status, Status::paused);
}

TEST_F(WorkspaceSyncTest, RemovedTheWorkspacePausesSavingAndHandlesNothingMore) {
    ReaderWorkspaceController& workspace = showPlaying();
    const qsizetype saved = savedPositions().size();

    workspace.disappeared();
    EXPECT_EQ(player().session().status, Status::paused);
    drainStore();
    EXPECT_EQ(savedPositions().size(), saved + 1);

    const double speed = player().baseSeconds();
    const ImportedReading later = imported(u"外されてから届いた文章。"_s);
    workspace.setPlaybackRequest(ReaderPlaybackRequest(Action::faster));
    workspace.setImportedText(later);
    settle();
    EXPECT_EQ(player().baseSeconds(), speed);
    EXPECT_NE(player().readingID(), later.id());
}

TEST_F(WorkspaceSyncTest, ViewsAreToldOnceAfterAnOperationNeverInTheMiddleOfIt) {
    ReaderWorkspaceController& workspace = makeWorkspace();
    appear();
    QList<std::optional<QUuid>> seen;
    QObject::connect(&workspace, &ReaderWorkspaceController::changed, [&] { seen.append(player().readingID()); });

    // A load writes the reading, then the session, the window and a dozen flags.
    const SavedReading next = readingOf(test::kThreeSentences);
    player().load(next, 0);
    player().togglePlayback();
    workspace.setShowsSource(true);
    EXPECT_TRUE(seen.isEmpty());
    settle();
    ASSERT_FALSE(seen.isEmpty());
    EXPECT_EQ(seen.first(), next.id);
    EXPECT_EQ(workspace.source(), test::kThreeSentences);
    EXPECT_EQ(workspace.documentContext().title, ReaderDocumentIdentity::title(next));
}

TEST_F(WorkspaceSyncTest, AWorkspaceWithoutAPlayerPlaysWithAPlayerOfItsOwn) {
    MemoryDefaults ownDefaults;
    ReaderWorkspaceController own(ReaderWorkspaceController::OwnPlayer{
        .defaults = ownDefaults,
        .width = [](QStringView phrase) { return double(characterCount(phrase)); },
        .maximumWidth = 8,
        .clock = &clock,
    });
    own.setActive(true);
    own.appeared();
    own.setImportedText(ImportedReading::fromText(test::kThreeSentences, /*autoplay=*/true, clock));
    settle();
    advance(0.5s);
    EXPECT_EQ(own.player().session().status, Status::playing);

    // Its own contents flag opens for a book.
    SavedReading book = readingOf(test::kThreeSentences);
    book.epub = EPUBBook::Information{};
    own.player().load(book, 0);
    settle();
    own.setPlaybackRequest(ReaderPlaybackRequest(Action::showEPUBNavigation));
    settle();
    EXPECT_TRUE(own.epubPresentation().showsNavigation());
}

}  // namespace
}  // namespace tavrine
