#include "support/HeadlessChromium.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

#include <unistd.h>

namespace tavrine::test {
using namespace Qt::StringLiterals;

ChromiumFolder::ChromiumFolder() {
    m_folder.setAutoRemove(false);
}

ChromiumFolder::~ChromiumFolder() {
    if (!m_folder.isValid()) return;
    // The profile links to the browser's socket in a folder of its own in the temporary folder.
    const QString socket = QFileInfo(m_folder.filePath(u"SingletonSocket"_s)).symLinkTarget();
    const QFileInfo socketFolder(QFileInfo(socket).absolutePath());
    if (!socket.isEmpty() && socketFolder.fileName().contains(u"org.chromium.Chromium."_s)) {
        QDir(socketFolder.absoluteFilePath()).removeRecursively();
    }
    // Its helpers may still write there a while after the browser ended, as long as a loaded machine makes it.
    QDir folder(m_folder.path());
    const QDeadlineTimer deadline(patience());
    while (!(folder.removeRecursively() && !folder.exists()) && !deadline.hasExpired()) QThread::msleep(50);
}

QString HeadlessChromium::executable() {
    return QStandardPaths::findExecutable(u"chromium"_s);
}

HeadlessChromium::HeadlessChromium(const QString& url, std::chrono::milliseconds startLimit, Mode mode,
                                   const QStringList& furtherArguments) {
    const QString program = executable();
    if (program.isEmpty() || !m_folder.isValid()) {
        m_failure = u"no chromium, or no temporary folder"_s;
        return;
    }
    QStringList arguments{u"--disable-gpu"_s,
                          u"--no-first-run"_s,
                          u"--no-default-browser-check"_s,
                          u"--disable-background-networking"_s,
                          u"--disable-component-update"_s,
                          u"--disable-sync"_s,
                          u"--disable-crash-reporter"_s,
                          u"--remote-debugging-port=0"_s,
                          u"--user-data-dir="_s + m_folder.profile()};
    // Chromium refuses to run as root inside its sandbox.
    if (::geteuid() == 0) arguments.append(u"--no-sandbox"_s);
    if (mode == Mode::headless) arguments.prepend(u"--headless"_s);
    arguments.append(furtherArguments);
    arguments.append(url);
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(QProcess::nullDevice());
    m_process.start(program, arguments);
    if (!m_process.waitForStarted(int(startLimit.count()))) {
        m_failure = u"chromium did not start: "_s + m_process.errorString();
        return;
    }
    // The browser writes its port and path once it listens.
    const QDeadlineTimer deadline(startLimit);
    QFile active(m_folder.profile() + u"/DevToolsActivePort"_s);
    while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
        if (active.open(QIODevice::ReadOnly)) {
            const QByteArrayList lines = active.readAll().split('\n');
            active.close();
            if (lines.size() >= 2 && lines[0].toUInt() > 0 && lines[1].startsWith("/devtools/browser/")) {
                m_port = quint16(lines[0].toUInt());
                m_browserPath = QString::fromLatin1(lines[1]);
                return;
            }
        }
        QThread::msleep(10);
    }
    m_failure = u"chromium did not announce its port"_s;
}

void HeadlessChromium::kill() {
    if (m_process.state() == QProcess::NotRunning) return;
    m_process.kill();
    m_process.waitForFinished(patienceMilliseconds());
}

HeadlessChromium::~HeadlessChromium() {
    if (m_process.state() == QProcess::NotRunning) return;
    m_process.terminate();
    if (!m_process.waitForFinished(5'000)) kill();
}

}  // namespace tavrine::test
