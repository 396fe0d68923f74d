#include "CKivLogSysLine.h"

#include "EngineLog.h"

#include "KivObject/ComPtr.h"
#include "KivObject/InterfaceMap.h"

CKivLogSysLine::CKivLogSysLine() : m_record{}
{
    m_record.cbSize = sizeof(KivLogSysLineInfo);
}

HRESULT CKivLogSysLine::GetChildCount(LONG* count)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysLine::GetChildCount", hr, E_INVALIDARG);
    if (count != nullptr) {
        *count = 0;
        hr = S_OK;
    }
    return hr;
}

HRESULT CKivLogSysLine::GetChildItem(LONG, REFIID, void**)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysLine::GetChildItem", hr, E_FAIL); // a line has no children
    return hr;
}

HRESULT CKivLogSysLine::GetParent(REFIID riid, void** ppv)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysLine::GetParent", hr, E_FAIL);
    if (m_parent != nullptr && ppv != nullptr) {
        hr = m_parent->QueryInterface(riid, ppv);
    }
    return hr;
}

HRESULT CKivLogSysLine::IsEqual(IUnknown* other, BOOL* result)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysLine::IsEqual", hr, E_INVALIDARG);
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
    KIV_ENGINE_SCOPE(u"CKivLogSysLine::GetLineInfo", hr, E_INVALIDARG);
    if (info != nullptr) {
        *info = &m_record;
        hr = S_OK;
    }
    return hr;
}

HRESULT CKivLogSysLine::PutLineInfo(const KivLogSysLineInfo* info)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysLine::PutLineInfo", hr, E_INVALIDARG);
    // A record of another layout (or none) is refused; the text is not copied, only its pointer.
    if (info != nullptr && info->cbSize == m_record.cbSize) {
        m_record = *info;
        hr = S_OK;
    }
    return hr;
}

HRESULT CKivLogSysLine::SetParent(Kiv::IKivListItemFolder* parent)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysLine::SetParent", hr, S_OK);
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
