// CKivLogSysThread: all lines of one thread identifier, nested into calls by their depth alone:
// an entry line opens a block one level below the folder its depth selects, a return line
// closes the last block of that folder, and a line deeper than the deepest open path is
// dropped. Also gives the flat, file-ordered list of its lines and feeds its calls to the
// method index. Built on the loading thread and read afterwards; nothing is locked, and two
// threads must not read one thread object's flat list at once.
#pragma once

#include "CKivLogSysBlock.h"

#include <cstdint>
#include <memory>
#include <vector>

class CKivLogSysThread : public CKivLogSysBlock,
                         public IKivLogSysThread,
                         public IKivLogSysThreadEdit,
                         public Kiv::IKivListAccess {
public:
    CKivLogSysThread() = default;

    // IKivLogSysThread
    HRESULT GetThreadId(DWORD* threadId) override;
    // IKivLogSysThreadEdit
    HRESULT SetThreadId(DWORD threadId) override;
    HRESULT AddLine(const KivLogSysLineInfo* info) override;
    HRESULT BuildMethodSet(IKivLogSysMethodSet* methodSet) override;
    // Kiv::IKivListAccess
    HRESULT GetListItemCount(LONG* count) override;
    HRESULT GetListItem(LONG index, REFIID riid, void** ppv) override;

    HRESULT FindInterface(REFIID riid, void** ppv) override;
    bool IsCallBlock() const override { return false; }

    DWORD ThreadId() const { return m_threadId; }

    // The last block among the folder's children, by a backward search through the interfaces.
    static HRESULT FindEndFolderByParentItem(Kiv::IKivListItemFolder* folder, Kiv::IKivListItemFolder** end);

private:
    using FlatList = std::vector<Kiv::CComPtr<Kiv::IKivListItem>>;

    // The folder that a line of this depth goes into: depth steps down the path of last blocks.
    // block is that folder as one of the engine's own blocks, or null.
    HRESULT GetEndParentObject(WORD depth, Kiv::IKivListItemFolder** folder, CKivLogSysBlock** block);
    void BuildListItemData(Kiv::IKivListItemFolder* folder, FlatList& list);

    // After this many lines a thread's objects come from an arena of its own, so that its tree
    // lies together in memory; threads with few lines share their loader's arena.
    static constexpr std::size_t OwnArenaAfterLines = 4096;

    // A trace may have a million threads of a line or two each: what only some threads need is
    // made when first needed.
    DWORD m_threadId = 0;
    std::uint32_t m_linesAdded = 0; // counted up to OwnArenaAfterLines + 1
    std::unique_ptr<FlatList> m_flatList;
    std::unique_ptr<Kiv::LogSysMgr::ModelArena> m_arena;
};
