#include "CKivLogSysLine.h"

#include "EngineLog.h"

#include "KivObject/ComPtr.h"
#include "KivObject/InterfaceMap.h"

namespace {

constexpr LPCWSTR Subject = u"CKivLogSysLine";

} // namespace

CKivLogSysLine::CKivLogSysLine() : m_record{}
{
    m_record.cbSize = sizeof(KivLogSysLineInfo);
}

HRESULT CKivLogSysLine::GetChildCount(LONG* count)
{
    HRESULT hr = E_INVALIDARG;
    KIV_ENGINE_SCOPE(Subject, u"CKivLogSysLine::GetChildCount", &hr);
    if (count != nullptr) {
        *count = 0;
        hr = S_OK;
    }
    return hr;
}

HRESULT CKivLogSysLine::GetChildItem(LONG, REFIID, void**)
{
    HRESULT hr = E_FAIL; // a line has no children
    KIV_ENGINE_SCOPE(Subject, u"CKivLogSysLine::GetChildItem", &hr);
    return hr;
}

HRESULT CKivLogSysLine::GetParent(REFIID riid, void** ppv)
{
    HRESULT hr = E_FAIL;
    KIV_ENGINE_SCOPE(Subject, u"CKivLogSysLine::GetParent", &hr);
    if (m_parent != nullptr && ppv != nullptr) {
        hr = m_parent->QueryInterface(riid, ppv);
    }
    return hr;
}

HRESULT CKivLogSysLine::IsEqual(IUnknown* other, BOOL* result)
{
    HRESULT hr = E_INVALIDARG;
    KIV_ENGINE_SCOPE(Subject, u"CKivLogSysLine::IsEqual", &hr);
    if (other == nullptr || result == nullptr) {
        return hr;
    }
    Kiv::CComPtr<IUnknown> mine;
    Kiv::CComPtr<IUnknown> theirs;
    FindInterface(IUnknown::Iid, reinterpret_cast<void**>(&mine));
    other->QueryInterface(IID_PPV_ARGS(&theirs));
    *result = mine && mine == theirs ? TRUE : FALSE;
    hr = S_OK;
    return hr;
}

HRESULT CKivLogSysLine::GetLineInfo(const KivLogSysLineInfo** info)
{
    HRESULT hr = E_INVALIDARG;
    KIV_ENGINE_SCOPE(Subject, u"CKivLogSysLine::GetLineInfo", &hr);
    if (info != nullptr) {
        *info = &m_record;
        hr = S_OK;
    }
    return hr;
}

HRESULT CKivLogSysLine::PutLineInfo(const KivLogSysLineInfo* info)
{
    HRESULT hr = E_INVALIDARG;
    KIV_ENGINE_SCOPE(Subject, u"CKivLogSysLine::PutLineInfo", &hr);
    // A record of another layout (or none) is refused; the text is not copied, only its pointer.
    if (info != nullptr && info->cbSize == m_record.cbSize) {
        m_record = *info;
        hr = S_OK;
    }
    return hr;
}

HRESULT CKivLogSysLine::SetParent(Kiv::IKivListItemFolder* parent)
{
    HRESULT hr = S_OK;
    KIV_ENGINE_SCOPE(Subject, u"CKivLogSysLine::SetParent", &hr);
    m_parent = parent;
    return hr;
}

HRESULT CKivLogSysLine::FindInterface(REFIID riid, void** ppv)
{
    return Kiv::FindInterfaceInMap({{IUnknown::Iid, static_cast<IKivLogSysLine*>(this)},
                                    {Kiv::IKivListItem::Iid, static_cast<IKivLogSysLine*>(this)},
                                    {IKivLogSysLine::Iid, static_cast<IKivLogSysLine*>(this)},
                                    {IKivLogSysLineEdit::Iid, static_cast<IKivLogSysLineEdit*>(this)},
                                    {IKivListItemEdit::Iid, static_cast<IKivListItemEdit*>(this)}},
                                   riid, ppv);
}
