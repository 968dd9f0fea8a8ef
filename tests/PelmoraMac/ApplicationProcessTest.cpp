// The real executable as a user starts it, on the offscreen platform, each run with its own folders:
// what it says without a display, the worker that touches no folder, one instance per store, and SIGTERM
// quitting through the deferred path.
#include "PelmoraMac/Capture/CaptureWorkerRequest.h"

#include "support/CheckoutPaths.h"
#include "support/EventLoop.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>

#include <sys/stat.h>
#include <csignal>
#include <optional>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using test::processEventsUntil;

// Fresh user folders for one run of the executable, and its environment.
class UserFolders {
public:
    explicit UserFolders(const QString& dataFolder = u"data"_s) : m_dataFolder(dataFolder) {
        for (const QString& name : {u"config"_s, m_dataFolder, u"cache"_s, u"runtime"_s}) {
            QDir().mkpath(m_root.filePath(name));
        }
        ::chmod(QFile::encodeName(m_root.filePath(u"runtime"_s)).constData(), 0700);
    }

    // Offscreen, as a test host, with these folders; no display named.
    QProcessEnvironment environment() const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(u"DISPLAY"_s);
        environment.remove(u"WAYLAND_DISPLAY"_s);
        environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        environment.insert(u"XDG_CONFIG_HOME"_s, m_root.filePath(u"config"_s));
        environment.insert(u"XDG_DATA_HOME"_s, m_root.filePath(m_dataFolder));
        environment.insert(u"XDG_CACHE_HOME"_s, m_root.filePath(u"cache"_s));
        environment.insert(u"XDG_RUNTIME_DIR"_s, m_root.filePath(u"runtime"_s));
        environment.insert(u"XCTestConfigurationFilePath"_s, m_root.filePath(u"test-host"_s));
        return environment;
    }
    // What a folder holds now.
    QStringList contents(const QString& name) const { return m_root.list(name); }
    QString path(const QString& name) const { return m_root.filePath(name); }
    // The instance's socket, once one listens.
    std::optional<QString> socket() const {
        for (const QString& name : contents(u"runtime"_s)) {
            if (name.startsWith(u"org.tavrine.Tavrine-"_s) && !name.endsWith(u".lock"_s)) {
                return m_root.filePath(u"runtime/"_s + name);
            }
        }
        return std::nullopt;
    }

private:
    test::TemporaryDirectory m_root;
    QString m_dataFolder;
};

std::unique_ptr<QProcess> start(const QProcessEnvironment& environment, const QStringList& arguments = {}) {
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(environment);
    process->start(test::inCheckout(TAVRINE_EXECUTABLE), arguments);
    EXPECT_TRUE(process->waitForStarted(test::patienceMilliseconds()));
    return process;
}

// The process has its own handler for the signal: it is past its start-up.
bool catchesSignal(qint64 pid, int signalNumber) {
    QFile status(u"/proc/%1/status"_s.arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return false;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:")) {
            bool valid = false;
            const qulonglong mask = line.mid(7).trimmed().toULongLong(&valid, 16);
            return valid && (mask >> (signalNumber - 1) & 1);
        }
    }
    return false;
}

// Ended by itself with this status, however long a loaded machine takes, within the test's time.
::testing::AssertionResult exitedWith(QProcess& process, int status) {
    if (!process.waitForFinished(test::patienceMilliseconds())) {
        process.kill();
        process.waitForFinished();
        return ::testing::AssertionFailure() << "still running; stderr: " << process.readAllStandardError().constData();
    }
    if (process.exitStatus() != QProcess::NormalExit) return ::testing::AssertionFailure() << "ended by a signal";
    if (process.exitCode() != status) {
        return ::testing::AssertionFailure()
               << "exit status " << process.exitCode() << "; stderr: " << process.readAllStandardError().constData();
    }
    return ::testing::AssertionSuccess();
}

TEST(ApplicationProcess, WithoutADisplaySaysSoInOneLineAndExitsOne) {
    UserFolders folders;
    QProcessEnvironment environment = folders.environment();
    environment.remove(u"QT_QPA_PLATFORM"_s);
    auto process = start(environment);
    ASSERT_TRUE(exitedWith(*process, 1));
    const QByteArray said = process->readAllStandardError();
    EXPECT_EQ(said.count('\n'), 1) << said.constData();
    EXPECT_TRUE(said.contains("DISPLAY")) << said.constData();
    EXPECT_TRUE(folders.contents(u"data"_s).isEmpty());
    EXPECT_TRUE(folders.contents(u"config"_s).isEmpty());
}

// A Wayland session without XWayland: the window would need X11, so it is refused the same way, not
// aborted by Qt (and a session with both never starts a Wayland window without the hot keys).
TEST(ApplicationProcess, AWaylandDisplayAloneIsNoDisplay) {
    UserFolders folders;
    QProcessEnvironment environment = folders.environment();
    environment.remove(u"QT_QPA_PLATFORM"_s);
    environment.insert(u"WAYLAND_DISPLAY"_s, u"wayland-987"_s);
    auto process = start(environment);
    ASSERT_TRUE(exitedWith(*process, 1));
    const QByteArray said = process->readAllStandardError();
    EXPECT_EQ(said.count('\n'), 1) << said.constData();
    EXPECT_TRUE(said.contains("DISPLAY is not set")) << said.constData();
}

TEST(ApplicationProcess, TheWorkerWithADisplayThatIsNotThereTouchesNoFolder) {
    UserFolders folders;
    QProcessEnvironment environment = folders.environment();
    environment.remove(u"QT_QPA_PLATFORM"_s);
    environment.insert(u"DISPLAY"_s, u":987"_s);
    auto process = start(environment, {u"--capture-worker"_s});
    process->write(encodeJson(CaptureWorkerRequest{.operation = CaptureWorkerRequest::Operation::markdown,
                                                   .text = u"# 見出し\n\n本文です。"_s}));
    process->closeWriteChannel();
    ASSERT_TRUE(exitedWith(*process, 0));
    EXPECT_TRUE(process->readAllStandardOutput().contains(u"本文です。"_s.toUtf8()));
    for (const QString& name : {u"data"_s, u"config"_s, u"cache"_s, u"runtime"_s}) {
        EXPECT_TRUE(folders.contents(name).isEmpty()) << name.toStdString();
    }
}

TEST(ApplicationProcess, ASecondProcessOnTheStoreHandsOverAndSIGTERMQuitsTheFirst) {
    UserFolders folders;
    auto first = start(folders.environment());
    ASSERT_TRUE(processEventsUntil([&] { return catchesSignal(first->processId(), SIGTERM); }));
    ASSERT_TRUE(folders.socket());

    // A second launch on the same data folder asks the first to show its window and ends.
    auto second = start(folders.environment());
    EXPECT_TRUE(exitedWith(*second, 0));
    EXPECT_EQ(first->state(), QProcess::Running);

    // A launch on another data folder is an instance of its own.
    UserFolders other(u"other-data"_s);
    QProcessEnvironment otherEnvironment = other.environment();
    otherEnvironment.insert(u"XDG_RUNTIME_DIR"_s, folders.path(u"runtime"_s));
    auto separate = start(otherEnvironment);
    ASSERT_TRUE(processEventsUntil([&] { return catchesSignal(separate->processId(), SIGTERM); }));
    ::kill(pid_t(separate->processId()), SIGTERM);
    EXPECT_TRUE(exitedWith(*separate, 0));

    // SIGTERM quits through the same deferred path as the quit command: a clean exit.
    ::kill(pid_t(first->processId()), SIGTERM);
    EXPECT_TRUE(exitedWith(*first, 0));
    // A first launch made no data folder.
    EXPECT_TRUE(folders.contents(u"data"_s).isEmpty());
}

// A store file damaged on disk: the reader starts without its store, says on stderr which file it refused
// and why, and leaves the file as it was.
TEST(ApplicationProcess, ARefusedStoreIsNamedOnStderrAndLeftAsItWas) {
    UserFolders folders;
    const QString storeFile = folders.path(u"data/org.tavrine.Tavrine/reading-store.json"_s);
    ASSERT_TRUE(QDir().mkpath(folders.path(u"data/org.tavrine.Tavrine"_s)));
    const QByteArray damaged = R"({"version":4,"revision":"6F1C2A4E-0B7D-4C39-9A57-1E2D3C4B5A69","docu)";
    QFile file(storeFile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(damaged) == damaged.size());
    file.close();

    auto process = start(folders.environment());
    ASSERT_TRUE(processEventsUntil([&] { return catchesSignal(process->processId(), SIGTERM); }));
    ::kill(pid_t(process->processId()), SIGTERM);
    ASSERT_TRUE(exitedWith(*process, 0));
    const QString said = QString::fromUtf8(process->readAllStandardError());
    EXPECT_TRUE(said.contains(u"tavrine: 保存データを開けませんでした。\ntavrine: ファイル："_s + storeFile +
                              u"（保存データの本体）\ntavrine: 理由：JSONとして読めません。"_s))
        << said.toStdString();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), damaged);
}

}  // namespace
}  // namespace tavrine
