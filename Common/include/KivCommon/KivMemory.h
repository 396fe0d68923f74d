// Growable byte buffers (IKivMemory) over an exchangeable allocator (IKivMemoryAlloc), and the
// memory utility that makes both (Kiv::GetMemoryUtil).
//
// Buffers of the same allocator kind share their storage block after Copy and copy it only when
// one of them changes it (copy on write). When an allocator runs out of memory, the operation
// that needed it leaves the buffer as it was and says so: pointer results are null, status
// results E_OUTOFMEMORY.
//
// Thread-safety: reference counts are atomic; nothing else is locked. A buffer, and every buffer
// that shares its block through Copy, belongs to one thread at a time.
#pragma once

#include "KivCommon/KivCommonExport.h"

#include "KivPlatform/Status.h"
#include "KivPlatform/Unknown.h"

#include <cstddef>

namespace Kiv {

// The head of a storage block; capacity data bytes follow it directly. Each block is allocated
// with capacity + KivMemoryBlockExtra bytes.
struct KivMemoryBlock {
    DWORD capacity;
    DWORD size;
    // Buffers that use this block; a plain integer, as sharing buffers belong to one thread.
    LONG shareCount;
};

inline constexpr std::size_t KivMemoryBlockExtra = 16;

struct IKivMemoryAlloc : IUnknown {
    KIV_INTERFACE_ID("2F300F90-6BC6-491A-B3AF-12EB821C0E93");
    // The kind of this allocator: buffers share blocks only with buffers of the same kind.
    virtual const GUID* GetAllocatorKind() = 0;
    virtual void* Alloc(std::size_t size) = 0;
    virtual void Free(void* block) = 0;
    virtual void* Realloc(void* block, std::size_t size) = 0;
};

struct IKivMemory : IUnknown {
    KIV_INTERFACE_ID("298BACE0-2D15-41E8-BE81-2AF253EDC2E4");
    // The current storage block, which Copy shares.
    virtual KivMemoryBlock* GetBlock() = 0;
    // Sets the size, growing the block by half its capacity on top of what is asked when it is
    // too small; 0 clears. The data pointer, or null when memory runs out.
    virtual BYTE* SetSize(DWORD size) = 0;
    // Size 0, capacity kept. S_OK, or E_OUTOFMEMORY when a shared block cannot be made private.
    virtual HRESULT Clear() = 0;
    // Grows by count bytes: a pointer to the first of them, or null (memory, or a size beyond
    // 32 bits).
    virtual BYTE* Add(DWORD count) = 0;
    // Shrinks by count bytes; more than the size clears. S_OK or E_OUTOFMEMORY.
    virtual HRESULT Reduce(DWORD count) = 0;
    // Opens a gap of count bytes at position (beyond the size: grows to position + count) and
    // returns a pointer to it; null for a count of 0, or when memory runs out.
    virtual BYTE* Insert(DWORD position, DWORD count) = 0;
    // Removes count bytes at position (a range past the end is cut there). S_OK or E_OUTOFMEMORY.
    virtual HRESULT Delete(DWORD position, DWORD count) = 0;
    // The same as SetSize.
    virtual BYTE* Resize(DWORD size) = 0;
    virtual DWORD GetSize() = 0;
    // The data for reading; the block may be shared.
    virtual const BYTE* GetPtr() = 0;
    // Makes this buffer equal to source: the same block for the same allocator kind, a copy of
    // the bytes otherwise. E_INVALIDARG for a null source, E_OUTOFMEMORY (buffer unchanged).
    virtual HRESULT Copy(IKivMemory* source) = 0;
    // The data for writing: the block is made private first. Null when memory runs out.
    virtual BYTE* GetWritablePtr() = 0;
    // The buffer's allocator, without a reference for the caller.
    virtual IKivMemoryAlloc* GetAllocator() = 0;
};

// Allocator kinds.
inline constexpr GUID KivAllocatorKind_COM = Platform::MakeGuid("ADAA41DA-EF42-4B08-AF82-DA64A81284EE");
inline constexpr GUID KivAllocatorKind_CRT = Platform::MakeGuid("19EDD159-7248-48E7-BAA6-725D354653BB");

// Makes allocators and buffers. Each result is a new object with count 0 (the receiver takes the
// first reference), or null when memory runs out.
class IKivMemoryUtil {
public:
    // On the C runtime heap.
    virtual IKivMemoryAlloc* CreateAllocator_CRT() = 0;
    // On the task allocator, for memory handed to a component that frees it there.
    virtual IKivMemoryAlloc* CreateAllocator_COM() = 0;
    // A buffer that holds a reference to allocator; null for a null allocator.
    virtual IKivMemory* CreateMemory(IKivMemoryAlloc* allocator) = 0;
    virtual IKivMemory* CreateMemory_CRT() = 0;
    virtual IKivMemory* CreateMemory_COM() = 0;

protected:
    ~IKivMemoryUtil() = default;
};

KIVCOMMON_API IKivMemoryUtil* GetMemoryUtil();

} // namespace Kiv
