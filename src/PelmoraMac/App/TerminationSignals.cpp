#include "PelmoraMac/App/TerminationSignals.h"

#include "ReaderCore/FileDescriptor.h"
#include "ReaderCore/MainThread.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace tavrine {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The write end of the one instance's pipe, read by the handler; -1 while none is installed.
volatile sig_atomic_t gWriteEnd = -1;

extern "C" void writeSignalNumber(int signalNumber) {
    const int savedErrno = errno;
    const int fd = gWriteEnd;
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signalNumber);
        // A full pipe already holds requests enough: the quit is under way.
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

}  // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    Q_ASSERT(isMainThread());
    Q_ASSERT(gWriteEnd < 0);
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        qWarning("Termination signals are not handled: no pipe (%s)", std::strerror(errno));
        return;
    }
    m_readEnd = ends[0];
    m_writeEnd = ends[1];
    gWriteEnd = m_writeEnd;
    m_notifier = new QSocketNotifier(m_readEnd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::readPending);

    struct sigaction action = {};
    action.sa_handler = &writeSignalNumber;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int index = 0; index < 3; ++index) ::sigaction(kSignals[index], &action, &m_previous[index]);
}

TerminationSignals::~TerminationSignals() {
    Q_ASSERT(isMainThread());
    if (m_readEnd < 0) return;
    for (int index = 0; index < 3; ++index) ::sigaction(kSignals[index], &m_previous[index], nullptr);
    gWriteEnd = -1;
    delete m_notifier;
    ::close(m_readEnd);
    ::close(m_writeEnd);
}

void TerminationSignals::readPending() {
    unsigned char numbers[16];
    for (;;) {
        const ssize_t count = readSome(m_readEnd, reinterpret_cast<char*>(numbers), sizeof numbers);
        if (count <= 0) return;
        for (ssize_t index = 0; index < count; ++index) emit received(numbers[index]);
    }
}

}  // namespace tavrine
