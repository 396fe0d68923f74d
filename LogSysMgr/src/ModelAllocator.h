// Memory for the model's many small objects (one per trace line). Objects are carved front to
// back from 2 MiB chunks by the thread that creates them, with no per-object header and no lock;
// a chunk goes back to the system when its creator has moved on and every object in it has been
// freed. Objects may be freed on any thread.
//
// A class takes its memory from here by deriving from CModelAllocated.
#pragma once

#include <cstddef>
#include <new>

namespace Kiv::LogSysMgr {

class ModelAllocator {
public:
    // The largest object served; anything larger is a programming error.
    static constexpr std::size_t MaxObjectSize = 4096;

    // size bytes aligned to 8, or null when no memory can be had.
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
