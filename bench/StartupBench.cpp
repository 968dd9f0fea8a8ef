// startup-bench: the real tavrine from exec to a reader at work, on a private X server with openbox
// (scripts/with-xvfb --openbox), fresh user folders for every run. Two libraries: an empty data folder,
// and store-bench's library (200 readings, 5 of them EPUB books with their originals). The application
// writes its time marks to TAVRINE_TRACE_FILE; each run opens the built-in sample with its button, plays
// it with Ctrl+Return, pauses, resumes and plays on for 10 s at 7.5× (set in the user's settings; the
// sample starts again with Ctrl+Return whenever it ends). Prints one JSON line per library, medians of 10
// runs, times from exec:
//   coldWindowMs     the window's first paint with the page cache dropped first (null where not allowed)
//   windowMs         the window's first paint
//   storeOpenMs      the store read and the player made
//   readyMs          the event loop's first wait after the first paint
//   playToChunkMs    Ctrl+Return on the paused sample to the first paint of the running playback
//   resumeToChunkMs  the same after a pause
//   playbackCpuPercent  the process's CPU time over the 10 s of playback, in % of one core
//   rssMiB           its resident memory after them
// startup-bench --smoke: one run per library, without the cold start (which drops the page cache of the
// whole machine), playing on for 1 s.
#include "support/CheckoutPaths.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

int g_runs = 10;
double g_playbackSeconds = 10;
bool g_coldStarts = true;

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "startup-bench: %s\n", what.c_str());
    std::exit(1);
}

long long monotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1'000'000'000LL + now.tv_nsec;
}

void sleepSeconds(double seconds) {
    ::usleep(static_cast<useconds_t>(seconds * 1e6));
}

// Runs a command to its end; its standard output.
std::string run(const std::string& command) {
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
        ::pclose(pipe);
    }
    return output;
}

// The marks of one trace file: each name with the times it was written, in order.
std::multimap<std::string, long long> readTrace(const std::string& path) {
    std::multimap<std::string, long long> marks;
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        const auto space = line.rfind(' ');
        if (space == std::string::npos) continue;
        marks.emplace(line.substr(0, space), std::atoll(line.c_str() + space + 1));
    }
    return marks;
}

std::vector<long long> marksOf(const std::string& path, const std::string& name) {
    std::vector<long long> times;
    const auto marks = readTrace(path);
    for (auto [it, end] = marks.equal_range(name); it != end; ++it) times.push_back(it->second);
    std::sort(times.begin(), times.end());
    return times;
}

// Waits until the trace holds `count` marks of `name`; their times.
std::vector<long long> awaitMarks(const std::string& path, const std::string& name, std::size_t count,
                                  double timeoutSeconds) {
    const long long deadline = monotonicNs() + static_cast<long long>(timeoutSeconds * 1e9);
    while (monotonicNs() < deadline) {
        auto times = marksOf(path, name);
        if (times.size() >= count) return times;
        ::usleep(2'000);
    }
    fail("no mark \"" + name + "\" in " + path);
}

// The process's user and system time, in seconds.
double cpuSeconds(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // The fields after the command's name, which is in parentheses and may hold spaces.
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int index = 3; fields >> field; ++index) {
        if (index == 14 || index == 15) ticks += std::atof(field.c_str());
        if (index == 15) break;
    }
    return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

double residentMiB(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(file, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) / 1024;
    }
    return 0;
}

// Drops the page cache; false where the system does not allow it.
bool dropPageCache() {
    ::sync();
    const int file = ::open("/proc/sys/vm/drop_caches", O_WRONLY);
    if (file < 0) return false;
    const bool dropped = ::write(file, "3\n", 2) == 2;
    ::close(file);
    return dropped;
}

struct Launch {
    pid_t pid = 0;
    long long startNs = 0;
    std::string folder;
    std::string trace;
};

// Fresh user folders, the settings at 7.5×, the library copied in when given; then tavrine, started now.
Launch launch(const std::string& library, bool cold) {
    char pattern[] = "/tmp/tavrine-startup-bench.XXXXXX";
    if (!::mkdtemp(pattern)) fail("cannot make a temporary folder");
    Launch started;
    started.folder = pattern;
    started.trace = started.folder + "/trace";
    const std::string config = started.folder + "/config", data = started.folder + "/data",
                      runtime = started.folder + "/runtime";
    run("mkdir -p '" + config + "/org.tavrine.Tavrine' '" + data + "/org.tavrine.Tavrine' '" + started.folder +
        "/cache' && mkdir -m 700 '" + runtime + "'");
    std::ofstream(config + "/org.tavrine.Tavrine/defaults.json") << "{\"reader.baseSeconds\": 0.04}\n";
    if (!library.empty()) run("cp -a '" + library + "/.' '" + data + "/org.tavrine.Tavrine/'");
    if (cold && !dropPageCache()) fail("cannot drop the page cache");

    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        const std::string variable = *entry;
        if (variable.rfind("XDG_", 0) == 0 || variable.rfind("TAVRINE_TRACE_FILE=", 0) == 0) continue;
        environment.push_back(variable);
    }
    environment.push_back("XDG_CONFIG_HOME=" + config);
    environment.push_back("XDG_DATA_HOME=" + data);
    environment.push_back("XDG_CACHE_HOME=" + started.folder + "/cache");
    environment.push_back("XDG_RUNTIME_DIR=" + runtime);
    environment.push_back("TAVRINE_TRACE_FILE=" + started.trace);
    std::vector<char*> pointers;
    for (auto& variable : environment) pointers.push_back(variable.data());
    pointers.push_back(nullptr);
    static const QByteArray executable = tavrine::test::inCheckoutEncoded(TAVRINE_EXECUTABLE);
    char* arguments[] = {const_cast<char*>(executable.constData()), nullptr};
    started.startNs = monotonicNs();
    if (::posix_spawn(&started.pid, executable.constData(), nullptr, nullptr, arguments, pointers.data()) != 0) {
        fail("cannot start tavrine");
    }
    return started;
}

void quit(Launch& started) {
    run("xdotool key --clearmodifiers ctrl+q");
    for (int i = 0; i < 200; ++i) {
        int status = 0;
        if (::waitpid(started.pid, &status, WNOHANG) == started.pid) {
            run("rm -rf '" + started.folder + "'");
            return;
        }
        ::usleep(50'000);
    }
    ::kill(started.pid, SIGKILL);
    ::waitpid(started.pid, nullptr, 0);
    run("rm -rf '" + started.folder + "'");
}

double sinceMs(long long from, long long to) {
    return static_cast<double>(to - from) / 1e6;
}

struct Figures {
    std::vector<double> coldWindow, window, storeOpen, ready, playToChunk, resumeToChunk, cpu, rss;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void key(const std::string& keys) {
    run("xdotool key --clearmodifiers " + keys);
}

// One measured run: start, open the sample, play, pause, resume and play on.
void measure(const std::string& library, Figures& figures) {
    Launch started = launch(library, false);
    const long long idle = awaitMarks(started.trace, "idle", 1, 30).front();
    figures.window.push_back(sinceMs(started.startNs, marksOf(started.trace, "window-painted").front()));
    figures.storeOpen.push_back(sinceMs(started.startNs, marksOf(started.trace, "store-opened").front()));
    figures.ready.push_back(sinceMs(started.startNs, idle));

    const std::string window = run("xdotool search --sync --onlyvisible --name '^Tavrine$' | head -1");
    run("xdotool windowactivate --sync " + window + " 2>/dev/null");
    // The start view's sample button stands in the middle of the reader column, which has the whole width.
    std::istringstream geometry(run("xdotool getwindowgeometry --shell " + window));
    std::map<std::string, int> values;
    for (std::string line; std::getline(geometry, line);) {
        const auto equals = line.find('=');
        if (equals != std::string::npos) values[line.substr(0, equals)] = std::atoi(line.c_str() + equals + 1);
    }
    run("xdotool mousemove " + std::to_string(values["X"] + values["WIDTH"] / 2) + " " +
        std::to_string(values["Y"] + values["HEIGHT"] / 2) + " click 1 mousemove " + std::to_string(values["X"] + 4) +
        " " + std::to_string(values["Y"] + values["HEIGHT"] - 4));
    sleepSeconds(0.5);

    key("ctrl+Return");
    const long long requested = awaitMarks(started.trace, "play-requested", 1, 5)[0];
    figures.playToChunk.push_back(sinceMs(requested, awaitMarks(started.trace, "chunk-shown", 1, 5)[0]));
    sleepSeconds(0.5);
    key("ctrl+Return");
    sleepSeconds(0.5);
    key("ctrl+Return");
    const long long resumed = awaitMarks(started.trace, "play-requested", 2, 5)[1];
    figures.resumeToChunk.push_back(sinceMs(resumed, awaitMarks(started.trace, "chunk-shown", 2, 5)[1]));

    const double cpuBefore = cpuSeconds(started.pid);
    const long long from = monotonicNs();
    std::size_t completions = 0;
    while (sinceMs(from, monotonicNs()) < g_playbackSeconds * 1000) {
        if (marksOf(started.trace, "completed").size() > completions) {
            ++completions;
            key("ctrl+Return");
        }
        ::usleep(20'000);
    }
    const double cpu = cpuSeconds(started.pid) - cpuBefore;
    figures.cpu.push_back(100 * cpu / (sinceMs(from, monotonicNs()) / 1000));
    figures.rss.push_back(residentMiB(started.pid));
    quit(started);
}

// A cold start: the window's first paint only.
std::optional<double> measureCold(const std::string& library) {
    if (!g_coldStarts || ::access("/proc/sys/vm/drop_caches", W_OK) != 0) return std::nullopt;
    Launch started = launch(library, true);
    awaitMarks(started.trace, "idle", 1, 60);
    const double window = sinceMs(started.startNs, marksOf(started.trace, "window-painted").front());
    quit(started);
    return window;
}

std::string number(const std::vector<double>& values, int digits = 1) {
    if (values.empty()) return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", digits, median(values));
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    const bool smoke = argc == 2 && std::strcmp(argv[1], "--smoke") == 0;
    if (argc > 1 && !smoke) {
        std::fprintf(stderr, "usage: startup-bench [--smoke]\n");
        return 2;
    }
    // On a private server of its own, so the figures compare run after run.
    if (!std::getenv("TAVRINE_STARTUP_BENCH_SERVER")) {
        ::setenv("TAVRINE_STARTUP_BENCH_SERVER", "1", 1);
        const QByteArray withXvfb = tavrine::test::inCheckoutEncoded(TAVRINE_WITH_XVFB);
        const char* arguments[] = {withXvfb.constData(), "--openbox", argv[0], smoke ? argv[1] : nullptr, nullptr};
        ::execv(withXvfb.constData(), const_cast<char* const*>(arguments));
        std::perror("startup-bench: with-xvfb");
        return 1;
    }
    if (smoke) {
        g_runs = 1;
        g_playbackSeconds = 1;
        g_coldStarts = false;
    }
    char pattern[] = "/tmp/tavrine-startup-library.XXXXXX";
    if (!::mkdtemp(pattern)) fail("cannot make a temporary folder");
    const std::string library = pattern;
    const std::string storeBench = tavrine::test::inCheckoutEncoded(STORE_BENCH).toStdString();
    if (std::system(("'" + storeBench + "' --write '" + library + "'").c_str()) != 0) {
        fail("store-bench could not write its library");
    }
    for (const auto& [name, folder] : {std::pair<std::string, std::string>{"empty", ""}, {"store-bench", library}}) {
        Figures figures;
        for (int i = 0; i < g_runs; ++i) {
            if (const auto cold = measureCold(folder)) figures.coldWindow.push_back(*cold);
            measure(folder, figures);
        }
        std::printf(
            "{\"library\":\"%s\",\"runs\":%d,\"coldWindowMs\":%s,\"windowMs\":%s,\"storeOpenMs\":%s,"
            "\"readyMs\":%s,\"playToChunkMs\":%s,\"resumeToChunkMs\":%s,\"playbackCpuPercent\":%s,"
            "\"rssMiB\":%s}\n",
            name.c_str(), g_runs, number(figures.coldWindow).c_str(), number(figures.window).c_str(),
            number(figures.storeOpen).c_str(), number(figures.ready).c_str(), number(figures.playToChunk).c_str(),
            number(figures.resumeToChunk, 2).c_str(), number(figures.cpu).c_str(), number(figures.rss).c_str());
        std::fflush(stdout);
    }
    run("rm -rf '" + library + "'");
    return 0;
}
