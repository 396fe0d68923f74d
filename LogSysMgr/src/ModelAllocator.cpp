#include "ModelAllocator.h"

#include "KivPlatform/Memory.h"

#include <atomic>
#include <cstdint>

#if defined(__SANITIZE_ADDRESS__)
// Freed objects and unused chunk space are marked unreachable, so that the address sanitizer
// still reports a use after free or an overflow inside a chunk.
extern "C" void __asan_poison_memory_region(void const volatile* address, std::size_t size);
extern "C" void __asan_unpoison_memory_region(void const volatile* address, std::size_t size);
#define KIV_POISON(address, size) __asan_poison_memory_region((address), (size))
#define KIV_UNPOISON(address, size) __asan_unpoison_memory_region((address), (size))
#else
#define KIV_POISON(address, size) ((void)(address), (void)(size))
#define KIV_UNPOISON(address, size) ((void)(address), (void)(size))
#endif

namespace Kiv::LogSysMgr {

namespace {

// Chunks are mapped whole when they are made (see AllocatePages), which costs far less than a
// page fault for every 4 KiB of model. Small enough that an arena's unused tail stays small.
constexpr std::size_t ChunkSize = std::size_t{512} << 10;
constexpr std::size_t Alignment = 8;

} // namespace

// A chunk starts with this header; chunks are aligned to their size, so an object finds its
// chunk by clearing the low bits of its address.
struct ModelChunk {
    // One for each object not yet freed, plus one while an arena still carves from the chunk.
    // Whoever takes it to zero frees the chunk.
    std::atomic<std::size_t> references{1};
};

namespace {

constexpr std::size_t FirstObjectOffset = (sizeof(ModelChunk) + Alignment - 1) / Alignment * Alignment;

void Release(ModelChunk* chunk) noexcept
{
    if (chunk->references.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        chunk->~ModelChunk();
        // The sanitizer's marks outlive the mapping: left in place, they would make whatever
        // is mapped at this address next look like freed model memory.
        KIV_UNPOISON(chunk, ChunkSize);
        Kiv::Platform::FreePages(chunk, ChunkSize);
    }
}

// Each thread's own arena, and the one it uses now (null: its own).
thread_local ModelArena t_ownArena;
thread_local ModelArena* t_currentArena = nullptr;

} // namespace

ModelArena::~ModelArena()
{
    if (m_chunk != nullptr) {
        Release(m_chunk);
    }
}

void* ModelArena::Allocate(std::size_t size) noexcept
{
    if (m_chunk == nullptr || m_next + size > ChunkSize) {
        if (!StartChunk()) {
            return nullptr;
        }
    }
    auto* object = reinterpret_cast<std::byte*>(m_chunk) + m_next;
    m_next += size;
    m_chunk->references.fetch_add(1, std::memory_order_relaxed);
    KIV_UNPOISON(object, size);
    return object;
}

bool ModelArena::StartChunk() noexcept
{
    void* memory = Kiv::Platform::AllocatePages(ChunkSize, ChunkSize);
    if (memory == nullptr) {
        return false;
    }
    if (m_chunk != nullptr) {
        Release(m_chunk);
    }
    m_chunk = new (memory) ModelChunk();
    m_next = FirstObjectOffset;
    KIV_POISON(reinterpret_cast<std::byte*>(memory) + FirstObjectOffset, ChunkSize - FirstObjectOffset);
    return true;
}

ModelArena::Use::Use(ModelArena* arena) noexcept : m_previous(t_currentArena)
{
    if (arena != nullptr) {
        t_currentArena = arena;
    }
}

ModelArena::Use::~Use()
{
    t_currentArena = m_previous;
}

void* ModelAllocator::Allocate(std::size_t size) noexcept
{
    if (size > MaxObjectSize) {
        return nullptr;
    }
    ModelArena& arena = t_currentArena != nullptr ? *t_currentArena : t_ownArena;
    return arena.Allocate((size + Alignment - 1) / Alignment * Alignment);
}

void ModelAllocator::Free(void* object, std::size_t size) noexcept
{
    if (object == nullptr) {
        return;
    }
    KIV_POISON(object, (size + Alignment - 1) / Alignment * Alignment);
    auto* chunk = reinterpret_cast<ModelChunk*>(reinterpret_cast<std::uintptr_t>(object) & ~(ChunkSize - 1));
    Release(chunk);
}

} // namespace Kiv::LogSysMgr
