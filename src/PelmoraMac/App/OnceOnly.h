#pragma once

#include "ReaderCore/MainThread.h"

#include <functional>
#include <memory>

namespace tavrine {

// An application-wide object made the first time it is read: the holder keeps a factory, the first get()
// runs it, and every later get() returns that same object. Owned by the application, main thread only.
template <typename T>
class OnceOnly {
public:
    using Factory = std::function<std::unique_ptr<T>()>;

    explicit OnceOnly(Factory factory) : m_factory(std::move(factory)) {}
    OnceOnly(const OnceOnly&) = delete;
    OnceOnly& operator=(const OnceOnly&) = delete;

    T& get() {
        Q_ASSERT(isMainThread());
        if (!m_object) {
            m_object = m_factory();
            m_factory = nullptr;
        }
        return *m_object;
    }
    // Whether anything has read it yet.
    bool exists() const { return m_object != nullptr; }

private:
    Factory m_factory;
    std::unique_ptr<T> m_object;
};

}  // namespace tavrine
