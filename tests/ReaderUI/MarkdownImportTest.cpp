#include "ReaderUI/Workspace/MarkdownImport.h"

#include "support/EventLoop.h"
#include "support/FakeClock.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QThreadPool>

#include <condition_variable>
#include <deque>
#include <mutex>

namespace tavrine {
namespace {
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Failure = MarkdownReader::Failure;

const QString kTimeoutMessage = u"文章の変換が時間内に終わりませんでした。短い範囲でもう一度取り込んでください。"_s;

ReadingDocument documentOf(const QString& text) {
    return ReadingDocument{std::nullopt, text, {{ReadingDocument::Span::Kind::paragraph, 0, text.size(), 0}}};
}

// A converter whose calls wait on their pool threads until the test hands each its outcome, in any
// order. Calls still waiting when it is released whole or destroyed end as unreadable.
class GatedConverter {
    struct Call {
        QString markdown;
        CancellationToken token;
        std::optional<MarkdownReader::Result> outcome;
    };
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        std::deque<Call> calls;
    };

public:
    ~GatedConverter() { releaseAll(); }

    void releaseAll() {
        std::lock_guard lock(m_state->mutex);
        for (Call& call : m_state->calls) {
            if (!call.outcome) call.outcome = tl::unexpected(Failure::unreadable);
        }
        m_state->changed.notify_all();
    }

    MarkdownImport::Converter converter() const {
        return [state = m_state](const QString& markdown, const CancellationToken& token) {
            std::unique_lock lock(state->mutex);
            state->calls.push_back({markdown, token, std::nullopt});
            Call& call = state->calls.back();
            state->changed.notify_all();
            state->changed.wait(lock, [&] { return call.outcome.has_value(); });
            return *call.outcome;
        };
    }

    // Blocks the test until `count` calls have begun on the pool, however late a loaded machine starts them
    // (false once the test's time is up).
    bool waitForCalls(std::size_t count) {
        std::unique_lock lock(m_state->mutex);
        return m_state->changed.wait_for(lock, test::patience(), [&] { return m_state->calls.size() >= count; });
    }

    // Calls are known by their text: pool threads may begin them in any order.
    void release(const QString& markdown, MarkdownReader::Result outcome) {
        std::lock_guard lock(m_state->mutex);
        call(markdown).outcome = std::move(outcome);
        m_state->changed.notify_all();
    }

    bool isCancelled(const QString& markdown) const {
        std::lock_guard lock(m_state->mutex);
        return call(markdown).token.isCancelled();
    }

private:
    Call& call(const QString& markdown) const {
        const auto found =
            std::ranges::find_if(m_state->calls, [&](const Call& call) { return call.markdown == markdown; });
        EXPECT_NE(found, m_state->calls.end()) << markdown;
        return *found;
    }

    std::shared_ptr<State> m_state = std::make_shared<State>();
};

// Runs the event loop until at most `busy` pool threads still work (conversions held by a gate), then
// delivers what the finished ones handed back to this thread.
void settle(int busy = 0) {
    if (busy == 0) return test::settlePool();
    EXPECT_TRUE(test::processEventsUntil([&] { return QThreadPool::globalInstance()->activeThreadCount() <= busy; }));
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

MarkdownImport::Converter answering(MarkdownReader::Result outcome) {
    return [outcome](const QString&, const CancellationToken&) { return outcome; };
}

class MarkdownImportTest : public ::testing::Test {
protected:
    // Conversions held by the gate each keep a pool thread busy, also on a machine with one core.
    void SetUp() override {
        m_threads = QThreadPool::globalInstance()->maxThreadCount();
        QThreadPool::globalInstance()->setMaxThreadCount(std::max(m_threads, 4));
    }

    void TearDown() override {
        // Nothing of one test may run into the next.
        gate.releaseAll();
        settle();
        QThreadPool::globalInstance()->setMaxThreadCount(m_threads);
    }

    test::FakeClock clock;
    GatedConverter gate;

private:
    int m_threads = 0;
};

TEST_F(MarkdownImportTest, OnlyTheLatestOfTwoRequestsPublishesEvenWhenTheFirstFinishesFirst) {
    MarkdownImport model(clock, gate.converter());
    model.load(u"first"_s, 10s);
    model.load(u"second"_s, 10s);
    ASSERT_TRUE(gate.waitForCalls(2));
    EXPECT_TRUE(gate.isCancelled(u"first"_s));
    EXPECT_FALSE(gate.isCancelled(u"second"_s));

    gate.release(u"first"_s, tl::unexpected(Failure::tooComplex));
    settle(1);
    EXPECT_EQ(model.reading(), std::nullopt);
    EXPECT_EQ(model.errorMessage(), std::nullopt);
    EXPECT_TRUE(model.isLoading());

    gate.release(u"second"_s, documentOf(u"second"_s));
    settle();
    ASSERT_TRUE(model.reading());
    EXPECT_EQ(model.reading()->document(), documentOf(u"second"_s));
    EXPECT_FALSE(model.isLoading());
    clock.advance(20s);
    QCoreApplication::processEvents();
    EXPECT_EQ(model.errorMessage(), std::nullopt);
}

TEST_F(MarkdownImportTest, CancelWhileLoadingLeavesEverythingAsItWas) {
    MarkdownImport model(clock, gate.converter());
    model.load(u"earlier"_s, 10s);
    ASSERT_TRUE(gate.waitForCalls(1));
    gate.release(u"earlier"_s, documentOf(u"earlier"_s));
    settle();
    const std::optional<ImportedReading> earlier = model.reading();
    ASSERT_TRUE(earlier);

    model.load(u"later"_s, 10s);
    ASSERT_TRUE(gate.waitForCalls(2));
    const QUuid request = model.requestID();
    model.cancel();
    EXPECT_FALSE(model.isLoading());
    EXPECT_EQ(model.errorMessage(), std::nullopt);
    EXPECT_NE(model.requestID(), request);
    EXPECT_TRUE(gate.isCancelled(u"later"_s));

    gate.release(u"later"_s, documentOf(u"later"_s));
    settle();
    clock.advance(20s);
    QCoreApplication::processEvents();
    EXPECT_EQ(model.reading(), earlier);
    EXPECT_EQ(model.errorMessage(), std::nullopt);
    EXPECT_FALSE(model.isLoading());
}

TEST_F(MarkdownImportTest, AConversionThatOutlivesItsTimeOutPublishesNothing) {
    MarkdownImport model(clock, gate.converter());
    model.load(u"slow"_s, 2s);
    ASSERT_TRUE(gate.waitForCalls(1));
    clock.advance(1999ms);
    QCoreApplication::processEvents();
    EXPECT_TRUE(model.isLoading());

    clock.advance(1ms);
    QCoreApplication::processEvents();
    EXPECT_EQ(model.errorMessage(), kTimeoutMessage);
    EXPECT_FALSE(model.isLoading());
    EXPECT_TRUE(gate.isCancelled(u"slow"_s));

    gate.release(u"slow"_s, documentOf(u"slow"_s));
    settle();
    EXPECT_EQ(model.errorMessage(), kTimeoutMessage);
    EXPECT_EQ(model.reading(), std::nullopt);
}

TEST_F(MarkdownImportTest, EachFailureHasItsMessageAndKeepsTheEarlierReading) {
    // Each failure its own sentence, but a cancelled conversion reads as an unreadable one.
    QStringList messages;
    for (const Failure failure : {Failure::empty, Failure::tooLong, Failure::tooComplex, Failure::unreadable}) {
        MarkdownImport failing(clock, answering(tl::unexpected(failure)));
        failing.load(u"text"_s, 10s);
        settle();
        EXPECT_EQ(failing.errorMessage(), MarkdownImport::message(failure));
        EXPECT_FALSE(failing.isLoading());
        EXPECT_EQ(failing.reading(), std::nullopt);
        EXPECT_FALSE(messages.contains(MarkdownImport::message(failure)));
        messages.append(MarkdownImport::message(failure));
    }
    EXPECT_EQ(MarkdownImport::message(Failure::cancelled), MarkdownImport::message(Failure::unreadable));

    bool fail = false;
    MarkdownImport model(clock, [&fail](const QString& text, const CancellationToken&) -> MarkdownReader::Result {
        if (fail) return tl::unexpected(Failure::tooComplex);
        return documentOf(text);
    });
    model.load(u"text"_s, 10s);
    settle();
    const std::optional<ImportedReading> earlier = model.reading();
    ASSERT_TRUE(earlier);
    fail = true;
    model.load(u"text"_s, 10s);
    settle();
    EXPECT_EQ(model.reading(), earlier);
    EXPECT_EQ(model.errorMessage(), MarkdownImport::message(Failure::tooComplex));
    fail = false;
    model.load(u"text"_s, 10s);
    EXPECT_EQ(model.errorMessage(), std::nullopt);
    EXPECT_TRUE(model.isLoading());
    settle();
    EXPECT_NE(model.reading(), earlier);
    model.dismissError();
    EXPECT_EQ(model.errorMessage(), std::nullopt);
}

TEST_F(MarkdownImportTest, TheSameTextTwiceGivesTwoNewReadingsBothObserved) {
    MarkdownImport model(clock, answering(documentOf(u"text"_s)));
    QList<ImportedReading> observed;
    QObject::connect(&model, &MarkdownImport::readingChanged, [&] { observed.append(*model.reading()); });
    model.load(u"text"_s, 10s);
    settle();
    const Date firstImport = clock.now();
    clock.advance(1s);
    model.load(u"text"_s, 10s);
    settle();

    ASSERT_EQ(observed.size(), 2);
    EXPECT_NE(observed[0].id(), observed[1].id());
    EXPECT_EQ(observed[0].reading.importedAt, firstImport);
    EXPECT_EQ(observed[1].reading.importedAt, clock.now());
    for (const ImportedReading& reading : observed) {
        EXPECT_EQ(reading.document(), documentOf(u"text"_s));
        EXPECT_EQ(reading.reading.title, std::nullopt);
        EXPECT_EQ(reading.reading.source, std::nullopt);
        EXPECT_EQ(reading.reading.epub, std::nullopt);
        EXPECT_FALSE(reading.autoplay);
        EXPECT_FALSE(reading.allowsReplacementUndo);
    }
}

TEST_F(MarkdownImportTest, AModelDestroyedWhileItsConversionRunsIsNeverCalledBack) {
    auto model = std::make_unique<MarkdownImport>(clock, gate.converter());
    bool changed = false;
    QObject observer;
    QObject::connect(model.get(), &MarkdownImport::readingChanged, &observer, [&] { changed = true; });
    model->load(u"text"_s, 2s);
    ASSERT_TRUE(gate.waitForCalls(1));
    model.reset();
    EXPECT_TRUE(gate.isCancelled(u"text"_s));
    gate.release(u"text"_s, documentOf(u"text"_s));
    settle();
    clock.advance(10s);
    QCoreApplication::processEvents();
    EXPECT_FALSE(changed);
}

// The real reader behind the model.
class MarkdownImportReaderTest : public ::testing::Test {
protected:
    MarkdownImport& loaded(const QString& markdown) {
        m_model.load(markdown, 10s);
        settle();
        return m_model;
    }

    test::FakeClock m_clock;
    MarkdownImport m_model{m_clock};
};

TEST_F(MarkdownImportReaderTest, TooLongAndBlankTextsEndWithTheirMessages) {
    const MarkdownImport& tooLong = loaded(QString(20'001, u'a'));
    EXPECT_EQ(tooLong.errorMessage(), MarkdownImport::message(Failure::tooLong));
    EXPECT_FALSE(tooLong.isLoading());
    EXPECT_EQ(loaded(u"  \n \r\n\t\n"_s).errorMessage(), u"コピーした内容に読む文章がありません。"_s);
}

TEST_F(MarkdownImportReaderTest, AJapaneseDocumentBecomesTheReadersOwnResult) {
    const QString markdown = u"# 吾輩は猫である\n\n名前は\nまだ無い。\n\n- どこで生れたか\n- とんと見当がつかぬ"_s;
    const MarkdownImport& model = loaded(markdown);
    ASSERT_TRUE(model.reading());
    EXPECT_EQ(model.reading()->document(), MarkdownReader::read(markdown).value());
    EXPECT_EQ(model.errorMessage(), std::nullopt);
}

}  // namespace
}  // namespace tavrine
