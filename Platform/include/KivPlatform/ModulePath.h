// Paths of the running program and of loaded libraries, and the few path rules the system
// needs. Paths are UTF-16 at these interfaces and bytes (UTF-8 where the name is) towards the
// operating system; the separator is "/". Thread-safe.
#pragma once

#include <string>
#include <string_view>

namespace Kiv::Platform {

// Full path of the running executable (from /proc/self/exe); empty if it cannot be read.
std::u16string GetExecutablePath();
// Full path of the file of the executable or shared library that contains the given address
// (a function or object of that module); empty if none does.
std::u16string GetModulePath(const void* addressInModule);
// The folder part of a path, with its trailing "/" ("" when the path has no "/").
std::u16string GetDirectoryPart(std::u16string_view path);
// True for paths starting with "/".
bool IsAbsolutePath(std::u16string_view path);
// The path as the operating system takes it: bytes, UTF-8 where the name is (Utf16PathToBytes).
std::string ToSystemPath(std::u16string_view path);
// A path from the operating system as the system's interfaces take it (BytesToUtf16Path): every
// name, UTF-8 or not, comes back unchanged through ToSystemPath.
std::u16string FromSystemPath(std::string_view path);

} // namespace Kiv::Platform
