#include "PelmoraMac/Capture/CaptureWorker.h"
#include "PelmoraMac/Capture/CaptureWorkerLauncher.h"

#include "CaptureTesting.h"
#include "support/CheckoutPaths.h"
#include "support/EventLoop.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <QFile>

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <thread>
#include <vector>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using test::deadlineIn;
using test::failureOf;

constexpr qsizetype kLimit = kCaptureWorkerTransferLimit;

// Whether a process of that id still exists (a zombie counts): false once it has been reaped.
bool processExists(pid_t pid) {
    return ::kill(pid, 0) == 0 || errno != ESRCH;
}

// The children that a launch started.
struct StartedChildren {
    std::vector<pid_t> pids;
    CaptureWorkerLaunch launch(const QString& executable) {
        return {.executable = executable, .childStarted = [this](pid_t pid) { pids.push_back(pid); }};
    }
};

// The children of these tests answer, however slowly a loaded machine starts them and carries their bytes: they
// are waited for as long as the test may run. Only a child that never answers has a short deadline.
CaptureResult<QByteArray> runFakeChild(const QString& mode, const QByteArray& input = {}) {
    return launchCaptureWorkerProcess({.executable = test::inCheckout(CAPTURE_FAKE_CHILD), .childStarted = {}}, {mode},
                                      input, deadlineIn(test::patience()), kLimit, CancellationToken::none());
}

class CaptureWorkerLauncher : public ::testing::Test {
protected:
    // Runs a shell script as the child.
    CaptureResult<QByteArray> runShell(const QString& script, const QByteArray& input = {},
                                       CaptureDeadline deadline = deadlineIn(test::patience()),
                                       const CancellationToken& cancellation = CancellationToken::none()) {
        return launchCaptureWorkerProcess(children.launch(u"/bin/sh"_s), {u"-c"_s, script}, input, deadline, kLimit,
                                          cancellation);
    }
    // Makes an executable script that stands in for the worker (it ignores the worker argument).
    QString fakeWorker(const QByteArray& script) {
        const QString path = folder.write(u"worker"_s, "#!/bin/sh\n" + script);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }
    CaptureResult<CaptureWorkerResponse> runFakeWorker(const QByteArray& script) {
        return runCaptureWorker({.operation = CaptureWorkerRequest::Operation::markdown, .text = u"本文"_s},
                                deadlineIn(test::patience()), CancellationToken::none(),
                                children.launch(fakeWorker(script)));
    }

    test::TemporaryDirectory folder;
    StartedChildren children;
};

TEST_F(CaptureWorkerLauncher, TheChildGetsTheEnvironmentWithoutLoaderAndTestHostVariables) {
    qputenv("DYLD_INSERT_LIBRARIES", "a");
    qputenv("XCTestBundlePath", "b");
    qputenv("dyld_insert_libraries", "c");
    const auto environment = runFakeChild(u"env"_s);
    qunsetenv("DYLD_INSERT_LIBRARIES");
    qunsetenv("XCTestBundlePath");
    qunsetenv("dyld_insert_libraries");
    ASSERT_TRUE(environment);
    EXPECT_FALSE(environment->contains("DYLD_INSERT_LIBRARIES="));
    EXPECT_FALSE(environment->contains("XCTestBundlePath="));
    EXPECT_TRUE(environment->contains("\ndyld_insert_libraries=c\n") ||
                environment->startsWith("dyld_insert_libraries=c\n"));
    EXPECT_TRUE(environment->contains("PATH="));

    // Only names are looked at, and only their start.
    EXPECT_EQ(sanitizedWorkerEnvironment({"A=DYLD_x", "XCTestConfigurationFilePath=/t", "MY_DYLD_X=1", "XCTEST=1"}),
              (QByteArrayList{"A=DYLD_x", "MY_DYLD_X=1", "XCTEST=1"}));
}

TEST_F(CaptureWorkerLauncher, TheChildSeesOnlyItsStandardDescriptors) {
    // A descriptor of this process without close-on-exec stays here too.
    const int leaky = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(leaky, 0);
    const auto descriptors = runFakeChild(u"fds"_s, "input");
    ::close(leaky);
    EXPECT_EQ(descriptors, QByteArray("0\n1\n2\n"));
}

TEST_F(CaptureWorkerLauncher, SixteenMillionBytesGoEachWayAndNoMore) {
    const QByteArray request(kLimit, 'r');
    EXPECT_EQ(runFakeChild(u"echo"_s, request), request);

    EXPECT_EQ(failureOf(runShell(u"cat"_s, QByteArray(kLimit + 1, 'r'))), CaptureFailure::htmlTooLarge);
    EXPECT_TRUE(children.pids.empty());

    const auto atLimit = runShell(u"head -c 16000000 /dev/zero"_s);
    ASSERT_TRUE(atLimit);
    EXPECT_EQ(atLimit->size(), kLimit);

    // One byte more ends the child there and then, not when it would have ended: it would only end after the
    // deadline, which would make the launch timedOut.
    EXPECT_EQ(failureOf(runShell(u"head -c 16000001 /dev/zero; exec sleep 3600"_s)), CaptureFailure::htmlTooLarge);
    ASSERT_EQ(children.pids.size(), 2u);
    EXPECT_FALSE(processExists(children.pids.back()));
}

TEST_F(CaptureWorkerLauncher, ASilentChildIsKilledAndReapedAtTheDeadline) {
    const qsizetype descriptors = test::openDescriptorCount();
    const CaptureDeadline deadline = deadlineIn(300ms);
    EXPECT_EQ(failureOf(runShell(u"exec sleep 30"_s, "unread", deadline)), CaptureFailure::timedOut);
    // Ended at the deadline, timed from it: not before, and not with the child 30 s later.
    const auto late = SystemClock::shared().monotonicNow() - deadline;
    EXPECT_GE(late, 0ms);
    EXPECT_LT(late, 2s);
    ASSERT_EQ(children.pids.size(), 1u);
    EXPECT_FALSE(processExists(children.pids.front()));
    EXPECT_EQ(test::openDescriptorCount(), descriptors);

    // A child that ends its output but lives on is waited for, up to the deadline.
    EXPECT_EQ(failureOf(runShell(u"exec sleep 30 >&-"_s, {}, deadlineIn(300ms))), CaptureFailure::timedOut);
    EXPECT_FALSE(processExists(children.pids.back()));
}

TEST_F(CaptureWorkerLauncher, ACancelledLaunchEndsAtOnce) {
    // Cancelled a moment after the child has started, however long a loaded machine takes to start it; the child
    // never answers, and the deadline is far.
    const CancellationToken cancellation;
    std::chrono::steady_clock::time_point cancelledAt;
    std::thread canceller;
    const CaptureWorkerLaunch launch{.executable = u"/bin/sh"_s, .childStarted = [&](pid_t pid) {
                                         children.pids.push_back(pid);
                                         canceller = std::thread([&] {
                                             std::this_thread::sleep_for(200ms);
                                             cancelledAt = std::chrono::steady_clock::now();
                                             cancellation.cancel();
                                         });
                                     }};
    const auto outcome =
        launchCaptureWorkerProcess(launch, {u"-c"_s, u"exec sleep 30"_s}, {}, deadlineIn(10s), kLimit, cancellation);
    const auto returnedAt = std::chrono::steady_clock::now();
    ASSERT_TRUE(canceller.joinable());
    canceller.join();
    EXPECT_EQ(failureOf(outcome), CaptureFailure::cancelled);
    // Timed from the cancellation: the loop looks at the token every 5 ms at most, and the margin is for a loaded
    // machine, far from the deadline's 10 s.
    EXPECT_LT(returnedAt - cancelledAt, 1s);
    ASSERT_EQ(children.pids.size(), 1u);
    EXPECT_FALSE(processExists(children.pids.front()));
}

TEST_F(CaptureWorkerLauncher, NothingStartsPastTheDeadlineOrOnceCancelled) {
    EXPECT_EQ(failureOf(runShell(u"cat"_s, "x", deadlineIn(-1ms))), CaptureFailure::timedOut);
    const CancellationToken cancelled;
    cancelled.cancel();
    // Cancellation wins over a deadline that has passed too.
    EXPECT_EQ(failureOf(runShell(u"cat"_s, "x", deadlineIn(-1ms), cancelled)), CaptureFailure::cancelled);
    EXPECT_TRUE(children.pids.empty());
    EXPECT_EQ(failureOf(launchCaptureWorkerProcess({.executable = folder.filePath(u"missing"_s), .childStarted = {}},
                                                   {}, "x", deadlineIn(10s), kLimit, CancellationToken::none())),
              CaptureFailure::unavailable);
}

TEST_F(CaptureWorkerLauncher, OnlyAWellFormedAnswerOfAChildThatExitedCleanlyCounts) {
    const QByteArray answer = R"({"document":{"text":"本文","spans":[]}})";
    const auto answered = runFakeWorker("cat >/dev/null; printf '%s' '" + answer + "'");
    ASSERT_TRUE(answered);
    EXPECT_EQ(answered->document, (ReadingDocument{std::nullopt, u"本文"_s, {}}));

    EXPECT_EQ(failureOf(runFakeWorker("cat >/dev/null; printf '%s' '" + answer + "'; exit 1")),
              CaptureFailure::unavailable);
    EXPECT_EQ(failureOf(runFakeWorker("cat >/dev/null; exit 0")), CaptureFailure::unavailable);
    EXPECT_EQ(failureOf(runFakeWorker("cat >/dev/null; echo 'not json'")), CaptureFailure::unavailable);
    EXPECT_EQ(failureOf(runFakeWorker("cat >/dev/null; printf '{\"failure\":\"Cancelled\"}'")),
              CaptureFailure::unavailable);
    EXPECT_EQ(failureOf(runFakeWorker("cat >/dev/null; head -c 100000 /dev/zero | tr '\\0' '['")),
              CaptureFailure::unavailable);
    EXPECT_EQ(failureOf(runFakeWorker("cat >/dev/null; kill -9 $$")), CaptureFailure::unavailable);
    // A failure in the answer is the launch's failure; an empty answer is a response without anything.
    EXPECT_EQ(failureOf(runFakeWorker("cat >/dev/null; printf '{\"failure\":\"sourceChanged\",\"x\":1}'")),
              CaptureFailure::sourceChanged);
    EXPECT_EQ(runFakeWorker("cat >/dev/null; printf '{}'"), CaptureWorkerResponse{});
    for (const pid_t pid : children.pids) EXPECT_FALSE(processExists(pid));
}

TEST_F(CaptureWorkerLauncher, ParallelLaunchesNeverHoldEachOthersPipes) {
    constexpr int kLaunches = 8;
    std::vector<CaptureResult<QByteArray>> outcomes(kLaunches, tl::unexpected(CaptureFailure::unavailable));
    std::vector<QByteArray> inputs;
    for (int i = 0; i < kLaunches; ++i) inputs.push_back(QByteArray(1'000'000 + i, char('a' + i)));
    std::vector<std::thread> threads;
    for (int i = 0; i < kLaunches; ++i) {
        threads.emplace_back([&, i] { outcomes[size_t(i)] = runFakeChild(u"echo"_s, inputs[size_t(i)]); });
    }
    for (auto& thread : threads) thread.join();
    for (int i = 0; i < kLaunches; ++i) EXPECT_EQ(outcomes[size_t(i)], inputs[size_t(i)]) << "launch " << i;
}

}  // namespace
}  // namespace tavrine
