#include "CKivLogSysRoot.h"

#include "CKivLogSysFactory.h"
#include "EngineLog.h"

#include "KivObject/InterfaceMap.h"

using Kiv::CComPtr;

namespace {

constexpr LPCWSTR Subject = u"CKivLogSysRoot";

} // namespace

HRESULT CKivLogSysRoot::InsertChildItem(LONG index, LONG count, IUnknown* const* items)
{
    m_threadIndexValid = false;
    return CKivLogSysBlock::InsertChildItem(index, count, items);
}

HRESULT CKivLogSysRoot::RemoveChildItem(LONG count, IUnknown* const* items)
{
    m_threadIndexValid = false;
    return CKivLogSysBlock::RemoveChildItem(count, items);
}

void CKivLogSysRoot::RebuildThreadIndex()
{
    m_threadIndex.clear();
    for (const CComPtr<IUnknown>& child : Children()) {
        CComPtr<IKivLogSysThread> thread;
        DWORD threadId = 0;
        if (SUCCEEDED(child.QueryInterface(&thread)) && thread && SUCCEEDED(thread->GetThreadId(&threadId))) {
            m_threadIndex.emplace(threadId, thread); // the first child of an identifier wins
        }
    }
    m_threadIndexValid = true;
}

IKivLogSysThread* CKivLogSysRoot::FindThread(DWORD threadId)
{
    if (!m_threadIndexValid) {
        RebuildThreadIndex();
    }
    const auto found = m_threadIndex.find(threadId);
    if (found == m_threadIndex.end()) {
        return nullptr;
    }
    // A thread object that is not the engine's own cannot report a change of identifier.
    DWORD current = 0;
    if (SUCCEEDED(found->second->GetThreadId(&current)) && current == threadId) {
        return found->second;
    }
    RebuildThreadIndex();
    const auto again = m_threadIndex.find(threadId);
    return again != m_threadIndex.end() ? again->second : nullptr;
}

HRESULT CKivLogSysRoot::GetLogThread(DWORD threadId, REFIID riid, void** ppv)
{
    HRESULT hr = E_INVALIDARG;
    KIV_ENGINE_SCOPE(Subject, u"CKivLogSysRoot::GetLogThread", &hr);
    if (ppv == nullptr) {
        return hr;
    }
    if (IKivLogSysThread* thread = FindThread(threadId)) {
        thread->QueryInterface(riid, ppv);
        hr = S_OK;
        return hr;
    }
    CComPtr<IKivLogSysThread> created;
    if (hr = CKivLogSysFactory::CreateLogSysThread(&created); FAILED(hr)) {
        return hr;
    }
    created->QueryInterface(riid, ppv);
    CComPtr<IKivLogSysThreadEdit> edit;
    created.QueryInterface(&edit);
    edit->SetThreadId(threadId);
    IUnknown* const items[] = {created.Get()};
    CKivLogSysBlock::InsertChildItem(static_cast<LONG>(Children().size()), 1, items);
    if (m_threadIndexValid) {
        m_threadIndex.emplace(threadId, created);
    }
    hr = S_OK;
    return hr;
}

HRESULT CKivLogSysRoot::GetMethodSet(REFIID riid, void** ppv)
{
    HRESULT hr = E_FAIL;
    KIV_ENGINE_SCOPE(Subject, u"CKivLogSysRoot::GetMethodSet", &hr);
    if (!m_methodSet) {
        if (hr = CKivLogSysFactory::CreateLogSysMethodSet(&m_methodSet); FAILED(hr)) {
            return hr;
        }
        for (const CComPtr<IUnknown>& child : Children()) {
            CComPtr<IKivLogSysThreadEdit> thread;
            if (SUCCEEDED(child.QueryInterface(&thread)) && thread) {
                thread->BuildMethodSet(m_methodSet);
            }
        }
    }
    hr = m_methodSet->QueryInterface(riid, ppv);
    return hr;
}

HRESULT CKivLogSysRoot::RemoveAllItems()
{
    HRESULT hr = S_OK;
    KIV_ENGINE_SCOPE(Subject, u"CKivLogSysRoot::RemoveAllItems", &hr);
    RemoveAllChildren();
    m_threadIndex.clear();
    m_threadIndexValid = true;
    m_methodSet.Release();
    return hr;
}

HRESULT CKivLogSysRoot::FindInterface(REFIID riid, void** ppv)
{
    // The root's map stands alone: it is a folder of threads, not a line or a block.
    return Kiv::FindInterfaceInMap({{IUnknown::Iid, static_cast<IKivLogSysRoot*>(this)},
                                    {Kiv::IKivListItem::Iid, LinePart()},
                                    {Kiv::IKivListItemFolder::Iid, FolderPart()},
                                    {IKivLogSysRoot::Iid, static_cast<IKivLogSysRoot*>(this)},
                                    {IKivLogSysRootEdit::Iid, static_cast<IKivLogSysRootEdit*>(this)}},
                                   riid, ppv);
}
