#pragma once

#include "support/EventLoop.h"

#include <QByteArray>
#include <QDir>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <sys/types.h>
#include <chrono>

namespace tavrine::test {

// A browser's profile in a folder of its own in the temporary folder, removed with the object, which
// outlives the browser, together with the folder the browser makes for itself in the temporary folder (its
// singleton socket, which a browser that is ended or killed leaves there): a browser leaves nothing in the
// temporary folder. Its helper processes outlive it for a moment and may still write into the profile, so
// the removal is tried again until the folder is gone, for at most 10 s.
class ChromiumFolder {
public:
    ChromiumFolder();
    ~ChromiumFolder();
    ChromiumFolder(const ChromiumFolder&) = delete;
    ChromiumFolder& operator=(const ChromiumFolder&) = delete;

    bool isValid() const { return m_folder.isValid(); }
    QString profile() const { return m_folder.path(); }

private:
    // Its name has a space, as a user's profile path may: a browser shown on a display writes its
    // process title over its command line, which cuts such a path into words.
    QTemporaryDir m_folder{QDir::tempPath() + QStringLiteral("/tavrine chromium-XXXXXX")};
};

// A headless Chromium of a test's (or a benchmark's) own, on a local page: remote debugging on a port
// it chooses itself, a fresh profile in a folder of its own (ChromiumFolder), nothing of the network;
// ended with the object, and its folder removed. It inherits this process's environment, so its DISPLAY is
// this process's, and the capture worker of this process finds it. No GoogleTest in it: the benchmarks use
// it too.
class HeadlessChromium {
public:
    // Debian's chromium on the PATH; empty when it is not installed.
    static QString executable();
    // Why browser tests skip without it.
    static const char* missingReason() { return "chromium is not installed (scripts/install-deps installs it)"; }

    // Starts the browser on `url` and waits until it listens. Shown (not headless) it opens its window on
    // this process's display, with the further arguments.
    enum class Mode { headless, shown };
    explicit HeadlessChromium(const QString& url, std::chrono::milliseconds startLimit = patience(),
                              Mode mode = Mode::headless, const QStringList& furtherArguments = {});
    ~HeadlessChromium();
    HeadlessChromium(const HeadlessChromium&) = delete;
    HeadlessChromium& operator=(const HeadlessChromium&) = delete;

    // Whether it started and announced its port; otherwise why not.
    bool isListening() const { return m_port != 0; }
    QString failure() const { return m_failure; }

    pid_t pid() const { return pid_t(m_process.processId()); }
    quint16 port() const { return m_port; }
    // "/devtools/browser/<id>", the path of the browser target's WebSocket.
    QString browserPath() const { return m_browserPath; }

    // Ends the browser at once (SIGKILL), as a crash would.
    void kill();

private:
    // Before the process: removed after it has ended.
    ChromiumFolder m_folder;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_browserPath;
    QString m_failure;
};

}  // namespace tavrine::test
