// Memory figures from the C library's allocator statistics and the kernel's resource usage.
#include "KivPlatform/Memory.h"

#include <malloc.h>
#include <sys/mman.h>
#include <sys/resource.h>

#include <cstdint>
#include <fstream>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
// From the sanitizer's run-time library, which replaces the C library's allocator.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace Kiv::Platform {

std::size_t HeapBytesInUse()
{
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizer's allocator replaces the C library's and keeps its own count.
    return __sanitizer_get_current_allocated_bytes();
#endif
    const struct mallinfo2 info = ::mallinfo2();
    // Small blocks live in the main heap; large ones in mappings of their own.
    return info.uordblks + info.hblkhd;
}

std::size_t PeakResidentBytes()
{
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<std::size_t>(usage.ru_maxrss) * 1024;
}

std::size_t ResidentBytes()
{
    // The second figure of /proc/self/statm is the resident size in pages.
    std::ifstream statm("/proc/self/statm");
    std::size_t totalPages = 0;
    std::size_t residentPages = 0;
    statm >> totalPages >> residentPages;
    return residentPages * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

void* AllocatePages(std::size_t size, std::size_t alignment)
{
    // Map more than asked, then cut the unaligned head and the tail away.
    const std::size_t mapped = size + alignment;
    void* memory = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) {
        return nullptr;
    }
    const auto start = reinterpret_cast<std::uintptr_t>(memory);
    const std::uintptr_t aligned = (start + alignment - 1) & ~(std::uintptr_t{alignment} - 1);
    if (aligned > start) {
        ::munmap(memory, aligned - start);
    }
    const std::uintptr_t end = start + mapped;
    if (end > aligned + size) {
        ::munmap(reinterpret_cast<void*>(aligned + size), end - (aligned + size));
    }
    // Maps every page now; a kernel without this leaves them to be faulted in one by one.
    ::madvise(reinterpret_cast<void*>(aligned), size, MADV_POPULATE_WRITE);
    return reinterpret_cast<void*>(aligned);
}

void FreePages(void* address, std::size_t size)
{
    if (address != nullptr) {
        ::munmap(address, size);
    }
}

} // namespace Kiv::Platform
