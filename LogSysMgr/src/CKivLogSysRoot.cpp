#include "CKivLogSysRoot.h"

#include "CKivLogSysFactory.h"
#include "CKivLogSysThread.h"
#include "CThreadCalls.h"
#include "EngineLog.h"

#include "KivObject/InterfaceMap.h"

#include "KivPlatform/Boundary.h"
#include "KivPlatform/Threading.h"

#include <thread>
#include <vector>

using Kiv::CComPtr;

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
    KIV_ENGINE_SCOPE(u"CKivLogSysRoot::GetLogThread", hr, E_INVALIDARG);
    if (ppv == nullptr) {
        return hr;
    }
    *ppv = nullptr;
    hr = Kiv::Platform::StatusFromExceptions([&] {
        if (IKivLogSysThread* thread = FindThread(threadId)) {
            thread->QueryInterface(riid, ppv);
            return S_OK;
        }
        CComPtr<IKivLogSysThread> created;
        if (HRESULT status = CKivLogSysFactory::CreateLogSysThread(&created); FAILED(status)) {
            return status;
        }
        CComPtr<IKivLogSysThreadEdit> edit;
        created.QueryInterface(&edit);
        edit->SetThreadId(threadId);
        IUnknown* const items[] = {created.Get()};
        if (HRESULT status = CKivLogSysBlock::InsertChildItem(static_cast<LONG>(Children().size()), 1, items);
            FAILED(status)) {
            return status;
        }
        if (m_threadIndexValid) {
            m_threadIndex.emplace(threadId, created);
        }
        created->QueryInterface(riid, ppv);
        return S_OK;
    });
    return hr;
}

HRESULT CKivLogSysRoot::GetMethodSet(REFIID riid, void** ppv)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysRoot::GetMethodSet", hr, E_FAIL);
    hr = Kiv::Platform::StatusFromExceptions([&] {
        CComPtr<IKivLogSysMethodSet> methodSet;
        {
            std::lock_guard lock(m_methodSetLock);
            if (!m_methodSet) {
                // Only a whole set is kept: after a failure the next request builds it again.
                CComPtr<IKivLogSysMethodSet> built;
                if (HRESULT status = CKivLogSysFactory::CreateLogSysMethodSet(&built); FAILED(status)) {
                    return status;
                }
                if (HRESULT status = BuildMethodSet(built); FAILED(status)) {
                    return status;
                }
                m_methodSet = built;
            }
            methodSet = m_methodSet;
        }
        return methodSet->QueryInterface(riid, ppv);
    });
    return hr;
}

HRESULT CKivLogSysRoot::BuildMethodSet(IKivLogSysMethodSet* methodSet)
{
    // Every thread files its calls in the root's order. The engine's own threads first collect
    // theirs, which reads the whole model, on two threads side by side; other thread objects
    // build their part themselves when their turn comes.
    std::vector<CComPtr<IKivLogSysThreadEdit>> threads;
    for (const CComPtr<IUnknown>& child : Children()) {
        CComPtr<IKivLogSysThreadEdit> thread;
        if (SUCCEEDED(child.QueryInterface(&thread)) && thread) {
            threads.push_back(thread);
        }
    }
    std::vector<CKivLogSysThread*> own(threads.size());
    std::vector<CThreadCalls> calls(threads.size());
    for (std::size_t i = 0; i < threads.size(); ++i) {
        own[i] = dynamic_cast<CKivLogSysThread*>(threads[i].Get());
    }
    auto collect = [&](std::size_t first) noexcept {
        for (std::size_t i = first; i < threads.size(); i += 2) {
            if (own[i] != nullptr) {
                calls[i].Collect(own[i]->LinePart());
            }
        }
    };
    std::thread helper;
    if (FAILED(Kiv::Platform::StartThread(helper, [&collect] { collect(1); }))) {
        collect(1); // no second thread to be had: collect everything here
    }
    collect(0);
    if (helper.joinable()) {
        helper.join();
    }
    // A thread that cannot file all its calls (out of memory) fails the whole set: a set with
    // calls missing must not pass for the model's.
    for (std::size_t i = 0; i < threads.size(); ++i) {
        const HRESULT filed = own[i] != nullptr ? calls[i].FileInto(methodSet) : threads[i]->BuildMethodSet(methodSet);
        if (FAILED(filed)) {
            return filed;
        }
    }
    return S_OK;
}

HRESULT CKivLogSysRoot::RemoveAllItems()
{
    KIV_ENGINE_SCOPE(u"CKivLogSysRoot::RemoveAllItems", hr, S_OK);
    RemoveAllChildren();
    m_threadIndex.clear();
    m_threadIndexValid = true;
    hr = Kiv::Platform::StatusFromExceptions([this] {
        CComPtr<IKivLogSysMethodSet> dropped; // goes after the lock, with the whole index
        std::lock_guard lock(m_methodSetLock);
        dropped.Swap(m_methodSet);
    });
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
