// Module paths from /proc/self/exe and the dynamic linker, and the path rules of the system.
// Thread-safe: dladdr1 and realpath keep no state of their own.
#include "KivPlatform/ModulePath.h"

#include "KivPlatform/Text.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

namespace Kiv::Platform {

std::u16string GetExecutablePath()
{
    // readlink does not say how long the target is, so the buffer grows until it is not full.
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) {
            return {};
        }
        if (static_cast<std::size_t>(length) < buffer.size()) {
            buffer.resize(static_cast<std::size_t>(length));
            return FromSystemPath(buffer);
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::u16string GetModulePath(const void* addressInModule)
{
    Dl_info info{};
    link_map* module = nullptr;
    if (dladdr1(addressInModule, &info, reinterpret_cast<void**>(&module), RTLD_DL_LINKMAP) == 0 ||
        module == nullptr) {
        return {};
    }
    // The executable has no name of its own in the linker's list; dladdr would report argv[0],
    // which need not be a path to it at all.
    if (module->l_name == nullptr || module->l_name[0] == '\0') {
        return GetExecutablePath();
    }
    const std::unique_ptr<char, decltype(&std::free)> resolved(realpath(module->l_name, nullptr), &std::free);
    if (resolved == nullptr) {
        return {};
    }
    return FromSystemPath(resolved.get());
}

std::u16string GetDirectoryPart(std::u16string_view path)
{
    const std::size_t slash = path.rfind(u'/');
    if (slash == std::u16string_view::npos) {
        return {};
    }
    return std::u16string(path.substr(0, slash + 1));
}

bool IsAbsolutePath(std::u16string_view path)
{
    return !path.empty() && path.front() == u'/';
}

std::string ToSystemPath(std::u16string_view path)
{
    return Utf16PathToBytes(path);
}

std::u16string FromSystemPath(std::string_view path)
{
    return BytesToUtf16Path(path);
}

} // namespace Kiv::Platform
