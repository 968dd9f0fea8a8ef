#pragma once

#include "support/EventLoop.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QProcess>
#include <QThread>

#include <memory>

namespace tavrine::test {

// The accessibility bus of a test's own session (the private session bus of scripts/with-xvfb): its
// launcher, which starts the bus and the registry, with accessibility switched on and off by the test.
// Applications export their objects only when accessibility is on at their start.
class AccessibilityRig {
public:
    static constexpr const char* kLauncher = "/usr/libexec/at-spi-bus-launcher";

    AccessibilityRig() {
        m_launcher.setProgram(QString::fromLatin1(kLauncher));
        m_launcher.setArguments({QStringLiteral("--launch-immediately")});
        m_launcher.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_launcher.start();
        if (!m_launcher.waitForStarted(patienceMilliseconds())) {
            m_failure = "at-spi-bus-launcher did not start (scripts/install-deps installs at-spi2-core)";
            return;
        }
        const QDeadlineTimer deadline(patience());
        while (!QDBusConnection::sessionBus().interface()->isServiceRegistered(QStringLiteral("org.a11y.Bus"))) {
            if (deadline.hasExpired()) {
                m_failure = "the accessibility bus launcher did not register on the session bus";
                return;
            }
            QThread::msleep(10);
        }
        setEnabled(true);
    }
    ~AccessibilityRig() {
        m_launcher.terminate();
        if (!m_launcher.waitForFinished(5'000)) m_launcher.kill();
        m_launcher.waitForFinished(5'000);
    }
    AccessibilityRig(const AccessibilityRig&) = delete;
    AccessibilityRig& operator=(const AccessibilityRig&) = delete;

    // Empty when the bus is up.
    const char* failure() const { return m_failure; }

    void setEnabled(bool enabled) {
        QDBusMessage message =
            QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                           QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"));
        message << QStringLiteral("org.a11y.Status") << QStringLiteral("IsEnabled")
                << QVariant::fromValue(QDBusVariant(enabled));
        const QDBusMessage reply = QDBusConnection::sessionBus().call(message);
        if (reply.type() != QDBusMessage::ReplyMessage) m_failure = "accessibility could not be switched";
    }

private:
    QProcess m_launcher;
    const char* m_failure = "";
};

// The rig of the whole test program, started at its first use and never stopped: a bus stopped and started
// again within one program races what the first one left (a browser's last questions have the session start a
// launcher of its own, and connections the program holds still name the old bus). Its launcher ends with the
// test session's bus.
inline AccessibilityRig& programAccessibilityRig() {
    static AccessibilityRig* const rig = new AccessibilityRig;
    return *rig;
}

// Another program, driven one line at a time: it writes "ready" when it is, and a line in answer to each
// command. Ended with the object: its input closed, when that ends it, else killed.
class LineProgram {
public:
    enum class Ending { withInput, byKill };

    LineProgram(const QString& program, const QStringList& arguments, Ending ending = Ending::withInput)
        : m_ending(ending) {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(program, arguments);
        m_ready = readLine() == "ready";
    }
    ~LineProgram() {
        m_process.closeWriteChannel();
        if (m_ending == Ending::byKill || !m_process.waitForFinished(5'000)) m_process.kill();
        m_process.waitForFinished(5'000);
    }
    LineProgram(const LineProgram&) = delete;
    LineProgram& operator=(const LineProgram&) = delete;

    bool isReady() const { return m_ready; }
    pid_t pid() const { return pid_t(m_process.processId()); }

    // Sends a command and answers whether the program said "ok".
    bool command(const QString& line) {
        m_process.write(line.toUtf8() + '\n');
        return readLine() == "ok";
    }

private:
    QByteArray readLine() {
        const QDeadlineTimer deadline(patience());
        while (!m_process.canReadLine()) {
            if (deadline.hasExpired() || !m_process.waitForReadyRead(int(deadline.remainingTime()))) return {};
        }
        return m_process.readLine().trimmed();
    }

    QProcess m_process;
    Ending m_ending;
    bool m_ready = false;
};

}  // namespace tavrine::test
