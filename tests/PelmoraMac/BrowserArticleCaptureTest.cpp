#include "PelmoraMac/Capture/BrowserArticleCapture.h"
#include "PelmoraMac/Capture/BrowserAutomationConsent.h"

#include "CaptureTesting.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using test::deadlineIn;
using test::failureOf;
using Operation = CaptureWorkerRequest::Operation;

const QString kPage = u"https://example.org/article"_s;

BrowserSnapshot snapshotOf(const QString& url, bool withHTML) {
    return {.status = u"ok"_s,
            .url = url,
            .documentID = u"1700000000000.5"_s,
            .html = withHTML ? std::optional(u"<html><body><p>本文</p></body></html>"_s) : std::nullopt,
            .windowID = u"7"_s,
            .tabID = u"TAB"_s};
}

ReadingDocument article() {
    return {.sections = std::nullopt,
            .text = u"本文\n"_s,
            .spans = {{.kind = ReadingDocument::Span::Kind::paragraph, .start = 0, .end = 3}}};
}

// The desktop and the workers of one capture, played by the test: every worker request is logged, and
// answered by the scripted response of its operation; `between` runs after each answer, as the user
// or the browser would act meanwhile.
struct FakeDesktop {
    bool browserInFront = true;
    int permission = kAutomationAllowed;
    CaptureResult<CaptureWorkerResponse> snapshot = CaptureWorkerResponse{.snapshot = snapshotOf(kPage, true)};
    CaptureResult<CaptureWorkerResponse> extraction = CaptureWorkerResponse{.document = article()};
    CaptureResult<CaptureWorkerResponse> verification = CaptureWorkerResponse{.snapshot = snapshotOf(kPage, false)};
    std::function<void(Operation)> between;
    std::optional<BrowserWindowBounds> frontWindow;
    std::optional<Date> began;
    QList<CaptureWorkerRequest> requests;
    int frontChecks = 0;

    BrowserArticleCaptureEnvironment environment() {
        return {
            .isFrontApplication =
                [this](pid_t pid) {
                    ++frontChecks;
                    return browserInFront && pid == 4242;
                },
            .automationPermission = [this](ArticleBrowser) { return permission; },
            .runWorker =
                [this](const CaptureWorkerRequest& request, CaptureDeadline, const CancellationToken&) {
                    requests.append(request);
                    const auto response = request.operation == Operation::snapshot  ? snapshot
                                          : request.operation == Operation::extract ? extraction
                                                                                    : verification;
                    if (between) between(request.operation);
                    return response;
                },
            .frontWindow = frontWindow,
            .began = began,
        };
    }

    CaptureResult<std::optional<ReadingDocument>> capture(CaptureDeadline deadline = deadlineIn(3s),
                                                          const CancellationToken& token = CancellationToken::none()) {
        return captureBrowserArticle(ArticleBrowser::chrome, kPage, 4242, deadline, token, environment());
    }

    QList<Operation> operations() const {
        QList<Operation> list;
        for (const auto& request : requests) list.append(request.operation);
        return list;
    }
};

// The document of a capture that must succeed.
std::optional<ReadingDocument> documentOf(const CaptureResult<std::optional<ReadingDocument>>& capture) {
    if (!capture) {
        ADD_FAILURE() << "the capture failed: " << rawValue(capture.error()).toStdString();
        return std::nullopt;
    }
    return *capture;
}

const QList<Operation> kAllThree{Operation::snapshot, Operation::extract, Operation::verify};

TEST(BrowserArticleCapture, ThreeWorkersInOrderGiveTheArticle) {
    FakeDesktop desktop;
    EXPECT_EQ(documentOf(desktop.capture()), article());
    ASSERT_EQ(desktop.operations(), kAllThree);
    EXPECT_EQ(desktop.requests[0].browser, ArticleBrowser::chrome);
    EXPECT_EQ(desktop.requests[1].html, snapshotOf(kPage, true).html);
    EXPECT_EQ(desktop.requests[2].browser, ArticleBrowser::chrome);
    // Both snapshots ask the browser whose window is in front.
    EXPECT_EQ(desktop.requests[0].process, 4242);
    EXPECT_EQ(desktop.requests[2].process, 4242);
    EXPECT_EQ(desktop.frontChecks, 4);

    // No article body: no document and no failure, and the page is still verified.
    FakeDesktop noBody;
    noBody.extraction = CaptureWorkerResponse{};
    EXPECT_EQ(documentOf(noBody.capture()), std::nullopt);
    EXPECT_EQ(noBody.operations(), kAllThree);
}

TEST(BrowserArticleCapture, WithoutConsentOrInTimeNoWorkerStarts) {
    const std::pair<int, CaptureFailure> statuses[] = {{kAutomationUndecided, CaptureFailure::automationRequired},
                                                       {kAutomationDenied, CaptureFailure::automationDenied},
                                                       {-600, CaptureFailure::unavailable}};
    for (const auto& [status, failure] : statuses) {
        FakeDesktop desktop;
        desktop.permission = status;
        EXPECT_EQ(failureOf(desktop.capture()), failure);
        EXPECT_TRUE(desktop.requests.isEmpty());
    }
    FakeDesktop late;
    EXPECT_EQ(failureOf(late.capture(deadlineIn(-1ms))), CaptureFailure::timedOut);
    CancellationToken token;
    token.cancel();
    // Cancellation is told first, even past the deadline.
    EXPECT_EQ(failureOf(late.capture(deadlineIn(-1ms), token)), CaptureFailure::cancelled);
    late.browserInFront = false;
    EXPECT_EQ(failureOf(late.capture()), CaptureFailure::sourceChanged);
    EXPECT_TRUE(late.requests.isEmpty());
}

TEST(BrowserArticleCapture, TheFirstSnapshotMustBeThePageWithItsHTMLAndIdentity) {
    const auto without = [](auto change) {
        BrowserSnapshot snapshot = snapshotOf(kPage, true);
        change(snapshot);
        return CaptureWorkerResponse{.snapshot = snapshot};
    };
    const CaptureWorkerResponse unfit[] = {
        CaptureWorkerResponse{},
        without([](BrowserSnapshot& s) { s.url = kPage + u"#part"_s; }),  // the fragment changed since
        without([](BrowserSnapshot& s) { s.url.reset(); }),
        without([](BrowserSnapshot& s) { s.html.reset(); }),
        without([](BrowserSnapshot& s) { s.documentID.reset(); }),
    };
    for (const auto& response : unfit) {
        FakeDesktop desktop;
        desktop.snapshot = response;
        EXPECT_EQ(failureOf(desktop.capture()), CaptureFailure::sourceChanged);
        EXPECT_EQ(desktop.operations(), QList<Operation>{Operation::snapshot});
    }
    // An empty HTML is HTML.
    FakeDesktop empty;
    empty.snapshot = without([](BrowserSnapshot& s) { s.html = u""_s; });
    EXPECT_TRUE(empty.capture());
}

TEST(BrowserArticleCapture, AChangeBetweenTheWorkersFailsTheCapture) {
    // The browser left the front while the first worker ran: nothing is extracted.
    FakeDesktop left;
    left.between = [&](Operation operation) {
        if (operation == Operation::snapshot) left.browserInFront = false;
    };
    EXPECT_EQ(failureOf(left.capture()), CaptureFailure::sourceChanged);
    EXPECT_EQ(left.operations(), QList<Operation>{Operation::snapshot});

    // After the last worker.
    FakeDesktop leftLate;
    leftLate.between = [&](Operation operation) {
        if (operation == Operation::verify) leftLate.browserInFront = false;
    };
    EXPECT_EQ(failureOf(leftLate.capture()), CaptureFailure::sourceChanged);
    EXPECT_EQ(leftLate.operations(), kAllThree);

    // The deadline passed while the first worker ran (a real one would have been stopped): nothing is
    // extracted.
    FakeDesktop slow;
    slow.between = [](Operation) { std::this_thread::sleep_for(60ms); };
    EXPECT_EQ(failureOf(slow.capture(deadlineIn(50ms))), CaptureFailure::timedOut);
    EXPECT_EQ(slow.operations(), QList<Operation>{Operation::snapshot});

    FakeDesktop missing;
    missing.verification = CaptureWorkerResponse{};
    EXPECT_EQ(failureOf(missing.capture()), CaptureFailure::sourceChanged);
}

// The first snapshot alone, as the selection capture reads it, is of a page the browser showed in front when
// the capture began and still shows there: the workers are told where the browser's window in front lies, the
// browser must be in front after the snapshot too, and a page loaded after the capture began (the fake's
// document loaded at 1,700,000,000,000.5 ms) is another page than the one the user asked for.
TEST(BrowserArticleCapture, TheFirstSnapshotIsOfThePageInFrontWhenTheCaptureBegan) {
    const auto snapshot = [](FakeDesktop& desktop) {
        return snapshotBrowserPage(ArticleBrowser::chrome, 4242, deadlineIn(3s), CancellationToken::none(),
                                   desktop.environment());
    };
    FakeDesktop loadedBefore;
    loadedBefore.frontWindow = BrowserWindowBounds{.left = 10, .top = 20, .width = 800, .height = 600};
    loadedBefore.began = Date::fromUnixSeconds(1'700'000'000.001);
    ASSERT_TRUE(snapshot(loadedBefore));
    EXPECT_EQ(loadedBefore.requests.value(0).window, loadedBefore.frontWindow);
    EXPECT_TRUE(loadedBefore.capture());
    EXPECT_EQ(loadedBefore.requests.value(3).window, loadedBefore.frontWindow);

    FakeDesktop loadedAfter;
    loadedAfter.began = Date::fromUnixSeconds(1'700'000'000.0);
    EXPECT_EQ(failureOf(snapshot(loadedAfter)), CaptureFailure::sourceChanged);

    FakeDesktop left;
    left.between = [&](Operation) { left.browserInFront = false; };
    EXPECT_EQ(failureOf(snapshot(left)), CaptureFailure::sourceChanged);
}

// The article is the page's only when nothing is selected in it, before and after the extraction.
TEST(BrowserArticleCapture, SomethingSelectedInThePageIsNoArticle) {
    FakeDesktop before;
    BrowserSnapshot selected = snapshotOf(kPage, false);
    selected.selection = u"選択"_s;
    before.snapshot = CaptureWorkerResponse{.snapshot = selected};
    EXPECT_EQ(failureOf(before.capture()), CaptureFailure::selectionUnknown);
    EXPECT_EQ(before.operations(), QList<Operation>{Operation::snapshot});

    FakeDesktop meanwhile;
    meanwhile.verification = CaptureWorkerResponse{.snapshot = selected};
    EXPECT_EQ(failureOf(meanwhile.capture()), CaptureFailure::selectionUnknown);
    EXPECT_EQ(meanwhile.operations(), kAllThree);

    // Nothing selected, as the page says it.
    FakeDesktop nothing;
    BrowserSnapshot empty = snapshotOf(kPage, true);
    empty.selection = u""_s;
    nothing.snapshot = CaptureWorkerResponse{.snapshot = empty};
    EXPECT_TRUE(nothing.capture());
}

TEST(BrowserArticleCapture, WorkerFailuresComeThroughUnchanged) {
    for (const CaptureFailure failure : {CaptureFailure::browserJavaScriptDisabled, CaptureFailure::htmlTooLarge,
                                         CaptureFailure::unavailable, CaptureFailure::timedOut}) {
        FakeDesktop desktop;
        desktop.snapshot = tl::unexpected(failure);
        EXPECT_EQ(failureOf(desktop.capture()), failure);
    }
    for (const CaptureFailure failure : {CaptureFailure::extractionFailed, CaptureFailure::tooLong}) {
        FakeDesktop desktop;
        desktop.extraction = tl::unexpected(failure);
        EXPECT_EQ(failureOf(desktop.capture()), failure);
        EXPECT_EQ(desktop.operations(), (QList<Operation>{Operation::snapshot, Operation::extract}));
    }
    FakeDesktop desktop;
    desktop.verification = tl::unexpected(CaptureFailure::browserJavaScriptDisabled);
    EXPECT_EQ(failureOf(desktop.capture()), CaptureFailure::browserJavaScriptDisabled);
}

TEST(VerifySnapshotsMatch, TheSecondSnapshotMustShowTheSameDocumentInTheSameTab) {
    const BrowserSnapshot first = snapshotOf(kPage, true);
    const BrowserSnapshot second = snapshotOf(kPage, false);
    EXPECT_TRUE(verifySnapshotsMatch(first, second));
    // The first one's status is not looked at.
    BrowserSnapshot odd = first;
    odd.status = u"unavailable"_s;
    EXPECT_TRUE(verifySnapshotsMatch(odd, second));

    const std::function<void(BrowserSnapshot&)> changes[] = {
        [](BrowserSnapshot& s) { s.status = u"htmlTooLarge"_s; },
        [](BrowserSnapshot& s) { s.url = kPage + u"?"_s; },
        [](BrowserSnapshot& s) { s.documentID = u"1700000000001.5"_s; },
        [](BrowserSnapshot& s) { s.windowID = u"8"_s; },
        [](BrowserSnapshot& s) { s.tabID = u"OTHER"_s; },
        [](BrowserSnapshot& s) { s.tabID.reset(); },
        [](BrowserSnapshot& s) { s.windowID = u""_s; },
    };
    for (const auto& change : changes) {
        BrowserSnapshot changed = second;
        change(changed);
        EXPECT_EQ(failureOf(verifySnapshotsMatch(first, changed)), CaptureFailure::sourceChanged);
    }
    // Two absent values are equal.
    BrowserSnapshot bare = first;
    bare.windowID.reset();
    bare.tabID.reset();
    BrowserSnapshot bareSecond = second;
    bareSecond.windowID.reset();
    bareSecond.tabID.reset();
    EXPECT_TRUE(verifySnapshotsMatch(bare, bareSecond));
}

}  // namespace
}  // namespace tavrine
