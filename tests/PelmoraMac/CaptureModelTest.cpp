// The capture model with the desktop played by the test: its flows, permissions and consent, and, with
// the real executable as the worker, an import whose worker is killed.
#include "PelmoraMac/App/ApplicationCapture.h"
#include "PelmoraMac/Capture/BrowserAutomationConsent.h"
#include "PelmoraMac/Capture/CaptureModel.h"
#include "PelmoraMac/Capture/Pasteboard.h"
#include "PelmoraMac/Capture/X11/FrontCaptureSource.h"
#include "PelmoraMac/Library/MacReadingPlayback.h"
#include "ReaderCore/MemoryDefaults.h"

#include "CaptureTesting.h"
#include "ReaderWidgets/Style/PhraseLineBreaks.h"
#include "support/EventLoop.h"
#include "support/FakeClock.h"
#include "support/SpecialFiles.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <csignal>
#include <mutex>
#include <semaphore>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using Mode = ClipboardImportMode;

// The clipboard with one item.
class OneItemPasteboard final : public Pasteboard {
public:
    std::optional<QByteArray> html;
    std::optional<QString> text;

    qint64 changeCount() override { return 0; }
    std::optional<qsizetype> itemCount() override { return 1; }
    std::optional<QByteArray> data(qsizetype, DataType type) override {
        return type == DataType::html ? html : std::nullopt;
    }
    std::optional<QString> string(qsizetype) override { return text; }
};

ReadingDocument documentOf(const QString& text) {
    return ReadingDocument{.sections = std::nullopt, .text = text, .spans = {}};
}

// Work on the pool that waits until the test lets it end with its result.
class HeldWork {
public:
    CaptureModel::CaptureWork work(CaptureResult<PreparedCapture> result) {
        return [this, result](const CancellationToken& cancellation) {
            ++started;
            while (!m_release.try_acquire_for(std::chrono::milliseconds(5))) {
                if (cancellation.isCancelled()) sawCancellation = true;
            }
            return result;
        };
    }
    void release() { m_release.release(); }

    std::atomic<int> started{0};
    std::atomic<bool> sawCancellation{false};

private:
    std::counting_semaphore<8> m_release{0};
};

class CaptureModelFlows : public testing::Test {
protected:
    std::unique_ptr<CaptureModel> make() {
        CaptureModel::Functions functions{
            .permissionCheck = [this] { return granted; },
            .permissionRequest = [this] { ++permissionRequests; },
            .sourceProvider = [this] { return source; },
            .captureOperation =
                [this](const CaptureSource& asked) {
                    capturedSources.append(asked);
                    return nextWork;
                },
            .automationRequest =
                [this](const QString& browserId, const QString& name, bool always,
                       CaptureModel::AutomationAnswer answer) {
                    consentRequests.append({browserId, name, always});
                    pendingAnswer = std::move(answer);
                },
            .openAccessibilitySettings = {},
            .clipboardWorker =
                [this](const CaptureWorkerRequest& request, CaptureDeadline deadline, const CancellationToken&) {
                    std::scoped_lock lock(m_workerMutex);
                    workerRequests.append(request);
                    workerDeadlines.push_back(deadline);
                    return workerResponse;
                },
            .clock = &clock,
        };
        return std::make_unique<CaptureModel>(nullptr, std::move(functions));
    }

    // Runs the event loop until the model has applied its run.
    static void settle(CaptureModel& model) {
        ASSERT_TRUE(test::processEventsUntil([&] { return !model.isCapturing(); }));
    }

    struct ConsentRequest {
        QString browserId;
        QString name;
        bool always;
    };

    bool granted = true;
    int permissionRequests = 0;
    std::optional<CaptureSource> source = CaptureSource{
        .pid = 4242, .name = u"テキストエディター"_s, .browser = {}, .includeWebArticles = false, .window = 7};
    CaptureModel::CaptureWork nextWork;
    QList<CaptureSource> capturedSources;
    QList<ConsentRequest> consentRequests;
    CaptureModel::AutomationAnswer pendingAnswer;
    CaptureResult<CaptureWorkerResponse> workerResponse = CaptureWorkerResponse{.document = documentOf(u"変換済み"_s)};
    QList<CaptureWorkerRequest> workerRequests;
    std::vector<CaptureDeadline> workerDeadlines;
    test::FakeClock clock;
    HeldWork held;

private:
    std::mutex m_workerMutex;
};

TEST_F(CaptureModelFlows, ACaptureRunsInTheBackgroundAndPresentsItsReadingOnceItHasEnded) {
    auto model = make();
    nextWork = held.work(PreparedCapture{.document = documentOf(u"選んだ文"_s), .isBody = true});
    int presented = 0;
    model->captureFrontmost([&] { ++presented; });

    EXPECT_TRUE(model->isCapturing());
    EXPECT_TRUE(model->captureID());
    EXPECT_EQ(model->statusMessage(), u"テキストエディターから文章を取得しています…"_s);
    EXPECT_EQ(model->sourceApplication(), (CaptureSourceApplication{.pid = 4242, .window = 7}));
    // A second press while it runs changes nothing and brings nothing up.
    model->captureFrontmost([&] { presented += 100; });
    EXPECT_EQ(capturedSources.size(), 1);
    EXPECT_EQ(presented, 0);

    held.release();
    settle(*model);
    EXPECT_EQ(presented, 1);
    EXPECT_FALSE(model->captureID());
    ASSERT_TRUE(model->importedText());
    const ImportedReading& reading = *model->importedText();
    EXPECT_EQ(reading.text(), u"選んだ文"_s);
    EXPECT_EQ(reading.reading.source, u"テキストエディター"_s);
    EXPECT_FALSE(reading.reading.title);
    EXPECT_EQ(reading.reading.importedAt, clock.now());
    EXPECT_TRUE(reading.autoplay);
    EXPECT_FALSE(reading.allowsReplacementUndo);
    EXPECT_TRUE(model->succeeded());
    EXPECT_TRUE(model->loadedBody());
    EXPECT_EQ(
        model->statusMessage(),
        u"取得元：テキストエディター · フォーカス中の本文。取り込み後は自動再生します。原文の選択位置から読み直せます。"_s);
}

TEST_F(CaptureModelFlows, ACaptureThatCannotStartFailsAtOnceAndStillPresents) {
    auto model = make();
    int presented = 0;
    source.reset();
    model->captureFrontmost([&] { ++presented; });
    EXPECT_EQ(model->failure(), CaptureFailure::noSource);
    EXPECT_EQ(presented, 1);

    source = CaptureSource{.pid = 1, .name = u"端末"_s};
    granted = false;
    model->captureFrontmost([&] { ++presented; });
    EXPECT_EQ(model->failure(), CaptureFailure::permissionRequired);
    EXPECT_EQ(model->sourceName(), u"端末"_s);
    EXPECT_EQ(presented, 2);
    EXPECT_FALSE(model->isCapturing());
    EXPECT_TRUE(capturedSources.isEmpty());

    // A failure of the work itself is kept as it came, and the reader comes up.
    granted = true;
    nextWork = [](const CancellationToken&) -> CaptureResult<PreparedCapture> {
        return tl::unexpected(CaptureFailure::protectedField);
    };
    model->captureFrontmost([&] { ++presented; });
    settle(*model);
    EXPECT_EQ(model->failure(), CaptureFailure::protectedField);
    EXPECT_EQ(presented, 3);
    EXPECT_FALSE(model->importedText());
}

TEST_F(CaptureModelFlows, ACancelledOrReplacedCaptureNeverAppliesItsLateResult) {
    auto model = make();
    nextWork = held.work(PreparedCapture{.document = documentOf(u"遅い"_s)});
    int presented = 0;
    model->captureFrontmost([&] { ++presented; });
    ASSERT_TRUE(test::processEventsUntil([&] { return held.started == 1; }));
    model->cancel();
    EXPECT_EQ(model->failure(), CaptureFailure::cancelled);
    EXPECT_FALSE(model->isCapturing());
    EXPECT_EQ(model->statusMessage(), u"取り込みをキャンセルしました。"_s);
    // The work sees its token.
    ASSERT_TRUE(test::processEventsUntil([&] { return held.sawCancellation.load(); }));
    held.release();
    test::settlePool();
    QCoreApplication::processEvents();
    EXPECT_FALSE(model->importedText());
    EXPECT_EQ(presented, 0);
    EXPECT_EQ(model->failure(), CaptureFailure::cancelled);
    // Nothing runs: a cancel leaves the failure and the success alone.
    model->cancel();
    EXPECT_EQ(model->failure(), CaptureFailure::cancelled);

    // A clipboard import started during a capture stops it without a cancellation of its own.
    nextWork = held.work(PreparedCapture{.document = documentOf(u"置き換えられる"_s)});
    model->captureFrontmost([&] { ++presented; });
    auto pasteboard = std::make_shared<OneItemPasteboard>();
    pasteboard->text = u"コピーした文"_s;
    model->importClipboard(pasteboard, false, Mode::plainText, {});
    EXPECT_FALSE(model->failure());
    EXPECT_TRUE(model->usesClipboard());
    held.release();
    settle(*model);
    test::settlePool();
    QCoreApplication::processEvents();
    EXPECT_EQ(model->importedText()->text(), u"コピーした文"_s);
    EXPECT_EQ(presented, 0);
}

TEST_F(CaptureModelFlows, APermissionLostDuringACaptureEndsItAsMissingAndAGrantClearsOnlyThat) {
    auto model = make();
    EXPECT_TRUE(model->accessibilityGranted());
    // Lost while nothing runs: the failure stays as it is.
    granted = false;
    model->refreshPermission();
    EXPECT_FALSE(model->accessibilityGranted());
    EXPECT_FALSE(model->failure());

    granted = true;
    nextWork = held.work(PreparedCapture{.document = documentOf(u"文"_s)});
    model->captureFrontmost({});
    granted = false;
    model->refreshPermission();
    EXPECT_EQ(model->failure(), CaptureFailure::permissionRequired);
    EXPECT_FALSE(model->isCapturing());
    held.release();

    granted = true;
    model->requestAccessibilityPermission();
    EXPECT_EQ(permissionRequests, 1);
    EXPECT_FALSE(model->failure());
    EXPECT_TRUE(model->accessibilityGranted());

    // Another failure survives a grant; during a clipboard import only the flag follows.
    nextWork = [](const CancellationToken&) -> CaptureResult<PreparedCapture> {
        return tl::unexpected(CaptureFailure::timedOut);
    };
    model->captureFrontmost({});
    settle(*model);
    model->refreshPermission();
    EXPECT_EQ(model->failure(), CaptureFailure::timedOut);
    auto pasteboard = std::make_shared<OneItemPasteboard>();
    pasteboard->text = u"本文"_s;
    model->importClipboard(pasteboard, true, Mode::automatic, {});
    granted = false;
    model->refreshPermission();
    EXPECT_TRUE(model->isCapturing());
    EXPECT_FALSE(model->accessibilityGranted());
    settle(*model);
    EXPECT_FALSE(model->failure());
    test::settlePool();
}

TEST_F(CaptureModelFlows, ClipboardImportsConvertHereOrInAWorkerAndCheckWhatComesBack) {
    auto model = make();
    auto pasteboard = std::make_shared<OneItemPasteboard>();
    pasteboard->text = u"# 見出し\n本文"_s;
    int presented = 0;
    int capturingChanges = 0;
    QObject::connect(model.get(), &CaptureModel::isCapturingChanged, [&] { ++capturingChanges; });

    // Plain text in plain-text mode: read and converted on the pool, no worker; the reader comes up at
    // once.
    model->importClipboard(pasteboard, false, Mode::plainText, [&] { ++presented; });
    EXPECT_EQ(presented, 1);
    EXPECT_TRUE(model->isCapturing());
    settle(*model);
    EXPECT_EQ(capturingChanges, 2);
    EXPECT_TRUE(workerRequests.isEmpty());
    ASSERT_TRUE(model->importedText());
    EXPECT_EQ(model->importedText()->text(), u"# 見出し\n本文"_s);
    EXPECT_FALSE(model->importedText()->autoplay);
    EXPECT_TRUE(model->importedText()->allowsReplacementUndo);
    EXPECT_EQ(model->importedText()->reading.source, u"クリップボード"_s);
    EXPECT_EQ(presented, 1);

    // Automatic mode goes through the worker, with the 3-second deadline, and presents before it ends.
    const auto before = SystemClock::shared().monotonicNow();
    model->importClipboard(pasteboard, true, Mode::automatic, [&] { ++presented; });
    EXPECT_EQ(presented, 2);
    EXPECT_TRUE(model->isCapturing());
    EXPECT_EQ(model->statusMessage(), u"クリップボードから文章を取得しています…"_s);
    settle(*model);
    ASSERT_EQ(workerRequests.size(), 1);
    EXPECT_EQ(workerRequests[0].operation, CaptureWorkerRequest::Operation::clipboard);
    EXPECT_EQ(workerRequests[0].clipboard->text, pasteboard->text);
    EXPECT_GE(workerDeadlines[0], before + kCaptureTimeGiven);
    EXPECT_LE(workerDeadlines[0], SystemClock::shared().monotonicNow() + kCaptureTimeGiven);
    EXPECT_EQ(model->importedText()->text(), u"変換済み"_s);
    EXPECT_TRUE(model->importedText()->autoplay);
    EXPECT_TRUE(model->importedText()->allowsReplacementUndo);
    EXPECT_EQ(model->statusMessage(),
              u"取得元：クリップボード · 選択文。取り込み後は自動再生します。原文の選択位置から読み直せます。"_s);

    // What the worker answers is checked as every clipboard document is; a failure keeps the reading.
    const auto previous = model->importedText();
    const auto failureFor = [&](CaptureResult<CaptureWorkerResponse> response) {
        workerResponse = std::move(response);
        model->importClipboard(pasteboard, false, Mode::automatic, {});
        settle(*model);
        EXPECT_FALSE(model->succeeded());
        EXPECT_EQ(model->importedText(), previous);
        return model->failure();
    };
    EXPECT_EQ(failureFor(CaptureWorkerResponse{}), CaptureFailure::clipboardUnreadable);
    EXPECT_EQ(failureFor(CaptureWorkerResponse{.document = documentOf(QString(20'001, u'字'))}),
              CaptureFailure::tooLong);
    EXPECT_EQ(failureFor(CaptureWorkerResponse{.document = documentOf(u"  \n \n"_s)}), CaptureFailure::emptyText);
    EXPECT_EQ(failureFor(CaptureWorkerResponse::failed(CaptureFailure::markdownTooComplex)),
              CaptureFailure::markdownTooComplex);
    EXPECT_EQ(failureFor(tl::unexpected(CaptureFailure::timedOut)), CaptureFailure::timedOut);
    workerResponse = CaptureWorkerResponse{.document = documentOf(QString(20'000, u'字'))};
    model->importClipboard(pasteboard, false, Mode::automatic, {});
    settle(*model);
    EXPECT_FALSE(model->failure());
    EXPECT_EQ(model->importedText()->text().size(), 20'000);

    // The snapshot's own failure, and its dismissal from the start view.
    pasteboard->text = u" \n"_s;
    model->importClipboard(pasteboard, false, Mode::plainText, {});
    settle(*model);
    EXPECT_EQ(model->failure(), CaptureFailure::emptyText);
    EXPECT_EQ(model->clipboardFailureMessage(),
              u"コピーした内容は空白や改行だけでした。読む文章をコピーして、もう一度貼り付けてください。"_s);
    model->dismissClipboardFailure();
    EXPECT_FALSE(model->failure());
}

TEST_F(CaptureModelFlows, AConsentAnswerChangesOnlyTheFailureItWasAskedFor) {
    auto model = make();
    // No browser: nothing is asked.
    model->requestAutomationPermission();
    EXPECT_FALSE(model->isRequestingAutomation());
    EXPECT_TRUE(consentRequests.isEmpty());

    const CaptureSource chromium{
        .pid = 9, .name = u"Chromium"_s, .browser = ArticleBrowser::chrome, .browserId = u"chromium"_s};
    source = chromium;
    const auto failWith = [&](CaptureFailure failure) {
        nextWork = [failure](const CancellationToken&) -> CaptureResult<PreparedCapture> {
            return tl::unexpected(failure);
        };
        model->captureFrontmost({});
        settle(*model);
    };
    failWith(CaptureFailure::automationRequired);
    EXPECT_EQ(
        model->statusMessage(),
        u"表示中のページを読むには、TavrineからChromiumへのオートメーション権限が必要です。「ブラウザー連携を許可」で許可した後、元のページからもう一度取り込んでください。"_s);
    model->requestAutomationPermission();
    model->requestAutomationPermission();  // ignored while the first is asked
    ASSERT_EQ(consentRequests.size(), 1);
    EXPECT_EQ(consentRequests[0].browserId, u"chromium"_s);
    EXPECT_EQ(consentRequests[0].name, u"Chromium"_s);
    EXPECT_FALSE(consentRequests[0].always);
    EXPECT_TRUE(model->isRequestingAutomation());
    pendingAnswer(kAutomationDenied);
    EXPECT_FALSE(model->isRequestingAutomation());
    EXPECT_EQ(model->failure(), CaptureFailure::automationDenied);
    EXPECT_EQ(
        model->statusMessage(),
        u"ブラウザー連携が許可されていません。Tavrineの設定の「取り込みと連携」で、TavrineからChromiumへの操作を許可してください。"_s);

    // Refused, then asked again (the place of the system's switch): allowed, the failure goes at once;
    // refused again, it stays.
    model->openAutomationSettings();
    ASSERT_EQ(consentRequests.size(), 2);
    EXPECT_TRUE(consentRequests[1].always);
    EXPECT_TRUE(model->isRequestingAutomation());
    pendingAnswer(kAutomationDenied);
    EXPECT_EQ(model->failure(), CaptureFailure::automationDenied);
    model->openAutomationSettings();
    pendingAnswer(kAutomationAllowed);
    EXPECT_FALSE(model->failure());
    EXPECT_FALSE(model->isRequestingAutomation());

    failWith(CaptureFailure::automationRequired);
    model->requestAutomationPermission();
    pendingAnswer(kAutomationAllowed);
    EXPECT_FALSE(model->failure());

    // An answer that comes after another capture failed otherwise leaves that failure; so does Chromium's
    // answer after a capture from Google Chrome, which has its own consent.
    failWith(CaptureFailure::automationRequired);
    model->requestAutomationPermission();
    failWith(CaptureFailure::noSelection);
    pendingAnswer(kAutomationAllowed);
    EXPECT_EQ(model->failure(), CaptureFailure::noSelection);
    EXPECT_FALSE(model->isRequestingAutomation());
    failWith(CaptureFailure::automationRequired);
    model->requestAutomationPermission();
    source = CaptureSource{
        .pid = 10, .name = u"Google Chrome"_s, .browser = ArticleBrowser::chrome, .browserId = u"google-chrome"_s};
    failWith(CaptureFailure::automationRequired);
    pendingAnswer(kAutomationAllowed);
    EXPECT_EQ(model->failure(), CaptureFailure::automationRequired);
    model->requestAutomationPermission();
    EXPECT_EQ(consentRequests.last().browserId, u"google-chrome"_s);
    EXPECT_EQ(consentRequests.last().name, u"Google Chrome"_s);
}

// The application's consent dialog, per browser: refused for Chromium, then asked again and allowed; the
// next capture of Chromium reads the answer, while Google Chrome, never asked, is asked for its own.
TEST_F(CaptureModelFlows, EachBrowsersConsentIsAskedAndKeptApart) {
    MemoryDefaults defaults;
    BrowserAutomationConsent consent(defaults, {});
    const auto application = applicationCaptureFunctions(consent, {});
    const auto answerDialog = [](const QString& name, const QString& button) {
        QMessageBox* box = nullptr;
        EXPECT_TRUE(test::processEventsUntil([&] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                if (auto* found = qobject_cast<QMessageBox*>(widget); found && found->isVisible()) box = found;
            }
            return box != nullptr;
        }));
        if (!box) return;
        EXPECT_EQ(QString(box->text()).remove(kWordJoiner),
                  u"Tavrineから"_s + name + u"の表示中のページを読み取ることを許可しますか？"_s);
        EXPECT_EQ(QString(box->informativeText()).remove(kWordJoiner),
                  u"この回答は"_s + name + u"だけに使います。「設定…」の「取り込みと連携」でいつでも取り消せます。"_s);
        for (QAbstractButton* candidate : box->buttons()) {
            if (candidate->text() == button) candidate->click();
        }
        QCoreApplication::processEvents();
    };
    auto model = make();
    const CaptureSource chromium{
        .pid = 9, .name = u"Chromium"_s, .browser = ArticleBrowser::chrome, .browserId = u"chromium"_s};
    const CaptureSource chrome{
        .pid = 10, .name = u"Google Chrome"_s, .browser = ArticleBrowser::chrome, .browserId = u"google-chrome"_s};
    int captures = 0;
    // As the application's capture: the answer as it stands when the capture starts.
    const auto capture = [&](const CaptureSource& from) {
        source = from;
        const int permission = consent.permission(from.browserId);
        nextWork = [permission, &captures](const CancellationToken&) -> CaptureResult<PreparedCapture> {
            ++captures;
            if (permission == kAutomationUndecided) return tl::unexpected(CaptureFailure::automationRequired);
            if (permission != kAutomationAllowed) return tl::unexpected(CaptureFailure::automationDenied);
            return PreparedCapture{.document = documentOf(u"記事"_s), .isBody = true};
        };
        model->captureFrontmost({});
        settle(*model);
    };
    capture(chromium);
    EXPECT_EQ(model->failure(), CaptureFailure::automationRequired);
    application.automationRequest(u"chromium"_s, u"Chromium"_s, false,
                                  [](int status) { EXPECT_EQ(status, kAutomationDenied); });
    answerDialog(u"Chromium"_s, u"許可しない"_s);
    capture(chromium);
    EXPECT_EQ(model->failure(), CaptureFailure::automationDenied);
    // Decided: asked without `always`, the kept answer comes back without a dialog.
    std::optional<int> kept;
    application.automationRequest(u"chromium"_s, u"Chromium"_s, false, [&](int status) { kept = status; });
    EXPECT_EQ(kept, kAutomationDenied);

    // Asked again, whatever was kept.
    std::optional<int> again;
    application.automationRequest(u"chromium"_s, u"Chromium"_s, true, [&](int status) { again = status; });
    answerDialog(u"Chromium"_s, u"許可"_s);
    EXPECT_EQ(again, kAutomationAllowed);
    capture(chromium);
    EXPECT_FALSE(model->failure());
    EXPECT_TRUE(model->succeeded());

    // Chromium's consent is not Google Chrome's.
    capture(chrome);
    EXPECT_EQ(model->failure(), CaptureFailure::automationRequired);
    EXPECT_EQ(defaults.object(u"reader.linux.browserConsent.chromium"_s), DefaultsValue(true));
    EXPECT_FALSE(defaults.object(u"reader.linux.browserConsent.google-chrome"_s));
    EXPECT_EQ(captures, 4);
}

// The application's source: named by its desktop entry, a browser by its id.
TEST(CaptureSourceOfTheDesktop, TheEntryNamesTheSourceAndTellsBrowsersAndWebHandlers) {
    EXPECT_EQ(captureSourceOf(5, 3, std::nullopt).name, u"取得元アプリ"_s);
    const auto chromium = parseDesktopEntry(
        u"chromium"_s,
        "[Desktop Entry]\nName=Chromium\nName[ja]=Chromium ウェブ ブラウザ\n"
        "MimeType=text/html;X-Scheme-Handler/HTTP;x-scheme-handler/https;\n[Desktop Action new]\nName=x\n");
    ASSERT_TRUE(chromium);
    const CaptureSource source = captureSourceOf(5, 3, chromium);
    EXPECT_EQ(source.name, u"Chromium ウェブ ブラウザ"_s);
    EXPECT_EQ(source.browser, ArticleBrowser::chrome);
    EXPECT_EQ(source.browserId, u"chromium"_s);
    EXPECT_TRUE(source.includeWebArticles);
    const CaptureSource beta = captureSourceOf(5, 3, DesktopEntry{.id = u"google-chrome-beta"_s, .name = u"G"_s});
    EXPECT_EQ(beta.browser, ArticleBrowser::chrome);
    EXPECT_EQ(beta.browserId, u"google-chrome-beta"_s);
    EXPECT_FALSE(captureSourceOf(5, 3, DesktopEntry{.id = u"Chromium"_s, .name = u"C"_s}).browser);
    EXPECT_TRUE(captureSourceOf(5, 3, DesktopEntry{.id = u"firefox"_s, .name = u"F"_s}).browserId.isEmpty());
    // Only the secure scheme, or none: no web handler; but the one scheme makes a web browser, whose primary
    // selection is never read.
    const auto secureOnly = parseDesktopEntry(u"x"_s, "[Desktop Entry]\nName=X\nMimeType=x-scheme-handler/https;\n");
    EXPECT_FALSE(secureOnly->handlesWebAddresses);
    EXPECT_TRUE(secureOnly->isWebBrowser);
    EXPECT_TRUE(captureSourceOf(5, 3, secureOnly).isWebBrowser);
    EXPECT_FALSE(parseDesktopEntry(u"x"_s, "[Desktop Entry]\nName=X\n")->handlesWebAddresses);
    EXPECT_FALSE(parseDesktopEntry(u"x"_s, "[Desktop Entry]\nName=X\n")->isWebBrowser);
    EXPECT_FALSE(parseDesktopEntry(u"x"_s, "[Other]\nName=X\n"));
}

TEST(CaptureSourceOfTheDesktop, AnEntryIsFoundByItsIdOrItsStartupWindowClassFirstFolderFirst) {
    test::TemporaryDirectory home;
    test::TemporaryDirectory system;
    home.write(u"kde/org.example.Editor.desktop"_s, "[Desktop Entry]\nName=Home Editor\nStartupWMClass=editor\n");
    system.write(u"editor.desktop"_s, "[Desktop Entry]\nName=System Editor\n");
    system.write(u"term.desktop"_s, "[Desktop Entry]\nName=Terminal\nStartupWMClass=XTerm\n");
    const QStringList folders{home.path(), system.path()};

    EXPECT_EQ(findDesktopEntry(u"editor"_s, u"Editor"_s, folders)->name, u"Home Editor"_s);
    EXPECT_EQ(findDesktopEntry(u"editor"_s, u"Editor"_s, folders)->id, u"kde-org.example.Editor"_s);
    EXPECT_EQ(findDesktopEntry(u"xterm"_s, u"XTerm"_s, folders)->name, u"Terminal"_s);
    EXPECT_EQ(findDesktopEntry(u"EDITOR"_s, {}, {system.path()})->name, u"System Editor"_s);
    EXPECT_FALSE(findDesktopEntry(u"nothing"_s, u"Nothing"_s, folders));
}

// Applications with reverse-DNS ids name their windows after the id's last part: the entry names the
// source, in Japanese where it says; an entry that names the class itself comes first.
TEST(CaptureSourceOfTheDesktop, AReverseDomainIdIsFoundByItsLastPart) {
    test::TemporaryDirectory home;
    test::TemporaryDirectory system;
    home.write(u"org.xfce.mousepad.desktop"_s,
               "[Desktop Entry]\nName=Mousepad\nName[ja]=Mousepad テキストエディター\n");
    home.write(u"org.example.Viewer.desktop"_s, "[Desktop Entry]\nName=Example Viewer\n");
    home.write(u"viewer-app.desktop"_s, "[Desktop Entry]\nName=Viewer App\nStartupWMClass=viewer\n");
    system.write(u"org.example.Viewer.desktop"_s, "[Desktop Entry]\nName=Example Viewer\n");
    system.write(u"python3.11.desktop"_s, "[Desktop Entry]\nName=Python\n");
    const QStringList folders{home.path(), system.path()};

    const auto mousepad = findDesktopEntry(u"mousepad"_s, u"Mousepad"_s, folders);
    ASSERT_TRUE(mousepad);
    EXPECT_EQ(mousepad->id, u"org.xfce.mousepad"_s);
    EXPECT_EQ(captureSourceOf(5, 3, mousepad).name, u"Mousepad テキストエディター"_s);
    EXPECT_EQ(findDesktopEntry(u"viewer"_s, u"Viewer"_s, folders)->name, u"Viewer App"_s);
    EXPECT_EQ(findDesktopEntry(u"viewer"_s, u"Viewer"_s, {system.path()})->name, u"Example Viewer"_s);
    EXPECT_FALSE(findDesktopEntry(u"11"_s, {}, folders));
}

// In the first folder, a FIFO and a link to an endless device carry the ids: neither holds the search up,
// and the entries of the next folder count.
TEST(CaptureSourceOfTheDesktop, AnEntryThatIsNoRegularFileIsSkippedAtOnce) {
    test::TemporaryDirectory home;
    test::TemporaryDirectory system;
    test::makeFifo(home.filePath(u"editor.desktop"_s));
    ASSERT_TRUE(QFile::link(u"/dev/zero"_s, home.filePath(u"term.desktop"_s)));
    system.write(u"editor.desktop"_s, "[Desktop Entry]\nName=System Editor\n");
    system.write(u"term.desktop"_s, "[Desktop Entry]\nName=Terminal\n");
    const QStringList folders{home.path(), system.path()};
    const auto found = test::withinDeadline([&] {
        return std::pair{findDesktopEntry(u"editor"_s, {}, folders), findDesktopEntry(u"term"_s, {}, folders)};
    });
    ASSERT_TRUE(found.first && found.second);
    EXPECT_EQ(found.first->name, u"System Editor"_s);
    EXPECT_EQ(found.second->name, u"Terminal"_s);
}

// The real worker, killed while it converts an automatic clipboard import.
class KilledClipboardWorker : public test::RealCaptureWorker {};

TEST_F(KilledClipboardWorker, FailsAtOnceKeepsThePreviousReadingAndTheNextImportWorks) {
    MemoryDefaults defaults;
    test::FakeClock clock;
    MacReadingPlayback playback(std::nullopt, defaults, clock, MacReadingPlayback::readingFontPhraseWidth());
    ReadingPlayer& player = playback.player();
    std::atomic<bool> kill = true;
    std::atomic<std::chrono::steady_clock::time_point> killedAt{};
    // The worker answers, however slowly a loaded machine starts it: it is waited for as long as the test may
    // run, not for the import's 3 seconds.
    CaptureModel model(&player, CaptureModel::Functions{
                                    .clipboardWorker =
                                        [&kill, &killedAt](const CaptureWorkerRequest& request, CaptureDeadline,
                                                           const CancellationToken& cancellation) {
                                            CaptureWorkerLaunch launch = test::realWorker();
                                            if (kill) {
                                                launch.childStarted = [&killedAt](pid_t child) {
                                                    killedAt = std::chrono::steady_clock::now();
                                                    ::kill(child, SIGKILL);
                                                };
                                            }
                                            return runCaptureWorker(request, test::deadlineIn(test::patience()),
                                                                    cancellation, launch);
                                        },
                                    .clock = &clock,
                                });
    QObject::connect(&model, &CaptureModel::importedTextChanged, &player,
                     [&] { player.apply(*model.importedText(), true); });
    auto pasteboard = std::make_shared<OneItemPasteboard>();
    pasteboard->text = u"最初の文章です。"_s;
    model.importClipboard(pasteboard, false, Mode::plainText, {});
    ASSERT_TRUE(test::processEventsUntil([&] { return !model.isCapturing(); }));
    ASSERT_EQ(player.document()->text, u"最初の文章です。"_s);

    pasteboard->html = "<p>次の<b>文章</b>です。</p>";
    model.importClipboard(pasteboard, true, Mode::automatic, {});
    ASSERT_TRUE(test::processEventsUntil([&] { return !model.isCapturing(); }));
    // At once, timed from the kill: the launcher sees the child end, and never waits for the deadline (which
    // would be timedOut).
    EXPECT_LT(std::chrono::steady_clock::now() - killedAt.load(), kCaptureTimeLimit);
    EXPECT_EQ(model.failure(), CaptureFailure::unavailable);
    EXPECT_EQ(model.statusMessage(),
              u"クリップボードと通信できませんでした。元のアプリを開き直し、文章を選択して再実行してください。"_s);
    EXPECT_EQ(player.document()->text, u"最初の文章です。"_s);

    kill = false;
    model.importClipboard(pasteboard, true, Mode::automatic, {});
    ASSERT_TRUE(test::processEventsUntil([&] { return !model.isCapturing(); }));
    EXPECT_FALSE(model.failure());
    EXPECT_EQ(player.document()->text.trimmed(), u"次の文章です。"_s);
    player.prepareForTermination();
    test::settlePool();
}

}  // namespace
}  // namespace tavrine
