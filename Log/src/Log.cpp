// Composition of trace lines (CLog) and error-log lines (CErrorLog).
#include "KivLog/Log.h"

#include "KivLog/CriticalSection.h"
#include "KivLog/Format.h"

#include "KivPlatform/Boundary.h"
#include "KivPlatform/FileSystem.h"
#include "KivPlatform/ModulePath.h"
#include "KivPlatform/Text.h"
#include "KivPlatform/Threading.h"
#include "KivPlatform/Time.h"

#include <algorithm>

namespace Kiv::Log {

namespace {

constexpr char16_t IndentUnit = u'│';
// The indentation character's size in code page 932.
constexpr std::size_t IndentBytes = 2;

// Appends a text to a line with its line breaks shown as "\r" and "\n", so that no traced text
// can end its line early and start one of its own (with a forged header, thread or method).
// Backslashes stay as they are: a text holding "\n" as two characters reads the same as an
// escaped line break, but neither can start a line, and paths and names keep their form.
void AppendEscaped(std::u16string& line, std::u16string_view text)
{
    for (const char16_t c : text) {
        if (c == u'\r') {
            line += u"\\r";
        } else if (c == u'\n') {
            line += u"\\n";
        } else {
            line += c;
        }
    }
}

// Cuts the text that starts at textStart in the line, when it takes more than budget bytes in
// code page 932, so that it fits with the cut mark (ASCII, a byte per unit) after it; the cut
// falls between characters, never inside a lead and trail byte pair.
void FitText(std::u16string& line, std::size_t textStart, std::size_t budget)
{
    const std::u16string_view text = std::u16string_view(line).substr(textStart);
    // No UTF-16 unit takes more than two bytes, so most texts need no measuring.
    if (text.size() * 2 <= budget) {
        return;
    }
    std::string bytes = Platform::Utf16ToAnsi(text);
    if (bytes.size() <= budget) {
        return;
    }
    const std::size_t room = budget - CLog::CutMark.size();
    std::size_t length = 0;
    while (length < bytes.size()) {
        const std::size_t step = Platform::IsAnsiLeadByte(static_cast<BYTE>(bytes[length])) ? 2 : 1;
        if (length + step > room) {
            break;
        }
        length += step;
    }
    bytes.resize(length);
    // The bytes came from the conversion, so they convert back to the same characters.
    line.resize(textStart);
    line += Platform::AnsiToUtf16(bytes);
    line += CLog::CutMark;
}

} // namespace

CLog::CLog(ILogIO* output) : m_output(output) {}

LONG CLog::Lock() noexcept
{
    ++m_lockDepth;
    return m_output->Lock();
}

LONG CLog::Unlock() noexcept
{
    --m_lockDepth;
    return m_output->Unlock();
}

LONG CLog::Write(LPCWSTR text) noexcept
{
    // Held from the time stamp to the write, so that the lines of all threads stand in the
    // file in the order of their times.
    const Common::CLockGuard hold(*this);
    LONG written = 0;
    const HRESULT status = Platform::StatusFromExceptions([&] {
        SYSTEMTIME now;
        GetLocalTime(&now);
        std::u16string line = FormatMessage(u"[%08X][%04d/%02d/%02d(%02d:%02d:%02d.%03d)]",
                                            {GetCurrentThreadId(), now.wYear, now.wMonth, now.wDay, now.wHour,
                                             now.wMinute, now.wSecond, now.wMilliseconds});
        // The header is ASCII and each indentation character two bytes, so the budget of the
        // text is known without converting them; MaxIndent keeps it well above the cut mark.
        const std::size_t headerBytes = line.size();
        const std::size_t indent =
            m_indentDepth > 0 ? static_cast<std::size_t>(std::min(m_indentDepth, MaxIndent)) : 0;
        line.append(indent, IndentUnit);
        if (text != nullptr) {
            const std::size_t textStart = line.size();
            AppendEscaped(line, text);
            FitText(line, textStart, MaxLineBytes - headerBytes - IndentBytes * indent);
        }
        line += u"\r\n";
        written = m_output->Write(line.c_str());
    });
    return SUCCEEDED(status) ? written : LineDropped;
}

CErrorLog::CErrorLog(ILogIO* output) : m_output(output) {}

LONG CErrorLog::Write(LPCWSTR text) noexcept
{
    const Common::CLockGuard hold(*this);
    LONG written = 0;
    const HRESULT status = Platform::StatusFromExceptions([&] {
        SYSTEMTIME now;
        GetLocalTime(&now);
        const std::u16string stamp = FormatMessage(
            u"[%04d/%02d/%02d %02d:%02d:%02d]", {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond});
        if (m_firstWrite) {
            const DWORD processId = GetCurrentProcessId();
            const std::u16string process = stamp + FormatMessage(u"[%X] ", {processId});
            const std::u16string rule = process + u"------------------------------\r\n";
            std::u16string executable = process;
            AppendEscaped(executable, Platform::GetExecutablePath());
            executable += u"\r\n";
            m_output->Write(rule.c_str());
            m_output->Write(executable.c_str());
            m_output->Write(rule.c_str());
            m_firstWrite = false;
        }
        std::u16string line = stamp;
        if (text != nullptr) {
            AppendEscaped(line, text);
        }
        line += u"\r\n";
        written = m_output->Write(line.c_str());
    });
    return SUCCEEDED(status) ? written : LineDropped;
}

} // namespace Kiv::Log
