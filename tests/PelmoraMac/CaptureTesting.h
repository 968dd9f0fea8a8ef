#pragma once

#include "PelmoraMac/Capture/CaptureDeadline.h"
#include "PelmoraMac/Capture/CaptureFailure.h"
#include "PelmoraMac/Capture/CaptureWorker.h"
#include "PelmoraMac/Capture/CaptureWorkerLauncher.h"
#include "ReaderCore/ReadingDocument.h"

#include "support/EventLoop.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QList>

#include <chrono>
#include <optional>
#include <ostream>

namespace tavrine {

inline void PrintTo(CaptureFailure failure, std::ostream* out) {
    *out << rawValue(failure).toStdString();
}

namespace test {

template <typename T>
std::optional<CaptureFailure> failureOf(const CaptureResult<T>& result) {
    return result ? std::nullopt : std::optional(result.error());
}

// The spans of one kind, in document order.
inline QList<ReadingDocument::Span> spansOf(const ReadingDocument& document, ReadingDocument::Span::Kind kind) {
    QList<ReadingDocument::Span> found;
    for (const auto& span : document.spans) {
        if (span.kind == kind) found.append(span);
    }
    return found;
}

inline CaptureDeadline deadlineIn(std::chrono::milliseconds time) {
    return SystemClock::shared().monotonicNow() + time;
}

// The real executable, built beside the tests, as the worker. Its path is compiled into
// CaptureTesting.cpp alone, so the tests that include this header come from the compiler cache in another
// clone.
CaptureWorkerLaunch realWorker();

// How many descriptors this process has open.
inline qsizetype openDescriptorCount() {
    return QDir(QStringLiteral("/proc/self/fd"))
        .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
        .size();
}

// The real executable as the worker, without a display.
class RealCaptureWorker : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
            m_saved.append({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
            qunsetenv(name);
        }
    }
    void TearDown() override {
        for (const auto& variable : m_saved) {
            if (variable.wasSet) qputenv(variable.name, variable.value);
        }
    }

    // The worker's response to these bytes; fails the test unless it exited with status 0. The worker answers,
    // however slowly a loaded machine starts it: it is waited for as long as the test may run.
    CaptureWorkerResponse answerTo(const QByteArray& request) {
        const auto output =
            launchCaptureWorkerProcess(realWorker(), {QStringLiteral("--capture-worker")}, request,
                                       deadlineIn(patience()), kCaptureWorkerTransferLimit, CancellationToken::none());
        if (!output) {
            ADD_FAILURE() << "the worker did not exit cleanly: " << rawValue(output.error()).toStdString();
            return {};
        }
        auto response = decodeJsonText<CaptureWorkerResponse>(*output);
        if (!response) {
            ADD_FAILURE() << "not a response: " << output->left(200).toStdString();
            return {};
        }
        return *response;
    }
    CaptureWorkerResponse answerTo(const CaptureWorkerRequest& request) { return answerTo(encodeJson(request)); }
    std::optional<CaptureFailure> failureTo(const CaptureWorkerRequest& request) { return answerTo(request).failure; }

private:
    struct Saved {
        const char* name;
        QByteArray value;
        bool wasSet;
    };
    QList<Saved> m_saved;
};

}  // namespace test
}  // namespace tavrine
