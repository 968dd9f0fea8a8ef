#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <chrono>
#include <limits>
#include <optional>
#include <vector>

// What the benchmark drivers share: percentiles and best-of timings, running pandoc beside us, and
// writing one JSON line per case.
namespace tavrine::bench {

// A smoke round (--smoke on the command line): every case once, on a small input, to show that the program
// runs and that its cases succeed. Its figures are not to be compared with anything.
bool isSmokeRound();
// Takes --smoke out of the arguments, remembering it; called before anything else reads them.
void takeSmokeFlag(int& argc, char** argv);
// `rounds`, or one in a smoke round.
int roundsOf(int rounds);

// A case that could not be measured, its reason said on stderr: the program goes on with its other cases
// and then ends with exitStatus().
void markFailed();
// A case that ended at the time limit the program under test sets itself (the capture gives up after 3 s),
// which a loaded machine reaches: in a smoke round, whose figures nobody reads, it is said on stderr and
// answered true, the round going on with the case's line marked failed; in a measuring run, false, and the
// case fails as any other.
bool passesTimeLimit(const char* what);
// 1 once a case failed, else 0.
int exitStatus();

// The value below which `fraction` of the values lie (nearest rank); 0 for no values.
double percentile(std::vector<double> values, double fraction);

// A value written as JSON (a string quoted and escaped).
QString json(const QJsonValue& value);
// text as a JSON string literal, quotes included.
QString jsonString(const QString& text);
// `,"name":value`, the value already written.
QString field(const QString& name, const QString& value);
// Milliseconds with three decimals.
QString milliseconds(double value);
// Megabytes (10^6 bytes) per second, with one decimal.
QString megabytesPerSecond(qint64 bytes, double milliseconds);

double millisecondsSince(std::chrono::steady_clock::time_point start);

// The best wall-clock time, in milliseconds, of `runs` runs of work.
template <typename Work>
double bestMilliseconds(int runs, Work work) {
    double best = std::numeric_limits<double>::infinity();
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        work();
        best = std::min(best, millisecondsSince(start));
    }
    return best;
}

// The best time of `runs` runs of pandoc with these arguments, given `input` on its standard input, its
// output discarded; nothing when pandoc is not installed or a run fails.
std::optional<double> pandocMilliseconds(int runs, const QStringList& arguments, const QByteArray& input = {});

}  // namespace tavrine::bench
