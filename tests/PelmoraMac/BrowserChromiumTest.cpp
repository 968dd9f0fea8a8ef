#include "PelmoraMac/Capture/ArticleScriptHost.h"
#include "PelmoraMac/Capture/BrowserArticleCapture.h"
#include "PelmoraMac/Capture/BrowserAutomationConsent.h"
#include "PelmoraMac/Capture/BrowserSnapshotScript.h"
#include "PelmoraMac/Capture/internal/ArticleScriptRun.h"
#include "PelmoraMac/Capture/internal/DevToolsEndpoint.h"
#include "PelmoraMac/Capture/internal/LoopbackListener.h"

#include "CaptureTesting.h"
#include "ChromiumTesting.h"
#include "DocBookPages.h"
#include "support/EventLoop.h"
#include "support/SharedData.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <algorithm>
#include <functional>
#include <memory>

#include <unistd.h>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using test::ChromiumDriver;
using test::deadlineIn;
using test::failureOf;
using test::HeadlessChromium;
using Operation = CaptureWorkerRequest::Operation;

#define SKIP_WITHOUT_CHROMIUM()                                                                          \
    do {                                                                                                 \
        if (HeadlessChromium::executable().isEmpty()) GTEST_SKIP() << HeadlessChromium::missingReason(); \
    } while (false)

// An article long enough for the extractor to take it as one.
QByteArray articlePage(const QString& marker) {
    QString body = u"<h1>"_s + marker + u"</h1>"_s;
    for (int index = 0; index < 8; ++index) {
        body += u"<p>"_s + marker +
                u" is the subject of this paragraph, which goes on for a while, with commas, so that the article "
                u"reads as an article and not as a navigation bar or a footer of a page.</p>"_s;
    }
    return (u"<!DOCTYPE html><html><head><title>"_s + marker + u"</title></head><body><article>"_s + body +
            u"</article></body></html>"_s)
        .toUtf8();
}

// The words of the masked page that the page masks; each is a secret of its own.
const QStringList kMaskedWords{u"spanSecret"_s,     u"parentSecret"_s, u"typedSecret"_s,
                               u"passwordSecret"_s, u"namedSecret"_s,  u"areaSecret"_s,
                               u"fieldSecret"_s,    u"frameSecret"_s,  u"slottedSecret"_s};
const QString kMaskedParagraph =
    u"Around the masked word the article goes on with words of its own, so that a selection of it holds them."_s;
const QString kClearParagraph =
    u"This paragraph sits in a masked block but is shown in the clear, and a reader reads it as any other."_s;

// An article that holds text the page masks: a word in a paragraph, a paragraph masked through its parent
// (beside one it shows in the clear), an editing host for the test to type into, text slotted into an open
// shadow root that masks it, fields whose values are secrets, and a frame whose source holds one.
QByteArray maskedPage() {
    QString article =
        u"<h1>Masked article</h1><p id='around'>Around the masked word <span id='word' "
        u"style='-webkit-text-security:disc'>spanSecret</span> the article goes on with words of its "
        u"own, so that a selection of it holds them.</p><div "
        u"style='-webkit-text-security:circle'><p>The parentSecret paragraph is masked through its "
        u"parent.</p><p style='-webkit-text-security:none'>"_s +
        kClearParagraph +
        u"</p></div><div id='editable' contenteditable style='-webkit-text-security:square'></div>"
        u"<p id='slotted'>slottedSecret</p>"_s;
    for (int index = 0; index < 6; ++index) {
        article +=
            u"<p>The masked article is the subject of this paragraph, which goes on for a while, with commas, "
            u"so that the article reads as an article and not as a navigation bar.</p>"_s;
    }
    return (u"<!DOCTYPE html><html><head><title>Masked</title></head><body><article>"_s + article +
            u"<form><input type='password' value='passwordSecret'><input autocomplete='current-password' "
            u"value='namedSecret'><textarea autocomplete='new-password'>areaSecret</textarea><input "
            u"style='-webkit-text-security:disc' value='fieldSecret'></form><iframe srcdoc='<p>frameSecret</p>'>"
            u"</iframe></article><p id='literal'>Card ending \u2022\u2022\u2022\u20221234 \u2022 Home</p><script>"
            u"document.getElementById('slotted').attachShadow({ mode: 'open' }).innerHTML = "
            u"'<slot style=\"-webkit-text-security:disc\"></slot>';</script></body></html>"_s)
        .toUtf8();
}

// The article the extractor finds in a page's own file, the measure a capture is held to: given as long as the
// test may run, since what it measures is the words, not how fast they came.
ArticleExtraction articleOfFile(const QByteArray& html) {
    const auto extractor = loadArticleExtractorScript(u"extractor"_s);
    if (!extractor) return tl::unexpected(extractor.error());
    return runArticleExtractorSource(*extractor, QString::fromUtf8(html), u"extractArticle"_s, test::patience());
}

// Whether the text holds a masked word or a masking character.
bool holdsMasked(const QString& text) {
    return std::any_of(kMaskedWords.begin(), kMaskedWords.end(),
                       [&](const QString& word) { return text.contains(word); }) ||
           text.contains(QChar(0x2022)) || text.contains(QChar(0x25E6)) || text.contains(QChar(0x25A0));
}

// Local pages, and one headless Chromium for the whole suite (it takes a moment to start), on the
// first of them.
class BrowserCapture : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (HeadlessChromium::executable().isEmpty()) return;
        s_pages = std::make_unique<test::TemporaryDirectory>();
        s_pages->write(u"first.html"_s, articlePage(u"First article"_s));
        s_pages->write(u"second.html"_s, articlePage(u"Second article"_s));
        s_pages->write(u"empty.html"_s, "<!DOCTYPE html><html><head><title>Empty</title></head><body></body></html>");
        // A page that replaces what a script in its world would rely on, and pretends to be in front.
        s_pages->write(
            u"hostile.html"_s,
            "<!DOCTYPE html><html><head><title>Hostile</title><script>"
            "JSON.stringify = function () { return '{\"status\":\"ok\",\"url\":\"https://evil.example/\"}'; };"
            "Object.defineProperty(window, 'performance', { value: { timeOrigin: 1 } });"
            "var RSVPSnapshot = { snapshot: function () { return 'replaced'; } };"
            "Object.defineProperty(Element.prototype, 'outerHTML', { get: function () { return 'fake'; } });"
            "Object.defineProperty(Document.prototype, 'visibilityState', { get: function () { return 'visible'; } });"
            "Document.prototype.hasFocus = function () { return true; };"
            "</script></head><body><p>Hostile marker</p></body></html>");
        s_pages->write(u"form.html"_s,
                       "<!DOCTYPE html><html><head><title>Form</title></head><body><p id='p'>Selected paragraph</p>"
                       "<input id='pw' type='password' value='hunter2'><textarea id='ta'>abcdef</textarea>"
                       "</body></html>");
        // A page that tells its own world that its password field is a text field and its selection something
        // else.
        s_pages->write(
            u"disguised.html"_s,
            "<!DOCTYPE html><html><head><title>Disguised</title><script>"
            "Object.defineProperty(HTMLInputElement.prototype, 'type', { get: function () { return 'text'; } "
            "});"
            "window.getSelection = function () { return { toString: function () { return 'fake'; } }; };"
            "</script></head><body><input id='pw' type='password' value='hunter2'></body></html>");
        s_pages->write(u"masked.html"_s, maskedPage());
        s_browser = std::make_unique<HeadlessChromium>(urlOf(u"first.html"_s));
    }
    static void TearDownTestSuite() {
        s_browser.reset();
        s_pages.reset();
    }

    void SetUp() override {
        SKIP_WITHOUT_CHROMIUM();
        ASSERT_TRUE(s_browser->isListening()) << s_browser->failure().toStdString();
        m_driver = std::make_unique<ChromiumDriver>(*s_browser);
    }
    void TearDown() override {
        if (m_driver) m_driver->closeOpened();
    }

    static QString urlOf(const QString& page) { return QUrl::fromLocalFile(s_pages->filePath(page)).toString(); }
    // The tab FRONT, which shows articlePage("Front article") from "/front" of SERVER, is read: its title
    // selected, then, with nothing selected, its article through the workers.
    void expectTheFrontTabRead(const QString& front, const test::HttpPageServer& server);
    // The tab in front, from SERVER's longAddressPages(), is read (its title selected, then its article) within
    // the test's limits beside the tabs on long addresses that OPEN_BEHIND opens behind it.
    void expectTheFrontTabReadBeside(const test::HttpPageServer& server, const std::function<void()>& openBehind);

    static inline std::unique_ptr<test::TemporaryDirectory> s_pages;
    static inline std::unique_ptr<HeadlessChromium> s_browser;
    std::unique_ptr<ChromiumDriver> m_driver;
};

TEST_F(BrowserCapture, ASnapshotAndItsVerificationShowOneDocumentUntilItIsReloaded) {
    const QString tab = m_driver->open(urlOf(u"first.html"_s));
    const auto first = takeBrowserSnapshot(ArticleBrowser::chrome, true);
    ASSERT_TRUE(first) << rawValue(first.error()).toStdString();
    EXPECT_EQ(first->url, urlOf(u"first.html"_s));
    EXPECT_EQ(first->tabID, tab);
    EXPECT_TRUE(first->html && first->html->contains(u"First article is the subject"_s));
    ASSERT_TRUE(first->documentID && first->windowID);
    EXPECT_EQ(first->documentID, m_driver->evaluate(tab, u"String(performance.timeOrigin)"_s).toString());

    const auto second = takeBrowserSnapshot(ArticleBrowser::chrome, false);
    ASSERT_TRUE(second);
    EXPECT_FALSE(second->html);
    EXPECT_TRUE(verifySnapshotsMatch(*first, *second));

    m_driver->reload(tab);
    const auto reloaded = takeBrowserSnapshot(ArticleBrowser::chrome, false);
    ASSERT_TRUE(reloaded);
    EXPECT_EQ(reloaded->tabID, tab);
    EXPECT_NE(reloaded->documentID, first->documentID);
    EXPECT_EQ(failureOf(verifySnapshotsMatch(*first, *reloaded)), CaptureFailure::sourceChanged);
}

TEST_F(BrowserCapture, TheActivatedTabIsTheOneCaptured) {
    const QString first = m_driver->open(urlOf(u"first.html"_s));
    const QString second = m_driver->open(urlOf(u"second.html"_s));
    const auto snapshot = takeBrowserSnapshot(ArticleBrowser::chrome, true);
    ASSERT_TRUE(snapshot);
    EXPECT_EQ(snapshot->tabID, second);
    EXPECT_EQ(snapshot->url, urlOf(u"second.html"_s));

    m_driver->activate(first);
    const auto back = takeBrowserSnapshot(ArticleBrowser::chrome, true);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->tabID, first);
    EXPECT_TRUE(back->html->contains(u"First article"_s));
    EXPECT_EQ(back->windowID, snapshot->windowID);
}

TEST_F(BrowserCapture, APageCannotDeceiveTheSnapshot) {
    const QString hostile = m_driver->open(urlOf(u"hostile.html"_s));
    // In the background it claims to be visible and focused, in its own world.
    const QString second = m_driver->open(urlOf(u"second.html"_s));
    const auto front = takeBrowserSnapshot(ArticleBrowser::chrome, false);
    ASSERT_TRUE(front) << rawValue(front.error()).toStdString();
    EXPECT_EQ(front->tabID, second);

    m_driver->activate(hostile);
    const auto snapshot = takeBrowserSnapshot(ArticleBrowser::chrome, true);
    ASSERT_TRUE(snapshot) << rawValue(snapshot.error()).toStdString();
    EXPECT_EQ(snapshot->tabID, hostile);
    EXPECT_EQ(snapshot->url, urlOf(u"hostile.html"_s));
    EXPECT_TRUE(snapshot->html->contains(u"Hostile marker"_s));
    EXPECT_NE(snapshot->documentID, u"1"_s);
    // The page's own world did see its replacements.
    EXPECT_EQ(m_driver->evaluate(hostile, u"String(performance.timeOrigin)"_s).toString(), u"1"_s);
    const auto again = takeBrowserSnapshot(ArticleBrowser::chrome, false);
    ASSERT_TRUE(again);
    EXPECT_TRUE(verifySnapshotsMatch(*snapshot, *again));
}

TEST_F(BrowserCapture, ThePageTellsWhatIsSelectedInItAndRefusesWhileAPasswordFieldHasTheFocus) {
    const QString tab = m_driver->open(urlOf(u"form.html"_s));
    const auto snapshot = [] { return takeBrowserSnapshot(ArticleBrowser::chrome, true); };
    auto nothing = snapshot();
    ASSERT_TRUE(nothing) << rawValue(nothing.error()).toStdString();
    EXPECT_EQ(nothing->selection, u""_s);
    EXPECT_TRUE(nothing->html);

    m_driver->evaluate(tab, u"getSelection().selectAllChildren(document.getElementById('p'))"_s);
    const auto paragraph = snapshot();
    ASSERT_TRUE(paragraph);
    EXPECT_EQ(paragraph->selection, u"Selected paragraph"_s);
    EXPECT_FALSE(paragraph->html);
    // The worker of the first snapshot reads the selection as Markdown as well; the second does not.
    const auto first = runCaptureWorker({.operation = Operation::snapshot, .browser = ArticleBrowser::chrome},
                                        deadlineIn(test::patience()), CancellationToken::none(), test::realWorker());
    ASSERT_TRUE(first) << rawValue(first.error()).toStdString();
    ASSERT_TRUE(first->document);
    EXPECT_EQ(first->document->text, u"Selected paragraph"_s);
    const auto second = runCaptureWorker({.operation = Operation::verify, .browser = ArticleBrowser::chrome},
                                         deadlineIn(test::patience()), CancellationToken::none(), test::realWorker());
    ASSERT_TRUE(second);
    EXPECT_FALSE(second->document);

    m_driver->evaluate(tab, u"var area = document.getElementById('ta'); area.focus(); area.setSelectionRange(1, 4)"_s);
    EXPECT_EQ(snapshot()->selection, u"bcd"_s);

    // Selected in a password field, or only focused there: nothing of the page is read, the article neither.
    m_driver->evaluate(tab, u"var field = document.getElementById('pw'); field.focus(); field.select()"_s);
    EXPECT_EQ(failureOf(snapshot()), CaptureFailure::protectedField);
    EXPECT_EQ(failureOf(runCaptureWorker({.operation = Operation::snapshot, .browser = ArticleBrowser::chrome},
                                         deadlineIn(test::patience()), CancellationToken::none(), test::realWorker())),
              CaptureFailure::protectedField);
    m_driver->evaluate(tab, u"document.getElementById('pw').setSelectionRange(0, 0)"_s);
    EXPECT_EQ(failureOf(takeBrowserSnapshot(ArticleBrowser::chrome, false)), CaptureFailure::protectedField);

    // What the page's own scripts say does not count.
    const QString disguised = m_driver->open(urlOf(u"disguised.html"_s));
    m_driver->evaluate(disguised, u"document.getElementById('pw').focus()"_s);
    EXPECT_EQ(m_driver->evaluate(disguised, u"document.activeElement.type + String(getSelection())"_s).toString(),
              u"textfake"_s);
    EXPECT_EQ(failureOf(snapshot()), CaptureFailure::protectedField);
}

TEST_F(BrowserCapture, OnlyTheBrowsersOfTheWorkersDisplayAreFound) {
    const auto endpoints = findDevToolsEndpoints();
    EXPECT_TRUE(endpoints.contains(
        DevToolsEndpoint{.pid = s_browser->pid(), .port = s_browser->port(), .browserPath = s_browser->browserPath()}));

    // The same browser seen from another display, where no browser listens, is not found, and so never
    // spoken to. With no time at all to wait, any conversation with a browser times out: the snapshot
    // fails as one without remote debugging only when it tried none, as it does on the browser's own
    // display.
    const DevToolsEndpointSearch elsewhere{.display = ":4711"};
    const auto found = findDevToolsEndpoints(elsewhere);
    EXPECT_TRUE(std::none_of(found.begin(), found.end(),
                             [&](const DevToolsEndpoint& endpoint) { return endpoint.pid == s_browser->pid(); }));
    const DevToolsLimits noWait{.wait = 0ms};
    EXPECT_EQ(failureOf(takeBrowserSnapshot(ArticleBrowser::chrome, true, {.search = elsewhere, .limits = noWait})),
              CaptureFailure::browserJavaScriptDisabled);
    EXPECT_EQ(failureOf(takeBrowserSnapshot(ArticleBrowser::chrome, true, {.limits = noWait})),
              CaptureFailure::timedOut);

    // The real worker.
    m_driver->open(urlOf(u"second.html"_s));
    const auto response = runCaptureWorker({.operation = Operation::snapshot, .browser = ArticleBrowser::chrome},
                                           deadlineIn(test::patience()), CancellationToken::none(), test::realWorker());
    ASSERT_TRUE(response) << rawValue(response.error()).toStdString();
    ASSERT_TRUE(response->snapshot);
    EXPECT_EQ(response->snapshot->url, urlOf(u"second.html"_s));
    EXPECT_EQ(failureOf(runCaptureWorker({.operation = Operation::verify, .browser = ArticleBrowser::arc},
                                         deadlineIn(test::patience()), CancellationToken::none(), test::realWorker())),
              CaptureFailure::browserUnsupported);
}

// The capture with real workers, and a hook that acts after each of them as the user might.
struct WorkerRun {
    // The browser whose window is in front.
    pid_t browser = 0;
    QList<Operation> operations{};
    std::function<void(Operation)> after{};
    int permission = kAutomationAllowed;
    // When the capture began: as the hot key is pressed, before the run.
    Date began = SystemClock::shared().now();

    BrowserArticleCaptureEnvironment environment() {
        return {.isFrontApplication = [](pid_t) { return true; },
                .automationPermission = [this](ArticleBrowser) { return permission; },
                .runWorker =
                    [this](const CaptureWorkerRequest& request, CaptureDeadline deadline,
                           const CancellationToken& cancellation) {
                        operations.append(request.operation);
                        auto response = runCaptureWorker(request, deadline, cancellation, test::realWorker());
                        if (after) after(request.operation);
                        return response;
                    },
                .began = began};
    }

    // With no page address where the desktop shows none of the page (only remote debugging). The real workers
    // answer, however slowly a loaded machine starts them: they are waited for as long as the test may run.
    CaptureResult<std::optional<ReadingDocument>> capture(const std::optional<QString>& pageURL,
                                                          CaptureDeadline deadline = deadlineIn(test::patience())) {
        return captureBrowserArticle(ArticleBrowser::chrome, pageURL, browser, deadline, CancellationToken::none(),
                                     environment());
    }
};

const QList<Operation> kAllThree{Operation::snapshot, Operation::extract, Operation::verify};

void BrowserCapture::expectTheFrontTabRead(const QString& front, const test::HttpPageServer& server) {
    m_driver->evaluate(front, u"getSelection().selectAllChildren(document.querySelector('h1'))"_s);
    const auto selection = takeBrowserSnapshot(ArticleBrowser::chrome, true);
    ASSERT_TRUE(selection) << rawValue(selection.error()).toStdString();
    EXPECT_EQ(selection->tabID, front);
    EXPECT_EQ(selection->selection, u"Front article"_s);

    m_driver->evaluate(front, u"getSelection().removeAllRanges()"_s);
    WorkerRun run{.browser = s_browser->pid()};
    const auto article = run.capture(server.url(u"/front"_s));
    ASSERT_TRUE(article) << rawValue(article.error()).toStdString();
    ASSERT_TRUE(*article);
    EXPECT_TRUE((*article)->text.contains(u"Front article is the subject"_s));
}

TEST_F(BrowserCapture, TheArticleOfTheTabInFrontComesThroughThreeWorkers) {
    m_driver->open(urlOf(u"first.html"_s));
    WorkerRun run{.browser = s_browser->pid()};
    const auto article = run.capture(urlOf(u"first.html"_s));
    ASSERT_TRUE(article) << rawValue(article.error()).toStdString();
    ASSERT_TRUE(*article);
    EXPECT_TRUE((*article)->text.contains(u"First article is the subject"_s));
    EXPECT_EQ(run.operations, kAllThree);

    // A page without an article body: no document, no failure, verified all the same.
    m_driver->open(urlOf(u"empty.html"_s));
    WorkerRun empty{.browser = s_browser->pid()};
    const auto nothing = empty.capture(urlOf(u"empty.html"_s));
    ASSERT_TRUE(nothing) << rawValue(nothing.error()).toStdString();
    EXPECT_FALSE(*nothing);
    EXPECT_EQ(empty.operations, kAllThree);

    // Without the user's consent no worker starts.
    WorkerRun refused{.browser = s_browser->pid()};
    refused.permission = kAutomationUndecided;
    EXPECT_EQ(failureOf(refused.capture(urlOf(u"first.html"_s))), CaptureFailure::automationRequired);
    EXPECT_TRUE(refused.operations.isEmpty());
}

TEST_F(BrowserCapture, AnotherTabOrAnotherAddressFailsTheCapture) {
    const QString first = m_driver->open(urlOf(u"first.html"_s));
    m_driver->open(urlOf(u"second.html"_s));
    m_driver->activate(first);
    // The user switches tabs while the article is extracted.
    WorkerRun switched{.browser = s_browser->pid()};
    switched.after = [&](Operation operation) {
        if (operation == Operation::extract) m_driver->activate(m_driver->open(urlOf(u"second.html"_s)));
    };
    EXPECT_EQ(failureOf(switched.capture(urlOf(u"first.html"_s))), CaptureFailure::sourceChanged);
    EXPECT_EQ(switched.operations, kAllThree);

    // The desktop reported the address before the page moved to a fragment: nothing is extracted.
    m_driver->open(urlOf(u"first.html"_s) + u"#part"_s);
    WorkerRun moved{.browser = s_browser->pid()};
    EXPECT_EQ(failureOf(moved.capture(urlOf(u"first.html"_s))), CaptureFailure::sourceChanged);
    EXPECT_EQ(moved.operations, QList<Operation>{Operation::snapshot});
}

// The share of the words of `wanted` (each as often as it occurs there) that `got` holds.
double wordRecall(const QString& got, const QString& wanted) {
    static const QRegularExpression word(u"\\w+"_s, QRegularExpression::UseUnicodePropertiesOption);
    const auto countWords = [](const QString& text) {
        QHash<QString, int> counts;
        for (const QRegularExpressionMatch& match : word.globalMatch(text)) ++counts[match.captured()];
        return counts;
    };
    const QHash<QString, int> have = countWords(got);
    const QHash<QString, int> want = countWords(wanted);
    int total = 0;
    int found = 0;
    for (auto entry = want.cbegin(); entry != want.cend(); ++entry) {
        total += entry.value();
        found += std::min(entry.value(), have.value(entry.key()));
    }
    return total == 0 ? 1.0 : double(found) / total;
}

// A manual's chapter in XHTML, served as web sites serve it (text/html): the browser parses its empty
// anchors as open ones, and hands the page over so. The article captured keeps the words that the
// extractor finds in the page's own file.
TEST_F(BrowserCapture, AManualsChapterServedOverHTTPKeepsTheWordsOfItsFile) {
    QHash<QByteArray, QByteArray> pages{{"/manual/tools.html", test::docBookChapter({2, 9, 1, 5, 3}, false).toUtf8()}};
    for (const QString& name : {u"debmake-doc-ch01.en.html"_s, u"debmake-doc-ch01.ja.html"_s}) {
        QFile file(test::sharedDataFile(u"html/"_s + name));
        if (file.open(QIODevice::ReadOnly)) pages.insert("/manual/" + name.toUtf8(), file.readAll());
    }
    const test::HttpPageServer server(pages);
    for (auto page = pages.cbegin(); page != pages.cend(); ++page) {
        SCOPED_TRACE(page.key().toStdString());
        const auto file = articleOfFile(page.value());
        ASSERT_TRUE(file && *file);
        const QString url = server.url(QString::fromUtf8(page.key()));
        m_driver->open(url);
        WorkerRun run{.browser = s_browser->pid()};
        const auto article = run.capture(url);
        ASSERT_TRUE(article) << rawValue(article.error()).toStdString();
        ASSERT_TRUE(*article);
        EXPECT_GE(wordRecall((*article)->text, (*file)->text), 0.9) << (*article)->text.left(400).toStdString();
    }
}

// Tabs behind that are too busy to answer (a script that never ends, on this site and on another in a
// renderer of its own) are not the tab in front and are not waited for: the tab in front is captured, its
// selection and its article. A busy tab brought to the front is waited for, until the wait's limit.
TEST_F(BrowserCapture, BusyTabsBehindNeverKeepTheCaptureFromTheTabInFront) {
    const test::HttpPageServer server({{"/front", articlePage(u"Front article"_s)}, {"/busy", articlePage(u"Busy"_s)}});
    QString otherSite = server.url(u"/busy"_s);
    otherSite.replace(u"127.0.0.1"_s, u"localhost"_s);
    const QString front = m_driver->open(server.url(u"/front"_s));
    // Opened after it, they come first in the browser's list of recent pages.
    const QStringList busy{m_driver->openBehind(server.url(u"/busy"_s)), m_driver->openBehind(otherSite)};
    for (const QString& tab : busy) m_driver->startEndlessScript(tab);
    const auto stopScripts = qScopeGuard([&] {
        for (const QString& tab : busy) m_driver->stopScript(tab);
    });

    expectTheFrontTabRead(front, server);

    m_driver->activate(busy.last(), false);
    EXPECT_EQ(failureOf(takeBrowserSnapshot(ArticleBrowser::chrome, false, {.limits = {.wait = 1s}})),
              CaptureFailure::timedOut);
}

// The page in front is busy past the time a page has to tell whether it has the focus, and a tab behind it,
// opened later and so listed first by the browser, has text selected there: the tab behind, which has told
// that it is hidden, is never read; the page in front is waited for.
TEST_F(BrowserCapture, AHiddenTabIsNeverReadInPlaceOfABusyPageInFront) {
    const QString front = m_driver->open(urlOf(u"first.html"_s));
    const QString behind = m_driver->openBehind(urlOf(u"second.html"_s));
    m_driver->evaluate(behind, u"getSelection().selectAllChildren(document.querySelector('h1'))"_s);
    m_driver->evaluate(front,
                       u"setTimeout(function () { for (var end = Date.now() + 800; Date.now() < end;) {} }); 1"_s);
    const auto snapshot = takeBrowserSnapshot(ArticleBrowser::chrome, true);
    ASSERT_TRUE(snapshot) << rawValue(snapshot.error()).toStdString();
    EXPECT_EQ(snapshot->tabID, front);
    EXPECT_EQ(snapshot->selection, u""_s);
    EXPECT_TRUE(snapshot->html && snapshot->html->contains(u"First article is the subject"_s));
}

// The page in front moves to another site after the capture began, before its first snapshot: where the
// desktop shows no address of the page to compare with, the new page is not read in its place. A capture
// begun after it loaded reads it.
TEST_F(BrowserCapture, APageLoadedAfterTheCaptureBeganIsAChangedSource) {
    const test::HttpPageServer server({{"/before", articlePage(u"Before"_s)}, {"/after", articlePage(u"After"_s)}});
    const QString tab = m_driver->open(server.url(u"/before"_s));
    WorkerRun run{.browser = s_browser->pid()};
    m_driver->navigate(tab, server.url(u"/after"_s).replace(u"127.0.0.1"_s, u"localhost"_s));
    EXPECT_EQ(failureOf(run.capture(std::nullopt)), CaptureFailure::sourceChanged);
    EXPECT_EQ(run.operations, QList<Operation>{Operation::snapshot});

    WorkerRun later{.browser = s_browser->pid()};
    const auto article = later.capture(std::nullopt);
    ASSERT_TRUE(article) << rawValue(article.error()).toStdString();
    ASSERT_TRUE(*article);
    EXPECT_TRUE((*article)->text.contains(u"After is the subject"_s));
}

// Five million characters selected are too long, told before their text is built, so the page is free
// for the next capture at once.
TEST_F(BrowserCapture, AHugeSelectionIsTooLongAtOnceAndThePageAnswersAfterwards) {
    const QString tab = m_driver->open(urlOf(u"empty.html"_s));
    m_driver->evaluate(
        tab,
        u"var line = '\u3042'.repeat(1000);"
        u"for (var i = 0; i < 5000; i++) document.body.appendChild(document.createElement('p')).textContent = line;"
        u"getSelection().selectAllChildren(document.body); true"_s);
    EXPECT_EQ(failureOf(takeBrowserSnapshot(ArticleBrowser::chrome, true)), CaptureFailure::tooLong);
    m_driver->evaluate(tab, u"getSelection().selectAllChildren(document.body.lastChild)"_s);
    const auto paragraph = takeBrowserSnapshot(ArticleBrowser::chrome, true);
    ASSERT_TRUE(paragraph) << rawValue(paragraph.error()).toStdString();
    EXPECT_EQ(paragraph->selection, QString(1000, QChar(0x3042)));
}

// A secret typed into an editing host that the page masks, and every other text the page masks, stays in the
// page: the HTML the article is made of holds none of it, the clear text around it all.
TEST_F(BrowserCapture, TheArticleCarriesNothingThePageMasks) {
    const QString tab = m_driver->open(urlOf(u"masked.html"_s));
    m_driver->evaluate(tab,
                       u"var host = document.getElementById('editable'); host.focus();"
                       u"document.execCommand('insertText', false, 'typedSecret'); host.blur();"
                       u"getSelection().removeAllRanges()"_s);
    ASSERT_EQ(m_driver->evaluate(tab, u"document.getElementById('editable').textContent"_s), u"typedSecret"_s);
    const auto snapshot = takeBrowserSnapshot(ArticleBrowser::chrome, true);
    ASSERT_TRUE(snapshot && snapshot->html) << (snapshot ? "no HTML" : rawValue(snapshot.error()).toStdString());
    for (const QString& word : kMaskedWords) EXPECT_FALSE(snapshot->html->contains(word)) << word.toStdString();
    EXPECT_TRUE(snapshot->html->contains(kClearParagraph));
    EXPECT_TRUE(snapshot->html->contains(u"<input type=\"password\">"_s));

    WorkerRun run{.browser = s_browser->pid()};
    const auto article = run.capture(urlOf(u"masked.html"_s));
    ASSERT_TRUE(article) << rawValue(article.error()).toStdString();
    ASSERT_TRUE(*article);
    EXPECT_FALSE(holdsMasked((*article)->text)) << (*article)->text.toStdString();
    EXPECT_TRUE((*article)->text.contains(u"the article goes on with words of its own"_s));
    EXPECT_TRUE((*article)->text.contains(kClearParagraph));
}

// A selection leaves what the page masks out, never a run of masking characters in its place; a selection of
// nothing but masked text is a protected field's.
TEST_F(BrowserCapture, ASelectionLeavesMaskedTextOut) {
    const QString tab = m_driver->open(urlOf(u"masked.html"_s));
    m_driver->evaluate(tab, u"document.getElementById('editable').textContent = 'typedSecret'"_s);
    const auto selectIn = [&](const QString& select) {
        m_driver->evaluate(tab, select + u"; true"_s);
        return takeBrowserSnapshot(ArticleBrowser::chrome, true);
    };
    const auto around = selectIn(u"getSelection().selectAllChildren(document.getElementById('around'))"_s);
    ASSERT_TRUE(around) << rawValue(around.error()).toStdString();
    EXPECT_EQ(around->selection, kMaskedParagraph);
    const auto whole = selectIn(u"getSelection().selectAllChildren(document.body)"_s);
    ASSERT_TRUE(whole) << rawValue(whole.error()).toStdString();
    // The bullets written into the page are its text; nothing else of the masking characters is left.
    const QString literal = u"Card ending \u2022\u2022\u2022\u20221234 \u2022 Home"_s;
    EXPECT_TRUE(whole->selection->contains(literal)) << whole->selection->toStdString();
    EXPECT_FALSE(holdsMasked(QString(*whole->selection).remove(literal))) << whole->selection->toStdString();
    EXPECT_TRUE(whole->selection->contains(kClearParagraph));

    // Nothing but masked text: a word, the editing host, the slotted text, a part of a word.
    for (const QString& id : {u"word"_s, u"editable"_s, u"slotted"_s}) {
        EXPECT_EQ(failureOf(selectIn(u"getSelection().selectAllChildren(document.getElementById('"_s + id + u"'))"_s)),
                  CaptureFailure::protectedField)
            << id.toStdString();
    }
    EXPECT_EQ(failureOf(selectIn(u"var text = document.getElementById('word').firstChild;"
                                 u"getSelection().setBaseAndExtent(text, 2, text, 5)"_s)),
              CaptureFailure::protectedField);
    // An editing host named a password but drawn in the clear cannot be left out of the text: refused.
    EXPECT_EQ(failureOf(selectIn(u"var host = document.getElementById('editable');"
                                 u"host.style.webkitTextSecurity = 'none'; host.setAttribute('autocomplete', "
                                 u"'new-password'); getSelection().selectAllChildren(document.body)"_s)),
              CaptureFailure::protectedField);
}

// Text shown in the clear keeps every mark, those the browser draws for masked text too; only the masked
// text's own run goes, wherever it stands: beside the same marks written in the page, masked in a circle or a
// square. Text masked in a closed shadow root, which the page's script cannot see, leaves runs it cannot
// account for: every masking character of that selection goes then, the secret never read.
TEST_F(BrowserCapture, ASelectionKeepsEveryMarkThePageShowsInTheClear) {
    const QString tab = m_driver->open(urlOf(u"empty.html"_s));
    m_driver->evaluate(tab,
                       u"document.body.innerHTML = \"<p id='clear'>答えは■■■です。評価は•••◦◦の印、●●県の○○さん。</p>"
                       u"<p id='beside'>暗証 <span style='-webkit-text-security:disc'>12 34</span> の後に ••••1234 、"
                       u"x<span style='-webkit-text-security:square'>ab</span>■■y、<span "
                       u"style='-webkit-text-security:circle'>𠮷é</span>◦◦</p><p id='closed'>前■■ <span "
                       u"id='host'>secret</span> 後</p>\";"
                       u"document.getElementById('host').attachShadow({ mode: 'closed' }).innerHTML = "
                       u"'<slot style=\"-webkit-text-security:disc\"></slot>'; true"_s);
    const auto selectionOf = [&](const QString& id) {
        m_driver->evaluate(tab, u"getSelection().selectAllChildren(document.getElementById('"_s + id + u"')); true"_s);
        const auto snapshot = takeBrowserSnapshot(ArticleBrowser::chrome, false);
        return snapshot ? snapshot->selection.value_or(u"(none)"_s) : u"(failed)"_s;
    };
    EXPECT_EQ(selectionOf(u"clear"_s), u"答えは■■■です。評価は•••◦◦の印、●●県の○○さん。"_s);
    EXPECT_EQ(selectionOf(u"beside"_s), u"暗証 の後に ••••1234 、x■■y、◦◦"_s);
    EXPECT_EQ(selectionOf(u"closed"_s), u"前 後"_s);
}

// The limit counts the UTF-16 units of the text the selection shows: 20,000 pass and 20,001 do not, in the
// page as in a text field. Text that does not show (hidden, a script's, collapsed white space) does not
// count, however long.
TEST_F(BrowserCapture, TheSelectionLimitCountsTheUnitsOfTheTextShown) {
    const QString tab = m_driver->open(urlOf(u"empty.html"_s));
    const auto selectIn = [&](const QString& build) {
        m_driver->evaluate(tab, build + u"; getSelection().selectAllChildren(document.getElementById('s')); true"_s);
        return takeBrowserSnapshot(ArticleBrowser::chrome, false);
    };
    // 𠮷 is two units.
    const auto exact =
        selectIn(uR"js(document.body.innerHTML = '<p id=s>' + '\uD842\uDFB7'.repeat(10000) + '</p>')js"_s);
    ASSERT_TRUE(exact) << rawValue(exact.error()).toStdString();
    EXPECT_EQ(exact->selection->size(), 20'000);
    EXPECT_EQ(
        failureOf(selectIn(uR"js(document.body.innerHTML = '<p id=s>' + '\uD842\uDFB7'.repeat(10000) + 'a</p>')js"_s)),
        CaptureFailure::tooLong);

    const auto hidden = selectIn(
        uR"js(document.body.innerHTML = '<div id=s><p>' + '\n    '.repeat(10000) +
        'x'.repeat(99) + '</p><p>' + 'y'.repeat(19000) + '</p>' +
        '<span style="display:none">' + 'h'.repeat(30000) + '</span>' +
        '<span style="visibility:hidden">' + 'v'.repeat(30000) + '</span>' +
        '<script>/*' + 's'.repeat(30000) + '*/</script></div>')js"_s);
    ASSERT_TRUE(hidden) << rawValue(hidden.error()).toStdString();
    EXPECT_TRUE(hidden->selection->startsWith(QString(99, u'x')));
    EXPECT_TRUE(hidden->selection->contains(QString(19000, u'y')));
    EXPECT_FALSE(hidden->selection->contains(u'h'));

    m_driver->evaluate(tab,
                       uR"js(document.body.innerHTML = '<textarea id=t></textarea>';
        var field = document.getElementById('t');
        field.value = 'z'.repeat(20001); field.focus(); field.setSelectionRange(1, 20001); true)js"_s);
    const auto field = takeBrowserSnapshot(ArticleBrowser::chrome, false);
    ASSERT_TRUE(field) << rawValue(field.error()).toStdString();
    EXPECT_EQ(field->selection, QString(20'000, u'z'));
    m_driver->evaluate(tab, u"document.getElementById('t').setSelectionRange(0, 20001)"_s);
    EXPECT_EQ(failureOf(takeBrowserSnapshot(ArticleBrowser::chrome, false)), CaptureFailure::tooLong);
}

// A page that moves to another site and back again and again, its document replaced in another renderer
// while the capture speaks to it: each capture reads it whole or finds its source changed, never a
// conversation with the browser that broke down.
TEST_F(BrowserCapture, APageThatNavigatesDuringTheCaptureHasChangedItsSource) {
    const test::HttpPageServer server(
        {{"/hop",
          "<!DOCTYPE html><html><body><p>Hop</p><script>setTimeout(function () {"
          "  var here = location.href, to = here.indexOf('127.0.0.1') >= 0 ? 'localhost' : '127.0.0.1';"
          "  location.replace(here.replace(/127\\.0\\.0\\.1|localhost/, to));"
          "}, 20);</script></body></html>"}});
    const QString tab = m_driver->open(urlOf(u"empty.html"_s));
    m_driver->evaluate(tab, u"location.href = '"_s + server.url(u"/hop"_s) + u"'"_s);
    QHash<QString, int> outcomes;
    for (int round = 0; round < 20; ++round) {
        const auto snapshot = takeBrowserSnapshot(ArticleBrowser::chrome, round % 2 == 0);
        ++outcomes[snapshot ? u"ok"_s : rawValue(snapshot.error())];
    }
    const auto article = runCaptureWorker({.operation = Operation::snapshot, .browser = ArticleBrowser::chrome},
                                          deadlineIn(test::patience()), CancellationToken::none(), test::realWorker());
    ++outcomes[article ? u"ok"_s : rawValue(article.error())];
    EXPECT_GE(outcomes.value(u"sourceChanged"_s), 1);
    EXPECT_EQ(outcomes.value(u"ok"_s) + outcomes.value(u"sourceChanged"_s), 21)
        << QStringList(outcomes.keys()).join(u' ').toStdString();
}

// A chapter whose empty anchors the browser hands over open around lists, directly inside them, around
// their items and links, and beside tables: its article is the text of its file, word for word; a chapter
// too long for a reading is refused both ways, never stored cut short.
TEST_F(BrowserCapture, AnchorsWithoutAddressAroundListsGiveTheTextOfTheFile) {
    const QHash<QByteArray, QByteArray> pages{{"/manual/steps.html", test::docBookListChapter(2).toUtf8()},
                                              {"/manual/long.html", test::docBookListChapter(30).toUtf8()}};
    const test::HttpPageServer server(pages);
    for (auto page = pages.cbegin(); page != pages.cend(); ++page) {
        SCOPED_TRACE(page.key().toStdString());
        const auto file = articleOfFile(page.value());
        const QString url = server.url(QString::fromUtf8(page.key()));
        m_driver->open(url);
        WorkerRun run{.browser = s_browser->pid()};
        const auto article = run.capture(url);
        if (page.key() == "/manual/long.html") {
            EXPECT_EQ(failureOf(file), CaptureFailure::tooLong);
            EXPECT_EQ(failureOf(article), CaptureFailure::tooLong);
            continue;
        }
        ASSERT_TRUE(file && *file);
        ASSERT_TRUE(article) << rawValue(article.error()).toStdString();
        ASSERT_TRUE(*article);
        EXPECT_TRUE((*file)->text.contains(u"Point 3.1.2 of task 2 is explained in the reference."_s));
        EXPECT_EQ((*article)->text, (*file)->text);
    }
}

// Shown on the display, the browser writes its process title over its command line, and its profile's
// path, which has a space, is cut into words there: it is found all the same, by the files it holds.
TEST(BrowserShown, AProfilePathWithASpaceIsFoundForAPortTheBrowserChose) {
    SKIP_WITHOUT_CHROMIUM();
    test::TemporaryDirectory pages;
    const QString url = QUrl::fromLocalFile(pages.write(u"page.html"_s, articlePage(u"Shown"_s))).toString();
    HeadlessChromium browser(url, test::patience(), HeadlessChromium::Mode::shown);
    ASSERT_TRUE(browser.isListening()) << browser.failure().toStdString();
    const DevToolsEndpoint endpoint{.pid = browser.pid(), .port = browser.port(), .browserPath = browser.browserPath()};
    EXPECT_EQ(findDevToolsEndpoints({.process = browser.pid()}), QList<DevToolsEndpoint>{endpoint});
    EXPECT_TRUE(findDevToolsEndpoints().contains(endpoint));
}

// Another program holds 127.0.0.1 on the port the browser is told to listen on: the browser listens on
// ::1 instead, and the capture speaks to it there (its /json/version then names ::1), never to the other
// program.
TEST(BrowserOnIPv6, ABrowserWhosePortAnotherProgramHoldsIsReachedOnIPv6Loopback) {
    SKIP_WITHOUT_CHROMIUM();
    {
        QTcpServer loopback;
        if (!loopback.listen(QHostAddress::LocalHostIPv6)) GTEST_SKIP() << "this system has no IPv6 loopback";
    }
    QTcpServer holder;
    ASSERT_TRUE(holder.listen(QHostAddress::LocalHost));
    const quint16 port = holder.serverPort();
    test::TemporaryDirectory pages;
    const QString url = QUrl::fromLocalFile(pages.write(u"page.html"_s, articlePage(u"On IPv6"_s))).toString();
    test::ChromiumFolder profile;
    QStringList arguments{u"--headless"_s, u"--disable-gpu"_s, u"--no-first-run"_s,
                          u"--remote-debugging-port="_s + QString::number(port),
                          u"--user-data-dir="_s + profile.profile()};
    if (::geteuid() == 0) arguments.append(u"--no-sandbox"_s);
    QProcess browser;
    browser.setStandardOutputFile(QProcess::nullDevice());
    browser.setStandardErrorFile(QProcess::nullDevice());
    browser.start(HeadlessChromium::executable(), arguments << url);
    // The browser listens, however long a loaded machine takes to start it.
    ASSERT_TRUE(browser.waitForStarted(test::patienceMilliseconds()));
    const pid_t pid = pid_t(browser.processId());
    const QDeadlineTimer deadline(test::patience());
    while (loopbackListenerOwnership(u"/proc"_s, pid, port, LoopbackAddress::ipv6) != LoopbackListener::owned &&
           !deadline.hasExpired()) {
        QThread::msleep(20);
    }
    ASSERT_EQ(loopbackListenerOwnership(u"/proc"_s, pid, port, LoopbackAddress::ipv6), LoopbackListener::owned)
        << "the browser never listened on ::1";
    EXPECT_EQ(loopbackRoute(u"/proc"_s, pid, port), std::pair(LoopbackListener::owned, LoopbackAddress::ipv6));

    // The page may still be loading when the browser first listens.
    CaptureResult<BrowserSnapshot> snapshot = tl::unexpected(CaptureFailure::unavailable);
    while (!deadline.hasExpired()) {
        snapshot = takeBrowserSnapshot(ArticleBrowser::chrome, true, {.search = {.process = pid}});
        if (snapshot && snapshot->url == url && snapshot->html && snapshot->html->contains(u"On IPv6 is the"_s)) break;
        QThread::msleep(50);
    }
    ASSERT_TRUE(snapshot) << rawValue(snapshot.error()).toStdString();
    EXPECT_EQ(snapshot->url, url);
    QCoreApplication::processEvents();
    EXPECT_FALSE(holder.hasPendingConnections());
    browser.terminate();
    if (!browser.waitForFinished(10'000)) browser.kill();
}

// A browser of its own, which the test ends while the capture runs (no other browser listens then).
TEST(BrowserCaptureEnd, ABrowserThatEndsBeforeTheVerificationFailsTheCaptureAtOnce) {
    SKIP_WITHOUT_CHROMIUM();
    test::TemporaryDirectory pages;
    const QString url = QUrl::fromLocalFile(pages.write(u"page.html"_s, articlePage(u"Ending"_s))).toString();
    HeadlessChromium browser(url);
    ASSERT_TRUE(browser.isListening()) << browser.failure().toStdString();
    // Its first tab, loaded and in front.
    ChromiumDriver{browser};

    WorkerRun run{.browser = browser.pid()};
    run.after = [&](Operation operation) {
        if (operation == Operation::extract) browser.kill();
    };
    // The verification finds the browser gone at once. One that waited on it instead could only end as
    // timedOut: each wait on a browser is bounded, and the deadline is as far off as the test may run.
    const CaptureDeadline deadline = deadlineIn(test::patience());
    EXPECT_EQ(failureOf(run.capture(url, deadline)), CaptureFailure::browserJavaScriptDisabled);
    EXPECT_EQ(run.operations, kAllThree);
}

// A browser of its own, whose tab in front crashes ("Aw, Snap!") before a capture, and between two workers of
// one: either capture ends at once as a changed source, not after waiting on a renderer that is gone.
TEST(BrowserCrash, ACrashedPageEndsTheCaptureAsAChangedSource) {
    SKIP_WITHOUT_CHROMIUM();
    test::TemporaryDirectory pages;
    const QString url = QUrl::fromLocalFile(pages.write(u"page.html"_s, articlePage(u"Crashing"_s))).toString();
    const QString other = QUrl::fromLocalFile(pages.write(u"other.html"_s, articlePage(u"Other"_s))).toString();
    HeadlessChromium browser(url);
    ASSERT_TRUE(browser.isListening()) << browser.failure().toStdString();
    ChromiumDriver driver(browser);
    driver.crash(driver.home());
    EXPECT_EQ(failureOf(takeBrowserSnapshot(ArticleBrowser::chrome, true, {.search = {.process = browser.pid()}})),
              CaptureFailure::sourceChanged);

    const QString tab = driver.open(other);
    WorkerRun run{.browser = browser.pid()};
    run.after = [&](Operation operation) {
        if (operation == Operation::extract) driver.crash(tab);
    };
    EXPECT_EQ(failureOf(run.capture(other)), CaptureFailure::sourceChanged);
    EXPECT_EQ(run.operations, kAllThree);
}

// Tabs behind the one in front whose addresses are long, as the browser lists them: frames of another site
// (each a target of its own, listed with its address), frames of the page's own site (in its frame tree), and
// pages on data: addresses. Each set comes to more than the largest message the snapshot reads from the browser,
// every address alone within it; the tab in front is read all the same, its selection and its article, also when
// the tabs behind answer before it. The subject is size, not time, nor the product's limits: the snapshot is given
// a message limit of the test's own, a sixteenth of the product's, so that the browser loads a sixteenth of what
// such tabs at the product's limit would cost a loaded machine, and each answer of the browser the time a test
// gives a peer that answers (test::answerWait()) rather than the product's 3 s.
namespace {

constexpr qsizetype kTestMessageLimit = 1'000'000;
// An address of a quarter of that: four of them pass it.
constexpr qsizetype kLongAddress = kTestMessageLimit / 4;

// Frames that the page's script makes, on long addresses (whatever the server answers there).
QByteArray framesPage(const QByteArray& host, int count) {
    return "<!DOCTYPE html><html><head><title>Frames</title></head><body><script>"
           "var tail = new Array(" +
           QByteArray::number(kLongAddress + 1) +
           ").join('x');"
           "for (var i = 0; i < " +
           QByteArray::number(count) +
           "; i++) { var frame = document.createElement('iframe');"
           "  frame.src = 'http://" +
           host +
           ":' + location.port + '/frame?' + i + tail; document.body.appendChild(frame); }"
           "</script></body></html>";
}

QHash<QByteArray, QByteArray> longAddressPages() {
    return {{"/front", articlePage(u"Front article"_s)},
            {"/other-site", framesPage("localhost", 5)},
            {"/same-site", framesPage("127.0.0.1", 9)}};
}

}  // namespace

void BrowserCapture::expectTheFrontTabReadBeside(const test::HttpPageServer& server,
                                                 const std::function<void()>& openBehind) {
    openBehind();
    const QString front = m_driver->open(server.url(u"/front"_s));
    m_driver->settleBrowser();
    const BrowserSnapshotOptions options{.limits = {.wait = test::answerWait(), .messageBytes = kTestMessageLimit}};
    // Busy for a moment once its title is selected, so that whatever the tabs behind answer comes first.
    m_driver->evaluate(front, u"getSelection().selectAllChildren(document.querySelector('h1'))"_s);
    m_driver->evaluate(front,
                       u"setTimeout(function () { for (var end = Date.now() + 600; Date.now() < end;) {} }); 1"_s);
    const auto selection = takeBrowserSnapshot(ArticleBrowser::chrome, true, options);
    ASSERT_TRUE(selection) << rawValue(selection.error()).toStdString();
    EXPECT_EQ(selection->tabID, front);
    EXPECT_EQ(selection->selection, u"Front article"_s);

    m_driver->evaluate(front, u"getSelection().removeAllRanges()"_s);
    const auto article = takeBrowserSnapshot(ArticleBrowser::chrome, true, options);
    ASSERT_TRUE(article) << rawValue(article.error()).toStdString();
    EXPECT_EQ(article->tabID, front);
    EXPECT_TRUE(article->html && article->html->contains(u"Front article is the subject"_s));
    m_driver->closeOpened();
}

TEST_F(BrowserCapture, LongAddressesOfFramesOfAnotherSiteBehindNeverKeepTheTabInFrontFromBeingRead) {
    const test::HttpPageServer server(longAddressPages());
    expectTheFrontTabReadBeside(server, [&] { m_driver->openBehind(server.url(u"/other-site"_s)); });
}

TEST_F(BrowserCapture, LongAddressesOfFramesOfTheSameSiteBehindNeverKeepTheTabInFrontFromBeingRead) {
    const test::HttpPageServer server(longAddressPages());
    expectTheFrontTabReadBeside(server, [&] { m_driver->openBehind(server.url(u"/same-site"_s)); });
}

TEST_F(BrowserCapture, LongDataAddressesBehindNeverKeepTheTabInFrontFromBeingRead) {
    const QString longData =
        u"data:text/html,<title>Long address</title><p>Long</p><!--"_s + QString(kLongAddress, u'x') + u"-->"_s;
    const test::HttpPageServer server(longAddressPages());
    expectTheFrontTabReadBeside(server, [&] { m_driver->openAllBehind(QStringList(8, longData)); });
}

// The browser's own page for an address it could not reach ("This site can't be reached") holds no page text:
// every try says so, the snapshot and the whole capture alike, instead of a page that changed meanwhile.
TEST_F(BrowserCapture, TheBrowsersErrorPageHasNoTextToRead) {
    QTcpServer gone;
    ASSERT_TRUE(gone.listen(QHostAddress::LocalHost));
    const QString unreachable = u"http://127.0.0.1:"_s + QString::number(gone.serverPort()) + u"/article"_s;
    gone.close();
    m_driver->openShowing(unreachable, u"chrome-error://chromewebdata/"_s);
    for (const bool wantsHTML : {true, false}) {
        EXPECT_EQ(failureOf(takeBrowserSnapshot(ArticleBrowser::chrome, wantsHTML)), CaptureFailure::browserErrorPage);
    }
    WorkerRun run{.browser = s_browser->pid()};
    EXPECT_EQ(failureOf(run.capture(std::nullopt)), CaptureFailure::browserErrorPage);
    EXPECT_EQ(run.operations, QList<Operation>{Operation::snapshot});
}

// A browser of a test's own leaves nothing in the temporary folder once it has ended, killed or not:
// neither its profile, which its helpers may still be writing, nor the folders it makes for itself.
TEST(HeadlessChromiumFolder, AnEndedBrowserLeavesNothingInTheTemporaryFolder) {
    SKIP_WITHOUT_CHROMIUM();
    test::TemporaryDirectory pages;
    const QString url = QUrl::fromLocalFile(pages.write(u"page.html"_s, articlePage(u"Traces"_s))).toString();
    // A short name: the browser's socket, which it makes there, must fit in a socket address.
    QTemporaryDir temporary(QDir::tempPath() + u"/t-XXXXXX"_s);
    ASSERT_TRUE(temporary.isValid());
    const QByteArray systemTemporary = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(temporary.path()));
    const auto restore = qScopeGuard([&] {
        if (systemTemporary.isNull())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", systemTemporary);
    });
    for (const bool killed : {false, true}) {
        SCOPED_TRACE(killed ? "killed" : "ended");
        {
            HeadlessChromium browser(url);
            ASSERT_TRUE(browser.isListening()) << browser.failure().toStdString();
            ChromiumDriver{browser};
            if (killed) browser.kill();
        }
        EXPECT_EQ(QDir(temporary.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                  QStringList());
    }
}

}  // namespace
}  // namespace tavrine
