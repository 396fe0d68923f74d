// The outputs (trace file, error-log file, debugger channel, nowhere) and their factories.
#include "KivLog/Outputs.h"

#include "KivLog/Format.h"
#include "KivLog/Log.h"

#include "KivObject/MakeObject.h"

#include "KivPlatform/Boundary.h"
#include "KivPlatform/ModulePath.h"
#include "KivPlatform/Text.h"
#include "KivPlatform/Time.h"

#include <mutex>

namespace Kiv::Log {

namespace {

using Platform::AppendFile;

std::string ToAnsi(LPCWSTR text)
{
    return text == nullptr ? std::string() : Platform::Utf16ToAnsi(text);
}

std::u16string ExecutableFolder()
{
    return Platform::GetDirectoryPart(Platform::GetExecutablePath());
}

// Holds the lock that orders the processes writing one file, when its lock file could be opened.
class CProcessLockHold {
public:
    explicit CProcessLockHold(Platform::InterProcessLock& lock) noexcept : m_lock(lock), m_locked(lock.Lock()) {}
    ~CProcessLockHold()
    {
        if (m_locked) {
            m_lock.Unlock();
        }
    }
    CProcessLockHold(const CProcessLockHold&) = delete;
    CProcessLockHold& operator=(const CProcessLockHold&) = delete;

private:
    Platform::InterProcessLock& m_lock;
    bool m_locked;
};

// A new object for a factory's operation, which hands its creator's reference to the caller;
// null when it cannot be made.
template <class Object, class... Args>
Object* CreateForCaller(Args&&... args) noexcept
{
    CComPtr<Object> object;
    static_cast<void>(
        Platform::StatusFromExceptions([&] { object = MakeObject<Object>(std::forward<Args>(args)...); }));
    return object.Detach();
}

} // namespace

ILog* CLogFactoryBase::CreateLog(ILogIO* output) noexcept
{
    return CreateForCaller<CLog>(output);
}

namespace File {

CLogIO::CLogIO(bool autoflush) : m_autoflush(autoflush) {}

LONG CLogIO::Lock() noexcept
{
    return m_lock.Lock();
}

LONG CLogIO::Unlock() noexcept
{
    return m_lock.Unlock();
}

AppendFile::OpenResult CLogIO::CreateUnderFreeName(std::u16string_view stem)
{
    const Common::CLockGuard hold(m_lock);
    // Creation is exclusive, so that of several outputs (of this or other processes) picking a
    // name at once, each gets a file of its own; a taken name moves on to the next number.
    AppendFile::OpenResult result = AppendFile::OpenResult::AlreadyExists;
    for (unsigned number = 1; result == AppendFile::OpenResult::AlreadyExists; ++number) {
        m_path = stem;
        if (number > 1) {
            m_path += FormatMessage(u"(%u)", {number});
        }
        m_path += u".log";
        result = m_file.Open(m_path, AppendFile::OpenMode::CreateNew);
    }
    return result;
}

LONG CLogIO::Write(LPCWSTR text) noexcept
{
    const Common::CLockGuard hold(m_lock);
    if (!m_file.IsOpen()) {
        return 0;
    }
    std::size_t written = 0;
    bool whole = false;
    // A text that cannot be converted for want of memory is lost like one the disk refused.
    static_cast<void>(Platform::StatusFromExceptions([&] {
        const std::string bytes = ToAnsi(text);
        written = m_file.Write(bytes.data(), bytes.size());
        whole = written == bytes.size();
    }));
    m_lostLines.Count(whole, m_path);
    if (whole && m_autoflush) {
        Flush();
    }
    return static_cast<LONG>(written);
}

void CLogIO::Flush() noexcept
{
    const Common::CLockGuard hold(m_lock);
    m_file.Flush();
}

CErrorLogIO::CErrorLogIO(std::u16string path, ULONGLONG sizeLimit)
    : m_processLock(path), m_path(std::move(path)), m_sizeLimit(sizeLimit)
{
}

LONG CErrorLogIO::Write(LPCWSTR text) noexcept
{
    if (m_path.empty()) {
        return 0; // a library without an error log
    }
    const std::lock_guard threadLock(m_threadLock);
    const CProcessLockHold processLock(m_processLock); // without the lock file, write unlocked
    std::size_t written = 0;
    bool whole = false;
    // A file that cannot be opened, or a text that cannot be converted for want of memory,
    // loses the line like a full disk.
    static_cast<void>(Platform::StatusFromExceptions([&] {
        AppendFile file;
        if (file.Open(m_path, AppendFile::OpenMode::OpenOrCreate) != AppendFile::OpenResult::Ok) {
            return;
        }
        const std::string bytes = ToAnsi(text);
        written = file.Write(bytes.data(), bytes.size());
        whole = written == bytes.size();
        const ULONGLONG size = file.Size();
        file.Close();
        if (size >= m_sizeLimit) {
            const std::u16string backup = m_path + u".bak";
            Platform::DeleteFileW(backup);
            Platform::MoveFileW(m_path, backup);
        }
    }));
    m_lostLines.Count(whole, m_path);
    return static_cast<LONG>(written);
}

CLogFactory::CLogFactory(bool autoflush, std::u16string location)
    : m_autoflush(autoflush), m_location(std::move(location))
{
}

std::u16string CLogFactory::ResolveFolder(std::u16string_view location)
{
    const std::u16string executableFolder = ExecutableFolder();
    std::u16string folder;
    if (location == u"desktop") {
        folder = Platform::GetDesktopFolder();
        if (folder.empty()) {
            folder = executableFolder;
        }
    } else if (location.empty() || location == u"current") {
        folder = executableFolder;
    } else {
        folder = location.front() == u'.' ? Platform::AppendPath(executableFolder, location) : std::u16string(location);
        if (!Platform::CreateDirectories(folder)) {
            folder = executableFolder;
        }
    }
    if (folder.empty() || folder.back() != u'/') {
        folder += u'/';
    }
    return folder;
}

ILogIO* CLogFactory::CreateLogIO(LPCWSTR name) noexcept
{
    CComPtr<CLogIO> output;
    const HRESULT status = Platform::StatusFromExceptions([&] {
        output = MakeObject<CLogIO>(m_autoflush);
        SYSTEMTIME now;
        GetLocalTime(&now);
        const std::u16string stem =
            ResolveFolder(m_location) + (name != nullptr ? name : u"") +
            FormatMessage(u"[%04d-%02d-%02d %02d.%02d.%02d]",
                          {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond});
        if (output->CreateUnderFreeName(stem) == AppendFile::OpenResult::Failed) {
            // The output then writes nothing; said once, since the file is not tried again.
            const std::u16string report =
                FormatMessage(u"Kiv::Log: the trace file %s cannot be created; the lines of %s are not written\n",
                              {output->GetPath(), name != nullptr ? name : u""});
            OutputDebugStringW(report.c_str());
        }
    });
    return SUCCEEDED(status) ? output.Detach() : nullptr;
}

} // namespace File

namespace Ods {

LONG CLogIO::Lock() noexcept
{
    return m_lock.Lock();
}

LONG CLogIO::Unlock() noexcept
{
    return m_lock.Unlock();
}

LONG CLogIO::Write(LPCWSTR text) noexcept
{
    const Common::CLockGuard hold(m_lock);
    // A text that cannot be converted for want of memory is not shown.
    static_cast<void>(Platform::StatusFromExceptions([&] { OutputDebugStringW(text); }));
    return 0;
}

ILogIO* CLogFactory::CreateLogIO(LPCWSTR) noexcept
{
    return CreateForCaller<CLogIO>();
}

} // namespace Ods

namespace Null {

ILogIO* CLogFactory::CreateLogIO(LPCWSTR) noexcept
{
    return CreateForCaller<CLogIO>();
}

} // namespace Null

} // namespace Kiv::Log
