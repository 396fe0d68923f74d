// Memory figures from the C library's allocator statistics and the kernel's resource usage.
#include "KivPlatform/Memory.h"

#include <malloc.h>
#include <sys/resource.h>

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

} // namespace Kiv::Platform
