// Starting a thread with a status instead of an exception, for the engine's worker and helper
// threads. Header-only, no state; thread-safe.
#pragma once

#include "KivPlatform/Boundary.h"

#include <thread>
#include <utility>

namespace Kiv::LogSysMgr {

// Starts body on a new thread held by thread, which must hold none. S_OK; E_FAIL when the system
// gives no thread, E_OUTOFMEMORY when memory runs out (thread then stays empty). body runs on the
// new thread and must let no exception out.
template <class Body>
HRESULT StartThread(std::thread& thread, Body&& body) noexcept
{
    return Kiv::Platform::StatusFromExceptions([&] { thread = std::thread(std::forward<Body>(body)); });
}

} // namespace Kiv::LogSysMgr
