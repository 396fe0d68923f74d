// Text between Qt and the libraries' interfaces: both are UTF-16, so only the character type
// differs; and the 8-bit text of trace lines, in the ANSI code page. Header-only, no state.
#pragma once

#include "KivPlatform/Text.h"
#include "KivPlatform/Types.h"

#include <QString>

#include <string_view>

// The program's name: the main window's title and the caption of its message boxes.
inline constexpr char16_t ProgramName[] = u"KivLogView2";

// The string's characters as an in text of an interface; valid while the string lives unchanged.
inline LPCWSTR ToWide(const QString& text)
{
    return reinterpret_cast<LPCWSTR>(text.utf16());
}

inline QString ToQString(std::u16string_view text)
{
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

// length bytes of text in the ANSI code page; empty for no text.
inline QString FromAnsi(const char* text, LONG length)
{
    if (text == nullptr || length <= 0) {
        return {};
    }
    return ToQString(Kiv::Platform::AnsiToUtf16(std::string_view(text, static_cast<std::size_t>(length))));
}
