#include "KivHttpSupport.h"

#include "KivPlatform/Text.h"

namespace Kiv::Http {

HRESULT Failure(LPCWSTR operation, int line, HRESULT status, LPCWSTR format,
                std::initializer_list<Kiv::Log::FormatArg> args) noexcept
{
    CommonLog().ReportError(operation, line, SourcePath, format, args);
    return status;
}

std::string ToAnsi(BSTR text)
{
    return Platform::Utf16ToAnsi(std::u16string_view(text, SysStringLen(text)));
}

BSTR ToBstr(std::string_view bytes)
{
    const std::u16string text = Platform::AnsiToUtf16(bytes);
    return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

} // namespace Kiv::Http
