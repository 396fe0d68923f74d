// What the HTTP message classes share: the trace scope and error report of each operation, the
// boundary that turns exceptions into statuses, object creation and the text conversions between
// BSTRs and message bytes. Stateless and thread-safe.
//
// A traced operation opens with KIV_HTTP_OPERATION(subject, full name) and returns through
// KIV_HTTP_RUN([&]() -> HRESULT { ... }); inside the body, KIV_HTTP_FAIL(status, message, args)
// writes the error report and returns the status.
#pragma once

#include "KivCommonLog.h"

#include "KivObject/ComPtr.h"
#include "KivObject/KivObject.h"

#include "KivPlatform/Boundary.h"
#include "KivPlatform/Bstr.h"

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

namespace Kiv::Http {

// The source path that error reports name; the report shows its last part.
inline constexpr const char* SourcePath = "Kiv/KivHTTP/KivHttp";

// Writes an error report for operation at line and returns status.
HRESULT Failure(LPCWSTR operation, int line, HRESULT status, LPCWSTR format,
                std::initializer_list<Kiv::Log::FormatArg> args = {}) noexcept;

// Runs an operation's body; an exception (running out of memory) becomes its status and is
// reported like any other failure.
template <class Body>
HRESULT Run(LPCWSTR operation, int line, Body&& body) noexcept
{
    bool returned = false;
    const HRESULT status = Platform::StatusFromExceptions([&]() -> HRESULT {
        const HRESULT result = body();
        returned = true;
        return result;
    });
    return returned ? status : Failure(operation, line, status, u"Exception raised.[0x%08X]", {status});
}

// A new counted object, or null when memory runs out.
template <class T, class... Args>
CComPtr<CKivObject<T>> NewObject(Args&&... args)
{
    return CComPtr<CKivObject<T>>(CKivObject<T>::CreateObject(std::forward<Args>(args)...));
}

// A new object with count 0 for a factory, set up by its Init; null when either fails.
template <class T, class Interface>
Interface* CreateInitialized()
{
    auto* object = CKivObject<T>::CreateObject();
    if (object != nullptr && !object->Init()) {
        // Its only reference goes, and the object with it.
        CComPtr<Interface> discard(object);
        return nullptr;
    }
    return object;
}

// The bytes of a BSTR in the ANSI code page.
std::string ToAnsi(BSTR text);
// A new BSTR of message bytes read in the ANSI code page; null when memory runs out.
BSTR ToBstr(std::string_view bytes);

} // namespace Kiv::Http

#define KIV_HTTP_OPERATION(subject, name)        \
    static constexpr LPCWSTR kivOperation = name; \
    HRESULT kivResult = E_FAIL;                   \
    KIV_COMMON_SCOPE(subject, kivOperation, &kivResult)

#define KIV_HTTP_RUN(...) return kivResult = ::Kiv::Http::Run(kivOperation, __LINE__, __VA_ARGS__)

#define KIV_HTTP_FAIL(status, format, ...) \
    return ::Kiv::Http::Failure(kivOperation, __LINE__, status, format, {__VA_ARGS__})
