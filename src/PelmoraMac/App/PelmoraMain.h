#pragma once

#include <QProcessEnvironment>
#include <QString>

#include <optional>

namespace tavrine {

// The interactive process, from its arguments to its exit status: one application object, the one
// instance per store (a second process hands over to the first and ends), the application, its reader
// window shown, and the event loop until the application quits. Exit status 0, or 1 when there is no
// display to show a window on or when an instance runs on the same store but does not answer.
int runPelmoraApp(int argc, char** argv);

// The one line said instead of starting when an instance runs on the same store but does not answer,
// naming its process when known.
QString notRespondingMessage(std::optional<qint64> process);

// The one line said instead of starting when the environment names no display for the window system Qt
// would use; nothing when it names one, or names a platform that needs none (offscreen, minimal).
std::optional<QString> missingDisplayMessage(const QProcessEnvironment& environment);

}  // namespace tavrine
