// Text conversions between UTF-16, UTF-8 and the "ANSI code page", which this system fixes to
// code page 932 (Shift-JIS, Microsoft variant) on every machine: trace files are written and read
// in it, and its byte pairs 0x84 0xA0, 0x84 0xA1 and 0x84 0xA4 are the structural characters
// "│", "┌" and "└". All functions are thread-safe.
//
// Conversions into code page 932 are exact or nothing: a character without an exact equivalent
// becomes the default character "?" (no best-fit mapping, so "¥" does not become "\"). Invalid
// UTF-8 or UTF-16 input becomes U+FFFD first, and so "?" as well. Undefined code page 932 bytes
// become U+30FB ("・"), the code page's default Unicode character.
#pragma once

#include "KivPlatform/Types.h"

#include <cstddef>
#include <string>
#include <string_view>

// The platform's lead-byte test for the current code page (932): 0x81-0x9F and 0xE0-0xFC.
int _ismbblead(unsigned int c);

namespace Kiv::Platform {

constexpr bool IsAnsiLeadByte(BYTE b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// Each of these converts length units of src. With dst null they only measure; otherwise they
// write at most capacity units. They return the number of units the whole result needs, so a
// caller measures, allocates and converts, as with the platform's conversion functions.
std::size_t Utf16ToAnsi(const char16_t* src, std::size_t length, char* dst, std::size_t capacity);
std::size_t Utf8ToAnsi(const char* src, std::size_t length, char* dst, std::size_t capacity);
std::size_t AnsiToUtf16(const char* src, std::size_t length, char16_t* dst, std::size_t capacity);

std::string Utf16ToAnsi(std::u16string_view text);
std::string Utf8ToAnsi(std::string_view text);
std::u16string AnsiToUtf16(std::string_view text);
std::string AnsiToUtf8(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);

// File names on Linux are bytes and need not be UTF-8, so paths are converted so that every byte
// string comes back unchanged: well-formed UTF-8 is decoded as usual, and each byte that is not
// part of it becomes the lone surrogate U+DC80..U+DCFF of its value, which turns back into that
// byte. Any other lone surrogate in a path becomes U+FFFD. Texts that are not paths go through
// Utf16ToUtf8 and Utf8ToUtf16, where every lone surrogate and undecodable byte is U+FFFD.
std::string Utf16PathToBytes(std::u16string_view path);
std::u16string BytesToUtf16Path(std::string_view path);

// True for the lone surrogates that stand for undecodable bytes in a path; the byte is the
// unit's low eight bits.
constexpr bool IsEscapedPathByte(char16_t unit)
{
    return unit >= 0xDC80 && unit <= 0xDCFF;
}

} // namespace Kiv::Platform
