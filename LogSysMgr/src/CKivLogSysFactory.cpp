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
#include "KivObject/MakeObject.h"

#include "KivPlatform/Boundary.h"

namespace {

constexpr LPCWSTR Subject = u"CKivLogSysFactory";

// Every creator: makes a T, lets init finish it (a status; S_OK when there is nothing to do)
// and hands it out as Interface. A null out pointer gives E_INVALIDARG; any failure leaves the
// out pointer null, E_OUTOFMEMORY when the object cannot be made.
template <class T, class Interface, class Init>
HRESULT Create(Interface** out, bool traceThePointer, Init&& init)
{
    if (out == nullptr) {
        return E_INVALIDARG;
    }
    *out = nullptr;
    Kiv::CComPtr<Kiv::CKivObject<T>> object;
    if (const HRESULT made =
            Kiv::Platform::StatusFromExceptions([&] { object = Kiv::MakeObject<Kiv::CKivObject<T>>(); });
        FAILED(made)) {
        return made;
    }
    if (traceThePointer) {
        KIV_ENGINE_TRACE(Subject, u"ptr = 0x%08d", static_cast<const void*>(object.Get()));
    }
    if (const HRESULT initialised = init(*object); FAILED(initialised)) {
        return initialised;
    }
    // The new object's one reference goes to the caller, without counting it again.
    *out = object.Detach();
    return S_OK;
}

template <class T, class Interface>
HRESULT Create(Interface** out, bool traceThePointer)
{
    return Create<T>(out, traceThePointer, [](T&) { return S_OK; });
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
    hr = Create<CKivLogSysMethodInfo>(methodInfo, true, [name](CKivLogSysMethodInfo& info) { return info.SetName(name); });
    return hr;
}

HRESULT CKivLogSysFactory::CreateLogSysMethodInfoOfText(IKivLogSysMethodInfo** methodInfo, std::string_view text)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysFactory::CreateLogSysMethodInfoOfText", hr, E_FAIL);
    hr = Create<CKivLogSysMethodInfo>(methodInfo, true,
                                      [text](CKivLogSysMethodInfo& info) { return info.SetTextName(text); });
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
