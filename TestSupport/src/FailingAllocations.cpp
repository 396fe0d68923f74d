// The test binary's operator new and delete, on malloc and free, with the per-thread failure
// switch of CFailingAllocations. Aligned forms stay the standard ones (they pair among themselves).
#include "KivTestSupport/FailingAllocations.h"

#include <cstdlib>
#include <new>

namespace {

// Allocations that still succeed on this thread; negative: all do.
thread_local long t_allowed = -1;
thread_local long t_failed = 0;

void* Allocate(std::size_t size) noexcept
{
    if (t_allowed == 0) {
        ++t_failed;
        return nullptr;
    }
    if (t_allowed > 0) {
        --t_allowed;
    }
    return std::malloc(size != 0 ? size : 1);
}

void* AllocateOrThrow(std::size_t size)
{
    void* memory = Allocate(size);
    if (memory == nullptr) {
        throw std::bad_alloc();
    }
    return memory;
}

} // namespace

namespace KivTest {

CFailingAllocations::CFailingAllocations(long allowed, long& failed) : m_failed(failed)
{
    t_failed = 0;
    t_allowed = allowed;
}

CFailingAllocations::~CFailingAllocations()
{
    t_allowed = -1;
    m_failed = t_failed;
}

} // namespace KivTest

void* operator new(std::size_t size)
{
    return AllocateOrThrow(size);
}

void* operator new[](std::size_t size)
{
    return AllocateOrThrow(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return Allocate(size);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return Allocate(size);
}

void operator delete(void* memory) noexcept
{
    std::free(memory);
}

void operator delete[](void* memory) noexcept
{
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept
{
    std::free(memory);
}

void operator delete[](void* memory, std::size_t) noexcept
{
    std::free(memory);
}

void operator delete(void* memory, const std::nothrow_t&) noexcept
{
    std::free(memory);
}

void operator delete[](void* memory, const std::nothrow_t&) noexcept
{
    std::free(memory);
}
