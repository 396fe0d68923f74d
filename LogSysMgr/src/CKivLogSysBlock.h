// CKivLogSysBlock: one call of a traced method: its entry line (the inherited record), the
// lines and calls written during it (its children, in order), and its return line (a separate
// line object). The thread and the root extend it.
//
// Placing a line descends along "the last block among the children" at every level, so each
// block remembers which of its children that is: updated when children are inserted, searched
// again only when that child is removed. It answers exactly what a backward search would.
// Built on the loading thread and read afterwards, when reading only reads: several threads may
// read at once, and nothing is locked.
#pragma once

#include "CKivLogSysLine.h"

#include "KivObject/ComPtr.h"

#include <cstdint>
#include <vector>

class CKivLogSysBlock : public CKivLogSysLine,
                        public IKivLogSysBlock,
                        public Kiv::IKivListItemFolder,
                        public IKivLogSysBlockEdit {
public:
    CKivLogSysBlock() = default;

    // Kiv::IKivListItem (for every part that derives from it)
    HRESULT GetChildCount(LONG* count) override;
    HRESULT GetChildItem(LONG index, REFIID riid, void** ppv) override;
    HRESULT GetParent(REFIID riid, void** ppv) override { return CKivLogSysLine::GetParent(riid, ppv); }
    HRESULT IsEqual(IUnknown* other, BOOL* result) override { return CKivLogSysLine::IsEqual(other, result); }
    // IKivLogSysLine, IKivLogSysLineEdit (through the block parts)
    HRESULT GetLineInfo(const KivLogSysLineInfo** info) override { return CKivLogSysLine::GetLineInfo(info); }
    HRESULT PutLineInfo(const KivLogSysLineInfo* info) override { return CKivLogSysLine::PutLineInfo(info); }
    // Kiv::IKivListItemFolder
    HRESULT InsertChildItem(LONG index, LONG count, IUnknown* const* items) override;
    HRESULT RemoveChildItem(LONG count, IUnknown* const* items) override;
    // IKivLogSysBlock
    HRESULT GetEndLineInfo(const KivLogSysLineInfo** info) override;
    HRESULT GetEndLogSysLine(REFIID riid, void** ppv) override;
    HRESULT GetThread(REFIID riid, void** ppv) override;
    // IKivLogSysBlockEdit
    HRESULT PutEndLineInfo(const KivLogSysLineInfo* info) override;

    HRESULT FindInterface(REFIID riid, void** ppv) override;

    // The engine's fast paths while it loads.
    // The folder part of the last child that is a folder, or null; and that child as a block
    // when it is one of the engine's own (else null, and callers ask through the interfaces).
    Kiv::IKivListItemFolder* LastFolderChild() const { return m_lastFolder; }
    CKivLogSysBlock* LastBlockChild() const
    {
        return (m_lastFolderIndex & LastFolderIsBlock) != 0 ? static_cast<CKivLogSysBlock*>(m_lastFolder) : nullptr;
    }
    // Makes room for one more child, so that the next AppendNewChild cannot fail. Throws
    // std::bad_alloc when memory runs out.
    void ReserveNewChild();
    // Appends a new line or block made by the engine (count 0), which this block then owns.
    // Cannot fail after ReserveNewChild.
    void AppendNewChild(CKivLogSysLine* child) noexcept;
    void AppendNewChild(CKivLogSysBlock* child) noexcept;
    // Drops every child.
    void RemoveAllChildren();
    const std::vector<Kiv::CComPtr<IUnknown>>& Children() const { return m_children; }
    Kiv::IKivListItemFolder* FolderPart() { return this; }
    // A child thread object's identifier changed (a root keeps an index by identifier).
    virtual void OnChildThreadIdChanged() {}
    // Whether the object answers as a block (IKivLogSysBlock): threads and roots extend the
    // block but do not.
    virtual bool IsCallBlock() const { return true; }

private:
    // Keeps the last-folder answer right after children were inserted at [position, position + count).
    void NoteInserted(std::size_t position, std::size_t count);
    // Searches the last folder child again, from the child before `end` backwards.
    void FindLastFolderBefore(std::size_t end);
    // block is the folder as one of the engine's own blocks (null for a foreign folder), which
    // the engine walks directly; anything else it asks through the interfaces.
    void SetLastFolder(std::size_t index, Kiv::IKivListItemFolder* folder, CKivLogSysBlock* block);

    std::size_t LastFolderIndex() const { return m_lastFolderIndex & ~LastFolderIsBlock; }

    // The index of the last folder child, with this bit set when that child is one of the
    // engine's blocks; packed so that the object's count fits into the same 8 bytes.
    static constexpr std::uint32_t LastFolderIsBlock = 0x80000000u;

    std::vector<Kiv::CComPtr<IUnknown>> m_children;
    Kiv::CComPtr<IKivLogSysLine> m_endLine;
    Kiv::IKivListItemFolder* m_lastFolder = nullptr;
    std::uint32_t m_lastFolderIndex = 0;
};
