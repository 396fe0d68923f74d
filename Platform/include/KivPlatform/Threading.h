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

// Starts body on a new thread held by thread (which must not hold a running thread). S_OK, or
// the failure when no thread can be had (E_OUTOFMEMORY without memory for it, E_FAIL when the
// system refused one): body has not run and thread stays empty, so the caller can do the work
// itself or report the failure. body runs on the new thread and must let no exception out.
template <class Body>
HRESULT StartThread(std::thread& thread, Body&& body) noexcept
{
    return StatusFromExceptions([&] { thread = std::thread(std::forward<Body>(body)); });
}

} // namespace Kiv::Platform
