// KivCommon's exported accessors. Each returns the library's single instance of a utility:
// never null, not counted, never freed by the caller. Link with libKivCommon.so. The XML, panel
// layout, HTTP message, memory, socket, registry, service, image and identifier accessors are
// declared with their interfaces.
#pragma once

#include "KivCommon/KivCommonExport.h"
#include "KivCommon/KivGenId.h"
#include "KivCommon/KivGeometry.h"
#include "KivCommon/KivHttp.h"
#include "KivCommon/KivImage.h"
#include "KivCommon/KivMemory.h"
#include "KivCommon/KivNTService.h"
#include "KivCommon/KivRegistry.h"
#include "KivCommon/KivResizePanel.h"
#include "KivCommon/KivSocket.h"
#include "KivCommon/KivXML.h"

namespace Kiv {

KIVCOMMON_API IKivCommonUtil* GetKivCommonUtil();

} // namespace Kiv
