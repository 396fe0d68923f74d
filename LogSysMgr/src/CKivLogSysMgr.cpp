#include "KivLogSysMgr/KivLogSysMgr.h"

#include "CKivLogSysFactory.h"
#include "EngineLog.h"

#include "KivObject/ComPtr.h"

HRESULT CKivLogSysMgr::CreateLogSysMgr(IKivLogSysMgr** manager)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysMgr::CreateLogSysMgr", hr, E_INVALIDARG);
    if (manager == nullptr) {
        return hr;
    }
    Kiv::CComPtr<IKivLogSysMgr> created;
    if (FAILED(CKivLogSysFactory::CreateLogSysMgr(&created))) {
        *manager = nullptr;
        hr = E_FAIL;
        return hr;
    }
    hr = created->QueryInterface(IID_PPV_ARGS(manager));
    return hr;
}
