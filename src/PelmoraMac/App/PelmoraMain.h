#pragma once

#include <QProcessEnvironment>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QMessageBox;

namespace tavrine {

// The interactive process, from its arguments to its exit status: one application object, the one
// instance per store (a second process hands over to the first and ends), the application, its reader
// window shown, and the event loop until the application quits. Exit status 0, or 1 when there is no
// display to show a window on or when an instance runs on the same store but does not answer (said on
// stderr and in a message window that the user closes). A store that does not open is said on stderr,
// and the application runs without it.
int runPelmoraApp(int argc, char** argv);

// The one line said instead of starting when an instance runs on the same store but does not answer,
// naming its process when known.
QString notRespondingMessage(std::optional<qint64> process);

// The window that also shows that refusal, for a launch from the desktop's menu, where nobody reads
// stderr: a small warning in Japanese with an OK button.
std::unique_ptr<QMessageBox> makeNotRespondingWindow(std::optional<qint64> process);

// What stderr says of a store that did not open: the notice's text and its details, line by line.
QString storeRefusalMessage(const QString& details);

// The one line said instead of starting when the environment names no display for the window system Qt
// will use (X11 unless QT_QPA_PLATFORM names another), or names an X display (or a screen of one) that
// refusal says why it cannot be opened; nothing when it names one that opens, or names a platform that
// needs none (offscreen, minimal).
std::optional<QString> missingDisplayMessage(const QProcessEnvironment& environment,
                                             const std::function<std::optional<QString>(const QString&)>& refusal);

}  // namespace tavrine
