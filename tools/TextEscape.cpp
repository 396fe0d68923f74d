#include "TextEscape.h"

#include "KivPlatform/Text.h"

#include <cstdio>

namespace KivTools {

std::string QuoteUtf8Text(std::string_view utf8)
{
    std::string quoted;
    quoted.reserve(utf8.size() + 2);
    quoted += '"';
    for (const char c : utf8) {
        if (c == '\\' || c == '"') {
            quoted += '\\';
            quoted += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(c));
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    quoted += '"';
    return quoted;
}

std::string QuoteAnsiText(std::string_view ansi)
{
    return QuoteUtf8Text(Kiv::Platform::AnsiToUtf8(ansi));
}

} // namespace KivTools
