#include "CKivLogSysRoot.h"

#include "CKivLogSysFactory.h"
#include "CKivLogSysMethodSet.h"
#include "CKivLogSysThread.h"
#include "CThreadCalls.h"
#include "EngineLog.h"
#include "MethodHandOff.h"
#include "ReserveFor.h"
#include "TwoThreads.h"

#include "KivObject/InterfaceMap.h"

#include "KivPlatform/Boundary.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <optional>
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

std::size_t CKivLogSysRoot::ThreadSlot(DWORD threadId) const
{
    // The top bits of a multiplicative hash: identifiers that differ only in their high bits, or
    // that are all multiples of a power of two, still spread over the table.
    const std::size_t mask = m_threadSlots.size() - 1;
    const std::size_t home = static_cast<std::size_t>((std::uint64_t{threadId} * 0x9E3779B97F4A7C15u) >>
                                                      (64 - std::countr_zero(m_threadSlots.size())));
    for (std::size_t i = home;; i = (i + 1) & mask) {
        const std::uint32_t slot = m_threadSlots[i];
        if (slot == 0 || m_indexedThreads[slot - 1]->ThreadId() == threadId) {
            return i;
        }
    }
}

void CKivLogSysRoot::GrowThreadSlots()
{
    std::vector<std::uint32_t> slots(std::max<std::size_t>(16, m_threadSlots.size() * 2), 0);
    slots.swap(m_threadSlots);
    for (std::size_t position = 0; position < m_indexedThreads.size(); ++position) {
        const std::size_t slot = ThreadSlot(m_indexedThreads[position]->ThreadId());
        if (m_threadSlots[slot] == 0) {
            m_threadSlots[slot] = static_cast<std::uint32_t>(position + 1);
        }
    }
}

void CKivLogSysRoot::IndexThread(CKivLogSysThread* thread)
{
    Kiv::LogSysMgr::ReserveFor(m_indexedThreads, 1);
    if ((m_indexedThreads.size() + 1) * 2 > m_threadSlots.size()) {
        GrowThreadSlots();
    }
    m_indexedThreads.push_back(thread);
    const std::size_t slot = ThreadSlot(thread->ThreadId());
    if (m_threadSlots[slot] == 0) {
        m_threadSlots[slot] = static_cast<std::uint32_t>(m_indexedThreads.size());
    }
}

void CKivLogSysRoot::RebuildThreadIndex()
{
    m_indexedThreads.clear();
    m_threadSlots.clear();
    m_walkForThreads = false;
    m_threadIndexValid = true;
    const HRESULT indexed = Kiv::Platform::StatusFromExceptions([this] {
        for (const CComPtr<IUnknown>& child : Children()) {
            CComPtr<IKivLogSysThread> thread;
            auto* own = SUCCEEDED(child.QueryInterface(&thread)) ? dynamic_cast<CKivLogSysThread*>(thread.Get()) : nullptr;
            if (own == nullptr) {
                m_walkForThreads = true;
                return;
            }
            IndexThread(own);
        }
    });
    if (FAILED(indexed)) {
        m_walkForThreads = true; // no room for the index: the walk gives the same answers
    }
}

IKivLogSysThread* CKivLogSysRoot::WalkForThread(DWORD threadId)
{
    for (const CComPtr<IUnknown>& child : Children()) {
        CComPtr<IKivLogSysThread> thread;
        DWORD childId = 0;
        if (SUCCEEDED(child.QueryInterface(&thread)) && thread && SUCCEEDED(thread->GetThreadId(&childId)) &&
            childId == threadId) {
            return thread; // the child keeps it alive
        }
    }
    return nullptr;
}

IKivLogSysThread* CKivLogSysRoot::FindThread(DWORD threadId)
{
    if (!m_threadIndexValid) {
        RebuildThreadIndex();
    }
    if (m_walkForThreads) {
        return WalkForThread(threadId);
    }
    if (m_threadSlots.empty()) {
        return nullptr;
    }
    const std::uint32_t slot = m_threadSlots[ThreadSlot(threadId)];
    return slot != 0 ? m_indexedThreads[slot - 1] : nullptr;
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
        if (m_threadIndexValid && !m_walkForThreads) {
            // The new thread is the last child; without room for it the index is rebuilt later.
            auto* own = static_cast<CKivLogSysThread*>(created.Get());
            if (FAILED(Kiv::Platform::StatusFromExceptions([&] { IndexThread(own); }))) {
                m_threadIndexValid = false;
            }
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
                // The factory makes the engine's own set.
                if (HRESULT status = BuildMethodSet(static_cast<CKivLogSysMethodSet*>(built.Get())); FAILED(status)) {
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

HRESULT CKivLogSysRoot::BuildMethodSet(CKivLogSysMethodSet* methodSet)
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
    Kiv::LogSysMgr::OnTwoThreads(collect);
    // When every thread is the engine's own, all methods are looked up first, in the same order
    // as thread by thread, so that each method's list of calls is made at its final size once,
    // before any call is added, instead of growing call by call.
    if (std::find(own.begin(), own.end(), nullptr) == own.end()) {
        if (const HRESULT resolved = ResolveAll(calls, methodSet); FAILED(resolved)) {
            return resolved;
        }
        return FileAll(calls);
    }
    // A thread that cannot file all its calls (out of memory) fails the whole set: a set with
    // calls missing must not pass for the model's.
    for (std::size_t i = 0; i < threads.size(); ++i) {
        const HRESULT filed = own[i] != nullptr ? calls[i].FileInto(methodSet) : threads[i]->BuildMethodSet(methodSet);
        if (FAILED(filed)) {
            return filed;
        }
        // Filed calls are held by the set now: the collected copy goes at once, so that the
        // collected calls and the set's lists of calls are never all in memory together.
        calls[i] = CThreadCalls();
    }
    return S_OK;
}

HRESULT CKivLogSysRoot::ResolveAll(std::vector<CThreadCalls>& calls, CKivLogSysMethodSet* methodSet)
{
    // Each thread's distinct texts give at most that many new methods.
    std::size_t newMethods = 0;
    for (const CThreadCalls& thread : calls) {
        newMethods += thread.DistinctTexts();
    }
    std::optional<Kiv::LogSysMgr::MethodHandOff> handOff;
    if (const HRESULT made = Kiv::Platform::StatusFromExceptions([&] { handOff.emplace(newMethods); }); FAILED(made)) {
        return made;
    }
    HRESULT resolved = S_OK;
    HRESULT filed = S_OK;
    Kiv::LogSysMgr::OnTwoThreads([&](std::size_t side) {
        if (side == 1) {
            filed = methodSet->FileIntoTree(*handOff);
            return;
        }
        resolved = Kiv::Platform::StatusFromExceptions([&] {
            for (CThreadCalls& thread : calls) {
                if (handOff->Abandoned()) {
                    return S_OK; // the tree could not be filed: that failure is the one reported
                }
                if (const HRESULT status = thread.Resolve(methodSet, &*handOff); FAILED(status)) {
                    return status;
                }
                thread.AnnounceCalls();
            }
            return S_OK;
        });
        handOff->Close();
    });
    return FAILED(resolved) ? resolved : filed;
}

HRESULT CKivLogSysRoot::FileAll(std::vector<CThreadCalls>& calls)
{
    // Each method goes to one of two sides in the order the set made them, so that each side
    // files about half the calls and the methods of one side lie together in memory.
    std::size_t total = 0;
    for (const CThreadCalls& thread : calls) {
        total += thread.CallCount();
    }
    std::size_t given = 0;
    for (const CThreadCalls& thread : calls) {
        for (CKivLogSysMethodInfo* const method : thread.OwnMethods()) {
            if (method->FilingSide() == CKivLogSysMethodInfo::NoFilingSide) {
                method->SetFilingSide(given < total / 2 ? 0 : 1);
                given += method->AnnouncedCalls();
            }
        }
    }
    for (const CThreadCalls& thread : calls) {
        thread.MakeRoomForCalls();
    }
    // Both sides go through the threads in the root's order; a thread's collected copy goes as
    // soon as both have filed from it, so that the collected calls and the set's lists of calls
    // are never all in memory together.
    std::vector<HRESULT> filed(calls.size() * 2, S_OK);
    std::vector<std::atomic<int>> sidesDone(calls.size());
    Kiv::LogSysMgr::OnTwoThreads([&](std::size_t side) {
        for (std::size_t i = 0; i < calls.size(); ++i) {
            filed[i * 2 + side] = calls[i].FileOwnCalls(static_cast<std::uint8_t>(side));
            if (sidesDone[i].fetch_add(1, std::memory_order_acq_rel) == 1) {
                calls[i] = CThreadCalls();
            }
        }
    });
    // A thread that cannot file all its calls fails the whole set: a set with calls missing must
    // not pass for the model's.
    const auto failed = std::find_if(filed.begin(), filed.end(), [](HRESULT status) { return FAILED(status); });
    return failed != filed.end() ? *failed : S_OK;
}

HRESULT CKivLogSysRoot::RemoveAllItems()
{
    KIV_ENGINE_SCOPE(u"CKivLogSysRoot::RemoveAllItems", hr, S_OK);
    RemoveAllChildren();
    m_threadIndexValid = false;
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
