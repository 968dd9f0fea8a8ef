#pragma once

#include <QObject>

#include <csignal>

class QSocketNotifier;

namespace tavrine {

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the main thread, so that a logout, a `kill` or
// Ctrl+C in a terminal quits through the same deferred path as the quit command instead of ending the
// process with the reading position unsaved. The handlers only write the signal's number to a pipe (all
// a handler may safely do); a socket notifier reads it on the event loop.
//
// One instance at a time per process, owned by the application, main thread only. Destroying it puts
// back the dispositions it replaced.
class TerminationSignals final : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    // One of the three signals arrived; emitted once per delivery.
    void received(int signalNumber);

private:
    void readPending();

    int m_readEnd = -1;
    int m_writeEnd = -1;
    QSocketNotifier* m_notifier = nullptr;
    struct sigaction m_previous[3] = {};
};

}  // namespace tavrine
