// The outputs of the tracing library and their factories:
//   File: a trace file per output, named from the log name and the time it was created, and
//         created (exclusively) together with its output, before its first line;
//   Ods:  the debugger channel (standard error on this platform);
//   Null: nowhere;
// and File::CErrorLogIO, the error-log file shared between processes, which moves itself to
// "<path>.bak" when it reaches its size limit.
// Each output serialises its own writes; the error log also locks across processes.
#pragma once

#include "KivLog/CriticalSection.h"
#include "KivLog/LogInterfaces.h"
#include "KivLog/LostLines.h"
#include "KivLog/Unknown.h"

#include "KivPlatform/FileSystem.h"
#include "KivPlatform/Threading.h"

#include <string>
#include <string_view>

namespace Kiv::Log {

// Makes the per-thread logs; the same for every kind of output.
class CLogFactoryBase : public Common::CUnknown<ILogFactory> {
public:
    ILog* CreateLog(ILogIO* output) noexcept override;
};

namespace File {

// How a file output reports lines it could not write: their number, then the file's path.
inline constexpr LPCWSTR LostLinesReport = u"Kiv::Log: %u lines could not be written to %s and are lost\n";

class CLogIO : public Common::CUnknown<ILogIO> {
public:
    explicit CLogIO(bool autoflush);

    LONG Lock() noexcept override;
    LONG Unlock() noexcept override;
    // Converts the text to code page 932 and appends it to the file, whole or not at all;
    // writes nothing when the file could not be created.
    LONG Write(LPCWSTR text) noexcept override;
    void Flush() noexcept override;
    // Creates the output's file under the first name that no file has: "<stem>.log", then
    // "<stem>(2).log", "<stem>(3).log" and so on. Called once, before the first write: the file
    // is never opened later, so that no trace file begins in the middle of a call.
    Platform::AppendFile::OpenResult CreateUnderFreeName(std::u16string_view stem);

    // The file's path; empty before CreateUnderFreeName.
    const std::u16string& GetPath() const { return m_path; }

private:
    Common::CCriticalSection m_lock;
    std::u16string m_path;
    Platform::AppendFile m_file;
    bool m_autoflush;
    CLostLines m_lostLines{LostLinesReport};
};

class CErrorLogIO : public Common::CUnknown<ILogIO> {
public:
    CErrorLogIO(std::u16string path, ULONGLONG sizeLimit);

    // The error log is locked per write, across processes; these do nothing.
    LONG Lock() noexcept override { return 0; }
    LONG Unlock() noexcept override { return 0; }
    // Opens, appends (whole or not at all), closes; moves the file to "<path>.bak" once it has
    // reached the limit.
    LONG Write(LPCWSTR text) noexcept override;
    void Flush() noexcept override {}

private:
    // Orders this process's threads; the process lock orders the processes.
    Platform::CriticalSection m_threadLock;
    Platform::InterProcessLock m_processLock;
    std::u16string m_path;
    ULONGLONG m_sizeLimit;
    CLostLines m_lostLines{LostLinesReport};
};

class CLogFactory : public CLogFactoryBase {
public:
    CLogFactory(bool autoflush, std::u16string location);

    // A new trace file output: "<folder><name>[YYYY-MM-DD hh.mm.ss].log", where the folder
    // comes from the location, with "(2)", "(3)"... before ".log" when outputs of several
    // processes or module logs start within one second. The file is created at once, under a
    // name no file has yet, so that no output ever appends to an existing file or waits.
    ILogIO* CreateLogIO(LPCWSTR name) noexcept override;

    // The folder of the location: "desktop", "current" or empty (the executable's folder), a
    // path starting with "." (relative to the executable's folder) or any folder path, which is
    // created when missing; the executable's folder when that fails. Ends with "/".
    static std::u16string ResolveFolder(std::u16string_view location);

private:
    bool m_autoflush;
    std::u16string m_location;
};

} // namespace File

namespace Ods {

class CLogIO : public Common::CUnknown<ILogIO> {
public:
    LONG Lock() noexcept override;
    LONG Unlock() noexcept override;
    LONG Write(LPCWSTR text) noexcept override;
    void Flush() noexcept override {}

private:
    Common::CCriticalSection m_lock;
};

class CLogFactory : public CLogFactoryBase {
public:
    ILogIO* CreateLogIO(LPCWSTR name) noexcept override;
};

} // namespace Ods

namespace Null {

class CLogIO : public Common::CUnknown<ILogIO> {
public:
    LONG Lock() noexcept override { return 0; }
    LONG Unlock() noexcept override { return 0; }
    LONG Write(LPCWSTR) noexcept override { return 0; }
    void Flush() noexcept override {}
};

class CLogFactory : public CLogFactoryBase {
public:
    ILogIO* CreateLogIO(LPCWSTR name) noexcept override;
};

} // namespace Null

} // namespace Kiv::Log
