// Thread identity from the kernel. Thread-safe.
#include "KivPlatform/Threading.h"

#include <unistd.h>

// Asks the kernel on every call instead of caching per thread: a cached id would be wrong in a
// child created by fork(), whose only thread has a new id.
DWORD GetCurrentThreadId()
{
    return static_cast<DWORD>(gettid());
}
