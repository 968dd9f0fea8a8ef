// The clipboard and the primary selection as three kinds of owner serve them, small and large: what a
// person copied comes in whole, or is refused with the message for its size, never as unreadable and
// never at the time-out, and the main thread goes on meanwhile.
#include "PelmoraMac/Capture/AXSelectionReader.h"
#include "PelmoraMac/Capture/CaptureModel.h"
#include "PelmoraMac/Capture/ClipboardSnapshot.h"
#include "PelmoraMac/Capture/X11/PrimarySelection.h"
#include "PelmoraMac/Capture/X11/X11ClipboardPasteboard.h"
#include "PelmoraMac/Capture/X11/X11InputActivity.h"
#include "PelmoraMac/Capture/X11/X11SelectionTransfer.h"

#include "CaptureTesting.h"
#include "support/CheckoutPaths.h"
#include "support/EventLoop.h"
#include "support/GuiTesting.h"

#include <gtest/gtest.h>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryFile>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <xcb/xcb.h>

#include <atomic>
#include <memory>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

const QString kHeading = u"選択範囲の見出し"_s;
const QString kParagraph = u"クリップボードから取り込む本文です。"_s;

// A page of exactly `bytes` bytes whose text is one heading and one paragraph, the rest style rules, as
// pages copied from the web mostly are.
QByteArray pageOf(qsizetype bytes) {
    const QByteArray head = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><style>\n";
    const QByteArray body =
        "</style></head><body><h1>" + kHeading.toUtf8() + "</h1><p>" + kParagraph.toUtf8() + "</p></body></html>\n";
    const QByteArray rule = ".column-1 { margin: 0 auto; color: #333; }\n";
    QByteArray style = rule.repeated((bytes - head.size() - body.size()) / rule.size());
    style.append(QByteArray(bytes - head.size() - body.size() - style.size(), ' '));
    return head + style + body;
}

// A text of exactly `bytes` bytes of UTF-8: Japanese sentences, then Latin letters to the size.
QString textOf(qsizetype bytes) {
    const QString sentence = u"選択した文章を一度に読みます。"_s;
    const qsizetype sentenceBytes = sentence.toUtf8().size();
    QString text = sentence.repeated(bytes / sentenceBytes);
    text.append(QString(bytes - text.toUtf8().size(), u'a'));
    return text;
}

enum class Kind { html, text };

void PrintTo(Kind kind, std::ostream* out) {
    *out << (kind == Kind::html ? "HTML" : "text");
}

// Each kind at each size: small, sent by pieces (but by xclip) yet within the text's limit, on both sides
// of 64 KiB, at 1 MiB (beyond it xclip sends by pieces too) and at 2 MiB (beyond the snapshot's limit of
// formatted data).
constexpr qsizetype kSizes[] = {1'024, 32'768, 65'500, 65'600, 1'048'576, 2'097'152};

// What a reading gave: the text read, a failure, or nothing at all.
struct Outcome {
    std::optional<QString> text{};
    std::optional<CaptureFailure> failure{};

    bool operator==(const Outcome&) const = default;
};

void PrintTo(const Outcome& outcome, std::ostream* out) {
    if (outcome.failure) {
        *out << "failure " << rawValue(*outcome.failure).toStdString();
    } else if (outcome.text) {
        *out << "text of " << outcome.text->size() << " units: " << outcome.text->left(40).toStdString();
    } else {
        *out << "nothing";
    }
}

// The longest time the main thread's event loop went without serving a timer of 16 ms.
class MainThreadWatch {
public:
    MainThreadWatch() {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_longestGap = std::max(m_longestGap, m_sinceTick.restart());
            ++m_ticks;
        });
        m_sinceTick.start();
        m_timer.start(16);
    }
    // Runs the event loop until `finished`: a reading of an owner that answers, and a worker, which take as long
    // as a loaded machine makes them, within the test's time.
    template <typename Finished>
    void runUntil(Finished finished) {
        EXPECT_TRUE(test::effectWithin(finished, test::patience()));
        m_longestGap = std::max(m_longestGap, m_sinceTick.elapsed());
        m_timer.stop();
    }
    qint64 longestGap() const { return m_longestGap; }

private:
    QTimer m_timer;
    QElapsedTimer m_sinceTick;
    qint64 m_longestGap = 0;
    int m_ticks = 0;
};

// A selection owner of one style, taking the selection anew for each content.
class Owner {
public:
    Owner(const QString& style, bool primary) {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QStringList arguments{style};
        if (primary) arguments.append(u"--primary"_s);
        m_process.start(test::inCheckout(SELECTION_OWNER), arguments);
        EXPECT_TRUE(m_process.waitForStarted(test::patienceMilliseconds()));
    }
    ~Owner() {
        m_process.kill();
        m_process.waitForFinished(5'000);
    }

    // Offers the bytes as the format; false when the owner did not take the selection (it stopped
    // serving: a transfer left unfinished, or its end by an error).
    bool offer(const QString& format, const QByteArray& bytes) {
        m_file = std::make_unique<QTemporaryFile>();
        if (!m_file->open() || m_file->write(bytes) != bytes.size() || !m_file->flush()) return false;
        m_process.write((format + u' ' + m_file->fileName() + u'\n').toUtf8());
        m_process.waitForBytesWritten(5'000);
        if (!m_process.canReadLine() && !m_process.waitForReadyRead(test::patienceMilliseconds())) return false;
        const QByteArray line = m_process.readLine();
        EXPECT_EQ(line, "ready\n");
        return line == "ready\n";
    }
    // Whether it ended cleanly when its input closed.
    bool endsCleanly() {
        m_process.closeWriteChannel();
        return m_process.waitForFinished(test::patienceMilliseconds()) &&
               m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    }
    pid_t pid() const { return pid_t(m_process.processId()); }

private:
    QProcess m_process;
    std::unique_ptr<QTemporaryFile> m_file;
};

// One owner style and one kind of content, each size in turn from the same owner, so that an owner a
// reading left waiting, or ended, fails the next size.
class SelectionTransfer : public ::testing::TestWithParam<std::tuple<const char*, Kind>> {
protected:
    QString style() const { return QString::fromLatin1(std::get<0>(GetParam())); }
    bool isHTML() const { return std::get<1>(GetParam()) == Kind::html; }

    // For each size in turn: the owner takes the selection with content of that size, `read` reads it
    // (running the event loop through `watch` until it ends) and gives `expected(size)`, while the main
    // thread keeps serving its timer; the owner still serves at the next size and ends cleanly.
    template <typename Read, typename Expected>
    void readEachSize(Owner& owner, Read read, Expected expected) {
        for (const qsizetype bytes : kSizes) {
            SCOPED_TRACE(std::to_string(bytes) + " bytes");
            ASSERT_TRUE(owner.offer(isHTML() ? u"text/html"_s : u"UTF8_STRING"_s,
                                    isHTML() ? pageOf(bytes) : textOf(bytes).toUtf8()));
            MainThreadWatch watch;
            EXPECT_EQ(read(watch), expected(bytes));
            EXPECT_LT(watch.longestGap(), 500);
        }
        EXPECT_TRUE(owner.endsCleanly());
    }
};

// The text of this size, or tooLong when it has more units than `limit`.
Outcome textOrTooLong(qsizetype bytes, qsizetype limit) {
    const QString text = textOf(bytes);
    if (text.size() > limit) return {.failure = CaptureFailure::tooLong};
    return {.text = text};
}

// Through the whole import, as Ctrl+Shift+V does it: the reading of the clipboard has the import's
// 3 seconds; the conversion that follows is the worker's own matter and is given all the time it needs.
TEST_P(SelectionTransfer, TheClipboardComesInWholeOrIsRefusedForItsSize) {
    Owner owner(style(), /*primary=*/false);
    const auto import = [](MainThreadWatch& watch) {
        CaptureModel model(nullptr, CaptureModel::Functions{
                                        .clipboardWorker =
                                            [](const CaptureWorkerRequest& request, CaptureDeadline,
                                               const CancellationToken& cancellation) {
                                                return runCaptureWorker(request, test::deadlineIn(test::patience()),
                                                                        cancellation, test::realWorker());
                                            },
                                    });
        model.importClipboard(std::make_shared<X11ClipboardPasteboard>(), false, ClipboardImportMode::automatic, {});
        watch.runUntil([&] { return !model.isCapturing(); });
        return Outcome{.text = model.importedText() ? std::optional(model.importedText()->text()) : std::nullopt,
                       .failure = model.failure()};
    };
    readEachSize(owner, import, [&](qsizetype bytes) -> Outcome {
        if (!isHTML()) return textOrTooLong(bytes, ClipboardSnapshot::kTextLimit);
        if (bytes > ClipboardSnapshot::kFormattedDataLimit) return {.failure = CaptureFailure::clipboardFormatTooLarge};
        return {.text = kHeading + u'\n' + kParagraph + u'\n'};
    });
}

// The primary selection is read only from an owner that tells when it took it: that owner's text comes
// in whole or is refused as too long; any other owner's selection, and a selection that holds no text,
// is simply not read.
TEST_P(SelectionTransfer, ThePrimarySelectionIsReadWholeOrRefusedForItsSize) {
    Owner owner(style(), /*primary=*/true);
    const auto log = std::make_shared<X11InputLog>();
    log->start(0);
    const auto readPrimary = [pid = owner.pid(), log](MainThreadWatch& watch) {
        auto reading = QtConcurrent::run([pid, log] {
            return readPrimarySelection(pid, AXSelectionReader::kTextLimit, test::deadlineIn(test::patience()),
                                        log.get());
        });
        watch.runUntil([&] { return reading.isFinished(); });
        const auto read = reading.result();
        return Outcome{.text = read ? *read : std::nullopt, .failure = test::failureOf(read)};
    };
    readEachSize(owner, readPrimary, [&](qsizetype bytes) -> Outcome {
        if (style() != u"timestamp"_s || isHTML()) return {};
        return textOrTooLong(bytes, AXSelectionReader::kTextLimit);
    });
}

// The clipboard is taken anew by the same window each time: only what the owner tells shows the change.
TEST(SelectionOwnership, TheChangeCountFollowsWhatTheOwnerTells) {
    X11ClipboardPasteboard pasteboard;
    const auto changesWith = [&](Owner& owner, const QString& format) {
        const qint64 before = pasteboard.changeCount();
        EXPECT_TRUE(owner.offer(format, "text"));
        return pasteboard.changeCount() != before;
    };
    {
        // Its time.
        Owner owner(u"timestamp"_s, false);
        ASSERT_TRUE(owner.offer(u"UTF8_STRING"_s, "text"));
        EXPECT_EQ(pasteboard.changeCount(), pasteboard.changeCount());
        EXPECT_TRUE(changesWith(owner, u"UTF8_STRING"_s));
    }
    {
        // No time: its targets.
        Owner owner(u"every-target"_s, false);
        ASSERT_TRUE(owner.offer(u"UTF8_STRING"_s, "text"));
        EXPECT_EQ(pasteboard.changeCount(), pasteboard.changeCount());
        EXPECT_TRUE(changesWith(owner, u"text/html"_s));
    }
    {
        // Neither: nothing tells that the content stayed.
        Owner owner(u"bare"_s, false);
        ASSERT_TRUE(owner.offer(u"UTF8_STRING"_s, "text"));
        EXPECT_NE(pasteboard.changeCount(), pasteboard.changeCount());
        EXPECT_EQ(test::failureOf(readClipboardSnapshot(pasteboard, ClipboardImportMode::automatic,
                                                        test::deadlineIn(test::patience()))),
                  CaptureFailure::sourceChanged);
    }
}

// What another program copies that draws nothing (NUL bytes from a file, as xclip serves them; zero-width
// spaces and joiners; controls and bidi marks): nothing is read, in either mode, and no worker starts.
TEST(SelectionOwnership, AClipboardThatDrawsNothingIsEmptyText) {
    Owner owner(u"every-target"_s, false);
    for (const QByteArray& bytes : {QByteArray(16, '\0'), u"\u200B\u200C\u200D\u2060\n\u200B"_s.toUtf8(),
                                    u"\u0007\u001B\u202E\u200F\uFEFF\uFFFD \t"_s.toUtf8()}) {
        SCOPED_TRACE(bytes.toHex(' ').toStdString());
        ASSERT_TRUE(owner.offer(u"UTF8_STRING"_s, bytes));
        for (const ClipboardImportMode mode : {ClipboardImportMode::automatic, ClipboardImportMode::plainText}) {
            auto workers = std::make_shared<std::atomic<int>>(0);
            CaptureModel model(nullptr, CaptureModel::Functions{
                                            .clipboardWorker =
                                                [workers](const CaptureWorkerRequest& request, CaptureDeadline,
                                                          const CancellationToken& cancellation) {
                                                    ++*workers;
                                                    return runCaptureWorker(request, test::deadlineIn(test::patience()),
                                                                            cancellation, test::realWorker());
                                                },
                                        });
            model.importClipboard(std::make_shared<X11ClipboardPasteboard>(), false, mode, {});
            ASSERT_TRUE(test::effectWithin([&] { return !model.isCapturing(); }));
            EXPECT_EQ(model.failure(), CaptureFailure::emptyText) << rawValue(mode).toStdString();
            EXPECT_FALSE(model.importedText()) << model.importedText()->text().toStdString();
            EXPECT_EQ(*workers, 0);
        }
    }
    EXPECT_TRUE(owner.endsCleanly());
}

// The byte limit holds for a whole incremental transfer, not for each piece: from an owner that announces
// no size (as xclip) and sends pieces each within the limit, the transfer is refused once their sum passes
// it, and taken to its end, so that the owner serves the next one, which comes in whole at exactly the
// limit.
TEST(SelectionTransferLimit, HoldsForTheWholeTransferNotForEachPiece) {
    // The owner answers: each transfer may take as long as the test may run.
    auto transfer = X11SelectionTransfer::open(test::deadlineIn(test::patience()));
    ASSERT_TRUE(transfer);
    // every-target sends pieces of the largest request the server takes, divided by four.
    const qsizetype piece = qsizetype(xcb_get_maximum_request_length(transfer->connection())) / 4;
    const QByteArray bytes = textOf(3 * piece).toUtf8();
    const std::uint32_t clipboard = transfer->atom("CLIPBOARD");
    const std::uint32_t utf8 = transfer->atom("UTF8_STRING");
    Owner owner(u"every-target"_s, /*primary=*/false);

    ASSERT_TRUE(owner.offer(u"UTF8_STRING"_s, bytes));
    const auto refused = transfer->convert(clipboard, utf8, 2 * piece);
    ASSERT_FALSE(refused.has_value()) << "read " << (*refused ? (*refused)->bytes.size() : 0) << " bytes";
    EXPECT_EQ(refused.error(), SelectionTransferFailure::tooLarge);

    ASSERT_TRUE(owner.offer(u"UTF8_STRING"_s, bytes));
    transfer->setDeadline(test::deadlineIn(test::patience()));
    const auto whole = transfer->convert(clipboard, utf8, bytes.size());
    ASSERT_TRUE(whole.has_value() && whole->has_value());
    EXPECT_EQ((*whole)->bytes, bytes);
    EXPECT_TRUE(owner.endsCleanly());
}

// every-target answers as xclip does; incremental sends by pieces as xsel and the browsers do, but refuses
// TIMESTAMP; timestamp tells its time.
INSTANTIATE_TEST_SUITE_P(Owners, SelectionTransfer,
                         ::testing::Combine(::testing::Values("every-target", "incremental", "timestamp"),
                                            ::testing::Values(Kind::html, Kind::text)),
                         [](const auto& info) {
                             QString name = QString::fromLatin1(std::get<0>(info.param)).remove(u'-');
                             return name.toStdString() + (std::get<1>(info.param) == Kind::html ? "HTML" : "Text");
                         });

}  // namespace
}  // namespace tavrine
