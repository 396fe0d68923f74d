// Counting and reporting lost lines.
#include "KivLog/LostLines.h"

#include "KivLog/Format.h"

#include "KivPlatform/Boundary.h"
#include "KivPlatform/FileSystem.h"

#include <string>

namespace Kiv::Log {

void CLostLines::Count(bool written, std::u16string_view what) noexcept
{
    if (!written) {
        ++m_count;
        return;
    }
    if (m_count == 0) {
        return;
    }
    const HRESULT reported = Platform::StatusFromExceptions(
        [&] { OutputDebugStringW(FormatMessage(m_report, {m_count, std::u16string(what)}).c_str()); });
    if (SUCCEEDED(reported)) {
        m_count = 0;
    }
}

} // namespace Kiv::Log
