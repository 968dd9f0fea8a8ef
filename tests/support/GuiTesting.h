#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QString>
#include <QThread>

#include <chrono>

namespace tavrine::test {

// Runs the event loop until condition holds or the timeout passes; answers whether it held. The
// condition is checked before the first turn, so one that already holds returns at once.
template <typename Condition>
bool processEventsUntil(Condition condition, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    const QDeadlineTimer deadline(timeout);
    while (!condition()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

// Where a test keeps what a person would look at (screenshots): test-artifacts/ in the build folder,
// made on first use.
inline QString testArtifactPath(const QString& fileName) {
    const QDir folder(QStringLiteral(TAVRINE_TEST_ARTIFACTS_DIR));
    folder.mkpath(QStringLiteral("."));
    return folder.filePath(fileName);
}

}  // namespace tavrine::test
