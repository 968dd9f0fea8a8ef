#pragma once

#include <QTimer>

#include <coroutine>

namespace tavrine {

// Resumes a suspended coroutine on a later turn of the calling thread's event loop, after the events
// already posted to it. A coroutine that resumes this way never runs inside the call that woke it.
inline void resumeOnNextTurn(std::coroutine_handle<> handle) {
    QTimer::singleShot(0, [handle] { handle.resume(); });
}

// `co_await NextEventLoopTurn{}` (a named local: see the note on awaiter temporaries in CONTRIBUTING.md)
// yields to the event loop once.
struct NextEventLoopTurn {
    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> handle) const { resumeOnNextTurn(handle); }
    void await_resume() const noexcept {}
};

}  // namespace tavrine
