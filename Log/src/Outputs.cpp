// The outputs (trace file, error-log file, debugger channel, nowhere) and their factories.
#include "KivLog/Outputs.h"

#include "KivLog/Format.h"
#include "KivLog/Log.h"

#include "KivPlatform/ModulePath.h"
#include "KivPlatform/Text.h"
#include "KivPlatform/Time.h"

#include <chrono>
#include <mutex>
#include <new>
#include <thread>

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

} // namespace

ILog* CLogFactoryBase::CreateLog(ILogIO* output)
{
    return new (std::nothrow) CLog(output);
}

namespace File {

CLogIO::CLogIO(std::u16string path, bool autoflush) : m_path(std::move(path)), m_autoflush(autoflush) {}

LONG CLogIO::Lock()
{
    return m_lock.Lock();
}

LONG CLogIO::Unlock()
{
    return m_lock.Unlock();
}

AppendFile::OpenResult CLogIO::CreateNew()
{
    std::lock_guard lock(m_lock);
    return m_file.Open(m_path, AppendFile::OpenMode::CreateNew);
}

LONG CLogIO::Write(LPCWSTR text)
{
    std::lock_guard lock(m_lock);
    if (!m_file.IsOpen()) {
        m_file.Open(m_path, AppendFile::OpenMode::OpenOrCreate);
    }
    const std::string bytes = ToAnsi(text);
    const std::size_t written = m_file.Write(bytes.data(), bytes.size());
    if (m_autoflush) {
        Flush();
    }
    return static_cast<LONG>(written);
}

void CLogIO::Flush()
{
    std::lock_guard lock(m_lock);
    m_file.Flush();
}

CErrorLogIO::CErrorLogIO(std::u16string path, ULONGLONG sizeLimit)
    : m_processLock(path), m_path(std::move(path)), m_sizeLimit(sizeLimit)
{
}

LONG CErrorLogIO::Write(LPCWSTR text)
{
    if (m_path.empty()) {
        return 0; // a library without an error log
    }
    std::lock_guard threadLock(m_threadLock);
    const bool locked = m_processLock.Lock(); // without the lock file, write unlocked
    AppendFile file;
    std::size_t written = 0;
    if (file.Open(m_path, AppendFile::OpenMode::OpenOrCreate) == AppendFile::OpenResult::Ok) {
        const std::string bytes = ToAnsi(text);
        written = file.Write(bytes.data(), bytes.size());
        const ULONGLONG size = file.Size();
        file.Close();
        if (size >= m_sizeLimit) {
            const std::u16string backup = m_path + u".bak";
            Platform::DeleteFileW(backup);
            Platform::MoveFileW(m_path, backup);
        }
    }
    if (locked) {
        m_processLock.Unlock();
    }
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

ILogIO* CLogFactory::CreateLogIO(LPCWSTR name)
{
    const std::u16string folder = ResolveFolder(m_location);
    const std::u16string baseName = name != nullptr ? name : u"";
    // A name taken by an existing file is never reused: wait for the next second's time stamp.
    // The file is created at once, so that no other output (of this or another process) can
    // pick the same name in between.
    constexpr int MaxAttempts = 5;
    for (int attempt = 0; attempt < MaxAttempts; ++attempt) {
        SYSTEMTIME now;
        GetLocalTime(&now);
        const std::u16string path = folder + baseName +
                                    FormatMessage(u"[%04d-%02d-%02d %02d.%02d.%02d].log",
                                                  {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond});
        auto* output = new (std::nothrow) CLogIO(path, m_autoflush);
        if (output == nullptr) {
            return nullptr;
        }
        if (output->CreateNew() != AppendFile::OpenResult::AlreadyExists) {
            return output; // created, or failed for another reason: writes will try again
        }
        output->Release();
        std::this_thread::sleep_for(std::chrono::milliseconds(1000 - now.wMilliseconds));
    }
    return nullptr; // every name was taken: better no trace than one appended to another's file
}

} // namespace File

namespace Ods {

LONG CLogIO::Lock()
{
    return m_lock.Lock();
}

LONG CLogIO::Unlock()
{
    return m_lock.Unlock();
}

LONG CLogIO::Write(LPCWSTR text)
{
    std::lock_guard lock(m_lock);
    OutputDebugStringW(text);
    return 0;
}

ILogIO* CLogFactory::CreateLogIO(LPCWSTR)
{
    return new (std::nothrow) CLogIO();
}

} // namespace Ods

namespace Null {

ILogIO* CLogFactory::CreateLogIO(LPCWSTR)
{
    return new (std::nothrow) CLogIO();
}

} // namespace Null

} // namespace Kiv::Log
