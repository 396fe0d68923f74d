// CCriticalSection: the tracing library's recursive lock as a counted ILock. Thread-safe.
#pragma once

#include "KivLog/LogInterfaces.h"
#include "KivLog/Unknown.h"

#include "KivPlatform/Threading.h"

namespace Kiv::Log::Common {

class CCriticalSection : public CUnknown<ILock> {
public:
    LONG Lock() override
    {
        m_section.Enter();
        return 1;
    }
    LONG Unlock() override
    {
        m_section.Leave();
        return 0;
    }

    // For std::lock_guard.
    void lock() { Lock(); }
    void unlock() { Unlock(); }

private:
    Platform::CriticalSection m_section;
};

} // namespace Kiv::Log::Common
