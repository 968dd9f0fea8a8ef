#pragma once

#include "ReaderCore/CancellationToken.h"
#include "ReaderCore/Clock.h"
#include "ReaderCore/ImportedReading.h"
#include "ReaderCore/TaskHandle.h"
#include "ReaderText/MarkdownReader.h"

#include <QCoro/QCoroTask>
#include <QObject>
#include <QPointer>
#include <QUuid>

#include <chrono>
#include <functional>
#include <optional>

namespace tavrine {

// The model of a paste-Markdown import: converts a Markdown text into a reading on the thread pool,
// under a time-out, and publishes either a reading ready for the player or a Japanese message. Only the
// latest request publishes: every request has a fresh identifier, every end of a request (its outcome,
// its time-out, cancel(), a newer request) renews it, and an outcome or a time-out that finds another
// identifier in place is dropped. A request therefore publishes at most one outcome.
//
// Lives on the main thread (asserted) and has one owner, the view or model that imports Markdown.
class MarkdownImport : public QObject {
    Q_OBJECT
    // The reading of the last successful conversion; a later failure leaves it as it is. Every success
    // is a new reading (fresh identifier, imported now), so observers see each one.
    Q_PROPERTY(std::optional<tavrine::ImportedReading> reading READ reading NOTIFY readingChanged)
    // The message of the last failure or time-out; cleared when a request starts.
    Q_PROPERTY(std::optional<QString> errorMessage READ errorMessage NOTIFY errorMessageChanged)
    // From the start of a request until its outcome, its time-out or a cancel.
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)

public:
    // Turns the Markdown into a document, or fails; runs on a pool thread and may be given up on, in which
    // case its token is cancelled. It never sees the model.
    using Converter = std::function<MarkdownReader::Result(const QString& markdown, const CancellationToken&)>;

    // The clock gives the time-out's alarm and the import date; it must outlive the model.
    explicit MarkdownImport(const Clock& clock = SystemClock::shared(), Converter converter = &MarkdownReader::read,
                            QObject* parent = nullptr);
    ~MarkdownImport() override;

    const std::optional<ImportedReading>& reading() const { return m_reading; }
    const std::optional<QString>& errorMessage() const { return m_errorMessage; }
    bool isLoading() const { return m_isLoading; }
    QUuid requestID() const { return m_requestID; }

    // Starts a request for the text, abandoning the one before; returns at once. The request ends with
    // the time-out message when no outcome has come after `timeout`.
    void load(const QString& markdown, std::chrono::duration<double> timeout);
    // Abandons the current request, if any: nothing it would still publish is published. The reading
    // and the message stay as they are.
    void cancel();
    void dismissError();

    // The message of a request that ended without a reading: the failure of its conversion, or no
    // failure when its time-out came first. A cancelled conversion reads as an unreadable one.
    static QString message(std::optional<MarkdownReader::Failure> failure);

signals:
    void readingChanged();
    void errorMessageChanged();
    void isLoadingChanged();

private:
    static QCoro::Task<void> convert(QPointer<MarkdownImport> self, Converter converter, QString markdown,
                                     QUuid requestID, CancellationToken cancellation);
    static QCoro::Task<void> expire(QPointer<MarkdownImport> self, const Clock* clock,
                                    std::chrono::duration<double> timeout, QUuid requestID,
                                    CancellationToken cancellation);
    void finish(const MarkdownReader::Result& outcome, const QUuid& requestID);

    void setReading(std::optional<ImportedReading> reading);
    void setErrorMessage(std::optional<QString> message);
    void setLoading(bool loading);

    const Clock& m_clock;
    Converter m_converter;
    std::optional<ImportedReading> m_reading;
    std::optional<QString> m_errorMessage;
    bool m_isLoading = false;
    QUuid m_requestID = QUuid::createUuid();
    TaskHandle m_conversion;
    TaskHandle m_timeout;
};

}  // namespace tavrine
