// The one place where C++ exceptions turn into statuses. Interface methods, destructors and
// thread entry points run their bodies through StatusFromExceptions so that no exception ever
// leaves them. Header-only, no state; thread-safe.
#pragma once

#include "KivPlatform/Status.h"

#include <concepts>
#include <new>
#include <system_error>
#include <type_traits>
#include <utility>

namespace Kiv::Platform {

// Runs body and returns its status, or the status of the exception it threw: E_OUTOFMEMORY for
// an allocation failure (std::bad_alloc, or a system error saying ENOMEM), E_FAIL for anything
// else (a thread that could not be started, a lock that failed). A body returning void gives S_OK.
template <typename Body>
    requires std::invocable<Body&>
HRESULT StatusFromExceptions(Body&& body) noexcept
{
    try {
        if constexpr (std::is_void_v<std::invoke_result_t<Body&>>) {
            body();
            return S_OK;
        } else {
            return static_cast<HRESULT>(body());
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const std::system_error& error) {
        return error.code() == std::errc::not_enough_memory ? E_OUTOFMEMORY : E_FAIL;
    } catch (...) {
        return E_FAIL;
    }
}

} // namespace Kiv::Platform
