#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTcpServer>

#include <chrono>
#include <functional>
#include <optional>

// What the capture-bench lines on a private X server share: waiting with the event loop turning, xdotool,
// the session's accessibility bus and a page server.
namespace tavrine::bench {

// How long one step of a line may take before the bench gives up on it (a browser started, a page shown, a
// window mapped, a capture ended): far more than a loaded machine needs, a limit for what never comes. Each
// step waits for its condition, never for a set time.
inline constexpr std::chrono::seconds kStepLimit{120};

// The smoke round's one time budget, for every process of it: its cases' checks are made again while a loaded
// machine misses a click or is slow to show a page, each for as long as a step may take, and some twenty cases
// doing so could together outlast CTest's limit of the round (300 s). Once the budget is spent every wait ends at
// once, a case still checking is said to be cut short and the rest are left out, no run under Xvfb being started
// (passesSpentBudget): the round still passes, for a machine too slow to run every case in the budget is no fault
// of the bench. A run that is still going is stopped kSmokeRoundGrace later (with-xvfb then ends it and its
// servers within about 25 s). 200 s, the grace and the teardown together stay under the limit; a round takes
// about 120–200 s on two busy cores. Measuring runs have no budget: their figures never depend on it.
inline constexpr std::chrono::seconds kSmokeRoundBudget{200};
inline constexpr std::chrono::seconds kSmokeRoundGrace{40};
// Starts the budget in the first process of a smoke round, or takes the end the process that started this one
// set (runs under Xvfb inherit it through the environment). Nothing outside a smoke round.
void beginSmokeRoundBudget();
// What is left of the smoke round's budget (nothing once spent); outside a smoke round, more than any step takes.
std::chrono::milliseconds smokeRoundLeft();
// The limit of one step: `limit`, or what is left of the smoke round's budget when that is less.
std::chrono::milliseconds boundedStep(std::chrono::milliseconds limit);
// Whether `what`, which could not be measured, was cut short or left out by the smoke round's budget running out:
// then it is said on stderr and answered true, the round going on, for a machine too slow for every case in the
// budget is no fault of the bench. A case that gives up with budget left (a step's own limit) is answered false
// and fails as before.
bool passesSpentBudget(const char* what);

// Whether the condition came to hold within the limit (bounded by the smoke round's budget); the event loop
// turns meanwhile.
bool waitFor(const std::function<bool()>& condition, std::chrono::seconds limit = kStepLimit);

// The output of xdotool, or nothing when it failed or took more than kStepLimit.
std::optional<QByteArray> xdotool(const QStringList& arguments);

// The id of the last shown window whose name matches the pattern, once there is one and it is active; none
// when none is within kStepLimit.
std::optional<QString> activateWindowNamed(const QString& pattern);

// The session's accessibility bus, switched on, for as long as the object lives.
class AccessibilityBusLauncher {
public:
    AccessibilityBusLauncher();
    ~AccessibilityBusLauncher();
    AccessibilityBusLauncher(const AccessibilityBusLauncher&) = delete;
    AccessibilityBusLauncher& operator=(const AccessibilityBusLauncher&) = delete;

private:
    QProcess m_launcher;
};

// Serves pages over http on the loopback interface, from the event loop: an article wants a web address.
// `page` answers a request's path.
class PageServer {
public:
    explicit PageServer(std::function<QByteArray(const QByteArray& path)> page);
    QString url(const QString& path) const;

private:
    QTcpServer m_server;
    std::function<QByteArray(const QByteArray&)> m_page;
};

}  // namespace tavrine::bench
