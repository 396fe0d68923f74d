// Formatting of trace messages with the platform's printf-style conventions (%d %i %u %x %X
// %c %s %p %%, with flags "-" and "0", a width and a precision; "l", "h" and "ll" size
// prefixes are accepted and ignored), but with typed arguments, so that a wrong argument can
// never read the stack. A missing or mismatched argument formats as nothing or 0.
// Stateless and thread-safe.
#pragma once

#include "KivPlatform/Types.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace Kiv::Log {

// One argument of a message: a number, a UTF-16 text, or a code page 932 text.
class FormatArg {
public:
    enum class Kind { Signed, Unsigned, WideText, AnsiText };

    FormatArg(int value) : m_kind(Kind::Signed), m_signed(value) {}
    FormatArg(long value) : m_kind(Kind::Signed), m_signed(value) {}
    FormatArg(long long value) : m_kind(Kind::Signed), m_signed(value) {}
    FormatArg(unsigned value) : m_kind(Kind::Unsigned), m_unsigned(value) {}
    FormatArg(unsigned long value) : m_kind(Kind::Unsigned), m_unsigned(value) {}
    FormatArg(unsigned long long value) : m_kind(Kind::Unsigned), m_unsigned(value) {}
    FormatArg(const void* pointer) : m_kind(Kind::Unsigned), m_unsigned(reinterpret_cast<std::uintptr_t>(pointer)) {}
    FormatArg(const char16_t* text) : m_kind(Kind::WideText), m_wide(text) {}
    FormatArg(const std::u16string& text) : m_kind(Kind::WideText), m_wide(text.c_str()) {}
    FormatArg(const char* text) : m_kind(Kind::AnsiText), m_ansi(text) {}

    Kind GetKind() const { return m_kind; }
    // The number; 0 for a text.
    long long Signed() const
    {
        return m_kind == Kind::Signed ? m_signed : m_kind == Kind::Unsigned ? static_cast<long long>(m_unsigned) : 0;
    }
    unsigned long long Unsigned() const { return static_cast<unsigned long long>(Signed()); }
    const char16_t* Wide() const { return m_kind == Kind::WideText ? m_wide : nullptr; }
    const char* Ansi() const { return m_kind == Kind::AnsiText ? m_ansi : nullptr; }

private:
    Kind m_kind;
    union {
        long long m_signed;
        unsigned long long m_unsigned;
        const char16_t* m_wide;
        const char* m_ansi;
    };
};

// The longest message, in UTF-16 units; longer results are cut.
inline constexpr std::size_t MaxMessageLength = 1024;

// Formats a message. Numbers of %d and %i are taken as 32-bit signed, of %u, %x, %X and %c as
// 32-bit unsigned, as the platform's formatter reads its arguments; %p prints the full value.
std::u16string FormatMessage(std::u16string_view format, std::initializer_list<FormatArg> args);

} // namespace Kiv::Log
