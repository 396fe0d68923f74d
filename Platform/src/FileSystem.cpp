// Files, folders and processes on POSIX calls: stat, mkdir, unlink, renameat2, append-mode file
// descriptors (cut back with ftruncate after a short write) and flock. Free functions keep no
// state and are thread-safe (GetDesktopFolder reads the environment, so it must not race with
// setenv); each object is used by one thread at a time.
#include "KivPlatform/FileSystem.h"

#include "KivPlatform/ModulePath.h"
#include "KivPlatform/Text.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

DWORD GetFileAttributesW(LPCWSTR path)
{
    if (path == nullptr) {
        return INVALID_FILE_ATTRIBUTES;
    }
    struct stat status {};
    if (::stat(Kiv::Platform::ToSystemPath(path).c_str(), &status) != 0) {
        return INVALID_FILE_ATTRIBUTES;
    }
    return S_ISDIR(status.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}

void OutputDebugStringW(LPCWSTR text)
{
    if (text == nullptr) {
        return;
    }
    // One fwrite on the unbuffered stderr is one write under the stream's lock, so texts from
    // several threads never mix, and they stay in order with other output to stderr.
    const std::string utf8 = Kiv::Platform::Utf16ToUtf8(text);
    std::fwrite(utf8.data(), 1, utf8.size(), stderr);
}

DWORD GetCurrentProcessId()
{
    return static_cast<DWORD>(::getpid());
}

namespace Kiv::Platform {

namespace {

bool IsFolder(const std::string& systemPath)
{
    struct stat status {};
    return ::stat(systemPath.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

std::string WithoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

// The environment variable's value, or empty when it is unset.
std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// The XDG_DESKTOP_DIR value of a user-dirs settings file with "$HOME" expanded; empty when the
// file has none or its value is not an absolute path. The file is a shell fragment, so the last
// assignment wins.
std::string DesktopFromUserDirs(const std::string& settingsPath, const std::string& home)
{
    static constexpr std::string_view key = "XDG_DESKTOP_DIR=\"";
    static constexpr std::string_view homeVariable = "$HOME";
    std::ifstream settings(settingsPath);
    std::string desktop;
    std::string line;
    while (std::getline(settings, line)) {
        const std::size_t start = line.find_first_not_of(" \t");
        const std::size_t closingQuote = line.rfind('"');
        if (start == std::string::npos || line.compare(start, key.size(), key) != 0 ||
            closingQuote < start + key.size()) {
            continue;
        }
        std::string value = line.substr(start + key.size(), closingQuote - start - key.size());
        if (value.compare(0, homeVariable.size(), homeVariable) == 0 &&
            (value.size() == homeVariable.size() || value[homeVariable.size()] == '/')) {
            if (home.empty()) {
                continue;
            }
            value.replace(0, homeVariable.size(), home);
        }
        if (!value.empty() && value.front() == '/') {
            desktop = std::move(value);
        }
    }
    return desktop;
}

} // namespace

bool CreateDirectories(std::u16string_view path)
{
    const std::string systemPath = ToSystemPath(path);
    if (systemPath.empty()) {
        return false;
    }
    // Every folder from the top down; one that exists already (perhaps just made by another
    // process) is fine, and whatever else went wrong shows in the final check.
    for (std::size_t slash = systemPath.find('/', 1); slash != std::string::npos;
         slash = systemPath.find('/', slash + 1)) {
        ::mkdir(systemPath.substr(0, slash).c_str(), 0777);
    }
    ::mkdir(systemPath.c_str(), 0777);
    return IsFolder(systemPath);
}

std::u16string GetDesktopFolder()
{
    const std::string home = WithoutTrailingSlashes(Environment("HOME"));
    std::string configHome = Environment("XDG_CONFIG_HOME");
    if (configHome.empty() && !home.empty()) {
        configHome = home + "/.config";
    }
    if (!configHome.empty()) {
        const std::string desktop = WithoutTrailingSlashes(DesktopFromUserDirs(configHome + "/user-dirs.dirs", home));
        if (!desktop.empty() && IsFolder(desktop)) {
            return FromSystemPath(desktop);
        }
    }
    return FromSystemPath(home);
}

std::u16string AppendPath(std::u16string_view folder, std::u16string_view relative)
{
    const bool absolute = IsAbsolutePath(folder);
    std::u16string joined(folder);
    joined += u'/';
    joined += relative;

    std::vector<std::u16string_view> steps;
    const std::u16string_view whole(joined);
    std::size_t start = 0;
    while (start <= whole.size()) {
        const std::size_t slash = std::min(whole.find(u'/', start), whole.size());
        const std::u16string_view step = whole.substr(start, slash - start);
        start = slash + 1;
        if (step.empty() || step == u".") {
            continue;
        }
        if (step == u"..") {
            if (!steps.empty() && steps.back() != u"..") {
                steps.pop_back();
                continue;
            }
            // Nothing above the root; above the start of a relative path the step stays.
            if (absolute) {
                continue;
            }
        }
        steps.push_back(step);
    }

    std::u16string result;
    for (const std::u16string_view step : steps) {
        if (absolute || !result.empty()) {
            result += u'/';
        }
        result += step;
    }
    if (result.empty()) {
        return absolute ? u"/" : u".";
    }
    return result;
}

bool DeleteFileW(std::u16string_view path)
{
    return ::unlink(ToSystemPath(path).c_str()) == 0;
}

bool MoveFileW(std::u16string_view from, std::u16string_view to)
{
    const std::string source = ToSystemPath(from);
    const std::string target = ToSystemPath(to);
#ifdef SYS_renameat2
    if (::syscall(SYS_renameat2, AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    // Old kernels lack the call and some file systems the flag; anything else is a real failure.
    if (errno != ENOSYS && errno != EINVAL) {
        return false;
    }
#endif
    // A hard link is refused when the target exists, which makes the same guarantee; a source
    // that cannot be removed afterwards undoes the link, so the file has one name either way.
    if (::link(source.c_str(), target.c_str()) != 0) {
        return false;
    }
    if (::unlink(source.c_str()) != 0) {
        ::unlink(target.c_str());
        return false;
    }
    return true;
}

AppendFile::~AppendFile()
{
    Close();
}

AppendFile::OpenResult AppendFile::Open(std::u16string_view path, OpenMode mode)
{
    Close();
    int flags = O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC;
    if (mode == OpenMode::CreateNew) {
        flags |= O_EXCL;
    }
    m_fd = ::open(ToSystemPath(path).c_str(), flags, 0644);
    if (m_fd >= 0) {
        return OpenResult::Ok;
    }
    return errno == EEXIST ? OpenResult::AlreadyExists : OpenResult::Failed;
}

std::size_t AppendFile::Write(const void* data, std::size_t size)
{
    if (m_fd < 0) {
        return 0;
    }
    // Where this record starts, so that a record the disk has no room for can be taken back.
    const off_t start = ::lseek(m_fd, 0, SEEK_END);
    const auto* bytes = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t written = ::write(m_fd, bytes + done, size - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            break;
        }
        done += static_cast<std::size_t>(written);
    }
    if (done == size) {
        return done;
    }
    if (done > 0 && start >= 0) {
        // Cutting the file back needs no space, where ending the cut record with a line end
        // would; so the file keeps whole records even while the disk stays full.
        static_cast<void>(::ftruncate(m_fd, start));
    }
    return 0;
}

void AppendFile::Flush()
{
    if (m_fd >= 0) {
        ::fdatasync(m_fd);
    }
}

ULONGLONG AppendFile::Size() const
{
    struct stat status {};
    if (m_fd < 0 || ::fstat(m_fd, &status) != 0) {
        return 0;
    }
    return static_cast<ULONGLONG>(status.st_size);
}

void AppendFile::Close()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

InterProcessLock::InterProcessLock(std::u16string_view path) : m_lockPath(ToSystemPath(path) + ".lock") {}

InterProcessLock::~InterProcessLock()
{
    if (m_fd >= 0) {
        // Explicitly, so that the lock ends here even when a child created by fork() still
        // shares the open file.
        Unlock();
        ::close(m_fd);
    }
}

bool InterProcessLock::Lock()
{
    // The lock file is opened on first use and kept: the lock belongs to this open file, and the
    // file itself is never removed, since another process may be waiting on it.
    if (m_fd < 0) {
        m_fd = ::open(m_lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (m_fd < 0) {
            return false;
        }
    }
    while (::flock(m_fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

void InterProcessLock::Unlock()
{
    if (m_fd >= 0) {
        ::flock(m_fd, LOCK_UN);
    }
}

} // namespace Kiv::Platform
