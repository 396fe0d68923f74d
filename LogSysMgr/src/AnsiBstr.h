// AnsiToBstr: a code page 932 text (an entry text, a method name's bytes) converted straight
// into a BSTR. The method index converts every distinct name more than once, and a trace may
// name millions of methods: a string in between would cost each conversion an allocation and a
// copy more. Header-only, no state; safe on any thread.
#pragma once

#include "KivObject/ComBSTR.h"

#include "KivPlatform/Bstr.h"
#include "KivPlatform/Text.h"

#include <cstdint>
#include <string_view>

namespace Kiv::LogSysMgr {

// Whether every byte of the text is below 0x80: such a text converts to UTF-16 and back unchanged.
inline bool IsAscii(std::string_view text) noexcept
{
    unsigned char any = 0;
    for (const char byte : text) {
        any |= static_cast<unsigned char>(byte);
    }
    return any < 0x80;
}

// The text in UTF-16, NUL bytes and all; null when memory runs out.
inline Kiv::CComBSTR AnsiToBstr(std::string_view text)
{
    Kiv::CComBSTR result;
    // ASCII, as most names are, is widened byte by byte without measuring it first.
    const bool ascii = IsAscii(text);
    const std::size_t length = ascii ? text.size() : Kiv::Platform::AnsiToUtf16(text.data(), text.size(), nullptr, 0);
    if (length > UINT32_MAX) {
        return result;
    }
    if (BSTR converted = SysAllocStringLen(nullptr, static_cast<UINT>(length))) {
        if (ascii) {
            for (std::size_t i = 0; i < length; ++i) {
                converted[i] = static_cast<unsigned char>(text[i]);
            }
        } else {
            Kiv::Platform::AnsiToUtf16(text.data(), text.size(), converted, length);
        }
        result.Attach(converted);
    }
    return result;
}

} // namespace Kiv::LogSysMgr
