// CCriticalSection: the tracing library's recursive lock as a counted ILock, and CLockGuard,
// which holds such a lock (or a log's or an output's) for a scope. Thread-safe.
#pragma once

#include "KivLog/LogInterfaces.h"
#include "KivLog/Unknown.h"

#include "KivPlatform/Threading.h"

namespace Kiv::Log::Common {

class CCriticalSection : public CUnknown<ILock> {
public:
    LONG Lock() noexcept override
    {
        m_section.Enter();
        return 1;
    }
    LONG Unlock() noexcept override
    {
        m_section.Leave();
        return 0;
    }

private:
    Platform::CriticalSection m_section;
};

// Holds a lock of this library for as long as it lives: a CCriticalSection or any ILock, or a
// log or an output, whose Lock and Unlock take their own locks.
template <class Lockable>
class CLockGuard {
public:
    explicit CLockGuard(Lockable& lockable) noexcept : m_lockable(lockable) { m_lockable.Lock(); }
    ~CLockGuard() { m_lockable.Unlock(); }
    CLockGuard(const CLockGuard&) = delete;
    CLockGuard& operator=(const CLockGuard&) = delete;

private:
    Lockable& m_lockable;
};

} // namespace Kiv::Log::Common
