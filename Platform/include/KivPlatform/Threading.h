// Thread identity, the critical section (a recursive lock) and starting a thread without an
// exception when none can be had. Thread-safe.
#pragma once

#include "KivPlatform/Boundary.h"
#include "KivPlatform/Types.h"

#include <mutex>
#include <thread>
#include <utility>

// The calling thread's identifier: the Linux thread id, which fits 32 bits.
DWORD GetCurrentThreadId();

namespace Kiv::Platform {

// A lock the owning thread may take again; usable with std::lock_guard and std::scoped_lock.
class CriticalSection {
public:
    void Enter() { m_mutex.lock(); }
    void Leave() { m_mutex.unlock(); }
    bool TryEnter() { return m_mutex.try_lock(); }

    void lock() { Enter(); }
    void unlock() { Leave(); }

private:
    std::recursive_mutex m_mutex;
};

// Starts body on a new thread held by thread (which must not hold a running thread). False when
// no thread can be had (the system refused one, or there was no memory for it): body has not
// run and thread stays empty, so the caller can do the work itself or report the failure.
template <class Body>
bool TryStartThread(std::thread& thread, Body&& body) noexcept
{
    return SUCCEEDED(StatusFromExceptions([&] { thread = std::thread(std::forward<Body>(body)); }));
}

} // namespace Kiv::Platform
