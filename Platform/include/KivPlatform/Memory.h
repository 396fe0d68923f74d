// Memory figures of the running process, for benchmarks and diagnostics. Thread-safe.
#pragma once

#include <cstddef>

namespace Kiv::Platform {

// Bytes of heap memory the process has allocated and not yet freed.
std::size_t HeapBytesInUse();
// The most resident memory the process has had, in bytes.
std::size_t PeakResidentBytes();
// The memory the process has resident now, in bytes.
std::size_t ResidentBytes();

// Anonymous, zero-filled memory for large blocks that are filled at once: size bytes aligned to
// alignment (a power of two, at least the page size). Its pages are mapped in one go, which costs
// a fraction of taking a page fault for each page as it is first written. Null when no memory
// can be had.
void* AllocatePages(std::size_t size, std::size_t alignment);
// Gives back memory from AllocatePages, with the size it was allocated with.
void FreePages(void* address, std::size_t size);

} // namespace Kiv::Platform
