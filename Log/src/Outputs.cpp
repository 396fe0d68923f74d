// The outputs (trace file, error-log file, debugger channel, nowhere) and their factories.
#include "KivLog/Outputs.h"

#include "KivLog/Format.h"
#include "KivLog/Log.h"

#include "KivPlatform/ModulePath.h"
#include "KivPlatform/Text.h"
#include "KivPlatform/Time.h"

#include <mutex>
#include <new>

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

void CLostLines::Count(bool written, std::u16string_view path)
{
    if (!written) {
        ++m_count;
        return;
    }
    if (m_count == 0) {
        return;
    }
    OutputDebugStringW(
        FormatMessage(u"Kiv::Log: %u lines could not be written to %s and are lost\n", {m_count, std::u16string(path)})
            .c_str());
    m_count = 0;
}

CLogIO::CLogIO(bool autoflush) : m_autoflush(autoflush) {}

LONG CLogIO::Lock()
{
    return m_lock.Lock();
}

LONG CLogIO::Unlock()
{
    return m_lock.Unlock();
}

AppendFile::OpenResult CLogIO::CreateUnderFreeName(std::u16string_view stem)
{
    std::lock_guard lock(m_lock);
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

LONG CLogIO::Write(LPCWSTR text)
{
    std::lock_guard lock(m_lock);
    if (!m_file.IsOpen()) {
        return 0;
    }
    const std::string bytes = ToAnsi(text);
    const bool written = m_file.Write(bytes.data(), bytes.size()) == bytes.size();
    m_lostLines.Count(written, m_path);
    if (written && m_autoflush) {
        Flush();
    }
    return written ? static_cast<LONG>(bytes.size()) : 0;
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
    if (file.Open(m_path, AppendFile::OpenMode::OpenOrCreate) != AppendFile::OpenResult::Ok) {
        m_lostLines.Count(false, m_path);
    } else {
        const std::string bytes = ToAnsi(text);
        written = file.Write(bytes.data(), bytes.size());
        m_lostLines.Count(written == bytes.size(), m_path);
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
    SYSTEMTIME now;
    GetLocalTime(&now);
    const std::u16string stem =
        ResolveFolder(m_location) + (name != nullptr ? name : u"") +
        FormatMessage(u"[%04d-%02d-%02d %02d.%02d.%02d]",
                      {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond});
    auto* output = new (std::nothrow) CLogIO(m_autoflush);
    if (output != nullptr && output->CreateUnderFreeName(stem) == AppendFile::OpenResult::Failed) {
        // The output then writes nothing; said once, since the file is not tried again.
        const std::u16string report =
            FormatMessage(u"Kiv::Log: the trace file %s cannot be created; the lines of %s are not written\n",
                          {output->GetPath(), name != nullptr ? name : u""});
        OutputDebugStringW(report.c_str());
    }
    return output;
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
