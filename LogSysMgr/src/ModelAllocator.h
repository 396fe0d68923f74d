// Memory for the model's many small objects (one per trace line). Objects are carved front to
// back from chunks, with no per-object header and no lock; a chunk goes back to the system when
// its arena has moved on and every object in it has been freed. Objects may be freed on any
// thread.
//
// Each thread carves from an arena of its own, unless it has named another arena for a while
// (ModelArena::Use): a trace thread's call tree keeps its objects together that way, so walking
// it later reads memory in order instead of jumping between the objects of other threads.
//
// A class takes its memory from here by deriving from CModelAllocated.
#pragma once

#include <cstddef>
#include <new>

namespace Kiv::LogSysMgr {

struct ModelChunk;

// A place to carve objects from: the chunk in use and the offset of its free space. Used by one
// thread at a time.
class ModelArena {
public:
    ModelArena() = default;
    ~ModelArena();
    ModelArena(const ModelArena&) = delete;
    ModelArena& operator=(const ModelArena&) = delete;

    void* Allocate(std::size_t size) noexcept;

    // While it lives, the calling thread's objects come from the arena (none: its own arena).
    class Use {
    public:
        explicit Use(ModelArena* arena) noexcept;
        ~Use();
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;

    private:
        ModelArena* m_previous;
    };

private:
    bool StartChunk() noexcept;

    ModelChunk* m_chunk = nullptr;
    std::size_t m_next = 0;
};

class ModelAllocator {
public:
    // The largest object served; a larger request is refused in every build (null, so that
    // operator new throws std::bad_alloc).
    static constexpr std::size_t MaxObjectSize = 4096;

    // size bytes aligned to 8, or null when no memory can be had or size is above MaxObjectSize.
    static void* Allocate(std::size_t size) noexcept;
    // Frees an object of the size it was allocated with.
    static void Free(void* object, std::size_t size) noexcept;
};

// Gives a class (and the classes derived from it) the model allocator as its operator new.
class CModelAllocated {
public:
    static void* operator new(std::size_t size)
    {
        if (void* object = ModelAllocator::Allocate(size)) {
            return object;
        }
        throw std::bad_alloc();
    }
    static void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return ModelAllocator::Allocate(size); }
    static void operator delete(void* object, std::size_t size) noexcept { ModelAllocator::Free(object, size); }
};

} // namespace Kiv::LogSysMgr
