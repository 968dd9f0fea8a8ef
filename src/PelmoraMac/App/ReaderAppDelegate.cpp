#include "PelmoraMac/App/ReaderAppDelegate.h"

#include "ReaderCore/MainThread.h"
#include "ReaderUI/Player/ReadingPlayer.h"

namespace tavrine {

ReaderAppDelegate::ReaderAppDelegate(Terminate terminate) : m_terminate(std::move(terminate)) {}

ReaderAppDelegate::~ReaderAppDelegate() = default;

void ReaderAppDelegate::setPlayer(ReadingPlayer* player) {
    Q_ASSERT(isMainThread());
    m_player = player;
}

void ReaderAppDelegate::setPrepareForTermination(Hook hook) {
    Q_ASSERT(isMainThread());
    m_prepareForTermination = std::move(hook);
}

void ReaderAppDelegate::setFinishFileImport(AsyncHook hook) {
    Q_ASSERT(isMainThread());
    m_finishFileImport = std::move(hook);
}

TerminateReply ReaderAppDelegate::applicationShouldTerminate() {
    Q_ASSERT(isMainThread());
    // Without a player nothing was ever shown, so nothing can be waiting to be saved.
    if (!m_player) return TerminateReply::now;
    if (m_isFinishing) return TerminateReply::later;
    m_isFinishing = true;
    if (m_prepareForTermination) m_prepareForTermination();
    m_player->prepareForTermination();
    m_finishing.start([this](CancellationToken token) {
        return finish(m_player, m_finishFileImport, m_terminate, std::move(token));
    });
    return TerminateReply::later;
}

void ReaderAppDelegate::requestTermination() {
    Q_ASSERT(isMainThread());
    if (applicationShouldTerminate() == TerminateReply::now) m_terminate();
}

QCoro::Task<void> ReaderAppDelegate::finish(QPointer<ReadingPlayer> player, AsyncHook finishFileImport,
                                            Terminate terminate, CancellationToken token) {
    if (finishFileImport) {
        auto importing = finishFileImport();
        co_await importing;
        if (token.isCancelled()) co_return;
    }
    // The application destroys the player only after it has quit.
    if (player) {
        auto saving = player->finishPersistence();
        co_await saving;
        if (token.isCancelled()) co_return;
    }
    terminate();
}

}  // namespace tavrine
