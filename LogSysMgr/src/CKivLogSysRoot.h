// CKivLogSysRoot: the root of a loaded model. Its children are the thread objects, one per
// thread identifier, in the order of each thread's first line; it builds the method index over
// them on first request. An index by thread identifier answers exactly what a walk over the
// children would; it is rebuilt whenever the children or their identifiers change. The engine's
// own threads report a change of identifier; while another kind of thread object is among the
// children, which may not, the root walks its children instead.
//
// Thread-safety: built on the loading thread. After the load, GetMethodSet may be called from
// several threads at once: the first request builds the method set under a lock, and the others
// wait for it and get the same set.
#pragma once

#include "CKivLogSysBlock.h"

#include <cstdint>
#include <mutex>
#include <vector>

class CKivLogSysMethodSet;
class CKivLogSysThread;
class CThreadCalls;

class CKivLogSysRoot : public CKivLogSysBlock, public IKivLogSysRoot, public IKivLogSysRootEdit {
public:
    CKivLogSysRoot() = default;

    // Kiv::IKivListItemFolder: changes to the children make the thread index stale.
    HRESULT InsertChildItem(LONG index, LONG count, IUnknown* const* items) override;
    HRESULT RemoveChildItem(LONG count, IUnknown* const* items) override;
    // IKivLogSysRoot
    HRESULT GetLogThread(DWORD threadId, REFIID riid, void** ppv) override;
    HRESULT GetMethodSet(REFIID riid, void** ppv) override;
    // IKivLogSysRootEdit
    HRESULT RemoveAllItems() override;

    HRESULT FindInterface(REFIID riid, void** ppv) override;
    bool IsCallBlock() const override { return false; }

    void OnChildThreadIdChanged() override { m_threadIndexValid = false; }

private:
    // The first child thread with the identifier, or null.
    IKivLogSysThread* FindThread(DWORD threadId);
    IKivLogSysThread* WalkForThread(DWORD threadId);
    void RebuildThreadIndex();
    // Files the thread, the last child, in the index unless an earlier child has its identifier.
    // Throws std::bad_alloc, with the index unchanged.
    void IndexThread(CKivLogSysThread* thread);
    // The slot of the identifier, or the empty slot where it would go.
    std::size_t ThreadSlot(DWORD threadId) const;
    void GrowThreadSlots();
    // Has every thread file its calls in the method set; the first failure of a thread (the set
    // is then incomplete and must not be kept).
    HRESULT BuildMethodSet(CKivLogSysMethodSet* methodSet);
    // When every thread is the engine's own: looks up the methods of every thread's collected
    // calls in the set, thread after thread in the root's order, and announces each method's
    // calls, while a second thread files the set's namespace tree...
    HRESULT ResolveAll(std::vector<CThreadCalls>& calls, CKivLogSysMethodSet* methodSet);
    // ...and then files the calls on two threads, each filing the calls of half the methods.
    HRESULT FileAll(std::vector<CThreadCalls>& calls);

    // Built once, by the first request; the lock makes the others wait for it.
    std::mutex m_methodSetLock;
    Kiv::CComPtr<IKivLogSysMethodSet> m_methodSet;

    // The thread index: the children that are the engine's threads, in order (the children own
    // them), and a table of positions in that list plus one (0: empty slot), by identifier, at
    // most half full. A million threads cost it a few bytes each.
    std::vector<CKivLogSysThread*> m_indexedThreads;
    std::vector<std::uint32_t> m_threadSlots;
    bool m_threadIndexValid = true;
    // A child that is not one of the engine's threads: the index is not kept, the walk answers.
    bool m_walkForThreads = false;
};
