#include "KivCommonLog.h"

namespace Kiv {

Kiv::Log::CModuleLog& CommonLog() noexcept
{
    static Kiv::Log::CModuleLog& log = Kiv::Log::StartedOrSilent(&Kiv::Log::StartKivCommonLog);
    return log;
}

} // namespace Kiv
