// The terminal side of command-line programs. Thread-safe.
#pragma once

#include <string>
#include <string_view>

namespace Kiv::Platform {

// True when standard error goes to a terminal (so that a progress bar can be drawn there).
bool StandardErrorIsTerminal();
// Why a path cannot be read as a file: "no such file or directory", "is a directory",
// "not a regular file", "permission denied", "empty file"; empty when it looks readable.
std::string DescribeUnreadableFile(std::u16string_view path);

} // namespace Kiv::Platform
