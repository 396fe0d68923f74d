// The module log, the registry of outputs and thread logs, and the start-up of tracing.
#include "KivLog/ModuleLog.h"

#include "KivLog/CriticalSection.h"
#include "KivLog/LogSetting.h"

#include "KivObject/MakeObject.h"

#include "KivPlatform/Boundary.h"
#include "KivPlatform/FileSystem.h"
#include "KivPlatform/ModulePath.h"
#include "KivPlatform/Threading.h"

#include <cstring>
#include <map>
#include <mutex>

namespace Kiv::Log {

namespace {

// Per log name: the output all threads share and each thread's own log. Entries are never
// removed, so a thread that gets a recycled id takes over the earlier thread's log.
class CLogRegistry {
public:
    struct Entry {
        CComPtr<ILogIO> output;
        // The factory is asked for the output once: an output made at a later call would begin
        // its file inside the calls that were open meanwhile.
        bool outputRequested = false;
        std::map<DWORD, CComPtr<ILog>> threadLogs;
    };

    // Kept until the process ends, so that a thread still tracing while the process exits never
    // meets a destroyed registry; outputs write straight to their files, so nothing is lost.
    static CLogRegistry& Instance()
    {
        static auto* registry = new CLogRegistry();
        return *registry;
    }

    // The module log's lock serialises one library's callers; this one orders module logs of
    // different names in one library instance.
    std::mutex& Mutex() { return m_mutex; }
    Entry& FindOrCreate(const std::u16string& name) { return m_entries[name]; }

private:
    std::mutex m_mutex;
    std::map<std::u16string, Entry> m_entries;
};

std::atomic<std::uint32_t> g_lastGeneration{0};

// The file-name part of a source path.
const char* FileNamePart(const char* path)
{
    if (path == nullptr) {
        return "";
    }
    const char* slash = std::strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

} // namespace

CModuleLog::CModuleLog(std::u16string name, ILogSetting* settings)
    : m_name(std::move(name)), m_settings(settings), m_lock(MakeObject<Common::CCriticalSection>()),
      m_generation(++g_lastGeneration)
{
    m_enabled = m_settings && m_settings->IsEnabled();
    if (m_settings) {
        m_settings->GetOutputFilter(&m_filter);
    }
}

CComPtr<ILog> CModuleLog::FindLog()
{
    CComPtr<ILogFactory> factory;
    if (m_settings) {
        m_settings->GetLogFactory(&factory);
    }
    CLogRegistry& registry = CLogRegistry::Instance();
    const std::lock_guard registryLock(registry.Mutex());
    CLogRegistry::Entry& entry = registry.FindOrCreate(m_name);
    if (!entry.outputRequested && factory) {
        entry.outputRequested = true;
        entry.output.Attach(factory->CreateLogIO(m_name.c_str()));
    }
    if (!entry.output) {
        return {};
    }
    CComPtr<ILog>& log = entry.threadLogs[GetCurrentThreadId()];
    if (!log && factory) {
        log.Attach(factory->CreateLog(entry.output));
    }
    return log;
}

CComPtr<ILog> CModuleLog::GetLog() noexcept
{
    const Common::CLockGuard hold(*m_lock);
    CComPtr<ILog> log;
    // Without memory for the registry's entries there is no log, as without an output.
    static_cast<void>(Platform::StatusFromExceptions([&] { log = FindLog(); }));
    return log;
}

LONG CModuleLog::IncIndent() noexcept
{
    const Common::CLockGuard hold(*m_lock);
    const CComPtr<ILog> log = GetLog();
    return log ? log->IncIndent() : 0;
}

LONG CModuleLog::DecIndent() noexcept
{
    const Common::CLockGuard hold(*m_lock);
    const CComPtr<ILog> log = GetLog();
    return log ? log->DecIndent() : 0;
}

bool CModuleLog::Passes(LPCWSTR subject, LONG level) noexcept
{
    return m_enabled && m_filter && m_filter->Check(subject, level) == S_OK;
}

void CModuleLog::WriteMessage(LPCWSTR subject, LONG level, std::u16string_view prefix, std::u16string_view format,
                              std::initializer_list<FormatArg> args) noexcept
{
    const Common::CLockGuard hold(*m_lock);
    if (!Passes(subject, level)) {
        return;
    }
    const HRESULT status = Platform::StatusFromExceptions([&] {
        std::u16string message(prefix);
        message += FormatMessage(format, args);
        const CComPtr<ILog> log = FindLog();
        return log && log->Write(message.c_str()) == LineDropped ? E_OUTOFMEMORY : S_OK;
    });
    m_droppedLines.Count(SUCCEEDED(status), m_name);
}

LONG CModuleLog::Trace(LPCWSTR subject, LONG level, LPCWSTR format, std::initializer_list<FormatArg> args) noexcept
{
    if (format != nullptr) {
        WriteMessage(subject, level, u"", format, args);
    }
    return 0;
}

LONG CModuleLog::TraceMessage(LPCWSTR subject, LONG level, std::u16string_view format,
                              std::initializer_list<FormatArg> args) noexcept
{
    WriteMessage(subject, level, u" ", format, args);
    return 0;
}

LONG CModuleLog::ReportError(LPCWSTR format, std::initializer_list<FormatArg> args) noexcept
{
    const Common::CLockGuard hold(*m_lock);
    if (format == nullptr || !m_settings) {
        return 0;
    }
    const HRESULT status = Platform::StatusFromExceptions([&] {
        CComPtr<ILog> errorLog;
        const HRESULT found = m_settings->GetErrorLog(&errorLog);
        if (FAILED(found) || !errorLog) {
            return found;
        }
        return errorLog->Write(FormatMessage(format, args).c_str()) == LineDropped ? E_OUTOFMEMORY : S_OK;
    });
    m_droppedLines.Count(SUCCEEDED(status), m_name);
    return 0;
}

LONG CModuleLog::ReportError(LPCWSTR operation, int line, const char* sourcePath, LPCWSTR format,
                             std::initializer_list<FormatArg> args) noexcept
{
    std::u16string message;
    const HRESULT status = Platform::StatusFromExceptions([&] {
        message = FormatMessage(u"[%X][%05d][%s(%s)] ",
                                {GetCurrentProcessId(), line, FileNamePart(sourcePath), operation}) +
                  FormatMessage(format != nullptr ? format : u"", args);
    });
    if (FAILED(status)) {
        const Common::CLockGuard hold(*m_lock);
        m_droppedLines.Count(false, m_name);
        return 0;
    }
    return ReportError(u"%s", {message});
}

std::unique_ptr<CModuleLog> StartModuleLog(std::u16string_view name, std::u16string_view settingsPath,
                                           std::u16string_view errorLogPath)
{
    const CComPtr<CLogXMLSetting> settings = MakeObject<CLogXMLSetting>(errorLogPath);
    const std::u16string path(settingsPath);
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
        settings->LoadFile(path);
    }
    return std::make_unique<CModuleLog>(std::u16string(name), settings);
}

std::unique_ptr<CModuleLog> StartKivCommonLog()
{
    const std::u16string folder = Platform::GetDirectoryPart(Platform::GetExecutablePath());
    return StartModuleLog(u"Kiv", folder + u"Kiv.log.xml", folder + u"Kiv.log");
}

std::unique_ptr<CModuleLog> StartKivLogSysMgrLog(const void* addressInLibrary)
{
    const std::u16string folder = Platform::GetDirectoryPart(Platform::GetModulePath(addressInLibrary));
    return StartModuleLog(u"KivLogSysMgrLog", folder + u"KivLogSysMgr.log.xml", u"");
}

namespace {

// Made when the library is loaded, so that falling back to it needs no memory.
CModuleLog g_silentLog(u"", nullptr);

} // namespace

CModuleLog& StartedOrSilent(std::unique_ptr<CModuleLog> (*start)()) noexcept
{
    CModuleLog* started = nullptr;
    Platform::StatusFromExceptions([&] { started = start().release(); });
    return started != nullptr ? *started : g_silentLog;
}

} // namespace Kiv::Log
