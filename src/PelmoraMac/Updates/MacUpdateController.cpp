#include "PelmoraMac/Updates/MacUpdateController.h"

#include "ReaderCore/MainThread.h"
#include "ReaderUI/PropertyWrite.h"

namespace tavrine {
using namespace Qt::StringLiterals;

const QString MacUpdateController::kStartFailureMessage =
    u"更新の確認を開始できませんでした。アプリを再起動して再試行してください。"_s;
const QString MacUpdateController::kInstallOnQuitMessage =
    u"アップデートの準備ができました。Tavrineを通常終了した後に適用します。適用までは新しい更新確認を待ちます。"_s;

MacUpdateController::MacUpdateController(UpdaterFactory makeUpdater, std::function<bool()> isTestHost,
                                         UpdateDelivery delivery, QObject* parent)
    : QObject(parent),
      m_makeUpdater(std::move(makeUpdater)),
      m_isTestHost(std::move(isTestHost)),
      m_delivery(delivery) {
    Q_ASSERT(isMainThread());
}

MacUpdateController::~MacUpdateController() = default;

bool MacUpdateController::runsUnderTestHost() {
    return qEnvironmentVariableIsSet(kTestHostVariable);
}

void MacUpdateController::start() {
    Q_ASSERT(isMainThread());
    if (m_started) return;
    // Set before anything else, so that whatever happens below, later calls return at once.
    m_started = true;
    if (m_isTestHost()) return;
    m_updater = m_makeUpdater(*this);
    m_updater->setSendsSystemProfile(false);
    connect(m_updater.get(), &Updater::canCheckForUpdatesChanged, this, &MacUpdateController::readUpdater);
    connect(m_updater.get(), &Updater::automaticallyChecksForUpdatesChanged, this, &MacUpdateController::readUpdater);
    connect(m_updater.get(), &Updater::automaticallyDownloadsUpdatesChanged, this, &MacUpdateController::readUpdater);
    // The values now, before any change is announced.
    readUpdater();
    if (!m_updater->startUpdater()) setStatus(kStartFailureMessage);
}

void MacUpdateController::readUpdater() {
    Q_ASSERT(isMainThread());
    writeProperty(this, m_canCheckForUpdates, m_updater->canCheckForUpdates(),
                  &MacUpdateController::canCheckForUpdatesChanged);
    writeProperty(this, m_automaticallyChecks, m_updater->automaticallyChecksForUpdates(),
                  &MacUpdateController::automaticallyChecksChanged);
    writeProperty(this, m_automaticallyDownloads, m_updater->automaticallyDownloadsUpdates(),
                  &MacUpdateController::automaticallyDownloadsChanged);
}

void MacUpdateController::checkForUpdates() {
    Q_ASSERT(isMainThread());
    if (m_canCheckForUpdates && m_updater) m_updater->checkForUpdates();
}

void MacUpdateController::setAutomaticallyChecks(bool checks) {
    Q_ASSERT(isMainThread());
    if (m_updater) m_updater->setAutomaticallyChecksForUpdates(checks);
}

void MacUpdateController::setAutomaticallyDownloads(bool downloads) {
    Q_ASSERT(isMainThread());
    if (m_updater) m_updater->setAutomaticallyDownloadsUpdates(downloads);
}

QStringList MacUpdateController::allowedSystemProfileKeys() {
    Q_ASSERT(isMainThread());
    return {};
}

QList<QPair<QString, QString>> MacUpdateController::feedParameters(bool) {
    Q_ASSERT(isMainThread());
    return {};
}

bool MacUpdateController::willInstallUpdateOnQuit() {
    Q_ASSERT(isMainThread());
    setStatus(kInstallOnQuitMessage);
    return true;
}

void MacUpdateController::setStatus(QString status) {
    writeProperty(this, m_status, std::optional(std::move(status)), &MacUpdateController::statusChanged);
}

}  // namespace tavrine
