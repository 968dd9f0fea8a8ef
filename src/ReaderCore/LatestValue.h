#pragma once

#include "ReaderCore/OwnerThread.h"

#include <QObject>

#include <coroutine>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace tavrine {

template <typename T>
class LatestValue;

// The receiving end of one subscription to a LatestValue: it holds at most one undelivered value, which a
// newer one replaces. `co_await next()` yields the next value, or nothing once the source or this
// subscription has ended. Used (awaited and destroyed) on one thread that runs an event loop, the first
// that awaits or closes it (checked in debug builds); values are handed over from the source's thread
// through a queued call.
template <typename T>
class LatestValueSubscription {
    struct Slot {
        std::mutex mutex;
        std::optional<T> pending;
        bool ended = false;
        std::coroutine_handle<> waiter;
        QObject* context = nullptr;  // on the awaiting thread; wake-ups are posted to it

        // Under the lock: resumes a waiting coroutine on its own thread.
        void wakeLocked() {
            if (!waiter || !context) return;
            QMetaObject::invokeMethod(
                context, [handle = std::exchange(waiter, {})] { handle.resume(); }, Qt::QueuedConnection);
        }
    };

public:
    LatestValueSubscription(LatestValueSubscription&&) noexcept = default;
    LatestValueSubscription& operator=(LatestValueSubscription&&) noexcept = default;
    ~LatestValueSubscription() { close(); }

    // Ends the subscription: a waiting next() yields nothing, later values are not kept.
    void close() {
        if (!m_slot) return;
        m_thread->check("LatestValueSubscription::close");
        std::lock_guard lock(m_slot->mutex);
        m_slot->ended = true;
        m_slot->pending.reset();
        m_slot->wakeLocked();
        // The context dies with this subscription; nothing may post to it afterwards.
        m_slot->context = nullptr;
    }

    struct NextAwaiter {
        Slot* slot;
        std::unique_ptr<QObject>* context;

        bool await_ready() {
            std::lock_guard lock(slot->mutex);
            return slot->pending.has_value() || slot->ended;
        }
        bool await_suspend(std::coroutine_handle<> handle) {
            if (!*context) *context = std::make_unique<QObject>();
            std::lock_guard lock(slot->mutex);
            if (slot->pending.has_value() || slot->ended) return false;
            slot->context = context->get();
            slot->waiter = handle;
            return true;
        }
        std::optional<T> await_resume() {
            std::lock_guard lock(slot->mutex);
            return std::exchange(slot->pending, std::nullopt);
        }
    };

    NextAwaiter next() {
        m_thread->check("LatestValueSubscription::next");
        return NextAwaiter{m_slot.get(), &m_context};
    }

private:
    friend class LatestValue<T>;
    explicit LatestValueSubscription(std::shared_ptr<Slot> slot) : m_slot(std::move(slot)) {}

    std::shared_ptr<Slot> m_slot;
    std::unique_ptr<QObject> m_context;
    // The thread that awaits the subscription, which may not be the source's; held apart so that the
    // subscription stays movable.
    std::unique_ptr<OwnerThread> m_thread = std::make_unique<OwnerThread>();
};

// A broadcast of states to subscribers that each keep only the newest undelivered one. The source side
// (subscribe, send, subscriberCount) belongs to one thread, the first that calls it (checked in debug
// builds); a subscription may live on another. Destroying the source, on any thread once its owner is
// done with it, ends every subscription.
template <typename T>
class LatestValue {
    using Slot = typename LatestValueSubscription<T>::Slot;

public:
    LatestValue() = default;
    LatestValue(const LatestValue&) = delete;
    LatestValue& operator=(const LatestValue&) = delete;
    ~LatestValue() {
        for (auto& slot : m_slots) {
            std::lock_guard lock(slot->mutex);
            slot->ended = true;
            slot->wakeLocked();
        }
    }

    // A new subscription whose first value is `current`.
    LatestValueSubscription<T> subscribe(T current) {
        m_thread.check("LatestValue::subscribe");
        auto slot = std::make_shared<Slot>();
        slot->pending = std::move(current);
        m_slots.push_back(slot);
        return LatestValueSubscription<T>(std::move(slot));
    }

    // Hands `value` to every live subscription, replacing a value it has not taken yet.
    void send(const T& value) {
        m_thread.check("LatestValue::send");
        prune();
        for (auto& slot : m_slots) {
            std::lock_guard lock(slot->mutex);
            if (slot->ended) continue;
            slot->pending = value;
            slot->wakeLocked();
        }
    }

    // The number of subscriptions that have not ended; ended ones are dropped.
    qsizetype subscriberCount() {
        m_thread.check("LatestValue::subscriberCount");
        prune();
        return static_cast<qsizetype>(m_slots.size());
    }

private:
    void prune() {
        std::erase_if(m_slots, [](const std::shared_ptr<Slot>& slot) {
            std::lock_guard lock(slot->mutex);
            return slot->ended;
        });
    }

    std::vector<std::shared_ptr<Slot>> m_slots;
    OwnerThread m_thread;
};

}  // namespace tavrine
