#include "TextEscape.h"

#include "KivPlatform/ModulePath.h"
#include "KivPlatform/Text.h"

#include <cstdio>

namespace KivTools {

namespace {

void AppendHexEscape(std::string& out, unsigned char byte)
{
    char escape[5];
    std::snprintf(escape, sizeof escape, "\\x%02X", byte);
    out += escape;
}

// Appends UTF-8 text with backslashes, double quotes and control characters escaped.
void AppendEscaped(std::string& out, std::string_view utf8)
{
    for (const char c : utf8) {
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            AppendHexEscape(out, static_cast<unsigned char>(c));
        } else {
            out += c;
        }
    }
}

} // namespace

std::string QuoteUtf8Text(std::string_view utf8)
{
    std::string quoted;
    quoted.reserve(utf8.size() + 2);
    quoted += '"';
    AppendEscaped(quoted, utf8);
    quoted += '"';
    return quoted;
}

std::string QuoteAnsiText(std::string_view ansi)
{
    return QuoteUtf8Text(Kiv::Platform::AnsiToUtf8(ansi));
}

std::string QuoteSystemPath(std::string_view path)
{
    // The path conversion keeps each undecodable byte as a lone surrogate of its own, which
    // marks exactly the bytes to write as escapes; the runs between them are well-formed.
    const std::u16string wide = Kiv::Platform::FromSystemPath(path);
    std::string quoted;
    quoted.reserve(path.size() + 2);
    quoted += '"';
    std::size_t runStart = 0;
    for (std::size_t i = 0; i <= wide.size(); ++i) {
        if (i == wide.size() || Kiv::Platform::IsEscapedPathByte(wide[i])) {
            const std::u16string_view run = std::u16string_view(wide).substr(runStart, i - runStart);
            AppendEscaped(quoted, Kiv::Platform::Utf16ToUtf8(run));
            if (i < wide.size()) {
                AppendHexEscape(quoted, static_cast<unsigned char>(wide[i] & 0xFF));
            }
            runStart = i + 1;
        }
    }
    quoted += '"';
    return quoted;
}

} // namespace KivTools
