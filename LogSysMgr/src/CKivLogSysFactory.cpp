#include "CKivLogSysFactory.h"

#include "CKivLogSysBlock.h"
#include "CKivLogSysLine.h"
#include "CKivLogSysMethodInfo.h"
#include "CKivLogSysMethodSet.h"
#include "CKivLogSysMgrImp.h"
#include "CKivLogSysNameSpace.h"
#include "CKivLogSysRoot.h"
#include "CKivLogSysThread.h"
#include "EngineLog.h"

#include "KivObject/KivObject.h"

namespace {

constexpr LPCWSTR Subject = u"CKivLogSysFactory";

// Creates a T and hands it out as Interface; E_OUTOFMEMORY leaves the out pointer null.
template <class T, class Interface>
HRESULT Create(Interface** out, bool traceThePointer)
{
    if (out == nullptr) {
        return E_INVALIDARG;
    }
    *out = nullptr;
    auto* object = Kiv::CKivObject<T>::CreateObject();
    if (object == nullptr) {
        return E_OUTOFMEMORY;
    }
    if (traceThePointer) {
        KIV_ENGINE_TRACE(Subject, u"ptr = 0x%08d", static_cast<const void*>(object));
    }
    return object->QueryInterface(IID_PPV_ARGS(out));
}

} // namespace

HRESULT CKivLogSysFactory::CreateLogSysLine(IKivLogSysLine** line)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysFactory::CreateLogSysLine", hr, E_FAIL);
    hr = Create<CKivLogSysLine>(line, false);
    return hr;
}

HRESULT CKivLogSysFactory::CreateLogSysBlock(IKivLogSysBlock** block)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysFactory::CreateLogSysBlock", hr, E_FAIL);
    hr = Create<CKivLogSysBlock>(block, true);
    return hr;
}

HRESULT CKivLogSysFactory::CreateLogSysThread(IKivLogSysThread** thread)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysFactory::CreateLogSysThread", hr, E_FAIL);
    hr = Create<CKivLogSysThread>(thread, true);
    return hr;
}

HRESULT CKivLogSysFactory::CreateLogSysRoot(IKivLogSysRoot** root)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysFactory::CreateLogSysRoot", hr, E_FAIL);
    hr = Create<CKivLogSysRoot>(root, true);
    return hr;
}

HRESULT CKivLogSysFactory::CreateLogSysMgr(IKivLogSysMgr** manager)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysFactory::CreateLogSysMgr", hr, E_FAIL);
    hr = Create<CKivLogSysMgrImp>(manager, true);
    return hr;
}

HRESULT CKivLogSysFactory::CreateLogSysMethodInfo(IKivLogSysMethodInfo** methodInfo, BSTR name)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysFactory::CreateLogSysMethodInfo", hr, E_FAIL);
    if (hr = Create<CKivLogSysMethodInfo>(methodInfo, true); FAILED(hr)) {
        return hr;
    }
    Kiv::CComPtr<IKivLogSysMethodInfoEdit> edit;
    if (SUCCEEDED(hr = (*methodInfo)->QueryInterface(IID_PPV_ARGS(&edit))) && FAILED(hr = edit->SetName(name))) {
        (*methodInfo)->Release();
        *methodInfo = nullptr;
    }
    return hr;
}

HRESULT CKivLogSysFactory::CreateLogSysMethodSet(IKivLogSysMethodSet** methodSet)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysFactory::CreateLogSysMethodSet", hr, E_FAIL);
    hr = Create<CKivLogSysMethodSet>(methodSet, true);
    return hr;
}

HRESULT CKivLogSysFactory::CreateLogSysNameSpace(IKivLogSysNameSpace** nameSpace)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysFactory::CreateLogSysNameSpace", hr, E_FAIL);
    hr = Create<CKivLogSysNameSpace>(nameSpace, true);
    return hr;
}
