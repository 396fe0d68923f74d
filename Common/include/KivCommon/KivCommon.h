// KivCommon's exported accessors. Each returns the library's single instance of a utility:
// never null, not counted, never freed by the caller. Link with libKivCommon.so.
#pragma once

#include "KivCommon/KivCommonExport.h"
#include "KivCommon/KivGeometry.h"

namespace Kiv {

KIVCOMMON_API IKivCommonUtil* GetKivCommonUtil();

} // namespace Kiv
