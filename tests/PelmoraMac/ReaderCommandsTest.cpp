// The reader window's commands on a real application: each checks a freshly gathered state, the
// playback requests, the list toggle in a narrow window, the built-in sample and the source pane's return
// to playback.
#include "PelmoraMac/App/MacReadingPlayback.h"
#include "PelmoraMac/App/PelmoraApp.h"
#include "PelmoraMac/App/ReaderSample.h"
#include "PelmoraMac/Library/ReaderHistoryModel.h"
#include "PelmoraMac/Window/ReaderPresentation.h"
#include "PelmoraMac/Window/ReaderWindow.h"
#include "PelmoraMac/Window/ReaderWindowRoot.h"
#include "ReaderUI/Player/ReadingPlayer.h"
#include "ReaderUI/Source/ReaderSourceNavigation.h"
#include "ReaderWidgets/Workspace/ReaderDocumentInformationSheet.h"
#include "ReaderWidgets/Workspace/ReaderWorkspaceWidget.h"

#include "AppTesting.h"
#include "support/EventLoop.h"
#include "support/QtPrinters.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <QCryptographicHash>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Action = ReaderPlaybackRequest::Action;
using test::AppUnderTest;
using test::processEventsUntil;

class ReaderCommands : public testing::Test {
protected:
    ReaderCommands() : under(folder.filePath(u"reading-store.json"_s)) {
        app().loadHistory();
        EXPECT_TRUE(processEventsUntil([&] { return app().history()->isLoaded(); }));
    }
    PelmoraApp& app() { return *under.app; }

    test::TemporaryDirectory folder;
    AppUnderTest under;
};

TEST_F(ReaderCommands, TheSampleOpensPausedAsANewReadingEachTime) {
    // The sample's five lines as the reader is to show them, by their SHA-256 over UTF-8.
    EXPECT_EQ(readerSampleText().size(), 199);
    EXPECT_FALSE(readerSampleText().endsWith(u'\n'));
    EXPECT_EQ(QCryptographicHash::hash(readerSampleText().toUtf8(), QCryptographicHash::Sha256).toHex(),
              "e109e8cdc094f6c8f9d9f680a2252861bfa607df8ac6242ddd21bde3657940f7");

    ReadingPlayer& player = app().playback().player();
    app().openSample();
    ASSERT_TRUE(player.reading());
    const QUuid first = player.reading()->id;
    EXPECT_EQ(player.reading()->title, u"サンプル：朝の散歩"_s);
    EXPECT_EQ(player.reading()->source, u"内蔵サンプル"_s);
    EXPECT_EQ(player.reading()->document.text, readerSampleText());
    EXPECT_FALSE(player.reading()->document.sections);
    EXPECT_TRUE(player.reading()->document.spans.isEmpty());
    EXPECT_NE(player.session().status, ReadingSession::Status::playing);

    const QUuid focus = app().readerFocusRequest();
    app().openSample();
    ASSERT_TRUE(player.reading());
    EXPECT_NE(player.reading()->id, first);
    EXPECT_NE(app().readerFocusRequest(), focus);
}

TEST_F(ReaderCommands, CommandsCheckTheStateOfTheMomentAndRefusedRequestsKeepTheLast) {
    app().openSample();
    ASSERT_TRUE(app().commandContext().canToggleSource);

    // Two equal requests in a row are two requests.
    app().requestPlayback(Action::togglePlayback);
    ASSERT_TRUE(app().playbackRequest());
    const ReaderPlaybackRequest first = *app().playbackRequest();
    app().requestPlayback(Action::togglePlayback);
    ASSERT_TRUE(app().playbackRequest());
    const ReaderPlaybackRequest last = *app().playbackRequest();
    EXPECT_NE(last.id, first.id);

    // The sample has no chapters: the player refuses, the last request stays.
    app().requestPlayback(Action::forwardChapter);
    EXPECT_EQ(app().playbackRequest(), last);

    // A state gathered before the window got a sheet enabled everything; the commands now refuse.
    int changes = 0;
    QObject::connect(&app(), &PelmoraApp::commandContextChanged, [&] { ++changes; });
    const ReaderCommandContext before = app().commandContext();
    ASSERT_TRUE(before.imports.canImportClipboard);
    app().setReaderHasSheet(true);
    app().setSettingsHasFocus(true);
    const QUuid reading = app().playback().player().reading()->id;
    const bool prefersSource = app().presentation().prefersSource();
    const bool prefersHistory = app().presentation().prefersHistory();
    app().requestPlayback(Action::togglePlayback);
    app().openSample();
    app().toggleSource();
    app().toggleHistory();
    EXPECT_EQ(app().playbackRequest(), last);
    EXPECT_EQ(app().playback().player().reading()->id, reading);
    EXPECT_EQ(app().presentation().prefersSource(), prefersSource);
    EXPECT_EQ(app().presentation().prefersHistory(), prefersHistory);
    // Both changes of the turn come as one.
    EXPECT_TRUE(processEventsUntil([&] { return changes > 0; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(changes, 1);

    app().setReaderHasSheet(false);
    app().setSettingsHasFocus(false);
    app().requestPlayback(Action::togglePlayback);
    EXPECT_NE(app().playbackRequest(), last);
}

TEST_F(ReaderCommands, TheListToggleInANarrowWindowOnlyOpensTheCompactList) {
    const auto stored = [&] { return app().defaults().object(ReaderPresentation::kShowsHistoryKey); };
    ReaderPresentation& panes = app().presentation();
    const bool prefers = panes.prefersHistory();
    panes.setAvailableWidth(720);
    app().toggleHistory();
    EXPECT_TRUE(app().showsCompactHistory());
    EXPECT_TRUE(app().commandContext().showsHistory);
    app().toggleHistory();
    EXPECT_FALSE(app().showsCompactHistory());
    EXPECT_EQ(panes.prefersHistory(), prefers);
    EXPECT_FALSE(stored());

    panes.setAvailableWidth(721);
    app().toggleHistory();
    EXPECT_EQ(panes.prefersHistory(), !prefers);
    EXPECT_EQ(stored(), DefaultsValue(!prefers));
    EXPECT_FALSE(app().showsCompactHistory());
}

TEST_F(ReaderCommands, ReturningToPlaybackMakesTheSourcePaneFollowAgain) {
    ReaderSourceNavigation& navigation = app().sourceNavigation();
    navigation.setFollowsPlayback(false);
    int follows = 0;
    int reveals = 0;
    QObject::connect(&navigation, &ReaderSourceNavigation::followsPlaybackChanged, [&] { ++follows; });
    QObject::connect(&navigation, &ReaderSourceNavigation::revealRequestChanged, [&] { ++reveals; });
    app().resumeSourceFollowing();
    EXPECT_TRUE(navigation.followsPlayback());
    app().resumeSourceFollowing();
    EXPECT_EQ(follows, 1);
    EXPECT_EQ(reveals, 2);
}

TEST_F(ReaderCommands, TheInformationSheetOverTheReaderWindowBlocksUntilClosed) {
    app().readerWindow().show();
    app().openSample();
    ASSERT_FALSE(app().commandContext().isBlocked);
    app().requestPlayback(Action::showDocumentInformation);
    ReaderWorkspaceWidget& workspace = app().readerRoot().workspaceWidget();
    ASSERT_TRUE(processEventsUntil([&] { return workspace.documentInformationSheet() != nullptr; }));
    EXPECT_TRUE(app().commandContext().isBlocked);
    EXPECT_FALSE(app().commandContext().imports.canImportClipboard);
    // Refused while the sheet is up: the last request stays.
    const auto shown = app().playbackRequest();
    app().requestPlayback(Action::togglePlayback);
    EXPECT_EQ(app().playbackRequest(), shown);

    workspace.documentInformationSheet()->close();
    EXPECT_TRUE(processEventsUntil([&] { return !app().commandContext().isBlocked; }));
}

}  // namespace
}  // namespace tavrine
