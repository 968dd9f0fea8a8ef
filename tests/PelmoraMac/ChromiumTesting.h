#pragma once

#include "PelmoraMac/Capture/internal/DevToolsConnection.h"

#include "support/HeadlessChromium.h"

#include <gtest/gtest.h>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHash>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <chrono>
#include <future>
#include <memory>

namespace tavrine::test {

// Drives a test's headless Chromium over its own DevTools connection, as the user would drive a
// browser: opens, activates, reloads and closes tabs, and waits until each change has settled. Every wait
// is for what the browser shows, within the test program's overall limit (test::patience()), each answer of
// the browser within test::answerWait(): a loaded machine only makes them longer.
class ChromiumDriver {
public:
    explicit ChromiumDriver(const HeadlessChromium& browser) {
        auto connection = DevToolsConnection::open(browser.port(), browser.browserPath(), {.wait = answerWait()});
        if (!connection) {
            ADD_FAILURE() << "no connection to the test's chromium";
            return;
        }
        m_connection = std::move(*connection);
        // The tab that the browser opened at its start, once it exists, loaded and in front: a browser
        // that has just started may still be busy with it.
        const QDeadlineTimer deadline(patience());
        QString homeURL;
        while (m_home.isEmpty() && !deadline.hasExpired()) {
            const QJsonArray targets =
                call(QStringLiteral("Target.getTargets")).value(QStringLiteral("targetInfos")).toArray();
            for (const QJsonValue& value : targets) {
                const QJsonObject target = value.toObject();
                homeURL = target.value(QStringLiteral("url")).toString();
                if (target.value(QStringLiteral("type")) == QStringLiteral("page") && !homeURL.isEmpty() &&
                    homeURL != QStringLiteral("about:blank")) {
                    m_home = target.value(QStringLiteral("targetId")).toString();
                    break;
                }
            }
            if (m_home.isEmpty()) QThread::msleep(5);
        }
        if (m_home.isEmpty()) {
            ADD_FAILURE() << "the browser shows no page";
            return;
        }
        settleLoaded(m_home, homeURL);
        activate(m_home);
    }

    // The tab that the browser opened at its start.
    QString home() const { return m_home; }

    // A new tab on the URL, loaded and in front.
    QString open(const QString& url) { return create(url, {}, true); }
    // A new tab on the URL, loaded, behind the one in front.
    QString openBehind(const QString& url) { return create(url, {{QStringLiteral("background"), true}}, false); }
    // New tabs on the URLs, loaded, behind the one in front: asked for all at once, as a browser loads them side
    // by side (one after another, tabs on long addresses take a loaded machine minutes).
    QStringList openAllBehind(const QStringList& urls) {
        if (!m_connection) return {};
        QList<DevToolsCommand> commands;
        for (const QString& url : urls) {
            commands.append({QStringLiteral("Target.createTarget"),
                             {{QStringLiteral("url"), url}, {QStringLiteral("background"), true}}});
        }
        const auto replies = m_connection->send(commands);
        if (!replies) {
            ADD_FAILURE() << "Target.createTarget failed: " << int(replies.error());
            return {};
        }
        QStringList targets;
        for (const DevToolsReply& reply : *replies) {
            if (!reply) {
                ADD_FAILURE() << "Target.createTarget failed: " << int(reply.error());
                return targets;
            }
            targets.append(reply->value(QStringLiteral("targetId")).toString());
            m_opened.append(targets.last());
        }
        for (qsizetype index = 0; index < targets.size(); ++index) settleLoaded(targets[index], urls[index]);
        return targets;
    }
    // A new tab on the URL, in front, once it shows `shown` loaded: the browser's own page where it could not
    // reach the URL.
    QString openShowing(const QString& url, const QString& shown) { return create(url, {}, true, shown); }
    // A new window on the URL, loaded and in front.
    QString openWindow(const QString& url) { return create(url, {{QStringLiteral("newWindow"), true}}, true); }
    // Ends the tab's renderer as a crash would, and waits until the browser has told it: the tab stays,
    // showing the browser's page for a crashed tab.
    void crash(const QString& target) {
        if (!m_connection) return;
        const QString session = sessionOf(target);
        m_connection->forget(m_connection->post({QStringLiteral("Page.crash"), {}, session}));
        const QDeadlineTimer deadline(patience());
        // The session answers nothing more once the browser has told it the crash.
        while (!deadline.hasExpired()) {
            auto reply = m_connection->send(
                {{QStringLiteral("Runtime.evaluate"), {{QStringLiteral("expression"), QStringLiteral("1")}}, session}});
            if (!reply || !reply->first()) return;
            QThread::msleep(5);
        }
        ADD_FAILURE() << "the tab never crashed";
    }
    // Waits until the browser has painted the tab at least once: until then Chromium drops the input sent to it,
    // and on a loaded machine the page has the focus well before its first paint.
    void settlePainted(const QString& target) {
        settle(target, QStringLiteral("performance.getEntriesByType('paint').length > 0"));
    }
    // Brings the tab to the front and, unless it is too busy to tell, waits until it has the focus.
    void activate(const QString& target, bool waitForFocus = true) {
        call(QStringLiteral("Target.activateTarget"), {{QStringLiteral("targetId"), target}});
        if (waitForFocus)
            settle(target, QStringLiteral("document.visibilityState === 'visible' && document.hasFocus()"));
    }
    // Keeps the page busy in a script that never ends, from its next task on, until `stopScript`.
    void startEndlessScript(const QString& target) {
        evaluate(target, QStringLiteral("setTimeout(function () { for (;;) {} }, 0); true"));
    }
    // Ends the script that runs in the page, as the browser does for a page that does not respond.
    void stopScript(const QString& target) {
        call(QStringLiteral("Runtime.terminateExecution"), {}, sessionOf(target));
    }
    // Takes the tab to the URL and waits until it shows it, loaded.
    void navigate(const QString& target, const QString& url) {
        call(QStringLiteral("Page.navigate"), {{QStringLiteral("url"), url}}, sessionOf(target));
        settleLoaded(target, url);
    }
    // Reloads the tab and waits for the new document.
    void reload(const QString& target) {
        const QJsonValue before = evaluate(target, QStringLiteral("performance.timeOrigin"));
        call(QStringLiteral("Page.reload"), {}, sessionOf(target));
        settle(target, QStringLiteral("performance.timeOrigin !== ") + QString::number(before.toDouble(), 'f', 3) +
                           QStringLiteral(" && document.readyState === 'complete'"));
    }
    // Closes the tabs that this driver opened, waits until the browser lists none of them, and brings the
    // browser's first tab to the front again, so that no change of the active tab is still under way when
    // the next test starts. The browser answers before the tab is gone: a tab still closing would be the
    // next driver's first tab, whose page goes away under it.
    void closeOpened() {
        // Asked for all at once: the browser closes them side by side.
        QList<DevToolsCommand> closing;
        for (const QString& target : std::as_const(m_opened)) {
            closing.append({QStringLiteral("Target.closeTarget"), {{QStringLiteral("targetId"), target}}});
            m_sessions.remove(target);
        }
        if (m_connection && !closing.isEmpty()) {
            const auto replies = m_connection->send(closing);
            if (!replies) ADD_FAILURE() << "Target.closeTarget failed: " << int(replies.error());
            for (const DevToolsReply& reply : replies.value_or(QList<DevToolsReply>{})) {
                if (!reply) ADD_FAILURE() << "Target.closeTarget failed: " << int(reply.error());
            }
        }
        // Asked tab by tab: the list of every tab may be longer than a message (tabs on long addresses).
        const QDeadlineTimer deadline(patience());
        while (m_connection && !m_opened.isEmpty()) {
            const auto info = m_connection->call(
                {QStringLiteral("Target.getTargetInfo"), {{QStringLiteral("targetId"), m_opened.first()}}});
            if (!info && info.error() != DevToolsFailure::pageChanged) {
                ADD_FAILURE() << "Target.getTargetInfo failed: " << int(info.error());
                break;
            }
            if (!info) {
                m_opened.removeFirst();
                continue;
            }
            if (deadline.hasExpired()) {
                ADD_FAILURE() << "the browser never closed the test's tabs";
                break;
            }
            QThread::msleep(20);
        }
        m_opened.clear();
        if (!m_home.isEmpty()) activate(m_home);
    }

    // Waits until the browser answers promptly again, three times in a row: one that has just opened or closed
    // tabs on long addresses may stop answering for seconds once its pages are loaded.
    void settleBrowser() {
        if (!m_connection) return;
        const QDeadlineTimer deadline(patience());
        for (int prompt = 0; prompt < 3;) {
            QElapsedTimer answered;
            answered.start();
            call(QStringLiteral("Browser.getVersion"));
            prompt = answered.elapsed() < kPromptAnswer.count() ? prompt + 1 : 0;
            if (deadline.hasExpired()) {
                ADD_FAILURE() << "the browser never answered promptly";
                return;
            }
            QThread::msleep(20);
        }
    }

    // The value of an expression in the page's own world.
    QJsonValue evaluate(const QString& target, const QString& expression) {
        return call(QStringLiteral("Runtime.evaluate"),
                    {{QStringLiteral("expression"), expression}, {QStringLiteral("returnByValue"), true}},
                    sessionOf(target))
            .value(QStringLiteral("result"))
            .toObject()
            .value(QStringLiteral("value"));
    }

private:
    static constexpr std::chrono::milliseconds kPromptAnswer{250};

    // A page target made on the URL with the further parameters, loaded (showing `shown` where given), then
    // brought to the front or not.
    QString create(const QString& url, QJsonObject parameters, bool inFront, const QString& shown = {}) {
        parameters.insert(QStringLiteral("url"), url);
        const QString target =
            call(QStringLiteral("Target.createTarget"), parameters).value(QStringLiteral("targetId")).toString();
        m_opened.append(target);
        settleLoaded(target, shown.isEmpty() ? url : shown);
        if (inFront) activate(target);
        return target;
    }

    QJsonObject call(const QString& method, const QJsonObject& params = {}, const QString& session = {}) {
        if (!m_connection) return {};
        auto result = m_connection->call({method, params, session});
        if (!result) {
            ADD_FAILURE() << method.toStdString() << " failed: " << int(result.error());
            return {};
        }
        return *result;
    }
    QString sessionOf(const QString& target) {
        if (!m_sessions.contains(target)) {
            m_sessions.insert(target, call(QStringLiteral("Target.attachToTarget"),
                                           {{QStringLiteral("targetId"), target}, {QStringLiteral("flatten"), true}})
                                          .value(QStringLiteral("sessionId"))
                                          .toString());
        }
        return m_sessions.value(target);
    }
    // Waits until the page shows the document of the URL, loaded. A new tab shows an empty document,
    // complete too, until its navigation commits.
    void settleLoaded(const QString& target, const QString& url) {
        const QString quoted = QString::fromUtf8(QJsonDocument(QJsonArray{url}).toJson(QJsonDocument::Compact));
        settle(target, QStringLiteral("location.href === ") + quoted.mid(1).chopped(1) +
                           QStringLiteral(" && document.readyState === 'complete'"));
    }
    // Waits until the expression holds in the page. An evaluation that a navigation under way cut short
    // (its document went away) is asked again; a page that went away altogether fails at once.
    void settle(const QString& target, const QString& condition) {
        if (!m_connection) return;
        const QDeadlineTimer deadline(patience());
        for (;;) {
            const QString session = sessionOf(target);
            const auto result = m_connection->call(
                {QStringLiteral("Runtime.evaluate"),
                 {{QStringLiteral("expression"), condition}, {QStringLiteral("returnByValue"), true}},
                 session});
            if (result &&
                result->value(QStringLiteral("result")).toObject().value(QStringLiteral("value")) == QJsonValue(true))
                return;
            if (m_connection->hasEnded(session)) {
                ADD_FAILURE() << "the page went away before it settled: " << condition.toStdString();
                return;
            }
            if (!result && result.error() != DevToolsFailure::pageChanged) {
                ADD_FAILURE() << "Runtime.evaluate failed: " << int(result.error());
                return;
            }
            if (deadline.hasExpired()) {
                ADD_FAILURE() << "the page never settled: " << condition.toStdString();
                return;
            }
            QThread::msleep(20);
        }
    }

    std::unique_ptr<DevToolsConnection> m_connection;
    QHash<QString, QString> m_sessions;
    QStringList m_opened;
    QString m_home;
};

// Serves pages over HTTP on 127.0.0.1, as a web site does, from a thread of its own: the browser is
// answered also while the test waits in a call that runs no event loop. Each path of `pages` is a
// page of type text/html; any other path is not found.
class HttpPageServer {
public:
    explicit HttpPageServer(QHash<QByteArray, QByteArray> pages) {
        std::promise<quint16> listening;
        std::future<quint16> port = listening.get_future();
        m_thread.reset(QThread::create([pages = std::move(pages), &listening] {
            QTcpServer server;
            server.listen(QHostAddress::LocalHost);
            QObject::connect(&server, &QTcpServer::newConnection, [&server, &pages] {
                while (QTcpSocket* socket = server.nextPendingConnection()) {
                    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                    QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, &pages] {
                        socket->setProperty("request",
                                            QByteArray(socket->property("request").toByteArray() + socket->readAll()));
                        const QByteArray request = socket->property("request").toByteArray();
                        if (!request.contains("\r\n\r\n")) return;
                        const QByteArray path = request.left(request.indexOf("\r\n")).split(' ').value(1);
                        const auto page = pages.constFind(path);
                        const QByteArray body = page == pages.constEnd() ? QByteArray("not found") : *page;
                        socket->write((page == pages.constEnd() ? "HTTP/1.1 404 Not Found" : "HTTP/1.1 200 OK") +
                                      QByteArray("\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: ") +
                                      QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
                        socket->disconnectFromHost();
                    });
                }
            });
            listening.set_value(server.serverPort());
            QEventLoop loop;
            loop.exec();
        }));
        m_thread->start();
        m_port = port.get();
    }
    ~HttpPageServer() {
        m_thread->quit();
        m_thread->wait();
    }
    HttpPageServer(const HttpPageServer&) = delete;
    HttpPageServer& operator=(const HttpPageServer&) = delete;

    QString url(const QString& path) const {
        return QStringLiteral("http://127.0.0.1:") + QString::number(m_port) + path;
    }

private:
    std::unique_ptr<QThread> m_thread;
    quint16 m_port = 0;
};

}  // namespace tavrine::test
