// CModuleLog: the tracing of one library instance (or program): its name, its settings and
// its lock. Through the log registry, all threads of one log name write through one output and
// each thread has its own log with its own indentation.
//
// Thread-safety: every operation holds the module log's lock, so registry lookups, filter
// checks and writes of one library are serialised. The enabled flag and the settings do not
// change after construction.
//
// The operations are noexcept, since they run inside traced operations and their destructors: a
// line that cannot be made (out of memory) is dropped, counted, and the number reported once on
// the debugger channel when a line gets through again.
#pragma once

#include "KivLog/Format.h"
#include "KivLog/LogInterfaces.h"
#include "KivLog/LostLines.h"

#include "KivObject/ComPtr.h"

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

namespace Kiv::Log {

class CModuleLog {
public:
    CModuleLog(std::u16string name, ILogSetting* settings);
    CModuleLog(const CModuleLog&) = delete;
    CModuleLog& operator=(const CModuleLog&) = delete;

    // The calling thread's log (created on first use), counted; null when none can be made.
    CComPtr<ILog> GetLog() noexcept;
    LONG IncIndent() noexcept;
    LONG DecIndent() noexcept;
    // Formats and writes one message to the calling thread's log if the filter lets the
    // subject and level through. Returns 0.
    LONG Trace(LPCWSTR subject, LONG level, LPCWSTR format, std::initializer_list<FormatArg> args = {}) noexcept;
    // The same for a message inside a traced operation: its text follows a blank, where entry
    // and exit lines have their marker.
    LONG TraceMessage(LPCWSTR subject, LONG level, std::u16string_view format,
                      std::initializer_list<FormatArg> args = {}) noexcept;
    // Formats and writes one line to the error log. Returns 0.
    LONG ReportError(LPCWSTR format, std::initializer_list<FormatArg> args = {}) noexcept;
    // The error report of a failed check in an operation: "[pid][line][file(operation)] " and
    // the message, where file is the name part of the source path.
    LONG ReportError(LPCWSTR operation, int line, const char* sourcePath, LPCWSTR format,
                     std::initializer_list<FormatArg> args = {}) noexcept;

    // True when the settings hold at least one filter.
    bool IsEnabled() const { return m_enabled; }
    // True when the filter lets the subject and level through (and tracing is enabled).
    bool Passes(LPCWSTR subject, LONG level) noexcept;
    // Tells module logs apart for the per-site caches of CTraceSite; never 0.
    std::uint32_t Generation() const { return m_generation; }
    const std::u16string& GetName() const { return m_name; }

private:
    // GetLog's work; throws when memory runs out.
    CComPtr<ILog> FindLog();
    // Writes prefix and the formatted message as one line of the calling thread's log.
    void WriteMessage(LPCWSTR subject, LONG level, std::u16string_view prefix, std::u16string_view format,
                      std::initializer_list<FormatArg> args) noexcept;

    std::u16string m_name;
    CComPtr<ILogSetting> m_settings;
    CComPtr<IOutputFilter> m_filter;
    CComPtr<Common::ILock> m_lock;
    bool m_enabled;
    std::uint32_t m_generation;
    // Lines dropped for want of memory; guarded by m_lock.
    CLostLines m_droppedLines{u"Kiv::Log: %u lines of %s could not be made and were dropped\n"};
};

// Starts tracing as a library or program does on its first traced call: reads the settings file
// if it exists (defaults otherwise: nothing is traced) and creates the module log. The error
// log goes to errorLogPath.
std::unique_ptr<CModuleLog> StartModuleLog(std::u16string_view name, std::u16string_view settingsPath,
                                           std::u16string_view errorLogPath);
// KivCommon's start-up: "Kiv.log.xml" beside the executable, error log "Kiv.log" there too.
std::unique_ptr<CModuleLog> StartKivCommonLog();
// KivLogSysMgr's start-up: "KivLogSysMgr.log.xml" beside the library file that contains the
// given address; no error log.
std::unique_ptr<CModuleLog> StartKivLogSysMgrLog(const void* addressInLibrary);
// The module log that start makes, kept until the process ends; when it cannot be made (out of
// memory), a log that traces nothing, so that a library's first traced call never throws.
CModuleLog& StartedOrSilent(std::unique_ptr<CModuleLog> (*start)()) noexcept;

} // namespace Kiv::Log
