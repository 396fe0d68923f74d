// How the command-line tools print texts and file names: as UTF-8 in double quotes, with "\"
// written "\\", a double quote written "\"" and every character below 0x20 written "\xNN", so
// that nothing printed can end a line or a quoted field early. Stateless and thread-safe.
#pragma once

#include <string>
#include <string_view>

namespace KivTools {

std::string QuoteAnsiText(std::string_view ansi);
std::string QuoteUtf8Text(std::string_view utf8);
// A file name as the operating system gives it (bytes, usually UTF-8); each byte that is not
// part of well-formed UTF-8 is written "\xNN" as well.
std::string QuoteSystemPath(std::string_view path);

} // namespace KivTools
