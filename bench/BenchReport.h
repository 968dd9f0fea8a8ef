#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <chrono>
#include <limits>
#include <optional>

// What the benchmark drivers share: timing the best of several runs, running pandoc beside us, and
// writing one JSON line per case.
namespace tavrine::bench {

// A value written as JSON (a string quoted and escaped).
QString json(const QJsonValue& value);
// `,"name":value`, the value already written.
QString field(const QString& name, const QString& value);
// Milliseconds with three decimals.
QString milliseconds(double value);
// Megabytes (10^6 bytes) per second, with one decimal.
QString megabytesPerSecond(qint64 bytes, double milliseconds);

// The best wall-clock time, in milliseconds, of `runs` runs of work.
template <typename Work>
double bestMilliseconds(int runs, Work work) {
    double best = std::numeric_limits<double>::infinity();
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        work();
        best =
            std::min(best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

// The best time of `runs` runs of pandoc with these arguments, given `input` on its standard input, its
// output discarded; nothing when pandoc is not installed or a run fails.
std::optional<double> pandocMilliseconds(int runs, const QStringList& arguments, const QByteArray& input = {});

}  // namespace tavrine::bench
