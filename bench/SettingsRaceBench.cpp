// The settings file shared with another writer, as a person has it who keeps Tavrine running while a tool
// saves the same file: the settings are saved on each of a run of key presses while a second thread saves
// the file every 50 ms, in one of three ways:
//   rename             a whole new file renamed over the old one (an editor, a dotfiles sync), synced
//   in-place           the file cut, then written (an editor saving through a link)
//   read-modify-write  the file read, one entry changed, a new file renamed over it (a script), synced
// Before each of its saves the writer reads the file: its own entry must still hold the count it saved
// last, since the settings here never change it; a lower count, or none, is a save of it written over.
// The key presses come on the main thread, which turns its event loop between them as the window would:
// the longest the main thread was held at each press (the change, and the longest turn of the loop that
// followed it) is its wait, which a save must never add to. After the presses the writer stops, one more
// key press is saved (waited for, as at quit), and both sides' last values must be in the file. Prints one
// JSON line per writer:
//   {"writer":…,"writerSaves":…,"lost":…,"presses":…,"writes":…,"failedSaves":…,"warnings":…,
//    "keptAside":…,"lastKept":…,"mainWaitMsMedian":…,"mainWaitMsMax":…}
// Options: --presses N (200), --press-ms N (30), --writer-ms N (50), --writer NAME (all three),
// --slow-disk-ms N (0): each sync of the settings' own temporary file takes N ms longer, as on a slow or
// busy disk.
#include "ReaderCore/FileDefaults.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {
using namespace tavrine;
using namespace Qt::StringLiterals;

std::atomic<int> g_slowDiskMs = 0;

// Whether fd is a temporary file of the settings' writes.
bool isSettingsTemporary(int fd) {
    char target[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
    if (length < 0) return false;
    target[length] = '\0';
    return std::strstr(target, "/.defaults.json.tmp-") != nullptr;
}

}  // namespace

// The settings' syncs, made slow on demand; everything else syncs as it does.
extern "C" int fsync(int fd) {
    static const auto real = reinterpret_cast<int (*)(int)>(::dlsym(RTLD_NEXT, "fsync"));
    if (const int slow = g_slowDiskMs.load(); slow > 0 && isSettingsTemporary(fd)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(slow));
    }
    return real(fd);
}

namespace {

enum class Writer { rename, inPlace, readModifyWrite };

const char* nameOf(Writer writer) {
    switch (writer) {
    case Writer::rename: return "rename";
    case Writer::inPlace: return "in-place";
    case Writer::readModifyWrite: return "read-modify-write";
    }
    return "";
}

struct Options {
    int presses = 200;
    int pressMs = 30;
    int writerMs = 50;
    std::vector<Writer> writers{Writer::rename, Writer::inPlace, Writer::readModifyWrite};
};

constexpr QStringView kCountKey = u"writer.count";
constexpr QStringView kPressKey = u"reader.press";

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Writes bytes to a new file beside path, syncs it and renames it over path.
void renameOver(const QString& path, const QByteArray& bytes) {
    const QByteArray temporary = QFile::encodeName(path + u".other"_s);
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return;
    (void)!::write(fd, bytes.constData(), static_cast<size_t>(bytes.size()));
    ::fdatasync(fd);
    ::close(fd);
    ::rename(temporary.constData(), QFile::encodeName(path).constData());
}

void writeInPlace(const QString& path, const QByteArray& bytes) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return;
    (void)!::write(fd, bytes.constData(), static_cast<size_t>(bytes.size()));
    ::close(fd);
}

// The other writer's saves, and how many of them it found written over.
struct WriterTally {
    int saves = 0;
    int lost = 0;
};

void runWriter(Writer writer, const QString& path, int intervalMs, const std::atomic<bool>& stop, WriterTally& tally) {
    // Its own text of the file: what an editor holds in its buffer.
    QJsonObject buffer{{u"writer.note"_s, u"吾輩は猫である"_s}};
    while (!stop.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(intervalMs));
        const QJsonObject onDisk = QJsonDocument::fromJson(readAll(path)).object();
        if (onDisk.value(kCountKey).toInt(-1) != tally.saves) ++tally.lost;
        const int count = ++tally.saves;
        QJsonObject saved = writer == Writer::readModifyWrite ? onDisk : buffer;
        saved.insert(kCountKey.toString(), count);
        const QByteArray bytes = QJsonDocument(saved).toJson();
        if (writer == Writer::inPlace) {
            writeInPlace(path, bytes);
        } else {
            renameOver(path, bytes);
        }
    }
}

struct Round {
    WriterTally tally;
    int writes = 0;
    int warnings = 0;
    int keptAside = 0;
    bool lastKept = false;
    int failedSaves = 0;
    std::vector<double> mainWaitMs;
};

int g_warnings = 0;

void countWarning(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtWarningMsg) return;
    ++g_warnings;
    std::fprintf(stderr, "%s\n", qPrintable(message));
}

Round runRound(Writer writer, const Options& options) {
    const QTemporaryDir folder;
    const QString path = folder.filePath(u"defaults.json"_s);
    renameOver(path, QJsonDocument(QJsonObject{{kCountKey.toString(), 0}}).toJson());

    Round round;
    g_warnings = 0;
    const QtMessageHandler previous = qInstallMessageHandler(countWarning);
    {
        FileDefaults defaults(path);
        std::atomic<bool> stop = false;
        std::thread other(runWriter, writer, path, options.writerMs, std::cref(stop), std::ref(round.tally));
        const auto held = [](const QElapsedTimer& timer) { return static_cast<double>(timer.nsecsElapsed()) / 1e6; };
        for (int number = 1; number <= options.presses; ++number) {
            QElapsedTimer between;
            between.start();
            QElapsedTimer timer;
            timer.start();
            defaults.setDouble(kPressKey.toString(), number);
            double longest = held(timer);
            while (between.elapsed() < options.pressMs) {
                timer.restart();
                QCoreApplication::processEvents();
                longest = std::max(longest, held(timer));
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            round.mainWaitMs.push_back(longest);
        }
        stop = true;
        other.join();
        defaults.setDouble(kPressKey.toString(), options.presses + 1);
        defaults.sync();
        round.writes = static_cast<int>(defaults.writeCount());
        round.failedSaves = static_cast<int>(defaults.failedSaveCount());
        const QJsonObject last = QJsonDocument::fromJson(readAll(path)).object();
        round.lastKept = last.value(kCountKey).toInt(-1) == round.tally.saves &&
                         last.value(kPressKey).toInt(-1) == options.presses + 1;
    }
    qInstallMessageHandler(previous);
    round.warnings = g_warnings;
    round.keptAside = static_cast<int>(QDir(folder.path()).entryList({u"defaults.json.corrupt*"_s}).size());
    return round;
}

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

Options parse(const QStringList& arguments) {
    Options options;
    for (qsizetype index = 1; index + 1 < arguments.size(); index += 2) {
        const QString& name = arguments.at(index);
        const QString& value = arguments.at(index + 1);
        if (name == u"--presses") options.presses = value.toInt();
        if (name == u"--press-ms") options.pressMs = value.toInt();
        if (name == u"--writer-ms") options.writerMs = value.toInt();
        if (name == u"--slow-disk-ms") g_slowDiskMs = value.toInt();
        if (name == u"--writer") {
            options.writers.clear();
            for (const Writer writer : {Writer::rename, Writer::inPlace, Writer::readModifyWrite}) {
                if (value == QLatin1StringView(nameOf(writer))) options.writers.push_back(writer);
            }
        }
    }
    return options;
}

}  // namespace

int main(int argc, char** argv) {
    const QCoreApplication application(argc, argv);
    const Options options = parse(QCoreApplication::arguments());
    for (const Writer writer : options.writers) {
        const Round round = runRound(writer, options);
        std::printf(
            "{\"writer\":\"%s\",\"slowDiskMs\":%d,\"writerSaves\":%d,\"lost\":%d,\"presses\":%d,\"writes\":%d,"
            "\"failedSaves\":%d,\"warnings\":%d,\"keptAside\":%d,\"lastKept\":%s,\"mainWaitMsMedian\":%.2f,"
            "\"mainWaitMsMax\":%.2f}\n",
            nameOf(writer), g_slowDiskMs.load(), round.tally.saves, round.tally.lost, options.presses + 1, round.writes,
            round.failedSaves, round.warnings, round.keptAside, round.lastKept ? "true" : "false",
            median(round.mainWaitMs), *std::max_element(round.mainWaitMs.begin(), round.mainWaitMs.end()));
        std::fflush(stdout);
    }
    return 0;
}
