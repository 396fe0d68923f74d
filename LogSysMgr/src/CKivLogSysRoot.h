// CKivLogSysRoot: the root of a loaded model. Its children are the thread objects, one per
// thread identifier, in the order of each thread's first line; it builds the method index over
// them on first request. An index by thread identifier answers exactly what a walk over the
// children would; it is rebuilt whenever the children or their identifiers change.
//
// Thread-safety: built on the loading thread. After the load, GetMethodSet may be called from
// several threads at once: the first request builds the method set under a lock, and the others
// wait for it and get the same set.
#pragma once

#include "CKivLogSysBlock.h"

#include <mutex>
#include <unordered_map>

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

    void OnChildThreadIdChanged() override { m_threadIndexValid = false; }

private:
    // The first child thread with the identifier, or null.
    IKivLogSysThread* FindThread(DWORD threadId);
    void RebuildThreadIndex();
    // Has every thread file its calls in the method set; the first failure of a thread (the set
    // is then incomplete and must not be kept).
    HRESULT BuildMethodSet(IKivLogSysMethodSet* methodSet);

    // Built once, by the first request; the lock makes the others wait for it.
    std::mutex m_methodSetLock;
    Kiv::CComPtr<IKivLogSysMethodSet> m_methodSet;
    std::unordered_map<DWORD, IKivLogSysThread*> m_threadIndex; // the children own the threads
    bool m_threadIndexValid = true;
};
