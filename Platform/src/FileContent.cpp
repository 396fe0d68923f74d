// Whole-file reads into anonymous private memory (see FileContent.h for why not a file mapping).
#include "KivPlatform/FileContent.h"

#include "KivPlatform/Boundary.h"
#include "KivPlatform/ModulePath.h"
#include "KivPlatform/Threading.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>
#include <utility>

namespace Kiv::Platform {

namespace {

std::size_t PageSize()
{
    static const std::size_t pageSize = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    return pageSize;
}

std::size_t RoundUpToPage(std::size_t size)
{
    return (size + PageSize() - 1) / PageSize() * PageSize();
}

} // namespace

PrivateMemory::PrivateMemory(PrivateMemory&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)),
      m_size(std::exchange(other.m_size, 0)),
      m_mappedSize(std::exchange(other.m_mappedSize, 0))
{
}

PrivateMemory& PrivateMemory::operator=(PrivateMemory&& other) noexcept
{
    if (this != &other) {
        Free();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_mappedSize = std::exchange(other.m_mappedSize, 0);
    }
    return *this;
}

PrivateMemory::~PrivateMemory()
{
    Free();
}

bool PrivateMemory::Allocate(std::size_t size, bool mapNow) noexcept
{
    Free();
    if (size == 0) {
        return true;
    }
    if (size > SIZE_MAX - PageSize()) {
        return false;
    }
    const std::size_t mappedSize = RoundUpToPage(size);
    void* data = ::mmap(nullptr, mappedSize, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | (mapNow ? MAP_POPULATE : 0), -1, 0);
    if (data == MAP_FAILED) {
        return false;
    }
    m_data = static_cast<BYTE*>(data);
    m_size = size;
    m_mappedSize = mappedSize;
    return true;
}

void PrivateMemory::MapRange(std::size_t offset, std::size_t length) noexcept
{
    // Page-aligned start; a kernel without the request leaves the pages to be faulted in.
    const std::size_t start = offset / PageSize() * PageSize();
    if (m_data != nullptr && start < m_mappedSize) {
        ::madvise(m_data + start, std::min(offset + length, m_mappedSize) - start, MADV_POPULATE_WRITE);
    }
}

void PrivateMemory::MakeReadOnly() noexcept
{
    if (m_data != nullptr) {
        ::mprotect(m_data, m_mappedSize, PROT_READ);
    }
}

void PrivateMemory::Truncate(std::size_t newSize) noexcept
{
    if (newSize >= m_size) {
        return;
    }
    if (newSize == 0) {
        Free();
        return;
    }
    const std::size_t keep = RoundUpToPage(newSize);
    if (keep < m_mappedSize) {
        ::munmap(m_data + keep, m_mappedSize - keep);
        m_mappedSize = keep;
    }
    m_size = newSize;
}

bool PrivateMemory::Grow(std::size_t newSize) noexcept
{
    if (newSize <= m_size) {
        return true;
    }
    if (m_data == nullptr) {
        return Allocate(newSize, false);
    }
    if (newSize > SIZE_MAX - PageSize()) {
        return false;
    }
    const std::size_t mappedSize = RoundUpToPage(newSize);
    if (mappedSize > m_mappedSize) {
        void* data = ::mremap(m_data, m_mappedSize, mappedSize, MREMAP_MAYMOVE);
        if (data == MAP_FAILED) {
            return false;
        }
        m_data = static_cast<BYTE*>(data);
        m_mappedSize = mappedSize;
    }
    // What a truncation left in the last page is cleared; pages added by the system are zero.
    const std::size_t keptPageEnd = std::min(RoundUpToPage(m_size), newSize);
    std::memset(m_data + m_size, 0, keptPageEnd - m_size);
    m_size = newSize;
    return true;
}

void PrivateMemory::Free() noexcept
{
    if (m_data != nullptr) {
        ::munmap(m_data, m_mappedSize);
    }
    m_data = nullptr;
    m_size = 0;
    m_mappedSize = 0;
}

RegularFile::~RegularFile()
{
    Close();
}

ReadFileResult RegularFile::Open(const char16_t* path) noexcept
{
    Close();
    if (path == nullptr) {
        return ReadFileResult::OpenFailed;
    }
    std::string systemPath;
    if (FAILED(StatusFromExceptions([&systemPath, path] { systemPath = ToSystemPath(path); }))) {
        return ReadFileResult::OutOfMemory;
    }
    // The type is looked at before opening: opening a FIFO waits for a writer, and opening a
    // device may act on it.
    struct stat status {};
    if (::stat(systemPath.c_str(), &status) != 0) {
        return ReadFileResult::OpenFailed;
    }
    if (!S_ISREG(status.st_mode)) {
        return ReadFileResult::NotRegularFile;
    }
    // The path may name something else by the time it is opened, so the open does not wait and
    // the type is looked at again on what was opened.
    m_fd = ::open(systemPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (m_fd < 0) {
        return ReadFileResult::OpenFailed;
    }
    if (::fstat(m_fd, &status) != 0) {
        Close();
        return ReadFileResult::OpenFailed;
    }
    if (!S_ISREG(status.st_mode)) {
        Close();
        return ReadFileResult::NotRegularFile;
    }
    m_size = static_cast<std::size_t>(status.st_size);
    return ReadFileResult::Ok;
}

ReadFileResult RegularFile::Read(PrivateMemory& content) const noexcept
{
    content.Free();
    if (m_fd < 0) {
        return ReadFileResult::OpenFailed;
    }
    if (m_size == 0) {
        return ReadUnsized(content);
    }
    const std::size_t size = m_size;
    if (!content.Allocate(size, false)) {
        return ReadFileResult::OutOfMemory;
    }
    // A large file is read in two halves side by side: mapping fresh pages and copying into them
    // is most of the time, and the system does both for each half on its own core. A file that
    // shrinks meanwhile ends the content early; what is there is kept.
    constexpr std::size_t SplitFrom = std::size_t{64} << 20;
    const std::size_t half = size >= SplitFrom ? size / 2 / 4096 * 4096 : size;
    struct Part {
        std::size_t offset;
        std::size_t length;
        std::size_t done = 0;
        bool failed = false;
    };
    Part parts[2] = {{0, half}, {half, size - half}};
    auto readPart = [&content, fd = m_fd](Part& part) {
        content.MapRange(part.offset, part.length);
        while (part.done < part.length) {
            const ssize_t got = ::pread(fd, content.Data() + part.offset + part.done, part.length - part.done,
                                        static_cast<off_t>(part.offset + part.done));
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                part.failed = got < 0;
                return;
            }
            part.done += static_cast<std::size_t>(got);
        }
    };
    std::thread second;
    if (parts[1].length > 0 && FAILED(StartThread(second, [&readPart, &parts] { readPart(parts[1]); }))) {
        readPart(parts[1]); // no second thread to be had: read it here
    }
    readPart(parts[0]);
    if (second.joinable()) {
        second.join();
    }
    if (parts[0].failed || parts[1].failed) {
        content.Free();
        return ReadFileResult::ReadFailed;
    }
    const std::size_t done = parts[0].done < parts[0].length ? parts[0].done : parts[0].length + parts[1].done;
    content.Truncate(done);
    return ReadFileResult::Ok;
}

ReadFileResult RegularFile::ReadUnsized(PrivateMemory& content) const noexcept
{
    // The memory doubles as the content grows. Before each step the size is looked at again: an
    // ordinary file that was empty when it was opened and is written to meanwhile shows a size,
    // and it is not chased (its size at open time was 0).
    constexpr std::size_t FirstStep = std::size_t{64} << 10;
    std::size_t done = 0;
    for (;;) {
        struct stat status {};
        if (::fstat(m_fd, &status) != 0 || status.st_size != 0) {
            break;
        }
        if (done == content.Size() && !content.Grow(done == 0 ? FirstStep : done * 2)) {
            content.Free();
            return ReadFileResult::OutOfMemory;
        }
        const ssize_t got = ::pread(m_fd, content.Data() + done, content.Size() - done, static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            content.Free();
            return ReadFileResult::ReadFailed;
        }
        if (got == 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    content.Truncate(done);
    return ReadFileResult::Ok;
}

void RegularFile::Close() noexcept
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    m_fd = -1;
    m_size = 0;
}

ReadFileResult ReadWholeFile(const char16_t* path, PrivateMemory& content) noexcept
{
    content.Free();
    RegularFile file;
    const ReadFileResult opened = file.Open(path);
    return opened == ReadFileResult::Ok ? file.Read(content) : opened;
}

} // namespace Kiv::Platform
