#include "BenchReport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>

#include <cmath>
#include <cstdio>
#include <cstring>

namespace tavrine::bench {
using namespace Qt::StringLiterals;

namespace {
bool g_smokeRound = false;
bool g_failed = false;
}  // namespace

bool isSmokeRound() {
    return g_smokeRound;
}

void takeSmokeFlag(int& argc, char** argv) {
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--smoke") == 0) {
            g_smokeRound = true;
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    argv[argc] = nullptr;
}

int roundsOf(int rounds) {
    return g_smokeRound ? 1 : rounds;
}

void markFailed() {
    g_failed = true;
}

bool passesTimeLimit(const char* what) {
    if (!g_smokeRound) return false;
    std::fprintf(stderr, "smoke round: %s ended at the program's own time limit (a loaded machine); going on\n", what);
    return true;
}

int exitStatus() {
    return g_failed ? 1 : 0;
}

double percentile(std::vector<double> values, double fraction) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<size_t>(std::ceil(fraction * static_cast<double>(values.size())));
    return values[std::clamp<size_t>(rank, 1, values.size()) - 1];
}

QString json(const QJsonValue& value) {
    // A one-element array, so that any value (a string too) is written by the JSON writer.
    const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

QString jsonString(const QString& text) {
    return json(text);
}

QString field(const QString& name, const QString& value) {
    return u',' + json(name) + u':' + value;
}

QString milliseconds(double value) {
    return QString::number(value, 'f', 3);
}

QString megabytesPerSecond(qint64 bytes, double milliseconds) {
    return QString::number(double(bytes) / 1e6 / (milliseconds / 1e3), 'f', 1);
}

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

std::optional<double> pandocMilliseconds(int runs, const QStringList& arguments, const QByteArray& input) {
    const QString pandoc = QStandardPaths::findExecutable(u"pandoc"_s);
    if (pandoc.isEmpty()) return std::nullopt;
    bool failed = false;
    const double best = bestMilliseconds(runs, [&] {
        QProcess process;
        process.setStandardOutputFile(QProcess::nullDevice());
        process.start(pandoc, arguments);
        if (!input.isEmpty()) process.write(input);
        process.closeWriteChannel();
        failed = failed || !process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit ||
                 process.exitCode() != 0;
    });
    if (failed) return std::nullopt;
    return best;
}

}  // namespace tavrine::bench
