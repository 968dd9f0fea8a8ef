#include "PasteBench.h"

#include "BenchReport.h"
#include "BenchTexts.h"
#include "support/CheckoutPaths.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <vector>

namespace tavrine::bench {
namespace {
using namespace Qt::StringLiterals;

constexpr int kRounds = 10;
// Beyond the import's deadline of 3 seconds: no phrase by then is a failed import.
constexpr int kPhraseWaitMs = 6'000;

QString run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(30'000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// The times of one mark of the trace file, in order.
std::vector<qint64> marksOf(const QString& trace, const QByteArray& name) {
    std::vector<qint64> times;
    QFile file(trace);
    if (!file.open(QIODevice::ReadOnly)) return times;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        const qsizetype space = line.lastIndexOf(' ');
        if (space > 0 && line.left(space) == name) times.push_back(line.mid(space + 1).toLongLong());
    }
    return times;
}

// Waits until the trace holds more than `count` marks of `name`: the next one's time.
std::optional<qint64> awaitMark(const QString& trace, const QByteArray& name, std::size_t count, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        const auto times = marksOf(trace, name);
        if (times.size() > count) return times[count];
        QThread::msleep(2);
    }
    return std::nullopt;
}

// UTF-8 of exactly `bytes` bytes: Japanese, then Latin letters to the size.
QByteArray textOf(const QString& japanese, qsizetype bytes) {
    QByteArray text;
    for (const QChar c : japanese) {
        if (c.isSurrogate() || c == u'\n') continue;
        const QByteArray utf8 = QString(c).toUtf8();
        if (text.size() + utf8.size() > bytes) break;
        text += utf8;
    }
    return text + QByteArray(bytes - text.size(), 'a');
}

// A page of exactly `bytes` bytes, as pages copied from the web mostly are: a heading and `paragraphs`
// paragraphs of 100 characters, after style rules that fill the rest.
QByteArray pageOf(const QString& japanese, int paragraphs, qsizetype bytes) {
    QByteArray body = "</style></head><body><h1>" + japanese.left(10).toHtmlEscaped().toUtf8() + "</h1>";
    for (int paragraph = 0; paragraph < paragraphs; ++paragraph) {
        body += "<p>" + japanese.mid(10 + 100 * paragraph, 100).toHtmlEscaped().toUtf8() + "</p>";
    }
    body += "</body></html>";
    const QByteArray head = "<html><head><meta charset=utf-8><style>";
    const QByteArray rule = ".column { margin: 0 auto; color: #333; }\n";
    QByteArray style = rule.repeated((bytes - head.size() - body.size()) / rule.size());
    return head + style + QByteArray(bytes - head.size() - body.size() - style.size(), ' ') + body;
}

struct Clipboard {
    QString kind;
    QString target;
    QByteArray data;
};

}  // namespace

int runPasteBench() {
    if (QStandardPaths::findExecutable(u"xclip"_s).isEmpty() ||
        QStandardPaths::findExecutable(u"xdotool"_s).isEmpty()) {
        std::printf("{\"bench\":\"paste-to-first-phrase\",\"skipped\":\"xclip and xdotool are needed\"}\n");
        return 0;
    }
    // The private server's run has fresh user folders of its own.
    QTemporaryDir folder;
    const QString trace = folder.filePath(u"trace"_s);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"TAVRINE_TRACE_FILE"_s, trace);
    QProcess tavrine;
    tavrine.setProcessEnvironment(environment);
    tavrine.setProcessChannelMode(QProcess::ForwardedChannels);
    tavrine.start(test::inCheckout(TAVRINE_EXECUTABLE), {});
    if (!awaitMark(trace, "idle", 0, 30'000)) {
        std::fprintf(stderr, "capture-bench: tavrine did not start\n");
        return 1;
    }
    const QString window =
        run(u"xdotool"_s, {u"search"_s, u"--sync"_s, u"--onlyvisible"_s, u"--name"_s, u"^Tavrine$"_s})
            .section(u'\n', 0, 0);
    run(u"xdotool"_s, {u"windowactivate"_s, u"--sync"_s, window});

    const QString japanese = kusamakuraText();
    const std::vector<Clipboard> clipboards{
        {u"text"_s, u"UTF8_STRING"_s, textOf(japanese, 1'024)},
        {u"html"_s, u"text/html"_s, pageOf(japanese, 1, 1'024)},
        {u"html"_s, u"text/html"_s, pageOf(japanese, 20, 1'048'576)},
    };
    std::size_t pastes = 0;
    std::size_t phrases = 0;
    for (const Clipboard& clipboard : clipboards) {
        const QString file = folder.filePath(u"clipboard"_s);
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly) || out.write(clipboard.data) != clipboard.data.size()) return 1;
        out.close();
        // xclip serves the clipboard from a process of its own until another program takes it.
        run(u"xclip"_s, {u"-selection"_s, u"clipboard"_s, u"-t"_s, clipboard.target, u"-i"_s, file});
        std::vector<double> times;
        int failed = 0;
        for (int round = 0; round < roundsOf(kRounds); ++round) {
            run(u"xdotool"_s, {u"key"_s, u"--clearmodifiers"_s, u"ctrl+shift+v"_s});
            const auto pasted = awaitMark(trace, "menu Ctrl+Shift+V", pastes, 5'000);
            if (!pasted) {
                std::fprintf(stderr, "capture-bench: Ctrl+Shift+V did not reach the reader window\n");
                return 1;
            }
            ++pastes;
            const auto shown = awaitMark(trace, "phrase-shown", phrases, kPhraseWaitMs);
            if (!shown) {
                ++failed;
                continue;
            }
            ++phrases;
            times.push_back(double(*shown - *pasted) / 1e6);
        }
        if (times.empty()) {
            std::fprintf(stderr, "capture-bench: no paste of %s showed a phrase\n", qPrintable(clipboard.kind));
            markFailed();
        }
        std::printf("{\"bench\":\"paste-to-first-phrase\"%s%s%s%s%s}\n",
                    qPrintable(field(u"clipboard"_s, jsonString(clipboard.kind))),
                    qPrintable(field(u"bytes"_s, QString::number(clipboard.data.size()))),
                    qPrintable(field(u"p50Ms"_s, times.empty() ? u"null"_s : milliseconds(percentile(times, 0.5)))),
                    qPrintable(field(u"p95Ms"_s, times.empty() ? u"null"_s : milliseconds(percentile(times, 0.95)))),
                    qPrintable(field(u"failed"_s, QString::number(failed))));
        std::fflush(stdout);
    }
    tavrine.kill();
    tavrine.waitForFinished(5'000);
    return 0;
}

}  // namespace tavrine::bench
