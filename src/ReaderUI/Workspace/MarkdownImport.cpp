#include "ReaderUI/Workspace/MarkdownImport.h"

#include "ReaderCore/MainThread.h"
#include "ReaderCore/QueuedFuture.h"
#include "ReaderCore/Sleep.h"
#include "ReaderUI/PropertyWrite.h"

#include <QtConcurrent/QtConcurrentRun>

namespace tavrine {
using namespace Qt::StringLiterals;

MarkdownImport::MarkdownImport(const Clock& clock, Converter converter, QObject* parent)
    : QObject(parent), m_clock(clock), m_converter(std::move(converter)) {
    Q_ASSERT(isMainThread());
}

// The handles cancel both tasks: a conversion still running finds its token cancelled, and both end at
// their guard without touching the model.
MarkdownImport::~MarkdownImport() = default;

QString MarkdownImport::message(std::optional<MarkdownReader::Failure> failure) {
    if (!failure) return u"文章の変換が時間内に終わりませんでした。短い範囲でもう一度取り込んでください。"_s;
    switch (*failure) {
    case MarkdownReader::Failure::empty: return u"コピーした内容に読む文章がありません。"_s;
    case MarkdownReader::Failure::tooLong:
        return u"文章が取り込み上限（UTF-16で20,000単位）を超えています。短い範囲をコピーしてください。"_s;
    case MarkdownReader::Failure::tooComplex: return u"Markdown の構造が複雑すぎます。短い範囲をコピーしてください。"_s;
    case MarkdownReader::Failure::unreadable:
    case MarkdownReader::Failure::cancelled: break;
    }
    return u"Markdown を読む本文へ変換できませんでした。もう一度取り込んでください。"_s;
}

void MarkdownImport::load(const QString& markdown, std::chrono::duration<double> timeout) {
    Q_ASSERT(isMainThread());
    cancel();
    setErrorMessage(std::nullopt);
    setLoading(true);
    const QUuid requestID = m_requestID;
    m_conversion.start([&](CancellationToken token) {
        return convert(QPointer(this), m_converter, markdown, requestID, std::move(token));
    });
    m_timeout.start([&](CancellationToken token) {
        return expire(QPointer(this), &m_clock, timeout, requestID, std::move(token));
    });
}

void MarkdownImport::cancel() {
    Q_ASSERT(isMainThread());
    m_requestID = QUuid::createUuid();
    m_conversion.cancel();
    m_conversion.release();
    m_timeout.cancel();
    m_timeout.release();
    setLoading(false);
}

void MarkdownImport::dismissError() {
    Q_ASSERT(isMainThread());
    setErrorMessage(std::nullopt);
}

// The conversion runs on the pool with its own copies of the converter and the text; only its outcome
// comes back, and it applies while the model lives and the request is still the current one.
QCoro::Task<void> MarkdownImport::convert(QPointer<MarkdownImport> self, Converter converter, QString markdown,
                                          QUuid requestID, CancellationToken cancellation) {
    // Queued, so that a conversion over before it is awaited never publishes inside load() itself.
    QueuedFuture<MarkdownReader::Result> conversion(
        QtConcurrent::run([converter = std::move(converter), markdown = std::move(markdown), cancellation] {
            return converter(markdown, cancellation);
        }));
    const MarkdownReader::Result outcome = co_await conversion;
    if (cancellation.isCancelled() || !self) co_return;
    self->finish(outcome, requestID);
}

QCoro::Task<void> MarkdownImport::expire(QPointer<MarkdownImport> self, const Clock* clock,
                                         std::chrono::duration<double> timeout, QUuid requestID,
                                         CancellationToken cancellation) {
    QCoro::Task<bool> sleep = sleepFor(*clock, timeout, cancellation);
    const bool expired = co_await sleep;
    if (!expired || !self || self->m_requestID != requestID) co_return;
    self->cancel();
    self->setErrorMessage(message(std::nullopt));
}

void MarkdownImport::finish(const MarkdownReader::Result& outcome, const QUuid& requestID) {
    Q_ASSERT(isMainThread());
    if (m_requestID != requestID) return;
    // Renews the identifier and stops the time-out, so that a time-out waking later does nothing.
    cancel();
    if (outcome) {
        setReading(ImportedReading::create(*outcome, /*autoplay=*/false, std::nullopt, std::nullopt,
                                           /*allowsReplacementUndo=*/false, m_clock));
    } else {
        setErrorMessage(message(outcome.error()));
    }
}

void MarkdownImport::setReading(std::optional<ImportedReading> reading) {
    writeProperty(this, m_reading, std::move(reading), &MarkdownImport::readingChanged);
}

void MarkdownImport::setErrorMessage(std::optional<QString> message) {
    writeProperty(this, m_errorMessage, std::move(message), &MarkdownImport::errorMessageChanged);
}

void MarkdownImport::setLoading(bool loading) {
    writeProperty(this, m_isLoading, loading, &MarkdownImport::isLoadingChanged);
}

}  // namespace tavrine
