// The task allocator: memory handed between components, freed by the receiver. Thread-safe.
#pragma once

#include <cstddef>

void* CoTaskMemAlloc(std::size_t size);
void* CoTaskMemRealloc(void* block, std::size_t size);
void CoTaskMemFree(void* block);
