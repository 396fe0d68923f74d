// The logs: CLog, one per thread, composes trace lines (header, indentation, text, CR LF);
// CErrorLog composes error-log lines (time stamp, text) behind a per-process banner.
// A CLog is used by its own thread; its output serialises the writes of all threads.
#pragma once

#include "KivLog/LogInterfaces.h"
#include "KivLog/Unknown.h"

#include "KivObject/ComPtr.h"

#include <cstddef>
#include <string_view>

namespace Kiv::Log {

class CLog : public Common::CUnknown<ILog> {
public:
    // The most indentation characters a line carries.
    static constexpr LONG MaxIndent = 127;
    // The longest line, in code page 932 bytes without its line end, that the trace reader
    // takes whole; a longer text is cut to fit and ends with CutMark.
    static constexpr std::size_t MaxLineBytes = 1024;
    static constexpr std::u16string_view CutMark = u"...";

    explicit CLog(ILogIO* output);

    LONG IncIndent() noexcept override { return ++m_indentDepth; }
    LONG DecIndent() noexcept override { return --m_indentDepth; }
    LONG Lock() noexcept override;
    LONG Unlock() noexcept override;
    // Writes "[thread][date(time)]" + indentation + text + CR LF as one piece, so that lines
    // of different threads and processes never mix. Line breaks in the text are written as
    // "\r" and "\n", so that every text stays on its own line, and a text too long for
    // MaxLineBytes is cut at a character boundary.
    LONG Write(LPCWSTR text) noexcept override;

private:
    CComPtr<ILogIO> m_output;
    LONG m_indentDepth = 0;
    LONG m_lockDepth = 0;
};

class CErrorLog : public Common::CUnknown<ILog> {
public:
    explicit CErrorLog(ILogIO* output);

    LONG IncIndent() noexcept override { return 0; }
    LONG DecIndent() noexcept override { return 0; }
    LONG Lock() noexcept override { return m_output->Lock(); }
    LONG Unlock() noexcept override { return m_output->Unlock(); }
    // Writes "[YYYY/MM/DD hh:mm:ss]" + text + CR LF, with line breaks in the text written as
    // "\r" and "\n"; the first write of this object is preceded by three banner lines naming the
    // process and its executable.
    LONG Write(LPCWSTR text) noexcept override;

private:
    CComPtr<ILogIO> m_output;
    bool m_firstWrite = true;
};

} // namespace Kiv::Log
