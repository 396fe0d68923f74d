// Memory figures of the running process, for benchmarks and diagnostics. Thread-safe.
#pragma once

#include <cstddef>

namespace Kiv::Platform {

// Bytes of heap memory the process has allocated and not yet freed.
std::size_t HeapBytesInUse();
// The most resident memory the process has had, in bytes.
std::size_t PeakResidentBytes();

} // namespace Kiv::Platform
