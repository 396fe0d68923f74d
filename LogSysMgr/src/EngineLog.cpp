#include "EngineLog.h"

namespace Kiv::LogSysMgr {

Kiv::Log::CModuleLog& EngineLog()
{
    // The address of this function locates the library file, beside which the settings are.
    static Kiv::Log::CModuleLog* const log =
        Kiv::Log::StartKivLogSysMgrLog(reinterpret_cast<const void*>(&EngineLog)).release();
    return *log;
}

} // namespace Kiv::LogSysMgr
