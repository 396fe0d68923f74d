// Status codes in the 32-bit result-code form: 0 and positive values are success, negative
// values failure. Header-only, no state.
#pragma once

#include "KivPlatform/Types.h"

using HRESULT = std::int32_t;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004u);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
// A call that is not allowed where it is made (for example from inside a callback).
inline constexpr HRESULT E_ILLEGAL_METHOD_CALL = static_cast<HRESULT>(0x8000000Eu);
inline constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
inline constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);
inline constexpr HRESULT DISP_E_BADINDEX = static_cast<HRESULT>(0x8002000Bu);

// Platform error numbers that the system reports as statuses.
inline constexpr DWORD ERROR_SUCCESS = 0;
inline constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
inline constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
inline constexpr DWORD ERROR_ACCESS_DENIED = 5;
inline constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_ALREADY_EXISTS = 183;

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

// A platform error n as a status: n itself when it is 0 or negative, else 0x8007 in the high
// half and the low 16 bits of n.
constexpr HRESULT HRESULT_FROM_WIN32(LONG n)
{
    return n <= 0 ? n : static_cast<HRESULT>((static_cast<DWORD>(n) & 0xFFFFu) | 0x80070000u);
}

namespace Kiv::Platform {

// Maps an errno value to the nearest platform error number above (ERROR_FILE_NOT_FOUND for
// ENOENT and so on); unknown values map to ERROR_INVALID_PARAMETER.
DWORD Win32ErrorFromErrno(int error) noexcept;

} // namespace Kiv::Platform
