// A time stamp as one 64-bit file time value (100 ns units since 1601-01-01) and back, the form
// in which the viewer compares and files times. Stateless; thread-safe.
#pragma once

#include "KivPlatform/Time.h"

#include <cstdint>
#include <optional>

// The stamp's file time; nothing for a stamp that is not a valid date and time.
inline std::optional<std::int64_t> FileTimeValue(const SYSTEMTIME& time)
{
    FILETIME fileTime{};
    if (!SystemTimeToFileTime(&time, &fileTime)) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(fileTime.dwHighDateTime) << 32) |
                                     fileTime.dwLowDateTime);
}

// The calendar fields of a file time; nothing for a negative value.
inline std::optional<SYSTEMTIME> SystemTimeOf(std::int64_t value)
{
    const auto bits = static_cast<std::uint64_t>(value);
    const FILETIME fileTime{static_cast<DWORD>(bits & 0xFFFFFFFFu), static_cast<DWORD>(bits >> 32)};
    SYSTEMTIME time{};
    if (!FileTimeToSystemTime(&fileTime, &time)) {
        return std::nullopt;
    }
    return time;
}
