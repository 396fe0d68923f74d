// Files, folders and processes as the tracing library uses them: existence checks, folder
// creation, the desktop folder, append-only output files, renames, and the cross-process lock
// of a shared log file. Paths are UTF-16 here and UTF-8 towards the operating system.
// Functions are thread-safe; each object is used by one thread at a time.
#pragma once

#include "KivPlatform/Types.h"

#include <cstddef>
#include <string>
#include <string_view>

inline constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;
inline constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;

// FILE_ATTRIBUTE_DIRECTORY for a folder, FILE_ATTRIBUTE_NORMAL for anything else that exists,
// INVALID_FILE_ATTRIBUTES when nothing exists at the path (or it cannot be looked at).
DWORD GetFileAttributesW(LPCWSTR path);
// Writes the text to standard error (as UTF-8): the debugger channel of this platform.
void OutputDebugStringW(LPCWSTR text);
DWORD GetCurrentProcessId();

namespace Kiv::Platform {

// Creates the folder and every missing folder above it. True when the folder exists afterwards.
bool CreateDirectories(std::u16string_view path);
// The user's desktop folder: XDG_DESKTOP_DIR from the user-dirs settings when that folder
// exists, else $HOME. Empty when neither is known.
std::u16string GetDesktopFolder();
// Appends a relative path to a folder and resolves "." and ".." steps lexically
// ("/opt/app/" + "./logs/../trace" gives "/opt/app/trace"). The result ends without "/"
// unless it is the root.
std::u16string AppendPath(std::u16string_view folder, std::u16string_view relative);
bool DeleteFileW(std::u16string_view path);
// Renames a file, replacing nothing: fails when the target exists.
bool MoveFileW(std::u16string_view from, std::u16string_view to);

// A file opened for appending: every Write goes to the end of the file, in one system call, so
// that lines written by several processes never interleave inside a line.
class AppendFile {
public:
    enum class OpenMode {
        CreateNew,    // fails if the file exists (the name is reserved atomically)
        OpenOrCreate, // appends to the file if it exists
    };
    enum class OpenResult { Ok, AlreadyExists, Failed };

    AppendFile() = default;
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;
    ~AppendFile();

    OpenResult Open(std::u16string_view path, OpenMode mode);
    bool IsOpen() const { return m_fd >= 0; }
    // Writes all bytes or none (retrying short writes): when the disk is full or the device
    // fails part way, the file is cut back to its size before the write, so that it never holds
    // a cut record that the next one would be glued to. Returns size, or 0 when nothing was
    // written. The cut-back assumes one writer at a time: trace files belong to one output, and
    // shared files are written under an InterProcessLock.
    std::size_t Write(const void* data, std::size_t size);
    // Pushes written data to the storage device.
    void Flush();
    // The current size of the file, 0 when it is not open.
    ULONGLONG Size() const;
    void Close();

private:
    int m_fd = -1;
};

// An exclusive lock shared by every process that names the same path: an advisory lock on the
// file "<path>.lock", which the system drops when its holder dies, so a crashed holder never
// blocks the others. Recursive use by one thread is not supported.
class InterProcessLock {
public:
    explicit InterProcessLock(std::u16string_view path);
    InterProcessLock(const InterProcessLock&) = delete;
    InterProcessLock& operator=(const InterProcessLock&) = delete;
    ~InterProcessLock();

    // False when the lock file cannot be opened: the caller goes on unlocked.
    bool Lock();
    void Unlock();

private:
    std::string m_lockPath;
    int m_fd = -1;
};

} // namespace Kiv::Platform
