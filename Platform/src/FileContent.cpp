// Whole-file reads into anonymous private memory (see FileContent.h for why not a file mapping).
#include "KivPlatform/FileContent.h"

#include "KivPlatform/ModulePath.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace Kiv::Platform {

namespace {

// Closes a file descriptor when it goes out of scope.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

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

bool PrivateMemory::Allocate(std::size_t size) noexcept
{
    Free();
    if (size == 0) {
        return true;
    }
    if (size > SIZE_MAX - PageSize()) {
        return false;
    }
    const std::size_t mappedSize = RoundUpToPage(size);
    // Every page is written at once (a whole file is read into it), so all are mapped in one go:
    // a fraction of the cost of one page fault per page.
    void* data =
        ::mmap(nullptr, mappedSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (data == MAP_FAILED) {
        return false;
    }
    m_data = static_cast<BYTE*>(data);
    m_size = size;
    m_mappedSize = mappedSize;
    return true;
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

void PrivateMemory::Free() noexcept
{
    if (m_data != nullptr) {
        ::munmap(m_data, m_mappedSize);
    }
    m_data = nullptr;
    m_size = 0;
    m_mappedSize = 0;
}

ReadFileResult ReadWholeFile(const char16_t* path, PrivateMemory& content)
{
    content.Free();
    if (path == nullptr) {
        return ReadFileResult::OpenFailed;
    }
    const FileDescriptor file(::open(ToSystemPath(path).c_str(), O_RDONLY | O_CLOEXEC));
    struct stat status {};
    if (file.Get() < 0 || ::fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return ReadFileResult::OpenFailed;
    }
    const auto size = static_cast<std::size_t>(status.st_size);
    if (!content.Allocate(size)) {
        return ReadFileResult::OutOfMemory;
    }
    // One read of the whole file, in as few calls as the kernel allows; a file that shrinks
    // meanwhile ends the read early and the content is what was there.
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(file.Get(), content.Data() + done, size - done);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
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

} // namespace Kiv::Platform
