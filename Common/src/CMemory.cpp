#include "CMemory.h"

#include "KivObject/InterfaceMap.h"
#include "KivObject/KivObject.h"

#include "KivPlatform/Boundary.h"
#include "KivPlatform/TaskMem.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace Kiv {

namespace {

constexpr DWORD MaxSize = std::numeric_limits<DWORD>::max();

// The capacity for a size that does not fit: half the old capacity on top of what is asked, as
// far as a 32-bit capacity reaches.
DWORD GrownCapacity(DWORD size, DWORD oldCapacity)
{
    const std::uint64_t capacity = std::uint64_t{size} + oldCapacity / 2;
    return static_cast<DWORD>(std::min<std::uint64_t>(capacity, MaxSize));
}

std::size_t BlockBytes(DWORD capacity)
{
    return std::size_t{capacity} + KivMemoryBlockExtra;
}

} // namespace

CMemory::~CMemory()
{
    if (m_block != nullptr) {
        LeaveBlock();
    }
}

bool CMemory::Init(IKivMemoryAlloc* allocator)
{
    m_allocator = allocator;
    m_block = AllocateBlock(0);
    return m_block != nullptr;
}

KivMemoryBlock* CMemory::AllocateBlock(DWORD capacity)
{
    auto* block = static_cast<KivMemoryBlock*>(m_allocator->Alloc(BlockBytes(capacity)));
    if (block != nullptr) {
        block->capacity = capacity;
        block->size = 0;
        block->shareCount = 1;
    }
    return block;
}

void CMemory::LeaveBlock()
{
    if (--m_block->shareCount == 0) {
        m_allocator->Free(m_block);
    }
    m_block = nullptr;
}

bool CMemory::MakePrivate()
{
    if (m_block->shareCount == 1) {
        return true;
    }
    KivMemoryBlock* block = AllocateBlock(m_block->capacity);
    if (block == nullptr) {
        return false;
    }
    // The whole capacity, so that bytes beyond the size survive a later growth within it.
    std::memcpy(Data(block), Data(m_block), m_block->capacity);
    block->size = m_block->size;
    --m_block->shareCount;
    m_block = block;
    return true;
}

BYTE* CMemory::SetSize(DWORD size)
{
    if (size == 0) {
        return SUCCEEDED(Clear()) ? Data(m_block) : nullptr;
    }
    if (size <= m_block->capacity) {
        if (!MakePrivate()) {
            return nullptr;
        }
        m_block->size = size;
        return Data(m_block);
    }
    const DWORD capacity = GrownCapacity(size, m_block->capacity);
    KivMemoryBlock* block = nullptr;
    if (m_block->shareCount == 1) {
        block = static_cast<KivMemoryBlock*>(m_allocator->Realloc(m_block, BlockBytes(capacity)));
        if (block == nullptr) {
            return nullptr;
        }
    } else {
        // A shared block is copied straight into the larger one, so that running out of memory
        // leaves this buffer sharing as before.
        block = AllocateBlock(capacity);
        if (block == nullptr) {
            return nullptr;
        }
        std::memcpy(Data(block), Data(m_block), m_block->capacity);
        LeaveBlock();
    }
    block->capacity = capacity;
    block->size = size;
    m_block = block;
    return Data(m_block);
}

HRESULT CMemory::Clear()
{
    if (!MakePrivate()) {
        return E_OUTOFMEMORY;
    }
    m_block->size = 0;
    return S_OK;
}

BYTE* CMemory::Add(DWORD count)
{
    const DWORD size = m_block->size;
    if (count > MaxSize - size) {
        return nullptr;
    }
    BYTE* data = SetSize(size + count);
    return data != nullptr ? data + size : nullptr;
}

HRESULT CMemory::Reduce(DWORD count)
{
    if (count > m_block->size) {
        return Clear();
    }
    return SetSize(m_block->size - count) != nullptr ? S_OK : E_OUTOFMEMORY;
}

BYTE* CMemory::Insert(DWORD position, DWORD count)
{
    if (count == 0) {
        return nullptr;
    }
    const DWORD size = m_block->size;
    const DWORD end = std::max(position, size);
    if (count > MaxSize - end) {
        return nullptr;
    }
    BYTE* data = SetSize(end + count);
    if (data == nullptr) {
        return nullptr;
    }
    if (position < size) {
        std::memmove(data + position + count, data + position, size - position);
    }
    return data + position;
}

HRESULT CMemory::Delete(DWORD position, DWORD count)
{
    const DWORD size = m_block->size;
    if (count == 0 || position >= size) {
        return S_OK;
    }
    if (!MakePrivate()) {
        return E_OUTOFMEMORY;
    }
    if (count < size - position) {
        BYTE* data = Data(m_block);
        std::memmove(data + position, data + position + count, size - position - count);
        m_block->size = size - count;
    } else {
        m_block->size = position;
    }
    return S_OK;
}

HRESULT CMemory::Copy(IKivMemory* source)
{
    if (source == nullptr) {
        return E_INVALIDARG;
    }
    return Platform::StatusFromExceptions([&]() -> HRESULT {
        const CComPtr<IKivMemoryAlloc> ownAllocator(m_allocator);
        const CComPtr<IKivMemoryAlloc> sourceAllocator(source->GetAllocator());
        if (!sourceAllocator) {
            return E_INVALIDARG;
        }
        const GUID* ownKind = ownAllocator->GetAllocatorKind();
        const GUID* sourceKind = sourceAllocator->GetAllocatorKind();
        if (ownKind == nullptr || sourceKind == nullptr || *ownKind != *sourceKind) {
            const DWORD size = source->GetSize();
            BYTE* data = SetSize(size);
            if (data == nullptr) {
                return E_OUTOFMEMORY;
            }
            if (size > 0) {
                std::memcpy(data, source->GetPtr(), size);
            }
            return S_OK;
        }
        KivMemoryBlock* block = source->GetBlock();
        if (block != m_block) {
            ++block->shareCount;
            LeaveBlock();
            m_block = block;
        }
        return S_OK;
    });
}

BYTE* CMemory::GetWritablePtr()
{
    return MakePrivate() ? Data(m_block) : nullptr;
}

HRESULT CMemory::FindInterface(REFIID riid, void** ppv)
{
    return FindInterfaceInMap({{IUnknown::Iid, this}, {IKivMemory::Iid, this}}, riid, ppv);
}

void* CMemoryAllocator_CRT::Alloc(std::size_t size)
{
    return std::malloc(size);
}

void CMemoryAllocator_CRT::Free(void* block)
{
    std::free(block);
}

void* CMemoryAllocator_CRT::Realloc(void* block, std::size_t size)
{
    return std::realloc(block, size);
}

HRESULT CMemoryAllocator_CRT::FindInterface(REFIID riid, void** ppv)
{
    return FindInterfaceInMap({{IUnknown::Iid, this}, {IKivMemoryAlloc::Iid, this}}, riid, ppv);
}

void* CMemoryAllocator_COM::Alloc(std::size_t size)
{
    return CoTaskMemAlloc(size);
}

void CMemoryAllocator_COM::Free(void* block)
{
    CoTaskMemFree(block);
}

void* CMemoryAllocator_COM::Realloc(void* block, std::size_t size)
{
    return CoTaskMemRealloc(block, size);
}

HRESULT CMemoryAllocator_COM::FindInterface(REFIID riid, void** ppv)
{
    return FindInterfaceInMap({{IUnknown::Iid, this}, {IKivMemoryAlloc::Iid, this}}, riid, ppv);
}

IKivMemoryAlloc* CMemoryUtil::CreateAllocator_CRT()
{
    return CKivObject<CMemoryAllocator_CRT>::CreateObject();
}

IKivMemoryAlloc* CMemoryUtil::CreateAllocator_COM()
{
    return CKivObject<CMemoryAllocator_COM>::CreateObject();
}

IKivMemory* CMemoryUtil::CreateMemory(IKivMemoryAlloc* allocator)
{
    if (allocator == nullptr) {
        return nullptr;
    }
    auto* memory = CKivObject<CMemory>::CreateObject();
    if (memory == nullptr) {
        return nullptr;
    }
    if (!memory->Init(allocator)) {
        // The only reference goes, and with it the buffer (and an allocator nobody else holds).
        CComPtr<IKivMemory> discard(memory);
        return nullptr;
    }
    return memory;
}

IKivMemory* CMemoryUtil::CreateMemory_CRT()
{
    const CComPtr<IKivMemoryAlloc> allocator(CreateAllocator_CRT());
    return CreateMemory(allocator);
}

IKivMemory* CMemoryUtil::CreateMemory_COM()
{
    const CComPtr<IKivMemoryAlloc> allocator(CreateAllocator_COM());
    return CreateMemory(allocator);
}

IKivMemoryUtil* GetMemoryUtil()
{
    static CMemoryUtil util;
    return &util;
}

} // namespace Kiv
