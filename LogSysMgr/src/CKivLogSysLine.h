// CKivLogSysLine: one trace line of the model, a leaf of a thread's call tree. It holds its own
// copy of the line record (whose text still points into the file's memory) and an uncounted
// pointer to its parent folder. Built on the loading thread and read afterwards, when reading
// only reads: several threads may read at once, and nothing is locked.
// Lines, blocks and threads take their memory from the model allocator: one object per line.
#pragma once

#include "ModelAllocator.h"

#include "KivLogSysMgr/KivLogSysInterfaces.h"

class CKivLogSysLine : public IKivLogSysLine,
                       public IKivLogSysLineEdit,
                       public IKivListItemEdit,
                       public Kiv::LogSysMgr::CModelAllocated {
public:
    CKivLogSysLine();
    virtual ~CKivLogSysLine() = default;

    // Kiv::IKivListItem
    HRESULT GetChildCount(LONG* count) override;
    HRESULT GetChildItem(LONG index, REFIID riid, void** ppv) override;
    HRESULT GetParent(REFIID riid, void** ppv) override;
    HRESULT IsEqual(IUnknown* other, BOOL* result) override;
    // IKivLogSysLine
    HRESULT GetLineInfo(const KivLogSysLineInfo** info) override;
    // IKivLogSysLineEdit
    HRESULT PutLineInfo(const KivLogSysLineInfo* info) override;
    // IKivListItemEdit
    HRESULT SetParent(Kiv::IKivListItemFolder* parent) override;

    virtual HRESULT FindInterface(REFIID riid, void** ppv);

    // The primary part, the line's identity (a block has a second IKivLogSysLine in its block part).
    IKivLogSysLine* LinePart() { return this; }

protected:
    Kiv::IKivListItemFolder* m_parent = nullptr; // not counted: the parent owns the child
    KivLogSysLineInfo m_record;
};
