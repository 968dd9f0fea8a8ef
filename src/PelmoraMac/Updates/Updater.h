#pragma once

#include "ReaderCore/MainThread.h"

#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>

namespace tavrine {

// How a new version reaches the user: through the updater, or only by building the source again and
// installing it (a system without an update framework, such as Linux).
enum class UpdateDelivery {
    updater,
    sourceBuild,
};

// What the update controller asks of the updater it owns: its own hooks, called by the updater.
class UpdaterDelegate {
public:
    virtual ~UpdaterDelegate() = default;

    // The system-profile keys the updater may send with a check.
    virtual QStringList allowedSystemProfileKeys() = 0;
    // Parameters the updater adds to its feed request.
    virtual QList<QPair<QString, QString>> feedParameters(bool sendingSystemProfile) = 0;
    // An update is ready and is to be installed when the application quits; true lets the updater do so.
    virtual bool willInstallUpdateOnQuit() = 0;
};

// An update framework as the update controller uses it: started once, three observable properties, the
// two preferences kept in its own settings, and a check the user asks for. The framework itself lies
// outside this system's code; the controller is written against this interface only.
//
// Main thread only. Each property's signal fires when its value changes, on the main thread.
class Updater : public QObject {
    Q_OBJECT

public:
    explicit Updater(QObject* parent = nullptr) : QObject(parent) { Q_ASSERT(isMainThread()); }

    virtual bool canCheckForUpdates() const = 0;
    virtual bool automaticallyChecksForUpdates() const = 0;
    virtual bool automaticallyDownloadsUpdates() const = 0;
    // The updater stores each preference in its own settings and reports it back through its signal.
    virtual void setAutomaticallyChecksForUpdates(bool checks) = 0;
    virtual void setAutomaticallyDownloadsUpdates(bool downloads) = 0;
    virtual void setSendsSystemProfile(bool sends) = 0;
    // Starts the updater; false when it cannot start.
    virtual bool startUpdater() = 0;
    // A check the user asked for, shown in the framework's own windows.
    virtual void checkForUpdates() = 0;

signals:
    void canCheckForUpdatesChanged();
    void automaticallyChecksForUpdatesChanged();
    void automaticallyDownloadsUpdatesChanged();
};

}  // namespace tavrine
