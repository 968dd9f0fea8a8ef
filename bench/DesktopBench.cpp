#include "DesktopBench.h"

#include "BenchReport.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QTcpSocket>
#include <QThread>

#include <cstdio>

namespace tavrine::bench {
using namespace Qt::StringLiterals;

namespace {

// The end of the smoke round's budget on the steady clock, which every process of the machine shares.
constexpr char kSmokeRoundEnd[] = "TAVRINE_SMOKE_ROUND_END_MS";
std::optional<std::chrono::steady_clock::time_point> g_smokeRoundEnd;

}  // namespace

void beginSmokeRoundBudget() {
    using Clock = std::chrono::steady_clock;
    using Milliseconds = std::chrono::milliseconds;
    if (!isSmokeRound()) return;
    bool valid = false;
    const qint64 inherited = qgetenv(kSmokeRoundEnd).toLongLong(&valid);
    if (valid && inherited > 0) {
        g_smokeRoundEnd = Clock::time_point(Milliseconds(inherited));
        return;
    }
    g_smokeRoundEnd = Clock::now() + kSmokeRoundBudget;
    const auto end = std::chrono::duration_cast<Milliseconds>(g_smokeRoundEnd->time_since_epoch());
    qputenv(kSmokeRoundEnd, QByteArray::number(qint64(end.count())));
}

std::chrono::milliseconds smokeRoundLeft() {
    using Milliseconds = std::chrono::milliseconds;
    if (!g_smokeRoundEnd) return std::chrono::duration_cast<Milliseconds>(kStepLimit) * 100;
    const auto left = std::chrono::duration_cast<Milliseconds>(*g_smokeRoundEnd - std::chrono::steady_clock::now());
    return std::max(Milliseconds(0), left);
}

bool passesSpentBudget(const char* what) {
    if (!isSmokeRound() || !g_smokeRoundEnd || smokeRoundLeft().count() > 0) return false;
    std::fprintf(stderr, "smoke round: %s cut short: the round's %lld s were spent (a loaded machine); going on\n",
                 what, static_cast<long long>(kSmokeRoundBudget.count()));
    return true;
}

std::chrono::milliseconds boundedStep(std::chrono::milliseconds limit) {
    const auto left = smokeRoundLeft();
    if (left < limit && g_smokeRoundEnd) {
        static bool told = false;
        if (left.count() == 0 && !told) {
            told = true;
            std::fprintf(stderr, "smoke round: its %lld s were spent; the waits left end at once\n",
                         static_cast<long long>(kSmokeRoundBudget.count()));
        }
        return left;
    }
    return limit;
}

bool waitFor(const std::function<bool()>& condition, std::chrono::seconds limit) {
    const QDeadlineTimer deadline(boundedStep(limit));
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

std::optional<QByteArray> xdotool(const QStringList& arguments) {
    QProcess process;
    process.start(u"xdotool"_s, arguments);
    if (!waitFor([&] { return process.state() == QProcess::NotRunning; })) {
        process.kill();
        process.waitForFinished();
        return std::nullopt;
    }
    if (process.exitCode() != 0) return std::nullopt;
    return process.readAllStandardOutput().trimmed();
}

std::optional<QString> activateWindowNamed(const QString& pattern) {
    QString window;
    const bool shown = waitFor([&] {
        QThread::msleep(20);
        const auto found = xdotool({u"search"_s, u"--onlyvisible"_s, u"--name"_s, pattern});
        if (!found || found->isEmpty()) return false;
        window = QString::fromLatin1(found->split('\n').last());
        return xdotool({u"windowactivate"_s, u"--sync"_s, window}).has_value();
    });
    if (!shown) return std::nullopt;
    return window;
}

AccessibilityBusLauncher::AccessibilityBusLauncher() {
    m_launcher.start(u"/usr/libexec/at-spi-bus-launcher"_s, {u"--launch-immediately"_s});
    m_launcher.waitForStarted(5'000);
    waitFor([] { return QDBusConnection::sessionBus().interface()->isServiceRegistered(u"org.a11y.Bus"_s).value(); });
    QDBusMessage enable = QDBusMessage::createMethodCall(u"org.a11y.Bus"_s, u"/org/a11y/bus"_s,
                                                         u"org.freedesktop.DBus.Properties"_s, u"Set"_s);
    enable << u"org.a11y.Status"_s << u"IsEnabled"_s << QVariant::fromValue(QDBusVariant(true));
    QDBusConnection::sessionBus().call(enable);
}

AccessibilityBusLauncher::~AccessibilityBusLauncher() {
    m_launcher.terminate();
    if (!m_launcher.waitForFinished(5'000)) m_launcher.kill();
}

PageServer::PageServer(std::function<QByteArray(const QByteArray& path)> page) : m_page(std::move(page)) {
    m_server.listen(QHostAddress::LocalHost);
    QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                const QByteArray request = socket->peek(8192);
                if (!request.contains("\r\n\r\n")) return;
                socket->readAll();
                const QByteArray page = m_page(request.left(request.indexOf("\r\n")).split(' ').value(1));
                socket->write("HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                              QByteArray::number(page.size()) + "\r\nConnection: close\r\n\r\n" + page);
                socket->disconnectFromHost();
            });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

QString PageServer::url(const QString& path) const {
    return u"http://127.0.0.1:"_s + QString::number(m_server.serverPort()) + path;
}

}  // namespace tavrine::bench
