// How the command-line tools print texts: code page 932 bytes as UTF-8 in double quotes, with
// "\" written "\\", a double quote written "\"" and every character below 0x20 written "\xNN".
// Stateless and thread-safe.
#pragma once

#include <string>
#include <string_view>

namespace KivTools {

std::string QuoteAnsiText(std::string_view ansi);
std::string QuoteUtf8Text(std::string_view utf8);

} // namespace KivTools
