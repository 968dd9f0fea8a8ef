#pragma once

#include "PelmoraMac/Updates/Updater.h"

namespace tavrine {

// The application's updater on Linux, where no update framework exists: the application does not update
// itself (updates come with the source and `make install`). It starts, but it can never check, and it keeps
// no preference, so both settings stay off and a toggle switched on goes back off.
class UnavailableUpdater final : public Updater {
    Q_OBJECT

public:
    using Updater::Updater;

    bool canCheckForUpdates() const override { return false; }
    bool automaticallyChecksForUpdates() const override { return false; }
    bool automaticallyDownloadsUpdates() const override { return false; }
    void setAutomaticallyChecksForUpdates(bool) override {}
    void setAutomaticallyDownloadsUpdates(bool) override {}
    void setSendsSystemProfile(bool) override {}
    bool startUpdater() override { return true; }
    void checkForUpdates() override {}
};

}  // namespace tavrine
