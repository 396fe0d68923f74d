// The errno to platform error number mapping. Stateless, thread-safe.
#include "KivPlatform/Status.h"

#include <cerrno>

namespace Kiv::Platform {

DWORD Win32ErrorFromErrno(int error) noexcept
{
    switch (error) {
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
        return ERROR_ACCESS_DENIED;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EEXIST:
        return ERROR_ALREADY_EXISTS;
    default:
        return ERROR_INVALID_PARAMETER;
    }
}

} // namespace Kiv::Platform
