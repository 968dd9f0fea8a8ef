#pragma once

#include "ReaderCore/CancellationToken.h"
#include "ReaderCore/TaskHandle.h"

#include <QCoro/QCoroTask>
#include <QPointer>

#include <functional>

namespace tavrine {

class ReadingPlayer;

// What the application answers when asked to quit.
enum class TerminateReply {
    now,    // quit at once
    later,  // the delegate lets the application quit itself once the saves are done
};

// Makes quitting wait until the reading position and the library are safely on disk. Every way of asking
// to quit (the quit command, SIGTERM, SIGINT, SIGHUP) makes one request here. Before the reader window has
// been shown there is no player and the answer is "now". Otherwise the answer is "later": the
// application's stop hook and the player's own preparation run at once, then a task on the main thread
// waits for a running file import and for the player's queued saves, with the event loop running
// meanwhile, and only then lets the application quit. A request while that task runs is answered "later"
// and adds nothing; a started quit always completes, with no deadline.
//
// Owned by the application; main thread only. Destroying it abandons a wait in progress.
class ReaderAppDelegate final {
public:
    // What a granted quit does: the application's QCoreApplication::quit(), or a test's record of it.
    using Terminate = std::function<void()>;
    using Hook = std::function<void()>;
    using AsyncHook = std::function<QCoro::Task<void>()>;

    explicit ReaderAppDelegate(Terminate terminate);
    ReaderAppDelegate(const ReaderAppDelegate&) = delete;
    ReaderAppDelegate& operator=(const ReaderAppDelegate&) = delete;
    ~ReaderAppDelegate();

    // Set by the reader window's start-up, replaced by each later one.
    ReadingPlayer* player() const { return m_player; }
    void setPlayer(ReadingPlayer* player);
    // The application's stop hook: the document list, the capture and the hot keys stop.
    void setPrepareForTermination(Hook hook);
    // Waits for a running file import.
    void setFinishFileImport(AsyncHook hook);

    // A termination is under way; never cleared again.
    bool isFinishing() const { return m_isFinishing; }

    // The answer to a request to quit, starting the wait when it is "later".
    TerminateReply applicationShouldTerminate();
    // A request to quit: the application quits now or when the wait ends.
    void requestTermination();
    // Closing the reader window, the last window, leaves the application running.
    static constexpr bool applicationShouldTerminateAfterLastWindowClosed() { return false; }

private:
    static QCoro::Task<void> finish(QPointer<ReadingPlayer> player, AsyncHook finishFileImport, Terminate terminate,
                                    CancellationToken token);

    Terminate m_terminate;
    QPointer<ReadingPlayer> m_player;
    Hook m_prepareForTermination;
    AsyncHook m_finishFileImport;
    bool m_isFinishing = false;
    TaskHandle m_finishing;
};

}  // namespace tavrine
