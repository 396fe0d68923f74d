// The engine's one export: everything else is reached through the interfaces of the manager it
// creates (KivLogSysInterfaces.h). Link with libKivLogSysMgr.so.
#pragma once

#include "KivLogSysMgr/KivLogSysInterfaces.h"

#define KIVLOGSYSMGR_API __attribute__((visibility("default")))

class KIVLOGSYSMGR_API CKivLogSysMgr {
public:
    // Creates an engine: E_INVALIDARG for a null out pointer, E_FAIL when it cannot be made;
    // otherwise the caller owns the one reference in *manager.
    static HRESULT CreateLogSysMgr(IKivLogSysMgr** manager);

private:
    CKivLogSysMgr() = default;
};
