// Text between Qt and the libraries' interfaces: both are UTF-16, so only the character type
// differs. Header-only, no state.
#pragma once

#include "KivPlatform/Types.h"

#include <QString>

#include <string_view>

// The string's characters as an in text of an interface; valid while the string lives unchanged.
inline LPCWSTR ToWide(const QString& text)
{
    return reinterpret_cast<LPCWSTR>(text.utf16());
}

inline QString ToQString(std::u16string_view text)
{
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}
