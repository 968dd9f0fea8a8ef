#include "PelmoraMac/Capture/CaptureMarkdown.h"
#include "PelmoraMac/Capture/CaptureWorker.h"
#include "PelmoraMac/Capture/CaptureWorkerLauncher.h"

#include "CaptureTesting.h"
#include "support/CheckoutPaths.h"
#include "support/EventLoop.h"

#include <gtest/gtest.h>
#include <QFile>

#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <thread>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using test::deadlineIn;
using test::failureOf;
using Operation = CaptureWorkerRequest::Operation;
using test::RealCaptureWorker;

TEST(CaptureWorkerEntry, OnlyTheWorkerArgumentAloneMakesAWorker) {
    const char* worker[] = {"tavrine", "--capture-worker"};
    EXPECT_TRUE(isCaptureWorkerInvocation(2, worker));
    const char* withMore[] = {"tavrine", "--capture-worker", "x"};
    const char* after[] = {"tavrine", "x", "--capture-worker"};
    const char* alone[] = {"tavrine"};
    const char* longer[] = {"tavrine", "--capture-worker="};
    EXPECT_FALSE(isCaptureWorkerInvocation(3, withMore));
    EXPECT_FALSE(isCaptureWorkerInvocation(3, after));
    EXPECT_FALSE(isCaptureWorkerInvocation(1, alone));
    EXPECT_FALSE(isCaptureWorkerInvocation(2, longer));
    // Not a worker: returns at once, and the caller starts the application.
    char* arguments[] = {const_cast<char*>("tavrine"), const_cast<char*>("--capture-worker"), const_cast<char*>("x")};
    EXPECT_FALSE(runCaptureWorkerIfRequested(3, arguments));
}

TEST_F(RealCaptureWorker, AnswersEveryRequestItCannotServeWithAFailure) {
    EXPECT_EQ(answerTo(QByteArray()), CaptureWorkerResponse::failed(CaptureFailure::unavailable));
    EXPECT_EQ(answerTo(QByteArray("\xff\xfe{")), CaptureWorkerResponse::failed(CaptureFailure::unavailable));
    EXPECT_EQ(answerTo(QByteArray(R"({"operation":"print"})")),
              CaptureWorkerResponse::failed(CaptureFailure::unavailable));
    EXPECT_EQ(answerTo(QByteArray(100'000, '[') + QByteArray(100'000, ']')),
              CaptureWorkerResponse::failed(CaptureFailure::unavailable));

    EXPECT_EQ(failureTo({.operation = Operation::snapshot}), CaptureFailure::browserUnsupported);
    EXPECT_EQ(failureTo({.operation = Operation::verify}), CaptureFailure::browserUnsupported);
    EXPECT_EQ(failureTo({.operation = Operation::extract}), CaptureFailure::unavailable);
    EXPECT_EQ(failureTo({.operation = Operation::clipboard}), CaptureFailure::clipboardNoText);
    EXPECT_EQ(failureTo({.operation = Operation::markdown}), CaptureFailure::markdownUnreadable);
}

TEST_F(RealCaptureWorker, ExtractsTheArticleOfAPage) {
    const QString paragraph =
        u"<p>山路を登りながら、こう考えた。智に働けば角が立つ。情に棹させば流される。"
        u"意地を通せば窮屈だ。とかくに人の世は住みにくい。</p>"_s;
    const auto answer =
        answerTo(CaptureWorkerRequest{.operation = Operation::extract,
                                      .html = u"<html><head><title>草枕</title></head><body><article>"_s +
                                              paragraph.repeated(6) + u"</article></body></html>"_s});
    ASSERT_TRUE(answer.document);
    EXPECT_TRUE(answer.document->text.startsWith(u"草枕\n山路を登りながら"_s));
    EXPECT_FALSE(answer.failure);

    // No article: no document and no failure, an empty response.
    const QByteArray empty = encodeJson(CaptureWorkerRequest{.operation = Operation::extract, .html = u""_s});
    EXPECT_EQ(answerTo(empty), CaptureWorkerResponse{});
}

// Pages built to hurt: each is answered (whatever the answer) by a worker that exits with status 0, and
// nothing of a script, a style or an event handler reaches the text. The worker's own 3-second script
// budget ends the costly ones; the launcher's deadline here only catches a worker that would never
// answer, and leaves room for a loaded or sanitized build (capture-bench measures the time).
TEST_F(RealCaptureWorker, AnswersHostilePagesInTime) {
    struct Page {
        const char* name;
        QString html;
    };
    const QString body = u"<p>本文です。</p>"_s;
    const QString paragraphs =
        u"<p>Words of an ordinary paragraph, <b>with</b> a <a href='#'>link</a>, repeated.</p>"_s.repeated(25'000).left(
            kExtractionHTMLLimit - 10);
    const QList<Page> pages{
        {"100,000 nested divs", u"<div>"_s.repeated(100'000) + body + u"</div>"_s.repeated(100'000)},
        {"100,000 unclosed divs", u"<div>"_s.repeated(100'000) + body},
        {"one text node of 2,000,000 units", QString(kExtractionHTMLLimit, u'a')},
        {"unclosed tags and bogus entities",
         u"<p><b><i><table><tr><td><li><a href='x&bogus;&#xFFFFFFFF;&#;&"_s.repeated(20'000)},
        {"script, style and onerror",
         (u"<script>document.write('SCRIPT')</script><style>p::before{content:'STYLE'}</style>"
          u"<img src=x onerror=\"alert('ONERROR')\"><p>text</p>"_s)
             .repeated(5'000)},
        {"2,000,000 units of paragraphs", paragraphs.leftJustified(kExtractionHTMLLimit, u' ')},
        {"2,000,001 units", QString(kExtractionHTMLLimit + 1, u'a')},
    };
    for (const Page& page : pages) {
        const QByteArray request = encodeJson(CaptureWorkerRequest{.operation = Operation::extract, .html = page.html});
        const auto output = launchCaptureWorkerProcess(test::realWorker(), {u"--capture-worker"_s}, request,
                                                       deadlineIn(test::patience()), kCaptureWorkerTransferLimit,
                                                       CancellationToken::none());
        ASSERT_TRUE(output) << page.name << ": " << rawValue(output.error()).toStdString();
        const auto response = decodeJsonText<CaptureWorkerResponse>(*output);
        ASSERT_TRUE(response) << page.name;
        if (response->document) {
            EXPECT_TRUE(response->document->isValid()) << page.name;
            for (const QString& hidden : {u"SCRIPT"_s, u"STYLE"_s, u"ONERROR"_s}) {
                EXPECT_FALSE(response->document->text.contains(hidden)) << page.name;
            }
        }
        if (page.html.size() > kExtractionHTMLLimit) {
            EXPECT_EQ(response->failure, CaptureFailure::htmlTooLarge) << page.name;
        } else {
            EXPECT_NE(response->failure, CaptureFailure::htmlTooLarge) << page.name;
            EXPECT_NE(response->failure, CaptureFailure::unavailable) << page.name;
        }
    }
}

TEST_F(RealCaptureWorker, ReadsMarkdownIntoADocument) {
    const auto answer =
        answerTo(CaptureWorkerRequest{.operation = Operation::markdown, .text = u"# 草枕\n\n山路を登りながら"_s});
    ASSERT_TRUE(answer.document);
    EXPECT_EQ(answer.document->text, u"草枕\n山路を登りながら"_s);
    EXPECT_EQ(answer.document->spans.first(), (ReadingDocument::Span{ReadingDocument::Span::Kind::heading, 0, 3, 1}));
    EXPECT_FALSE(answer.failure);

    // Another application's text has its wraps joined; a request that does not say keeps its lines.
    const QString wrapped =
        u"The changes to the reader keep every line that its source shows, and\n"
        u"they join the lines that only wrap a paragraph at a fixed width, as a\nmail program does."_s;
    const auto unwrapped = answerTo(CaptureWorkerRequest{
        .operation = Operation::markdown, .text = wrapped, .lineEnds = MarkdownReader::LineEnds::unwrapped});
    ASSERT_TRUE(unwrapped.document);
    EXPECT_EQ(unwrapped.document->text, QString(wrapped).replace(u'\n', u' '));
    EXPECT_EQ(answerTo(CaptureWorkerRequest{.operation = Operation::markdown, .text = wrapped}).document->text,
              wrapped);

    EXPECT_TRUE(
        answerTo(CaptureWorkerRequest{.operation = Operation::markdown, .text = QString(20'000, u'あ')}).document);
    EXPECT_EQ(failureTo({.operation = Operation::markdown, .text = QString(20'001, u'あ')}), CaptureFailure::tooLong);
    EXPECT_EQ(failureTo({.operation = Operation::markdown, .text = u""_s}), CaptureFailure::emptyText);
    EXPECT_EQ(failureTo({.operation = Operation::markdown, .text = u" \n\u3000"_s}), CaptureFailure::emptyText);
    EXPECT_EQ(failureTo({.operation = Operation::markdown, .text = QString(101, u'>') + u" deep"_s}),
              CaptureFailure::markdownTooComplex);
}

TEST_F(RealCaptureWorker, RunCaptureWorkerStartsThisVeryExecutable) {
    const auto response = runCaptureWorker({.operation = Operation::markdown, .text = u"本文"_s},
                                           deadlineIn(test::patience()), CancellationToken::none(), test::realWorker());
    ASSERT_TRUE(response) << rawValue(response.error()).toStdString();
    EXPECT_EQ(response->document->text, u"本文"_s);
    EXPECT_EQ(failureOf(runCaptureWorker({.operation = Operation::markdown}, deadlineIn(test::patience()),
                                         CancellationToken::none(), test::realWorker())),
              CaptureFailure::markdownUnreadable);
}

// Kills a child with SIGKILL once it has read `bytes` bytes (as the kernel counts them), from a thread of
// its own, however long a loaded machine takes to start it; without that count, after a moment.
class Killer {
public:
    explicit Killer(qint64 bytes) : m_bytes(bytes) {}
    ~Killer() {
        if (m_thread.joinable()) m_thread.join();
    }
    CaptureWorkerLaunch launch() {
        return {.executable = test::inCheckout(TAVRINE_EXECUTABLE), .childStarted = [this](pid_t pid) {
                    m_pid = pid;
                    m_thread = std::thread([this, pid] { killAfterReading(pid); });
                }};
    }
    pid_t pid() const { return m_pid; }
    bool killedAfterCount() const { return m_counted; }
    // When the child was killed; read once the launch has returned.
    std::chrono::steady_clock::time_point killedAt() const { return m_killedAt; }

private:
    void killAfterReading(pid_t pid) {
        QFile io(u"/proc/%1/io"_s.arg(pid));
        const auto giveUp = std::chrono::steady_clock::now() + test::patience();
        while (std::chrono::steady_clock::now() < giveUp && io.open(QIODevice::ReadOnly)) {
            const QByteArray text = io.readAll();
            io.close();
            const qsizetype start = text.indexOf("rchar: ");
            if (start < 0) break;
            if (text.mid(start + 7, text.indexOf('\n', start) - start - 7).toLongLong() >= m_bytes) {
                m_counted = true;
                break;
            }
            std::this_thread::sleep_for(100us);
        }
        if (!m_counted) std::this_thread::sleep_for(1ms);
        m_killedAt = std::chrono::steady_clock::now();
        ::kill(pid, SIGKILL);
    }

    qint64 m_bytes;
    pid_t m_pid = -1;
    std::atomic_bool m_counted = false;
    std::atomic<std::chrono::steady_clock::time_point> m_killedAt{};
    std::thread m_thread;
};

TEST_F(RealCaptureWorker, AWorkerKilledMidRequestFailsAtOnceAndLeavesNothingBehind) {
    const CaptureWorkerRequest request{.operation = Operation::markdown, .text = QString(15'000'000, u'a')};
    const qsizetype requestBytes = encodeJson(request).size();
    const qsizetype descriptors = test::openDescriptorCount();

    // While the request is still being written, and while the worker works on it. Starting a worker and
    // writing it 30 MB take as long as the machine makes them: the deadline is far, and the launch is timed
    // from the kill, after which it ends at once, never waiting for the deadline (which would be timedOut).
    for (const qint64 killAt : {qint64(1'000'000), qint64(requestBytes)}) {
        Killer killer(killAt);
        const auto failure = failureOf(
            runCaptureWorker(request, deadlineIn(test::patience()), CancellationToken::none(), killer.launch()));
        const auto ended = std::chrono::steady_clock::now();
        EXPECT_EQ(failure, CaptureFailure::unavailable) << "killed after " << killAt << " bytes";
        EXPECT_LT(ended - killer.killedAt(), 3s);
        // Reaped: neither running nor a zombie.
        EXPECT_EQ(::kill(killer.pid(), 0), -1);
        EXPECT_EQ(test::openDescriptorCount(), descriptors);
    }

    const auto next = runCaptureWorker({.operation = Operation::markdown, .text = u"次"_s},
                                       deadlineIn(test::patience()), CancellationToken::none(), test::realWorker());
    ASSERT_TRUE(next);
    EXPECT_EQ(next->document->text, u"次"_s);
}

TEST(CaptureWorkerServing, ReadsAtMostSixteenMillionBytesOfRequest) {
    // The parent never sends more; another one might.
    auto serve = [](const QByteArray& request) {
        int input[2];
        int output[2];
        EXPECT_EQ(::pipe(input), 0);
        EXPECT_EQ(::pipe(output), 0);
        std::thread writer([&] {
            qsizetype written = 0;
            while (written < request.size()) {
                const ssize_t count =
                    ::write(input[1], request.constData() + written, size_t(request.size() - written));
                if (count <= 0) break;
                written += count;
            }
            ::close(input[1]);
        });
        QByteArray answer;
        std::thread reader([&] {
            char buffer[4096];
            ssize_t count;
            while ((count = ::read(output[0], buffer, sizeof buffer)) > 0) answer.append(buffer, count);
        });
        serveCaptureWorkerRequest(input[0], output[1]);
        ::close(output[1]);
        ::close(input[0]);
        writer.join();
        reader.join();
        ::close(output[0]);
        return decodeJsonText<CaptureWorkerResponse>(answer);
    };

    const QByteArray prefix = R"({"operation":"markdown","text":")";
    const QByteArray atLimit = prefix + QByteArray(kCaptureWorkerTransferLimit - prefix.size() - 2, 'a') + "\"}";
    ASSERT_EQ(atLimit.size(), kCaptureWorkerTransferLimit);
    EXPECT_EQ(serve(atLimit), CaptureWorkerResponse::failed(CaptureFailure::tooLong));
    EXPECT_EQ(serve(atLimit + ' '), CaptureWorkerResponse::failed(CaptureFailure::htmlTooLarge));
}

TEST(CaptureMarkdown, ACancelledReadingIsCancelledNotUnreadable) {
    const CancellationToken cancelled;
    cancelled.cancel();
    EXPECT_EQ(failureOf(readMarkdownForCapture(u"# 見出し"_s, cancelled)), CaptureFailure::cancelled);

    // Cancelled from another thread while readings run: whenever it lands, the failure is cancelled.
    const CancellationToken cancellation;
    const QString text = QString(u"- 項目\n  > 引用 **強調**\n"_s).repeated(700);
    std::optional<CaptureFailure> failure;
    std::thread reading([&] {
        for (;;) {
            auto document = readMarkdownForCapture(text, cancellation);
            if (!document) {
                failure = document.error();
                return;
            }
        }
    });
    std::this_thread::sleep_for(20ms);
    cancellation.cancel();
    reading.join();
    EXPECT_EQ(failure, CaptureFailure::cancelled);
}

TEST(CaptureMarkdown, TheReadersFailuresBecomeCaptureFailures) {
    EXPECT_EQ(failureOf(readMarkdownForCapture(u"\n \t"_s)), CaptureFailure::emptyText);
    EXPECT_EQ(failureOf(readMarkdownForCapture(QString(20'001, u'a'))), CaptureFailure::tooLong);
    EXPECT_EQ(failureOf(readMarkdownForCapture(QString(101, u'>') + u" a"_s)), CaptureFailure::markdownTooComplex);
    EXPECT_EQ(captureFailure(MarkdownReader::Failure::unreadable), CaptureFailure::markdownUnreadable);
}

// A terminal's or an editor's selection keeps its lines: a chapter's name on its own line stays apart from
// the text after it.
TEST(CaptureMarkdown, ACapturedTextKeepsItsLines) {
    const auto document = readMarkdownForCapture(u"第一章\n吾輩は猫である。\n名前はまだ無い。"_s);
    ASSERT_TRUE(document);
    EXPECT_EQ(document->text, u"第一章\n吾輩は猫である。\n名前はまだ無い。"_s);
}

}  // namespace
}  // namespace tavrine
