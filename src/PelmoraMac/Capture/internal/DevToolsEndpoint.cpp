#include "PelmoraMac/Capture/internal/DevToolsEndpoint.h"

#include "ReaderCore/RegularFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include <algorithm>

namespace tavrine {
using namespace Qt::StringLiterals;
namespace {

// The most that is read of a command line or an environment.
constexpr qint64 kProcessFileLimit = 1 << 20;
// The most that a DevToolsActivePort file holds: a port and a browser path.
constexpr qint64 kActivePortFileLimit = 4096;

QByteArray readProcessFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.read(kProcessFileLimit);
}

// The NUL-separated entries of a command line or an environment.
QByteArrayList entriesOf(const QByteArray& content) {
    QByteArrayList entries = content.split('\0');
    if (!entries.isEmpty() && entries.last().isEmpty()) entries.removeLast();
    return entries;
}

// "host:display" of a display name: ":0.0" and ":0" are the same display.
QByteArray displayWithoutScreen(const QByteArray& display) {
    const qsizetype colon = display.lastIndexOf(':');
    const qsizetype dot = display.indexOf('.', colon + 1);
    return colon >= 0 && dot > colon ? display.left(dot) : display;
}

// The arguments of a command line. Chromium replaces its command line with its process title, the
// arguments joined by spaces: such a line is split at its spaces again (`retitled`), which cuts a path
// with a space in it into words (profileReadings).
QByteArrayList argumentsOf(const QByteArray& commandLine, bool* retitled) {
    const QByteArrayList arguments = entriesOf(commandLine);
    *retitled = arguments.size() == 1;
    if (!*retitled) return arguments;
    return arguments.first().split(' ');
}

bool isSwitch(const QByteArray& argument) {
    return argument.startsWith('-');
}

// The switches of a command line (later ones win, as in the browser; nothing after "--" is a switch),
// by name without their dashes.
QHash<QByteArray, QByteArray> switchesOf(const QByteArrayList& arguments) {
    QHash<QByteArray, QByteArray> switches;
    for (qsizetype index = 1; index < arguments.size(); ++index) {
        const QByteArray& argument = arguments[index];
        if (argument == "--") break;
        qsizetype start = 0;
        if (argument.startsWith("--")) {
            start = 2;
        } else if (argument.startsWith('-')) {
            start = 1;
        } else {
            continue;
        }
        const qsizetype equals = argument.indexOf('=', start);
        if (equals < 0) {
            switches.insert(argument.mid(start), QByteArray());
        } else {
            switches.insert(argument.mid(start, equals - start), argument.mid(equals + 1));
        }
    }
    return switches;
}

std::optional<int> decimalPort(const QByteArray& text, int lowest) {
    static const QRegularExpression digits(u"^[0-9]{1,5}$"_s);
    if (!digits.match(QString::fromLatin1(text)).hasMatch()) return std::nullopt;
    const int port = text.toInt();
    if (port < lowest || port > 65535) return std::nullopt;
    return port;
}

// Whether the entries are an environment: NAME=value each, the name made of letters, digits and
// underscores.
bool isEnvironment(const QByteArrayList& entries) {
    static const QRegularExpression variable(u"^[A-Za-z_][A-Za-z0-9_]*="_s);
    return std::all_of(entries.cbegin(), entries.cend(), [](const QByteArray& entry) {
        return entry.isEmpty() || variable.match(QString::fromLatin1(entry.left(256))).hasMatch();
    });
}

// The parent of a process, from the fourth field of its stat file (after the name in parentheses,
// which may hold anything); 0 when it is unknown.
pid_t parentOf(const QString& processRoot, pid_t pid) {
    const QByteArray stat = readProcessFile(processRoot + u'/' + QString::number(pid) + u"/stat"_s);
    const QByteArrayList fields = stat.mid(stat.lastIndexOf(')') + 1).simplified().split(' ');
    return fields.size() >= 2 ? pid_t(fields[1].toInt()) : 0;
}

// How many generations up the environment of a process is looked for.
constexpr int kEnvironmentAncestors = 8;

// The environment that a browser was started with. Chromium writes its process title over the
// environment that /proc shows (what is left there may even look like variables), so it is the
// environment of the process that started it, or of the nearest ancestor that holds one; nothing when
// none is readable before the first process of the system.
std::optional<QByteArrayList> startingEnvironment(const QString& processRoot, pid_t browser) {
    pid_t pid = parentOf(processRoot, browser);
    for (int generation = 0; generation < kEnvironmentAncestors && pid > 1; ++generation) {
        QFile file(processRoot + u'/' + QString::number(pid) + u"/environ"_s);
        if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
        QByteArrayList entries = entriesOf(file.read(kProcessFileLimit));
        entries.removeAll(QByteArray());
        if (isEnvironment(entries)) return entries;
        pid = parentOf(processRoot, pid);
    }
    return std::nullopt;
}

QByteArray variableOf(const QByteArrayList& environment, const QByteArray& name) {
    const QByteArray prefix = name + '=';
    for (const QByteArray& entry : environment) {
        if (entry.startsWith(prefix)) return entry.mid(prefix.size());
    }
    return {};
}

// The browser's default profile folder: "chromium", or Google Chrome's folder named after its
// installation ("chrome-beta" → "google-chrome-beta"), in the browser's own configuration folder.
QString defaultProfileFolder(const QString& executablePath, const QByteArrayList& environment) {
    QString configuration = QFile::decodeName(variableOf(environment, "XDG_CONFIG_HOME"));
    if (!QDir::isAbsolutePath(configuration)) {
        const QString home = QFile::decodeName(variableOf(environment, "HOME"));
        if (!QDir::isAbsolutePath(home)) return {};
        configuration = home + u"/.config"_s;
    }
    const QFileInfo executable(executablePath);
    QString name = u"chromium"_s;
    if (executable.fileName() == u"chrome"_s) {
        const QString installation = executable.dir().dirName();
        name = installation.startsWith(u"chrome"_s) ? u"google-"_s + installation : u"google-chrome"_s;
    }
    return configuration + u'/' + name;
}

// What the --user-data-dir of a command line may be: its value; for a line split at its spaces, also
// that value joined again with each following word that is no switch, in turn (the next word may as
// well be the address of a page to open). Empty without the switch.
QStringList profileReadings(const QByteArrayList& arguments, bool retitled) {
    qsizetype index = -1;
    for (qsizetype position = 1; position < arguments.size() && arguments[position] != "--"; ++position) {
        if (arguments[position].startsWith("--user-data-dir=") || arguments[position].startsWith("-user-data-dir=")) {
            index = position;
        }
    }
    if (index < 0) return {};
    QByteArray reading = arguments[index].mid(arguments[index].indexOf('=') + 1);
    if (reading.isEmpty()) return {};
    QStringList readings{QFile::decodeName(reading)};
    for (qsizetype next = index + 1; retitled && next < arguments.size() && !isSwitch(arguments[next]); ++next) {
        reading += ' ' + arguments[next];
        readings.append(QFile::decodeName(reading));
    }
    return readings;
}

// The files the process holds open, as the paths their links in `folder`/fd name; none when they cannot
// be read (another user's process).
QStringList openFilesOf(const QString& folder) {
    const QDir descriptors(folder + u"/fd"_s);
    QStringList files;
    for (const QString& descriptor : descriptors.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        const QString target = QFile::symLinkTarget(descriptors.filePath(descriptor));
        if (target.startsWith(u'/') && !target.startsWith(descriptors.path())) files.append(target);
    }
    return files;
}

// The browser's profile among the readings of its --user-data-dir: the longest under which it holds a
// file open (Chromium keeps the profile's databases open while it runs), else the shortest, the value
// up to its first space.
// A relative reading is in the browser's working folder. Empty when the profile cannot be told.
QString profileOf(const QString& folder, const QStringList& readings) {
    const auto absolute = [&](const QString& reading) -> QString {
        if (QDir::isAbsolutePath(reading)) return reading;
        const QString workingFolder = QFile::symLinkTarget(folder + u"/cwd"_s);
        return workingFolder.isEmpty() ? QString() : QDir(workingFolder).filePath(reading);
    };
    if (readings.size() > 1) {
        const QStringList openFiles = openFilesOf(folder);
        for (qsizetype index = readings.size() - 1; index >= 0 && !openFiles.isEmpty(); --index) {
            const QString profile = absolute(readings[index]);
            if (profile.isEmpty()) continue;
            // The links name the files by their real paths.
            const QString real = QFileInfo(profile).canonicalFilePath();
            const bool holds = std::any_of(openFiles.cbegin(), openFiles.cend(), [&](const QString& file) {
                return file.startsWith(profile + u'/') || (!real.isEmpty() && file.startsWith(real + u'/'));
            });
            if (holds) return profile;
        }
    }
    return readings.isEmpty() ? QString() : absolute(readings.first());
}

// This process's own HOME and XDG_CONFIG_HOME, for a browser whose starting environment is gone: a
// browser that the user runs shares them.
QByteArrayList ownEnvironment() {
    QByteArrayList environment;
    for (const char* name : {"HOME", "XDG_CONFIG_HOME"}) {
        if (qEnvironmentVariableIsSet(name)) environment.append(QByteArray(name) + '=' + qgetenv(name));
    }
    return environment;
}

// The browser of process `pid` and its port. With `display`, the browser must have been started on that
// display; without, any starting environment will do.
std::optional<DevToolsEndpoint> endpointOf(const QString& processRoot, pid_t pid, const QByteArray* display) {
    const QString folder = processRoot + u'/' + QString::number(pid);
    QString executable = QFile::symLinkTarget(folder + u"/exe"_s);
    // A browser that was upgraded while it ran still runs its old file.
    if (executable.endsWith(u" (deleted)"_s)) executable.chop(10);
    const QString name = QFileInfo(executable).fileName();
    if (name != u"chromium"_s && name != u"chrome"_s) return std::nullopt;

    bool retitled = false;
    const QByteArrayList arguments = argumentsOf(readProcessFile(folder + u"/cmdline"_s), &retitled);
    const auto switches = switchesOf(arguments);
    if (switches.contains("type")) return std::nullopt;
    // Without the switch the browser may still listen, when the user switched remote debugging on in
    // it: its profile tells the port.
    int port = 0;
    if (const auto portSwitch = switches.constFind("remote-debugging-port"); portSwitch != switches.constEnd()) {
        const std::optional<int> given = decimalPort(portSwitch.value(), 0);
        if (!given) return std::nullopt;
        port = *given;
    }

    const std::optional<QByteArrayList> found = startingEnvironment(processRoot, pid);
    if (display) {
        if (!found) return std::nullopt;
        if (displayWithoutScreen(variableOf(*found, "DISPLAY")) != displayWithoutScreen(*display)) return std::nullopt;
    }
    if (port > 0) return DevToolsEndpoint{.pid = pid, .port = quint16(port)};

    const QStringList readings = profileReadings(arguments, retitled);
    const QString profile = readings.isEmpty() ? defaultProfileFolder(executable, found.value_or(ownEnvironment()))
                                               : profileOf(folder, readings);
    if (profile.isEmpty()) return std::nullopt;
    // The profile is the user's folder, and anything may stand in it under that name: a FIFO opened as a
    // file would hold the capture until its deadline.
    const auto content = readRegularFile(profile + u"/DevToolsActivePort"_s, kActivePortFileLimit);
    const auto active = content ? parseDevToolsActivePort(*content) : std::nullopt;
    if (!active) return std::nullopt;
    return DevToolsEndpoint{.pid = pid, .port = active->port, .browserPath = active->browserPath};
}

QList<pid_t> processesIn(const QString& processRoot) {
    QList<pid_t> processes;
    for (const QString& name : QDir(processRoot).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool isNumber = false;
        const int pid = name.toInt(&isNumber);
        if (isNumber && pid > 0) processes.append(pid_t(pid));
    }
    std::sort(processes.begin(), processes.end());
    return processes;
}

// How many generations away from the front window's process a browser is looked for.
constexpr int kRelativeGenerations = 8;

// The process, then its relatives by distance: at each distance its descendants (by process id), then
// its ancestor, up to the first process of the system (not included).
QList<pid_t> relativesNearestFirst(const QString& processRoot, pid_t process) {
    QHash<pid_t, QList<pid_t>> children;
    for (const pid_t pid : processesIn(processRoot)) children[parentOf(processRoot, pid)].append(pid);
    QList<pid_t> relatives{process};
    QList<pid_t> generation{process};
    pid_t ancestor = process;
    for (int distance = 1; distance <= kRelativeGenerations; ++distance) {
        QList<pid_t> next;
        for (const pid_t pid : std::as_const(generation)) next.append(children.value(pid));
        std::sort(next.begin(), next.end());
        relatives.append(next);
        generation = std::move(next);
        if (ancestor > 1) {
            ancestor = parentOf(processRoot, ancestor);
            if (ancestor > 1 && !relatives.contains(ancestor)) relatives.append(ancestor);
        }
    }
    return relatives;
}

}  // namespace

bool isDevToolsBrowserPath(const QString& path) {
    static const QRegularExpression browserPath(u"^/devtools/browser/[A-Za-z0-9-]+$"_s);
    return browserPath.match(path).hasMatch();
}

std::optional<DevToolsActivePort> parseDevToolsActivePort(const QByteArray& content) {
    const QByteArrayList lines = content.split('\n');
    if (lines.size() < 2 || (lines.size() > 2 && !(lines.size() == 3 && lines[2].isEmpty()))) return std::nullopt;
    const std::optional<int> port = decimalPort(lines[0], 1);
    const QString path = QString::fromLatin1(lines[1]);
    if (!port || !isDevToolsBrowserPath(path)) return std::nullopt;
    return DevToolsActivePort{.port = quint16(*port), .browserPath = path};
}

QList<DevToolsEndpoint> findDevToolsEndpoints(const DevToolsEndpointSearch& search) {
    QList<DevToolsEndpoint> endpoints;
    if (search.process) {
        if (*search.process <= 0) return endpoints;
        // Mostly the window's own process is the browser: its relatives are read only when it is not.
        if (auto endpoint = endpointOf(search.processRoot, *search.process, nullptr)) return {std::move(*endpoint)};
        for (const pid_t pid : relativesNearestFirst(search.processRoot, *search.process).sliced(1)) {
            if (auto endpoint = endpointOf(search.processRoot, pid, nullptr)) {
                endpoints.append(std::move(*endpoint));
                break;
            }
        }
        return endpoints;
    }
    for (const pid_t pid : processesIn(search.processRoot)) {
        if (auto endpoint = endpointOf(search.processRoot, pid, &search.display))
            endpoints.append(std::move(*endpoint));
    }
    return endpoints;
}

}  // namespace tavrine
