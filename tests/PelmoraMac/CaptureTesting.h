#pragma once

#include "PelmoraMac/Capture/CaptureDeadline.h"
#include "PelmoraMac/Capture/CaptureFailure.h"
#include "PelmoraMac/Capture/CaptureWorkerLauncher.h"

#include "support/QtPrinters.h"

#include <QDir>

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

inline CaptureDeadline deadlineIn(std::chrono::milliseconds time) {
    return SystemClock::shared().monotonicNow() + time;
}

// The real executable, built beside the tests, as the worker.
inline CaptureWorkerLaunch realWorker() {
    return {.executable = QStringLiteral(TAVRINE_EXECUTABLE), .childStarted = {}};
}

// How many descriptors this process has open.
inline qsizetype openDescriptorCount() {
    return QDir(QStringLiteral("/proc/self/fd"))
        .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
        .size();
}

}  // namespace test
}  // namespace tavrine
