// The task allocator, over the C heap. Thread-safe as malloc is.
#include "KivPlatform/TaskMem.h"

#include <cstdlib>

// A zero size gives whatever malloc(0) gives: with glibc a unique block that must be freed like
// any other, elsewhere possibly null. Callers treat null as failure only for a non-zero size.
void* CoTaskMemAlloc(std::size_t size)
{
    return std::malloc(size);
}

// Follows the platform rather than realloc, whose zero-size behaviour differs between C
// libraries: a null block allocates, a zero size frees the block and returns null.
void* CoTaskMemRealloc(void* block, std::size_t size)
{
    if (block == nullptr) {
        return CoTaskMemAlloc(size);
    }
    if (size == 0) {
        std::free(block);
        return nullptr;
    }
    return std::realloc(block, size);
}

void CoTaskMemFree(void* block)
{
    std::free(block);
}
