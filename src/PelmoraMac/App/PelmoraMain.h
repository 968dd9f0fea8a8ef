#pragma once

#include <QProcessEnvironment>
#include <QString>

#include <optional>

namespace tavrine {

// The interactive process, from its arguments to its exit status: one application object, the one
// instance per store (a second process hands over to the first and ends), the application, its reader
// window shown, and the event loop until the application quits. Exit status 0, or 1 when there is no
// display to show a window on.
int runPelmoraApp(int argc, char** argv);

// The one line said instead of starting when the environment names no display for the window system Qt
// would use; nothing when it names one, or names a platform that needs none (offscreen, minimal).
std::optional<QString> missingDisplayMessage(const QProcessEnvironment& environment);

}  // namespace tavrine
