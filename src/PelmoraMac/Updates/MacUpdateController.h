#pragma once

#include "PelmoraMac/Updates/Updater.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace tavrine {

// The application's side of updating: it owns the updater, starts it once per process (never under a
// test host), mirrors three of its properties for the settings pane and the menu, writes the user's two
// update preferences back to it, offers a manual check, and serves as the updater's delegate. The system
// keeps no update setting of its own: both preferences live in the updater.
//
// Owned by the application for its whole run; main thread only, which every entry asserts.
class MacUpdateController final : public QObject, public UpdaterDelegate {
    Q_OBJECT
    Q_PROPERTY(bool canCheckForUpdates READ canCheckForUpdates NOTIFY canCheckForUpdatesChanged)
    Q_PROPERTY(bool automaticallyChecks READ automaticallyChecks NOTIFY automaticallyChecksChanged)
    Q_PROPERTY(bool automaticallyDownloads READ automaticallyDownloads NOTIFY automaticallyDownloadsChanged)

public:
    // Makes the updater, not yet started, with its delegate.
    using UpdaterFactory = std::function<std::unique_ptr<Updater>(UpdaterDelegate& delegate)>;

    // The environment variable that marks a process run by a test host; its value does not matter.
    static constexpr char kTestHostVariable[] = "XCTestConfigurationFilePath";
    static const QString kStartFailureMessage;
    static const QString kInstallOnQuitMessage;

    // isTestHost is asked once, at the first start(); the default reads kTestHostVariable. delivery says
    // whether the updater can bring a new version at all, which the settings pane tells the user.
    explicit MacUpdateController(UpdaterFactory makeUpdater, std::function<bool()> isTestHost = &runsUnderTestHost,
                                 UpdateDelivery delivery = UpdateDelivery::updater, QObject* parent = nullptr);
    ~MacUpdateController() override;

    static bool runsUnderTestHost();

    UpdateDelivery delivery() const { return m_delivery; }
    bool canCheckForUpdates() const { return m_canCheckForUpdates; }
    bool automaticallyChecks() const { return m_automaticallyChecks; }
    bool automaticallyDownloads() const { return m_automaticallyDownloads; }
    // A message for the user; once set, it stays.
    const std::optional<QString>& status() const { return m_status; }
    // The updater was made: start() ran outside a test host.
    bool hasUpdater() const { return m_updater != nullptr; }

    // Makes and starts the updater the first time; every later call returns at once. A failure to start
    // is reported only through status().
    void start();
    // A check asked for by the user; nothing unless a check can be made now.
    void checkForUpdates();
    // The settings' toggles: each writes the updater's preference, and the mirrored value follows what the
    // updater reports back. Without an updater nothing changes, so a toggle returns to the value shown.
    void setAutomaticallyChecks(bool checks);
    void setAutomaticallyDownloads(bool downloads);

    // The updater's delegate: no system profile, no feed parameters, and an update ready to install when
    // the application quits is let through and announced in status().
    QStringList allowedSystemProfileKeys() override;
    QList<QPair<QString, QString>> feedParameters(bool sendingSystemProfile) override;
    bool willInstallUpdateOnQuit() override;

signals:
    void canCheckForUpdatesChanged();
    void automaticallyChecksChanged();
    void automaticallyDownloadsChanged();
    void statusChanged();

private:
    void readUpdater();
    void setStatus(QString status);

    UpdaterFactory m_makeUpdater;
    std::function<bool()> m_isTestHost;
    UpdateDelivery m_delivery;
    bool m_canCheckForUpdates = false;
    bool m_automaticallyChecks = false;
    bool m_automaticallyDownloads = false;
    std::optional<QString> m_status;
    std::unique_ptr<Updater> m_updater;
    bool m_started = false;
};

}  // namespace tavrine
