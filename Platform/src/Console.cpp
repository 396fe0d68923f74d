#include "KivPlatform/Console.h"

#include "KivPlatform/ModulePath.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Kiv::Platform {

bool StandardErrorIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

std::string DescribeUnreadableFile(std::u16string_view path)
{
    const std::string systemPath = ToSystemPath(path);
    struct stat status {};
    if (::stat(systemPath.c_str(), &status) != 0) {
        return std::strerror(errno);
    }
    if (S_ISDIR(status.st_mode)) {
        return "is a directory";
    }
    if (!S_ISREG(status.st_mode)) {
        return "not a regular file";
    }
    // Not waiting, in case the path names a FIFO by now.
    const int file = ::open(systemPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (file < 0) {
        return std::strerror(errno);
    }
    // Files made on reading (/proc) report size 0 and still have content.
    char first = 0;
    const bool empty = status.st_size == 0 && ::pread(file, &first, 1, 0) == 0;
    ::close(file);
    return empty ? "empty file" : "";
}

} // namespace Kiv::Platform
