#include "KivLogSysMgr/KivLogSysMgr.h"

#include "CKivLogSysFactory.h"
#include "EngineLog.h"

#include "KivObject/ComPtr.h"

HRESULT CKivLogSysMgr::CreateLogSysMgr(IKivLogSysMgr** manager)
{
    HRESULT hr = E_INVALIDARG;
    KIV_ENGINE_SCOPE(u"CKivLogSysMgr", u"CKivLogSysMgr::CreateLogSysMgr", &hr);
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
