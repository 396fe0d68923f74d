// Thread identity and the critical section (a recursive lock). Thread-safe.
#pragma once

#include "KivPlatform/Types.h"

#include <mutex>

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

} // namespace Kiv::Platform
