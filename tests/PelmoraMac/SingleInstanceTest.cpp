// One instance per store, and the termination signals turned into quit requests.
#include "PelmoraMac/App/SingleInstance.h"
#include "PelmoraMac/App/TerminationSignals.h"

#include "support/EventLoop.h"
#include "support/SpecialFiles.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalSocket>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <atomic>
#include <csignal>
#include <thread>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using test::processEventsUntil;

// What a peer hears back after sending request, from another thread so that the instance's event loop
// can answer; empty when the connection ended without an answer. The instance ends each connection once it
// has read the request: the peer waits for that end, as long as a loaded machine makes it take.
QByteArray askFromAnotherThread(const QString& path, const QByteArray& request) {
    QByteArray answer;
    std::atomic<bool> done = false;
    std::thread peer([&] {
        const int wait = test::patienceMilliseconds();
        QLocalSocket socket;
        socket.connectToServer(path);
        if (socket.waitForConnected(wait)) {
            socket.write(request);
            socket.waitForBytesWritten(wait);
            while (socket.waitForReadyRead(wait)) answer += socket.readAll();
        }
        done = true;
    });
    // The instance answers on this thread's event loop while the peer waits.
    processEventsUntil([&] { return done.load(); });
    peer.join();
    return answer;
}

TEST(SingleInstance, TheFirstClaimListensAndAnswersAShowRequest) {
    test::TemporaryDirectory folder;
    SingleInstance instance(folder.filePath(u"instance"_s));
    int shows = 0;
    QObject::connect(&instance, &SingleInstance::showRequested, [&] { ++shows; });

    ASSERT_EQ(instance.claim(), SingleInstance::Claim::instance);
    EXPECT_EQ(askFromAnotherThread(instance.address(), "show\n"), "shown\n");
    EXPECT_EQ(shows, 1);

    // Anything else is dropped unanswered.
    EXPECT_EQ(askFromAnotherThread(instance.address(), "quit\n"), QByteArray());
    EXPECT_EQ(shows, 1);
}

TEST(SingleInstance, ASocketLeftByADeadProcessIsReplaced) {
    test::TemporaryDirectory folder;
    const QString path = folder.filePath(u"instance"_s);
    // A socket file nobody listens on, as a killed instance leaves it.
    test::makeSocket(path);
    ASSERT_TRUE(QFileInfo::exists(path));

    SingleInstance instance(path);
    int shows = 0;
    QObject::connect(&instance, &SingleInstance::showRequested, [&] { ++shows; });
    ASSERT_EQ(instance.claim(), SingleInstance::Claim::instance);
    askFromAnotherThread(instance.address(), "show\n");
    EXPECT_EQ(shows, 1);
}

// A process that listens but never runs again (stopped, or hung before its event loop): the kernel still
// takes the connection, and only the missing answer gives it away. The waiting claim gives up in time,
// names the process, and leaves its socket alone.
TEST(SingleInstance, AnInstanceThatNeverAnswersIsNotRespondingAndNamed) {
    test::TemporaryDirectory folder;
    const QString path = folder.filePath(u"instance"_s);
    const int silent = test::bindSocket(path);
    ASSERT_EQ(::listen(silent, 4), 0);

    SingleInstance second(path);
    QElapsedTimer waited;
    waited.start();
    EXPECT_EQ(second.claim(), SingleInstance::Claim::notResponding);
    EXPECT_GE(waited.elapsed(), SingleInstance::kAnswerTimeout.count() - 100);
    EXPECT_LT(waited.elapsed(), SingleInstance::kAnswerTimeout.count() + 1000);
    EXPECT_EQ(second.runningProcess(), qint64(::getpid()));
    EXPECT_TRUE(QFileInfo::exists(path));
    ::close(silent);
}

TEST(SingleInstance, EachStoreHasItsOwnSocket) {
    const QString first = SingleInstance::socketPath(u"/home/a/.local/share/org.tavrine.Tavrine/reading-store.json"_s);
    EXPECT_EQ(first, SingleInstance::socketPath(u"/home/a/.local/share/org.tavrine.Tavrine/reading-store.json"_s));
    EXPECT_NE(first, SingleInstance::socketPath(u"/tmp/test/org.tavrine.Tavrine/reading-store.json"_s));
    EXPECT_TRUE(QFileInfo(first).fileName().startsWith(u"org.tavrine.Tavrine-"_s));
}

// A runtime folder so deep that the socket's path is longer than a socket's address holds: the first
// claim still listens at that path and answers, and a later claim still finds the running instance there.
TEST(SingleInstance, APathLongerThanASocketAddressStillMakesOneInstance) {
    test::TemporaryDirectory folder;
    const QString deep = folder.filePath(QString(qsizetype(sizeof(sockaddr_un::sun_path)), u'r'));
    ASSERT_TRUE(QDir().mkpath(deep));
    const QString path = deep + u"/instance"_s;
    {
        SingleInstance first(path);
        ASSERT_EQ(first.claim(), SingleInstance::Claim::instance);
        EXPECT_TRUE(QFileInfo::exists(path));
        EXPECT_EQ(askFromAnotherThread(first.address(), "show\n"), "shown\n");
    }
    EXPECT_FALSE(QFileInfo::exists(path));

    // An instance of another process, as a later start meets it.
    const int running = test::bindSocket(path);
    ASSERT_EQ(::listen(running, 4), 0);
    std::thread answering([running] {
        pollfd waiting{.fd = running, .events = POLLIN, .revents = 0};
        if (::poll(&waiting, 1, 5000) != 1) return;
        const int peer = ::accept(running, nullptr, nullptr);
        QByteArray request(5, '\0');
        qsizetype received = 0;
        while (received < request.size()) {
            const ssize_t some = ::recv(peer, request.data() + received, size_t(request.size() - received), 0);
            if (some <= 0) break;
            received += some;
        }
        if (request == "show\n") ::send(peer, "shown\n", 6, MSG_NOSIGNAL);
        ::close(peer);
    });
    SingleInstance second(path);
    EXPECT_EQ(second.claim(), SingleInstance::Claim::handedOver);
    answering.join();
    ::close(running);
}

TEST(TerminationSignals, EachSignalBecomesOneRequestOnTheMainThread) {
    struct sigaction before = {};
    ::sigaction(SIGTERM, nullptr, &before);
    {
        TerminationSignals handled;
        QList<int> received;
        QObject::connect(&handled, &TerminationSignals::received, [&](int number) { received.append(number); });
        ::raise(SIGTERM);
        ::raise(SIGHUP);
        ::raise(SIGINT);
        ASSERT_TRUE(processEventsUntil([&] { return received.size() == 3; }));
        EXPECT_EQ(received, (QList<int>{SIGTERM, SIGHUP, SIGINT}));
    }
    struct sigaction after = {};
    ::sigaction(SIGTERM, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
}

}  // namespace
}  // namespace tavrine
