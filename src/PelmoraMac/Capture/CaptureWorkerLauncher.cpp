#include "PelmoraMac/Capture/CaptureWorkerLauncher.h"

#include "PelmoraMac/Capture/CaptureWorker.h"
#include "ReaderCore/FileDescriptor.h"

#include <QFile>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>
#include <vector>

extern char** environ;

namespace tavrine {
namespace {

// The longest the loop waits for a pipe to become ready, and for an exit once the output has ended,
// before it looks at the deadline and the token again.
constexpr std::chrono::milliseconds kPollPause{5};
// The first wait for an exit after the output ended: the child is usually gone within microseconds.
constexpr std::chrono::microseconds kFirstExitPause{50};

void closeQuietly(int& descriptor) {
    if (descriptor >= 0) ::close(descriptor);
    descriptor = -1;
}

bool setNonBlocking(int descriptor) {
    const int flags = ::fcntl(descriptor, F_GETFL);
    return flags >= 0 && ::fcntl(descriptor, F_SETFL, flags | O_NONBLOCK) == 0;
}

// One child from its start to its end: the parent's ends of its two pipes and its process id. However
// a launch ends, the destructor closes both ends, kills a child that still runs and reaps it; a child
// is never signalled after it was reaped.
class WorkerChild {
public:
    WorkerChild() = default;
    WorkerChild(const WorkerChild&) = delete;
    WorkerChild& operator=(const WorkerChild&) = delete;
    ~WorkerChild() {
        closeQuietly(input);
        closeQuietly(output);
        if (m_pid > 0 && !m_reaped) {
            ::kill(m_pid, SIGKILL);
            while (::waitpid(m_pid, &m_status, 0) < 0 && errno == EINTR) {
            }
            m_reaped = true;
        }
    }

    // Starts the program with its standard input and output on two new pipes. Every pipe end is made
    // close-on-exec, so no other child (of a launch running at the same time) inherits one: a child
    // holding another's input open would keep it from ever seeing its end.
    bool start(const QByteArray& program, const std::vector<char*>& argv, const std::vector<char*>& envp) {
        int inputPipe[2];
        int outputPipe[2];
        if (::pipe2(inputPipe, O_CLOEXEC) != 0) return false;
        if (::pipe2(outputPipe, O_CLOEXEC) != 0) {
            ::close(inputPipe[0]);
            ::close(inputPipe[1]);
            return false;
        }
        input = inputPipe[1];
        output = outputPipe[0];

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, inputPipe[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, outputPipe[1], STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        // Also what another library of this process opened without close-on-exec stays here.
        posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);

        // The child starts with the default signal handling and no blocked signal, whatever this thread
        // and this process have set (SIGPIPE is ignored here).
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

        const int error = ::posix_spawn(&m_pid, program.constData(), &actions, &attributes, argv.data(), envp.data());
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
        ::close(inputPipe[0]);
        ::close(outputPipe[1]);
        if (error != 0) {
            m_pid = -1;
            return false;
        }
        return true;
    }

    pid_t pid() const { return m_pid; }

    // Whether the child has exited (it is then reaped); never blocks.
    bool hasExited() {
        if (m_reaped) return true;
        pid_t result;
        while ((result = ::waitpid(m_pid, &m_status, WNOHANG)) < 0 && errno == EINTR) {
        }
        if (result == m_pid) {
            m_reaped = true;
            m_statusKnown = true;
        } else if (result < 0) {
            // Not ours to wait for (or signal) any more, and its status is lost.
            m_reaped = true;
        }
        return m_reaped;
    }
    bool exitedCleanly() const { return m_statusKnown && WIFEXITED(m_status) && WEXITSTATUS(m_status) == 0; }

    int input = -1;   // write end of the child's standard input; -1 once closed
    int output = -1;  // read end of the child's standard output

private:
    pid_t m_pid = -1;
    bool m_reaped = false;
    bool m_statusKnown = false;
    int m_status = 0;
};

// Waits until a pipe end is ready, the pause has passed or the deadline has come, whichever is first.
void awaitPipes(const WorkerChild& child, CaptureDeadline deadline) {
    pollfd descriptors[2];
    nfds_t count = 0;
    descriptors[count++] = {child.output, POLLIN, 0};
    if (child.input >= 0) descriptors[count++] = {child.input, POLLOUT, 0};
    const auto untilDeadline =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - SystemClock::shared().monotonicNow());
    const auto timeout = std::clamp(untilDeadline, std::chrono::milliseconds(0), kPollPause);
    ::poll(descriptors, count, int(timeout.count()));
}

// The program's path as argument 0 of the child, and the file that is started: the executable of
// this very process (/proc/self/exe, also when its file was replaced since it started) or the given one.
struct Program {
    QByteArray path;
    QByteArray argumentZero;
};

Program programOf(const CaptureWorkerLaunch& launch) {
    if (!launch.executable.isEmpty()) {
        const QByteArray path = QFile::encodeName(launch.executable);
        return {path, path};
    }
    const QByteArray self = QFile::encodeName(QFile::symLinkTarget(QStringLiteral("/proc/self/exe")));
    return {QByteArrayLiteral("/proc/self/exe"), self.isEmpty() ? QByteArrayLiteral("tavrine") : self};
}

// The pointers that posix_spawn takes, into byte arrays that outlive the call.
std::vector<char*> pointersTo(QByteArrayList& values) {
    std::vector<char*> pointers;
    pointers.reserve(size_t(values.size()) + 1);
    for (QByteArray& value : values) pointers.push_back(value.data());
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

QByteArrayList sanitizedWorkerEnvironment(const QByteArrayList& environment) {
    QByteArrayList kept;
    kept.reserve(environment.size());
    for (const QByteArray& entry : environment) {
        if (entry.startsWith("DYLD_") || entry.startsWith("XCTest")) continue;
        kept.append(entry);
    }
    return kept;
}

QByteArrayList sanitizedWorkerEnvironment() {
    QByteArrayList environment;
    for (char** entry = environ; entry && *entry; ++entry) environment.append(QByteArray(*entry));
    return sanitizedWorkerEnvironment(environment);
}

CaptureResult<QByteArray> launchCaptureWorkerProcess(const CaptureWorkerLaunch& launch, const QStringList& arguments,
                                                     const QByteArray& input, CaptureDeadline deadline,
                                                     qsizetype outputLimit, const CancellationToken& cancellation) {
    if (input.size() > kCaptureWorkerTransferLimit) return tl::unexpected(CaptureFailure::htmlTooLarge);

    const Program program = programOf(launch);
    QByteArrayList argumentBytes{program.argumentZero};
    for (const QString& argument : arguments) argumentBytes.append(argument.toLocal8Bit());
    QByteArrayList environment = sanitizedWorkerEnvironment();
    const std::vector<char*> argv = pointersTo(argumentBytes);
    const std::vector<char*> envp = pointersTo(environment);

    if (auto inTime = checkCaptureDeadline(deadline, cancellation); !inTime) return tl::unexpected(inTime.error());

    WorkerChild child;
    if (!child.start(program.path, argv, envp)) return tl::unexpected(CaptureFailure::unavailable);
    if (launch.childStarted) launch.childStarted(child.pid());
    if (!setNonBlocking(child.input) || !setNonBlocking(child.output))
        return tl::unexpected(CaptureFailure::unavailable);
    if (cancellation.isCancelled()) return tl::unexpected(CaptureFailure::cancelled);

    QByteArray buffer(kCaptureWorkerPipeUnit, '\0');
    QByteArray output;
    qsizetype written = 0;
    // Writing and reading alternate, so the child's output is drained while the request still goes in.
    for (;;) {
        if (SystemClock::shared().monotonicNow() >= deadline) return tl::unexpected(CaptureFailure::timedOut);

        if (child.input >= 0) {
            const qsizetype piece = std::min(kCaptureWorkerPipeUnit, input.size() - written);
            if (piece > 0) {
                const ssize_t count = ::write(child.input, input.constData() + written, size_t(piece));
                if (count > 0) {
                    written += count;
                } else if (count < 0 && errno != EAGAIN && errno != EINTR) {
                    return tl::unexpected(CaptureFailure::unavailable);
                }
            }
            // The end of the request: the child reads the end of its input.
            if (written == input.size()) closeQuietly(child.input);
        }

        const ssize_t count = readSome(child.output, buffer.data(), size_t(buffer.size()));
        if (count > 0) {
            if (output.size() + count > outputLimit) return tl::unexpected(CaptureFailure::htmlTooLarge);
            output.append(buffer.constData(), count);
            if (cancellation.isCancelled()) return tl::unexpected(CaptureFailure::cancelled);
            continue;
        }
        if (count == 0) {
            // The child closed its output: wait for its exit.
            std::chrono::microseconds pause = kFirstExitPause;
            while (!child.hasExited()) {
                if (auto inTime = checkCaptureDeadline(deadline, cancellation); !inTime) {
                    return tl::unexpected(inTime.error());
                }
                std::this_thread::sleep_for(pause);
                pause = std::min<std::chrono::microseconds>(pause * 2, kPollPause);
            }
            break;
        }
        if (errno != EAGAIN) return tl::unexpected(CaptureFailure::unavailable);
        awaitPipes(child, deadline);
        if (cancellation.isCancelled()) return tl::unexpected(CaptureFailure::cancelled);
    }

    if (!child.exitedCleanly()) return tl::unexpected(CaptureFailure::unavailable);
    return output;
}

CaptureResult<CaptureWorkerResponse> runCaptureWorker(const CaptureWorkerRequest& request, CaptureDeadline deadline,
                                                      const CancellationToken& cancellation,
                                                      const CaptureWorkerLaunch& launch) {
    const QByteArray encoded = encodeJson(request);
    auto output = launchCaptureWorkerProcess(launch, {QString::fromLatin1(kCaptureWorkerArgument)}, encoded, deadline,
                                             kCaptureWorkerTransferLimit, cancellation);
    if (!output) return tl::unexpected(output.error());
    auto response = decodeJsonText<CaptureWorkerResponse>(std::move(*output));
    if (!response) return tl::unexpected(CaptureFailure::unavailable);
    if (response->failure) return tl::unexpected(*response->failure);
    return std::move(*response);
}

}  // namespace tavrine
