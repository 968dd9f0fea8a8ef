#include "PelmoraMac/Capture/AXSelectionReader.h"
#include "PelmoraMac/Capture/AccessibilityFocusLog.h"
#include "PelmoraMac/Capture/AccessibilityFocusTracker.h"
#include "PelmoraMac/Capture/AtspiAccessibilityBus.h"
#include "PelmoraMac/Capture/BrowserSnapshotScript.h"
#include "PelmoraMac/Capture/CapturedText.h"
#include "PelmoraMac/Capture/X11/PrimarySelection.h"
#include "PelmoraMac/Capture/X11/X11InputActivity.h"
#include "PelmoraMac/X11/X11Desktop.h"

#include "AccessibilityRig.h"
#include "CaptureTesting.h"
#include "ChromiumTesting.h"
#include "SelectionTesting.h"
#include "support/CheckoutPaths.h"
#include "support/EventLoop.h"
#include "support/HeadlessChromium.h"

#include <gtest/gtest.h>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QtConcurrent>

#include <csignal>

#include <unistd.h>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using test::failureOf;
using test::LineProgram;

const QString kPage = u"https://example.org/news/1"_s;

// The real accessibility bus counted: how often the text interface was asked anything, and how often the
// reader waited for the bus to answer (a single call or a batch).
class CountingBus final : public AccessibilityBus {
public:
    explicit CountingBus(AccessibilityBus& bus) : m_bus(bus) {}
    int textCalls = 0;
    int textReads = 0;
    int waits = 0;

    bool isEnabled() override { return m_bus.isEnabled(); }
    AccessibleAnswer<QList<AccessibleElement>> applications(CaptureDeadline d) override {
        ++waits;
        return m_bus.applications(d);
    }
    AccessibleAnswer<pid_t> processOf(const QString& s, CaptureDeadline d) override {
        ++waits;
        return m_bus.processOf(s, d);
    }
    std::optional<AccessibleElement> lastFocused(const QString& s) override { return m_bus.lastFocused(s); }
    std::optional<Clock::MonotonicTime> lastFocusChange(const QString& s) override { return m_bus.lastFocusChange(s); }
    AccessibleAnswer<std::uint32_t> role(const AccessibleElement& e, CaptureDeadline d) override {
        ++waits;
        return m_bus.role(e, d);
    }
    AccessibleAnswer<AccessibleStates> states(const AccessibleElement& e, CaptureDeadline d) override {
        ++waits;
        return m_bus.states(e, d);
    }
    AccessibleAnswer<AccessibleElement> parent(const AccessibleElement& e, CaptureDeadline d) override {
        ++waits;
        return m_bus.parent(e, d);
    }
    AccessibleAnswer<QList<AccessibleElement>> children(const AccessibleElement& e, CaptureDeadline d) override {
        ++waits;
        return m_bus.children(e, d);
    }
    AccessibleAnswer<QMap<QString, QString>> documentAttributes(const AccessibleElement& e,
                                                                CaptureDeadline d) override {
        ++waits;
        return m_bus.documentAttributes(e, d);
    }
    AccessibleAnswer<QMap<QString, QString>> attributes(const AccessibleElement& e, CaptureDeadline d) override {
        ++waits;
        return m_bus.attributes(e, d);
    }
    AccessibleAnswer<AccessibleElement> embeddedObject(const AccessibleElement& e, int offset,
                                                       CaptureDeadline d) override {
        ++waits;
        return m_bus.embeddedObject(e, offset, d);
    }
    AccessibleAnswer<int> characterCount(const AccessibleElement& e, CaptureDeadline d) override {
        ++textCalls;
        ++waits;
        return m_bus.characterCount(e, d);
    }
    AccessibleAnswer<int> selectionCount(const AccessibleElement& e, CaptureDeadline d) override {
        ++textCalls;
        ++waits;
        return m_bus.selectionCount(e, d);
    }
    AccessibleAnswer<AccessibleTextRange> selection(const AccessibleElement& e, int i, CaptureDeadline d) override {
        ++textCalls;
        ++waits;
        return m_bus.selection(e, i, d);
    }
    AccessibleAnswer<QString> text(const AccessibleElement& e, AccessibleTextRange r, CaptureDeadline d) override {
        ++textCalls;
        ++textReads;
        ++waits;
        return m_bus.text(e, r, d);
    }
    // The real bus's batches, counted as their single calls.
    AccessibleAnswers<AccessibleElement> embeddedObjects(const QList<AccessibleTextOffset>& p,
                                                         CaptureDeadline d) override {
        ++waits;
        return m_bus.embeddedObjects(p, d);
    }
    AccessibleAnswers<std::uint32_t> roles(const QList<AccessibleElement>& e, CaptureDeadline d) override {
        ++waits;
        return m_bus.roles(e, d);
    }
    AccessibleAnswers<AccessibleTextRange> firstSelections(const QList<AccessibleElement>& e,
                                                           CaptureDeadline d) override {
        textCalls += int(e.size());
        ++waits;
        return m_bus.firstSelections(e, d);
    }
    AccessibleAnswers<QMap<QString, QString>> attributesOf(const QList<AccessibleElement>& e,
                                                           CaptureDeadline d) override {
        ++waits;
        return m_bus.attributesOf(e, d);
    }
    AccessibleAnswers<QString> texts(const QList<AccessibleTextPart>& p, CaptureDeadline d) override {
        textCalls += int(p.size());
        textReads += int(p.size());
        ++waits;
        return m_bus.texts(p, d);
    }
    AccessibleAnswer<int> childCount(const AccessibleElement& e, CaptureDeadline d) override {
        ++waits;
        return m_bus.childCount(e, d);
    }
    AccessibleAnswers<int> childCounts(const QList<AccessibleElement>& e, CaptureDeadline d) override {
        ++waits;
        return m_bus.childCounts(e, d);
    }
    AccessibleAnswers<QList<AccessibleElement>> childrenOf(const QList<AccessibleElement>& e,
                                                           CaptureDeadline d) override {
        ++waits;
        return m_bus.childrenOf(e, d);
    }

private:
    AccessibilityBus& m_bus;
};

// The test's session with its accessibility bus on, the capture model's focus tracker listening, and the
// applications a test starts.
class AccessibleDesktop : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_rig = std::make_unique<test::AccessibilityRig>();
        if (*s_rig->failure()) return;
        s_tracker = std::make_unique<AccessibilityFocusTracker>();
        s_inputWatch = std::make_unique<X11InputWatch>();
        // The bus's registry, started on demand, may answer a busy machine later than one start waits: started
        // again, as the application does at each capture, until it listens, as long as the test may run.
        test::processEventsUntil([] { return s_tracker->start() && s_inputWatch->start(); });
        s_trackerStarted = s_tracker->isStarted();
        s_inputWatchStarted = s_inputWatch->isStarted();
    }
    static void TearDownTestSuite() {
        s_inputWatch.reset();
        s_tracker.reset();
        s_rig.reset();
    }
    void SetUp() override {
        ASSERT_STREQ(s_rig->failure(), "");
        ASSERT_TRUE(s_trackerStarted);
        ASSERT_TRUE(s_inputWatchStarted);
    }
    void TearDown() override { s_rig->setEnabled(true); }

    struct Outcome {
        CaptureResult<PreparedCapture> capture = tl::unexpected(CaptureFailure::unavailable);
        int textCalls = 0;
        int textReads = 0;
        int waits = 0;
    };
    // The workers of the capture: the test's (at once, in this process) or the real executable.
    enum class Workers { fake, real };

    // A whole capture of the application of `pid` on a pool thread, the event loop running meanwhile.
    Outcome capture(pid_t pid, bool includeWebArticles = false, std::optional<ArticleBrowser> browser = std::nullopt,
                    Workers workers = Workers::fake) {
        auto future = QtConcurrent::run([this, pid, includeWebArticles, browser, workers] {
            AtspiAccessibilityBus real(s_tracker->log());
            CountingBus bus(real);
            SelectionCaptureEnvironment environment{.bus = &bus,
                                                    .primarySelection =
                                                        [](pid_t owner, CaptureDeadline deadline) {
                                                            return readPrimarySelection(
                                                                owner, AXSelectionReader::kTextLimit, deadline,
                                                                s_inputWatch->log().get());
                                                        },
                                                    .article = m_desktop.environment()};
            if (workers == Workers::real) {
                environment.article.runWorker = [](const CaptureWorkerRequest& request, CaptureDeadline deadline,
                                                   const CancellationToken& cancellation) {
                    return runCaptureWorker(request, deadline, cancellation, test::realWorker());
                };
            }
            Outcome outcome;
            if (workers == Workers::real) {
                // The real workers, in a sanitized build too, under a deadline that leaves them time.
                const auto deadline = test::deadlineIn(test::patience());
                EXPECT_TRUE(bus.isEnabled());
                AXSelectionReader reader(pid, includeWebArticles, browser, deadline, CancellationToken::none(),
                                         environment);
                auto content = reader.read();
                outcome.capture = content ? prepareCapture(*content, deadline, CancellationToken::none(),
                                                           environment.article.runWorker)
                                          : tl::unexpected(content.error());
            } else {
                outcome.capture =
                    captureSelection(pid, includeWebArticles, browser, CancellationToken::none(), environment);
            }
            outcome.textCalls = bus.textCalls;
            outcome.textReads = bus.textReads;
            outcome.waits = bus.waits;
            return outcome;
        });
        EXPECT_TRUE(test::processEventsUntil([&] { return future.isFinished(); }));
        return future.result();
    }

    // The user's input on the display, through XTest, once the watch has seen it.
    static void input(const QStringList& arguments) {
        const X11InputHistory before = s_inputWatch->log()->history();
        ASSERT_EQ(QProcess::execute(u"xdotool"_s, arguments), 0);
        EXPECT_TRUE(test::processEventsUntil([&] { return s_inputWatch->log()->history() != before; }));
    }

    // The bus name of the application of the process.
    static QString serviceOf(pid_t pid) {
        AtspiAccessibilityBus bus;
        if (!bus.isEnabled()) return {};
        const auto deadline = test::deadlineIn(test::patience());
        const auto applications = bus.applications(deadline);
        if (!applications || !*applications) return {};
        for (const auto& application : **applications) {
            const auto process = bus.processOf(application.service, deadline);
            if (process && *process == pid) return application.service;
        }
        return {};
    }

    // The bus name of the browser of the process once the bus has announced an element of it focused; empty
    // when it has not within a minute. The browser shows its page on the bus once it has loaded it; it may
    // also never do so, and then the test is skipped after a minute rather than at the overall limit, which
    // the tests after it share.
    static QString shownOnTheBus(pid_t browser) {
        QString service;
        const bool shown = test::processEventsUntil(
            [&] {
                service = serviceOf(browser);
                return !service.isEmpty() && s_tracker->log()->lastFocused(service).has_value();
            },
            std::min<std::chrono::milliseconds>(60s, test::patience()));
        return shown ? service : QString();
    }

    test::FakeCaptureDesktop m_desktop{.pageURL = kPage};
    static inline std::unique_ptr<test::AccessibilityRig> s_rig;
    static inline std::unique_ptr<AccessibilityFocusTracker> s_tracker;
    static inline std::unique_ptr<X11InputWatch> s_inputWatch;
    static inline bool s_inputWatchStarted = false;
    static inline bool s_trackerStarted = false;
};

TEST_F(AccessibleDesktop, AQtApplicationsTextAreaFieldAndPasswordField) {
    LineProgram fixture(test::inCheckout(ACCESSIBILITY_FIXTURE), {});
    ASSERT_TRUE(fixture.isReady());

    ASSERT_TRUE(fixture.command(u"text area 本文です"_s));
    ASSERT_TRUE(fixture.command(u"focus area"_s));
    // The toolkit announces the focus to the tracker, which registered for it, once the application is on
    // the bus and has learnt that someone listens; a focus given before that is never heard. So the focus
    // goes to the field and back to the area, a second apart, until the tracker hears of it, and the
    // area's own announcement, the last one made, is awaited: the element heard of last stays put.
    QString service;
    QString heard;
    QElapsedTimer sinceFocused;
    QElapsedTimer unchanged;
    const bool focusHeard = test::processEventsUntil([&] {
        if (service.isEmpty()) service = serviceOf(fixture.pid());
        const auto focused = service.isEmpty() ? std::nullopt : s_tracker->log()->lastFocused(service);
        if (!focused) {
            if (!sinceFocused.isValid() || sinceFocused.hasExpired(1'000)) {
                fixture.command(u"focus field"_s);
                fixture.command(u"focus area"_s);
                sinceFocused.start();
            }
            return false;
        }
        if (focused->path != heard) {
            heard = focused->path;
            unchanged.start();
        }
        return unchanged.hasExpired(500);
    });
    ASSERT_TRUE(focusHeard) << "service " << service.toStdString();
    auto outcome = capture(fixture.pid());
    ASSERT_TRUE(outcome.capture) << rawValue(outcome.capture.error()).toStdString();
    EXPECT_EQ(outcome.capture->document.text, u"本文です"_s);
    EXPECT_TRUE(outcome.capture->isBody);

    ASSERT_TRUE(fixture.command(u"text area 本文の選択です"_s));
    ASSERT_TRUE(fixture.command(u"select area 3 5"_s));
    outcome = capture(fixture.pid());
    ASSERT_TRUE(outcome.capture) << rawValue(outcome.capture.error()).toStdString();
    EXPECT_EQ(outcome.capture->document.text, u"選択"_s);
    EXPECT_FALSE(outcome.capture->isBody);

    // A mail pasted into the editor, wrapped at 34 characters or at 72 columns: its paragraph reads whole, its
    // heading stays apart.
    for (const auto& [wrapped, whole] :
         {std::pair{
              u"第一章\\n吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。何\\n"
              u"でも薄暗いじめじめした所でニャーニャー泣いていた事だけは記憶している\\n。"_s,
              u"第一章\n吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。何でも薄暗いじめじめした所で"
              u"ニャーニャー泣いていた事だけは記憶している。"_s},
          std::pair{u"Chapter 2\\nThe changes to the reader keep every line that its source shows, and\\n"
                    u"they join the lines that only wrap a paragraph at a fixed width, as a\\nmail program does"_s,
                    u"Chapter 2\nThe changes to the reader keep every line that its source shows, and they join the "
                    u"lines that only wrap a paragraph at a fixed width, as a mail program does"_s}}) {
        ASSERT_TRUE(fixture.command(u"text area "_s + wrapped));
        const qsizetype length = QString(wrapped).replace(u"\\n"_s, u"\n"_s).size();
        ASSERT_TRUE(fixture.command(u"select area 0 "_s + QString::number(length)));
        outcome = capture(fixture.pid());
        ASSERT_TRUE(outcome.capture) << rawValue(outcome.capture.error()).toStdString();
        EXPECT_EQ(outcome.capture->document.text, whole);
    }

    ASSERT_TRUE(fixture.command(u"fill area 20001"_s));
    outcome = capture(fixture.pid());
    EXPECT_EQ(failureOf(outcome.capture), CaptureFailure::tooLong);
    EXPECT_EQ(outcome.textReads, 0);

    ASSERT_TRUE(fixture.command(u"text field 一行の入力"_s));
    ASSERT_TRUE(fixture.command(u"focus field"_s));
    EXPECT_EQ(failureOf(capture(fixture.pid()).capture), CaptureFailure::noBodyCandidate);

    ASSERT_TRUE(fixture.command(u"text secret hunter2"_s));
    ASSERT_TRUE(fixture.command(u"focus secret"_s));
    ASSERT_TRUE(fixture.command(u"select secret 0 7"_s));
    outcome = capture(fixture.pid());
    EXPECT_EQ(failureOf(outcome.capture), CaptureFailure::protectedField);
    EXPECT_EQ(outcome.textCalls, 0);

    s_rig->setEnabled(false);
    EXPECT_EQ(failureOf(capture(fixture.pid()).capture), CaptureFailure::permissionRequired);
}

// The fake application serving a tree.
class ServedTree {
public:
    explicit ServedTree(const test::ScriptedAccessibleTree& tree) {
        QFile file(m_folder.filePath(u"tree.json"_s));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QJsonDocument(tree.toJson()).toJson());
        file.close();
        m_program =
            std::make_unique<LineProgram>(test::inCheckout(ACCESSIBILITY_FAKE_APP), QStringList{file.fileName()});
        EXPECT_TRUE(m_program->isReady());
    }
    pid_t pid() const { return m_program->pid(); }

private:
    QTemporaryDir m_folder;
    std::unique_ptr<LineProgram> m_program;
};

TEST_F(AccessibleDesktop, APageServedOnTheBusAndALateAnswer) {
    {
        ServedTree page(test::pageAt(kPage));
        const auto outcome = capture(page.pid(), true, ArticleBrowser::chrome);
        ASSERT_TRUE(outcome.capture) << rawValue(outcome.capture.error()).toStdString();
        EXPECT_EQ(outcome.capture->document, test::articleDocument());
        EXPECT_EQ(failureOf(capture(page.pid(), true, std::nullopt).capture), CaptureFailure::browserUnsupported);
    }
    {
        auto tree = test::applicationWith({.path = u"/area"_s,
                                           .role = AccessibleRole::text,
                                           .states = test::statesOf({AccessibleState::multiLine}),
                                           .text = u"本文"_s,
                                           .delayMilliseconds = 5'000});
        ServedTree late(tree);
        const pid_t pid = late.pid();
        auto future = QtConcurrent::run([pid] {
            AtspiAccessibilityBus bus;
            EXPECT_TRUE(bus.isEnabled());
            const auto deadline = test::deadlineIn(300ms);
            AXSelectionReader reader(pid, false, std::nullopt, deadline, CancellationToken::none(), {.bus = &bus});
            const auto read = reader.read();
            return std::pair(failureOf(read), SystemClock::shared().monotonicNow() - deadline);
        });
        ASSERT_TRUE(test::processEventsUntil([&] { return future.isFinished(); }));
        const auto [failure, after] = future.result();
        EXPECT_EQ(failure, CaptureFailure::timedOut);
        // Ends at its deadline rather than with the answer 5 s later; a loaded machine may be late by a moment.
        EXPECT_GE(after, 0ms);
        EXPECT_LT(after, 2s);
    }
}

// Every owner of these tests answers: its selection is read with as long as the test may run.
TEST_F(AccessibleDesktop, ThePrimarySelectionOfAProgramWithoutFocusedText) {
    const auto primaryOf = [](pid_t pid) {
        return readPrimarySelection(pid, AXSelectionReader::kTextLimit, test::deadlineIn(test::patience()),
                                    s_inputWatch->log().get());
    };
    LineProgram owner(test::inCheckout(CLIPBOARD_OWNER), {u"--primary"_s, u"--text"_s, u"端末の選択"_s},
                      LineProgram::Ending::byKill);
    ASSERT_TRUE(owner.isReady());
    using Read = CaptureResult<std::optional<QString>>;
    EXPECT_EQ(primaryOf(owner.pid()), Read(u"端末の選択"_s));
    EXPECT_EQ(primaryOf(::getpid()), Read(std::nullopt));
    // Without a watch of the user's input nothing tells that the selection still stands.
    EXPECT_EQ(
        readPrimarySelection(owner.pid(), AXSelectionReader::kTextLimit, test::deadlineIn(test::patience()), nullptr),
        Read(std::nullopt));

    const auto outcome = capture(owner.pid());
    ASSERT_TRUE(outcome.capture) << rawValue(outcome.capture.error()).toStdString();
    EXPECT_EQ(outcome.capture->document.text, u"端末の選択"_s);
    EXPECT_EQ(failureOf(capture(::getpid()).capture), CaptureFailure::selectionUnknown);

    // Refused by the size its owner announces: more bytes than 20,000 units could take.
    LineProgram large(test::inCheckout(CLIPBOARD_OWNER), {u"--primary"_s, u"--text"_s, QString(60'001, u'a')},
                      LineProgram::Ending::byKill);
    ASSERT_TRUE(large.isReady());
    EXPECT_EQ(failureOf(primaryOf(large.pid())), CaptureFailure::tooLong);
}

// A selection the user has let go stays in the primary selection: it is not read.
TEST_F(AccessibleDesktop, APrimarySelectionThatMayHaveBeenClearedIsNotRead) {
    if (QStandardPaths::findExecutable(u"xdotool"_s).isEmpty()) GTEST_SKIP() << "xdotool is not installed";
    using Read = CaptureResult<std::optional<QString>>;
    const auto primaryOf = [](pid_t pid) {
        return readPrimarySelection(pid, AXSelectionReader::kTextLimit, test::deadlineIn(test::patience()),
                                    s_inputWatch->log().get());
    };
    {
        LineProgram owner(test::inCheckout(CLIPBOARD_OWNER), {u"--primary"_s, u"--text"_s, u"選択"_s},
                          LineProgram::Ending::byKill);
        ASSERT_TRUE(owner.isReady());
        // The hot key itself: its modifiers and its one key.
        input({u"key"_s, u"ctrl+alt+super+r"_s});
        EXPECT_EQ(primaryOf(owner.pid()), Read(u"選択"_s));
        // A click anywhere may have cleared it; the wheel does not (the watch ignores it, and has read it
        // once it has seen the key pressed after it).
        ASSERT_EQ(QProcess::execute(u"xdotool"_s, {u"click"_s, u"4"_s}), 0);
        input({u"key"_s, u"ctrl+alt+super+r"_s});
        EXPECT_EQ(primaryOf(owner.pid()), Read(u"選択"_s));
        input({u"click"_s, u"1"_s});
        EXPECT_EQ(primaryOf(owner.pid()), Read(std::nullopt));
        EXPECT_EQ(failureOf(capture(owner.pid()).capture), CaptureFailure::selectionUnknown);
    }
    if (!QStandardPaths::findExecutable(u"xprop"_s).isEmpty()) {
        // The window manager names the active window again: only another window counts.
        const auto activate = [](const QString& window) {
            return QProcess::execute(u"xprop"_s, {u"-root"_s, u"-f"_s, u"_NET_ACTIVE_WINDOW"_s, u"32x"_s, u"-set"_s,
                                                  u"_NET_ACTIVE_WINDOW"_s, window});
        };
        ASSERT_EQ(activate(u"0x200001"_s), 0);
        LineProgram owner(test::inCheckout(CLIPBOARD_OWNER), {u"--primary"_s, u"--text"_s, u"選択"_s},
                          LineProgram::Ending::byKill);
        ASSERT_TRUE(owner.isReady());
        ASSERT_EQ(activate(u"0x200001"_s), 0);
        input({u"key"_s, u"ctrl+alt+super+r"_s});
        EXPECT_EQ(primaryOf(owner.pid()), Read(u"選択"_s));
        const X11InputHistory before = s_inputWatch->log()->history();
        ASSERT_EQ(activate(u"0x200002"_s), 0);
        EXPECT_TRUE(test::processEventsUntil([&] { return s_inputWatch->log()->history() != before; }));
        EXPECT_EQ(primaryOf(owner.pid()), Read(std::nullopt));
    }
    {
        // Another key before the hot key's: the caret may have moved.
        LineProgram owner(test::inCheckout(CLIPBOARD_OWNER), {u"--primary"_s, u"--text"_s, u"選択"_s},
                          LineProgram::Ending::byKill);
        ASSERT_TRUE(owner.isReady());
        input({u"key"_s, u"Right"_s});
        input({u"key"_s, u"ctrl+alt+super+r"_s});
        EXPECT_EQ(primaryOf(owner.pid()), Read(std::nullopt));
    }
}

// An xterm showing a text, killed when it goes: in the bitmap font "fixed" (6 by 13 pixels a cell, the first
// line's cells 2 pixels below the window's top), so that clicks land where a test means them. The shell
// names the window once it has written the text.
class ShownInXterm {
public:
    ShownInXterm(const QString& text, const QString& geometry) {
        m_xterm.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_xterm.start(u"xterm"_s, {u"-u8"_s, u"-fn"_s, u"fixed"_s, u"-geometry"_s, geometry, u"-e"_s, u"sh"_s, u"-c"_s,
                                   u"printf '%s\\n\\033]2;written\\007' \"$0\"; exec sleep 600"_s, text});
    }
    ~ShownInXterm() {
        m_xterm.kill();
        m_xterm.waitForFinished();
    }
    pid_t pid() const { return pid_t(m_xterm.processId()); }
    // The window, once the text is written; empty when it never is.
    QString window() {
        QString window;
        if (!m_xterm.waitForStarted()) return window;
        test::processEventsUntil([&] {
            QProcess search;
            search.start(u"xdotool"_s, {u"search"_s, u"--all"_s, u"--onlyvisible"_s, u"--pid"_s,
                                        QString::number(m_xterm.processId()), u"--name"_s, u"^written$"_s});
            search.waitForFinished();
            window = QString::fromLatin1(search.readAllStandardOutput().trimmed());
            return !window.isEmpty();
        });
        return window;
    }

private:
    QProcess m_xterm;
};

// An xterm, which shows nothing on the bus, gives a triple-clicked line through the primary selection: every
// character of it, marks written for hidden names among them, and a line of nothing but such marks is read
// as any other. Each line has a terminal of its own, where a triple click starts afresh.
TEST_F(AccessibleDesktop, AnXtermsTripleClickedLineIsReadWithEveryMark) {
    for (const QString& tool : {u"xterm"_s, u"xdotool"_s}) {
        if (QStandardPaths::findExecutable(tool).isEmpty()) GTEST_SKIP() << tool.toStdString() << " is not installed";
    }
    for (const QString& line : {u"●●県の■■さんが来た。"_s, u"●●●●"_s, u"評価：•••◦◦ ○○ ×× ＊"_s}) {
        ShownInXterm xterm(line, u"40x3+0+0"_s);
        const QString window = xterm.window();
        ASSERT_FALSE(window.isEmpty());
        input({u"mousemove"_s, u"--window"_s, window, u"4"_s, u"8"_s, u"click"_s, u"--repeat"_s, u"3"_s, u"--delay"_s,
               u"80"_s, u"1"_s});
        const auto read = capture(xterm.pid());
        ASSERT_TRUE(read.capture) << line.toStdString() << ": " << rawValue(read.capture.error()).toStdString();
        EXPECT_EQ(read.capture->document.text.trimmed(), line);
    }
}

// A paragraph that its source wrapped at 72 columns, shown in an xterm and selected from its first line to
// its last, reads whole through the primary selection.
TEST_F(AccessibleDesktop, AParagraphWrappedInAnXtermReadsWhole) {
    for (const QString& tool : {u"xterm"_s, u"xdotool"_s}) {
        if (QStandardPaths::findExecutable(tool).isEmpty()) GTEST_SKIP() << tool.toStdString() << " is not installed";
    }
    const QStringList lines{u"The changes to the reader keep every line that its source shows, and"_s,
                            u"they join the lines that only wrap a paragraph at a fixed width, as a"_s,
                            u"mail program or a terminal does."_s};
    ShownInXterm xterm(lines.join(u'\n'), u"80x5+0+0"_s);
    const QString window = xterm.window();
    ASSERT_FALSE(window.isEmpty());
    // The first line triple-clicked, the selection extended to the third by the right button.
    input({u"mousemove"_s, u"--window"_s, window, u"4"_s, u"8"_s, u"click"_s, u"--repeat"_s, u"3"_s, u"--delay"_s,
           u"80"_s, u"1"_s});
    input({u"mousemove"_s, u"--window"_s, window, u"100"_s, u"34"_s, u"click"_s, u"3"_s});
    const auto read = capture(xterm.pid());
    ASSERT_TRUE(read.capture) << rawValue(read.capture.error()).toStdString();
    EXPECT_EQ(read.capture->document.text.trimmed(), lines.join(u' '));
}

// Serves one HTML page over http on the loopback interface, from the main thread's event loop.
class PageServer {
public:
    explicit PageServer(QByteArray page) : m_page(std::move(page)) {
        EXPECT_TRUE(m_server.listen(QHostAddress::LocalHost));
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    if (!socket->readAll().contains("\r\n\r\n")) return;
                    socket->write("HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                                  QByteArray::number(m_page.size()) + "\r\nConnection: close\r\n\r\n" + m_page);
                    socket->disconnectFromHost();
                });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    QString url(const QString& path) const {
        return u"http://127.0.0.1:"_s + QString::number(m_server.serverPort()) + path;
    }

private:
    QByteArray m_page;
    QTcpServer m_server;
};

TEST_F(AccessibleDesktop, AChromiumPageWithNothingSelectedGivesItsArticle) {
    if (test::HeadlessChromium::executable().isEmpty()) GTEST_SKIP() << test::HeadlessChromium::missingReason();
    QString body = u"<h1>Accessible article</h1>"_s;
    for (int index = 0; index < 8; ++index) {
        body +=
            u"<p>The accessible article is the subject of this paragraph, which goes on for a while, with "
            u"commas, so that it reads as an article and not as a navigation bar.</p>"_s;
    }
    PageServer server((u"<!DOCTYPE html><html><head><title>Accessible article</title></head><body><article>"_s + body +
                       u"</article></body></html>"_s)
                          .toUtf8());
    const QString url = server.url(u"/news/article.html"_s);
    test::HeadlessChromium chromium(url, test::patience(), test::HeadlessChromium::Mode::shown,
                                    {u"--force-renderer-accessibility"_s});
    ASSERT_TRUE(chromium.isListening()) << chromium.failure().toStdString();

    const QString service = shownOnTheBus(chromium.pid());
    if (service.isEmpty()) GTEST_SKIP() << "chromium exposes no focused document on the accessibility bus";

    auto outcome = capture(chromium.pid(), true, ArticleBrowser::chrome, Workers::real);
    ASSERT_TRUE(outcome.capture) << rawValue(outcome.capture.error()).toStdString();
    EXPECT_TRUE(outcome.capture->isBody);
    EXPECT_TRUE(outcome.capture->document.text.contains(u"The accessible article is the subject"_s));

    // The address the bus gave is the page's own.
    test::ChromiumDriver driver(chromium);
    EXPECT_EQ(driver.evaluate(driver.home(), u"location.href"_s).toString(), url);
}

// An article page, and a navigation bar before it that is no part of its article.
QByteArray articlePage(const QString& title, const QString& subject) {
    QString body =
        u"<nav><a href='/'>Navigation marker</a> <a href='/more'>More</a></nav><article><h1>"_s + title + u"</h1>"_s;
    for (int index = 0; index < 8; ++index) {
        body += u"<p>"_s + subject +
                u" is the subject of this paragraph, which goes on for a while, with commas, so that it reads as an "
                u"article and not as a navigation bar.</p>"_s;
    }
    return (u"<!DOCTYPE html><html><head><title>"_s + title + u"</title></head><body>"_s + body +
            u"</article></body></html>"_s)
        .toUtf8();
}

// The output of xdotool, or nothing when it failed or took more than 20 seconds. The event loop runs
// meanwhile: the test's page server answers from it.
std::optional<QByteArray> xdotool(const QStringList& arguments) {
    QProcess process;
    process.start(u"xdotool"_s, arguments);
    if (!test::processEventsUntil([&] { return process.state() == QProcess::NotRunning; })) {
        process.kill();
        process.waitForFinished();
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) return std::nullopt;
    return process.readAllStandardOutput().trimmed();
}

std::optional<std::pair<QByteArray, pid_t>> tryToFocusBrowserWindow(const QString& title) {
    const auto windows = xdotool({u"search"_s, u"--sync"_s, u"--onlyvisible"_s, u"--name"_s, title});
    if (!windows || windows->isEmpty()) return std::nullopt;
    const QByteArray window = windows->split('\n').last();
    if (!xdotool({u"windowfocus"_s, u"--sync"_s, QString::fromLatin1(window)})) return std::nullopt;
    const auto desktop = X11Desktop::ofApplication();
    if (!desktop) return std::nullopt;
    const auto front = desktop->frontWindow();
    if (!front || !front->pid) return std::nullopt;
    return std::pair(window, *front->pid);
}

// The window of the browser whose title is `title`, once shown, given the focus as a click on it would;
// its id and its process as the desktop tells it (the process of the window in front). A window that has
// just been mapped may refuse the focus for a moment, or not tell its process yet: it is asked again.
std::optional<std::pair<QByteArray, pid_t>> focusBrowserWindow(const QString& title) {
    std::optional<std::pair<QByteArray, pid_t>> focused;
    test::processEventsUntil([&] { return (focused = tryToFocusBrowserWindow(title)).has_value(); });
    return focused;
}

// What the page in the tab in front of the browser says is selected in it; none when it cannot tell.
std::optional<QString> pageSelectionOf(pid_t browser) {
    BrowserSnapshotOptions options;
    options.search.process = browser;
    const auto snapshot = takeBrowserSnapshot(ArticleBrowser::chrome, false, options);
    return snapshot ? snapshot->selection : std::nullopt;
}

// A paragraph of 2,000 links (a selected table of contents reads so), selected and read over the bus: each
// link's object is followed to its text, and the reader waits for the bus no more often than for a
// paragraph of 20 links (the time it takes is capture-bench's bus-selection line).
TEST_F(AccessibleDesktop, AChromiumParagraphOfTwoThousandLinksIsReadInAsManyRoundTripsAsOneOfTwenty) {
    if (test::HeadlessChromium::executable().isEmpty()) GTEST_SKIP() << test::HeadlessChromium::missingReason();
    if (QStandardPaths::findExecutable(u"xdotool"_s).isEmpty()) GTEST_SKIP() << "xdotool is not installed";
    const auto paragraph = [](const QString& id, int links) -> QString {
        QString words = u"<p id='"_s + id + u"' tabindex='-1'>Contents:"_s;
        for (int index = 0; index < links; ++index) {
            words += u" <a href='#l"_s + QString::number(index) + u"'>w"_s + QString::number(index) + u"</a>"_s;
        }
        return words + u"</p>"_s;
    };
    PageServer server((u"<!DOCTYPE html><html><head><title>Two thousand links</title></head><body>"_s +
                       paragraph(u"few"_s, 20) + paragraph(u"many"_s, 2'000) + u"</body></html>"_s)
                          .toUtf8());
    const QString url = server.url(u"/contents.html"_s);
    test::HeadlessChromium chromium(url, test::patience(), test::HeadlessChromium::Mode::shown,
                                    {u"--force-renderer-accessibility"_s});
    ASSERT_TRUE(chromium.isListening()) << chromium.failure().toStdString();
    ASSERT_TRUE(focusBrowserWindow(u"Two thousand links"_s));
    const QString service = shownOnTheBus(chromium.pid());
    if (service.isEmpty()) GTEST_SKIP() << "chromium exposes no focused document on the accessibility bus";
    test::ChromiumDriver driver(chromium);
    // Tavrine may not ask the page: the bus tells what is selected.
    m_desktop.pageURL = url;
    m_desktop.permission = kAutomationUndecided;

    // The paragraph takes the focus, as a click in it would give it, and its words are selected.
    const auto read = [&](const QString& id) {
        const auto before = s_tracker->log()->lastFocused(service);
        EXPECT_EQ(driver.evaluate(driver.home(), u"var words = document.getElementById('"_s + id +
                                                     u"'); words.focus(); getSelection().selectAllChildren(words); "
                                                     u"!getSelection().isCollapsed"_s),
                  QJsonValue(true));
        EXPECT_TRUE(test::processEventsUntil([&] { return s_tracker->log()->lastFocused(service) != before; }));
        // The focus settled, as it is long before a person presses the hot key: the capture does not wait
        // for it, and its calls are the reading's alone.
        test::processEventsUntil([&] {
            const auto changed = s_tracker->log()->lastChange(service).value_or(Clock::MonotonicTime{});
            return SystemClock::shared().monotonicNow() - changed > 2 * AXSelectionReader::kFocusQuietTime;
        });
        return capture(chromium.pid(), true, ArticleBrowser::chrome, Workers::real);
    };
    const Outcome few = read(u"few"_s);
    ASSERT_TRUE(few.capture) << rawValue(few.capture.error()).toStdString();
    EXPECT_EQ(few.capture->document.text.trimmed(),
              u"Contents: w0 w1 w2 w3 w4 w5 w6 w7 w8 w9 w10 w11 w12 w13 w14 w15 w16 w17 w18 w19"_s);
    const Outcome many = read(u"many"_s);
    ASSERT_TRUE(many.capture) << rawValue(many.capture.error()).toStdString();
    EXPECT_FALSE(many.capture->isBody);
    const QString& text = many.capture->document.text;
    EXPECT_TRUE(text.startsWith(u"Contents: w0 w1 "_s)) << text.left(80).toStdString();
    EXPECT_TRUE(text.trimmed().endsWith(u" w1998 w1999"_s)) << text.right(80).toStdString();
    EXPECT_FALSE(text.contains(QChar(kObjectReplacementCharacter)));
    EXPECT_EQ(many.waits, few.waits);
}

const QStringList kBrowserArguments{u"--no-first-run"_s,
                                    u"--no-default-browser-check"_s,
                                    u"--disable-gpu"_s,
                                    u"--disable-background-networking"_s,
                                    u"--disable-component-update"_s,
                                    u"--disable-sync"_s,
                                    u"--disable-crash-reporter"_s};

// Chromium started normally, without accessibility forced on it: its frames show nothing of the page.
TEST_F(AccessibleDesktop, AChromiumStartedNormallyGivesTheArticleOfItsPageInFront) {
    if (test::HeadlessChromium::executable().isEmpty()) GTEST_SKIP() << test::HeadlessChromium::missingReason();
    if (QStandardPaths::findExecutable(u"xdotool"_s).isEmpty()) GTEST_SKIP() << "xdotool is not installed";
    PageServer server(articlePage(u"Normally started"_s, u"The normal start"_s));
    test::HeadlessChromium chromium(server.url(u"/news/normal.html"_s), test::patience(),
                                    test::HeadlessChromium::Mode::shown);
    ASSERT_TRUE(chromium.isListening()) << chromium.failure().toStdString();
    const auto window = focusBrowserWindow(u"Normally started"_s);
    ASSERT_TRUE(window);
    EXPECT_EQ(window->second, chromium.pid());

    const auto outcome = capture(window->second, true, ArticleBrowser::chrome, Workers::real);
    ASSERT_TRUE(outcome.capture) << rawValue(outcome.capture.error()).toStdString();
    EXPECT_TRUE(outcome.capture->isBody);
    EXPECT_TRUE(outcome.capture->document.text.contains(u"The normal start is the subject"_s));
    EXPECT_FALSE(outcome.capture->document.text.contains(u"Navigation marker"_s));
}

// Started from a shell that ends at once (a launcher that forks twice does the same): the browser is left
// to the system, without its starter's environment, and found by its window all the same. A selection
// made in its page is captured; once a click has cleared it, the page's article is, not the old text.
TEST_F(AccessibleDesktop, AChromiumLeftByItsShellIsFoundAndItsClearedSelectionIsNotReplayed) {
    if (test::HeadlessChromium::executable().isEmpty()) GTEST_SKIP() << test::HeadlessChromium::missingReason();
    if (QStandardPaths::findExecutable(u"xdotool"_s).isEmpty()) GTEST_SKIP() << "xdotool is not installed";
    PageServer server(articlePage(u"Left by its shell"_s, u"The left browser"_s));
    // Its default profile, in the test's own configuration folder, tells its port.
    QStringList arguments = kBrowserArguments;
    if (::geteuid() == 0) arguments.append(u"--no-sandbox"_s);
    arguments.append({u"--remote-debugging-port=0"_s, server.url(u"/news/left.html"_s)});
    QString command = u"'"_s + test::HeadlessChromium::executable() + u"'"_s;
    for (const QString& argument : arguments) command += u" '"_s + argument + u"'"_s;
    ASSERT_EQ(QProcess::execute(u"sh"_s, {u"-c"_s, command + u" >/dev/null 2>&1 &"_s}), 0);

    const auto window = focusBrowserWindow(u"Left by its shell"_s);
    ASSERT_TRUE(window);
    const pid_t browser = window->second;
    // Ended with the test, as its user would end it.
    const auto end = qScopeGuard([browser] {
        ::kill(browser, SIGTERM);
        QFile stat(u"/proc/"_s + QString::number(browser) + u"/stat"_s);
        const QDeadlineTimer deadline(10'000);
        while (stat.open(QIODevice::ReadOnly) && !stat.readAll().contains(") Z ") && !deadline.hasExpired()) {
            stat.close();
            QThread::msleep(20);
        }
        if (deadline.hasExpired()) ::kill(browser, SIGKILL);
    });

    auto outcome = capture(browser, true, ArticleBrowser::chrome, Workers::real);
    ASSERT_TRUE(outcome.capture) << rawValue(outcome.capture.error()).toStdString();
    EXPECT_TRUE(outcome.capture->isBody);
    EXPECT_TRUE(outcome.capture->document.text.contains(u"The left browser is the subject"_s));

    // The navigation line selected by a triple click beside its links: text that is no part of the article.
    const QString windowID = QString::fromLatin1(window->first);
    ASSERT_TRUE(xdotool({u"mousemove"_s, u"--window"_s, windowID, u"600"_s, u"160"_s, u"click"_s, u"--repeat"_s, u"3"_s,
                         u"--delay"_s, u"80"_s, u"1"_s}));
    ASSERT_TRUE(test::processEventsUntil(
        [&] { return pageSelectionOf(browser).value_or(QString()).contains(u"Navigation marker"_s); }));
    outcome = capture(browser, true, ArticleBrowser::chrome, Workers::real);
    ASSERT_TRUE(outcome.capture) << rawValue(outcome.capture.error()).toStdString();
    EXPECT_FALSE(outcome.capture->isBody);
    EXPECT_TRUE(outcome.capture->document.text.contains(u"Navigation marker"_s));
    EXPECT_FALSE(outcome.capture->document.text.contains(u"The left browser is the subject"_s));

    // A click in the article clears it; the browser still holds it as the primary selection.
    input({u"mousemove"_s, u"--window"_s, windowID, u"200"_s, u"300"_s, u"click"_s, u"1"_s});
    ASSERT_TRUE(test::processEventsUntil([&] { return pageSelectionOf(browser) == u""_s; }));
    outcome = capture(browser, true, ArticleBrowser::chrome, Workers::real);
    ASSERT_TRUE(outcome.capture) << rawValue(outcome.capture.error()).toStdString();
    EXPECT_TRUE(outcome.capture->isBody);
    EXPECT_FALSE(outcome.capture->document.text.contains(u"Navigation marker"_s));
    EXPECT_TRUE(outcome.capture->document.text.contains(u"The left browser is the subject"_s));
}

}  // namespace
}  // namespace tavrine
