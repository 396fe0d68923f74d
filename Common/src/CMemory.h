// The memory buffer (CMemory), its two allocators and the memory utility. Not thread-safe: a
// buffer and the buffers that share its block belong to one thread; counts are atomic.
#pragma once

#include "KivCommon/KivMemory.h"

#include "KivObject/ComPtr.h"

namespace Kiv {

class CMemory : public IKivMemory {
public:
    CMemory() = default;
    virtual ~CMemory();
    CMemory(const CMemory&) = delete;
    CMemory& operator=(const CMemory&) = delete;

    // Takes a reference to allocator and the initial empty block from it; false when that block
    // cannot be had.
    bool Init(IKivMemoryAlloc* allocator);

    KivMemoryBlock* GetBlock() override { return m_block; }
    BYTE* SetSize(DWORD size) override;
    HRESULT Clear() override;
    BYTE* Add(DWORD count) override;
    HRESULT Reduce(DWORD count) override;
    BYTE* Insert(DWORD position, DWORD count) override;
    HRESULT Delete(DWORD position, DWORD count) override;
    BYTE* Resize(DWORD size) override { return SetSize(size); }
    DWORD GetSize() override { return m_block->size; }
    const BYTE* GetPtr() override { return Data(m_block); }
    HRESULT Copy(IKivMemory* source) override;
    BYTE* GetWritablePtr() override;
    IKivMemoryAlloc* GetAllocator() override { return m_allocator; }

    virtual HRESULT FindInterface(REFIID riid, void** ppv);

private:
    static BYTE* Data(KivMemoryBlock* block) { return reinterpret_cast<BYTE*>(block + 1); }
    // A new block of this capacity from the allocator (share count 1, size 0), or null.
    KivMemoryBlock* AllocateBlock(DWORD capacity);
    // Gives up this buffer's share of its block, freeing it when no other buffer uses it.
    void LeaveBlock();
    // Gives this buffer a block of its own with the same contents; false when memory runs out
    // (the buffer keeps the shared block).
    bool MakePrivate();

    CComPtr<IKivMemoryAlloc> m_allocator;
    KivMemoryBlock* m_block = nullptr;
};

// The two allocators hold nothing but their count.
class CMemoryAllocator_CRT : public IKivMemoryAlloc {
public:
    const GUID* GetAllocatorKind() override { return &KivAllocatorKind_CRT; }
    void* Alloc(std::size_t size) override;
    void Free(void* block) override;
    void* Realloc(void* block, std::size_t size) override;
    virtual HRESULT FindInterface(REFIID riid, void** ppv);
};

class CMemoryAllocator_COM : public IKivMemoryAlloc {
public:
    const GUID* GetAllocatorKind() override { return &KivAllocatorKind_COM; }
    void* Alloc(std::size_t size) override;
    void Free(void* block) override;
    void* Realloc(void* block, std::size_t size) override;
    virtual HRESULT FindInterface(REFIID riid, void** ppv);
};

class CMemoryUtil : public IKivMemoryUtil {
public:
    IKivMemoryAlloc* CreateAllocator_CRT() override;
    IKivMemoryAlloc* CreateAllocator_COM() override;
    IKivMemory* CreateMemory(IKivMemoryAlloc* allocator) override;
    IKivMemory* CreateMemory_CRT() override;
    IKivMemory* CreateMemory_COM() override;
};

} // namespace Kiv
