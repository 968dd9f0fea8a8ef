#include "PelmoraMac/Capture/ClipboardSnapshot.h"
#include "PelmoraMac/Capture/X11/QClipboardPasteboard.h"

#include "CaptureTesting.h"
#include "support/EventLoop.h"

#include <gtest/gtest.h>
#include <QClipboard>
#include <QGuiApplication>
#include <QProcess>

#include <memory>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using test::failureOf;

// Another process that owns the clipboard, and the pasteboard of this one over it.
class DesktopClipboard : public ::testing::Test {
protected:
    void TearDown() override {
        for (auto& owner : m_owners) {
            owner->kill();
            owner->waitForFinished();
        }
    }

    // Starts an owner with these formats and waits until it owns the clipboard; with `notice` false
    // this process's event loop does not run meanwhile, so Qt has not reported the change yet.
    QProcess& own(const QStringList& formats, bool notice = true) {
        auto owner = std::make_unique<QProcess>();
        owner->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        owner->start(QStringLiteral(CLIPBOARD_OWNER), formats);
        EXPECT_TRUE(owner->waitForReadyRead(10'000));
        EXPECT_EQ(owner->readLine(), "ready\n");
        if (notice) {
            test::processEventsUntil([] { return false; }, std::chrono::milliseconds(100));
        }
        m_owners.push_back(std::move(owner));
        return *m_owners.back();
    }
    // The formats that the owner has served so far.
    static QByteArray served(QProcess& owner) {
        owner.waitForReadyRead(200);
        return owner.readAll();
    }

    QClipboardPasteboard pasteboard{QGuiApplication::clipboard()};

private:
    std::vector<std::unique_ptr<QProcess>> m_owners;
};

TEST_F(DesktopClipboard, EachOfferedFormatLandsInTheSnapshot) {
    own({u"--html"_s, u"<p>本文</p>"_s, u"--rtf"_s, uR"({\rtf1 text})"_s, u"--text"_s, u"本文"_s});
    const auto snapshot = readClipboardSnapshot(pasteboard, ClipboardImportMode::automatic);
    ASSERT_TRUE(snapshot) << rawValue(snapshot.error()).toStdString();
    EXPECT_EQ(snapshot->html, u"<p>本文</p>"_s.toUtf8());
    EXPECT_EQ(snapshot->rtf, R"({\rtf1 text})");
    EXPECT_EQ(snapshot->text, u"本文"_s);

    // Text alone: no formatted data, so the text's document is checked.
    own({u"--text"_s, u" \n"_s});
    EXPECT_EQ(failureOf(readClipboardSnapshot(pasteboard, ClipboardImportMode::automatic)), CaptureFailure::emptyText);
}

TEST_F(DesktopClipboard, FiftyMegabytesOfHTMLAreRefusedBeforeAnyWorker) {
    own({u"--html-bytes"_s, u"50000000"_s, u"--text"_s, u"short"_s});
    int workers = 0;
    auto snapshot = readClipboardSnapshot(pasteboard, ClipboardImportMode::automatic);
    // The road of an import: only a snapshot goes to a worker.
    if (snapshot) {
        const CaptureWorkerLaunch launch{.executable = QStringLiteral(TAVRINE_EXECUTABLE),
                                         .childStarted = [&](pid_t) { ++workers; }};
        (void)runCaptureWorker({.operation = CaptureWorkerRequest::Operation::clipboard, .clipboard = *snapshot},
                               test::deadlineIn(std::chrono::seconds(3)), CancellationToken::none(), launch);
    }
    EXPECT_EQ(failureOf(snapshot), CaptureFailure::clipboardFormatTooLarge);
    EXPECT_EQ(workers, 0);
}

TEST_F(DesktopClipboard, PlainTextModeTakesTheTextWithoutFetchingTheHTML) {
    QProcess& owner = own({u"--html-bytes"_s, u"50000000"_s, u"--rtf"_s, uR"({\rtf1 x})"_s, u"--text"_s, u"short"_s});
    const auto snapshot = readClipboardSnapshot(pasteboard, ClipboardImportMode::plainText);
    EXPECT_EQ(snapshot, (ClipboardSnapshot{.mode = ClipboardImportMode::plainText, .text = u"short"_s}));
    const QByteArray log = served(owner);
    EXPECT_TRUE(log.contains("served text/plain")) << log.constData();
    EXPECT_FALSE(log.contains("text/html")) << log.constData();
    EXPECT_FALSE(log.contains("rtf")) << log.constData();
}

TEST_F(DesktopClipboard, ANewOwnerChangesTheCountBeforeQtReportsIt) {
    own({u"--text"_s, u"first"_s});
    const qint64 before = pasteboard.changeCount();
    EXPECT_EQ(pasteboard.changeCount(), before);
    own({u"--text"_s, u"second"_s}, /*notice=*/false);
    EXPECT_NE(pasteboard.changeCount(), before);
}

}  // namespace
}  // namespace tavrine
