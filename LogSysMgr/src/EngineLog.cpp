#include "EngineLog.h"

namespace Kiv::LogSysMgr {

Kiv::Log::CModuleLog& EngineLog() noexcept
{
    // The address of this function locates the library file, beside which the settings are.
    static Kiv::Log::CModuleLog& log = Kiv::Log::StartedOrSilent(
        [] { return Kiv::Log::StartKivLogSysMgrLog(reinterpret_cast<const void*>(&EngineLog)); });
    return log;
}

} // namespace Kiv::LogSysMgr
