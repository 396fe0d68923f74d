#include "KivCommonLog.h"

namespace Kiv {

Kiv::Log::CModuleLog& CommonLog()
{
    static Kiv::Log::CModuleLog* const log = Kiv::Log::StartKivCommonLog().release();
    return *log;
}

} // namespace Kiv
