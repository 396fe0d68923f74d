// The file-time conversion and the duration and stamp texts.
#include "LogTimes.h"

namespace {

constexpr std::int64_t UnitsPerMillisecond = 10000;
constexpr std::int64_t MillisecondsPerSecond = 1000;
constexpr std::int64_t SecondsPerMinute = 60;
constexpr std::int64_t MinutesPerHour = 60;

} // namespace

std::optional<std::int64_t> FileTimeOf(const SYSTEMTIME& time)
{
    FILETIME fileTime{};
    if (!SystemTimeToFileTime(&time, &fileTime)) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(fileTime.dwHighDateTime) << 32) |
                                     fileTime.dwLowDateTime);
}

std::optional<SYSTEMTIME> SystemTimeOf(std::int64_t value)
{
    const auto bits = static_cast<std::uint64_t>(value);
    const FILETIME fileTime{static_cast<DWORD>(bits & 0xFFFFFFFFu), static_cast<DWORD>(bits >> 32)};
    SYSTEMTIME time{};
    if (!FileTimeToSystemTime(&fileTime, &time)) {
        return std::nullopt;
    }
    return time;
}

QString DurationText(std::int64_t span)
{
    // Stamps lie within the years 1601 to 30827, so a span between two of them and its size
    // both fit a signed 64-bit value.
    const bool negative = span < 0;
    std::int64_t rest = (negative ? -span : span) / UnitsPerMillisecond;
    const auto milliseconds = rest % MillisecondsPerSecond;
    rest /= MillisecondsPerSecond;
    const auto seconds = rest % SecondsPerMinute;
    rest /= SecondsPerMinute;
    const auto minutes = rest % MinutesPerHour;
    const auto hours = rest / MinutesPerHour;
    return QString::asprintf("%s%02lld:%02lld:%02lld.%03lld", negative ? "-" : "", static_cast<long long>(hours),
                             static_cast<long long>(minutes), static_cast<long long>(seconds),
                             static_cast<long long>(milliseconds));
}

QString DurationText(const SYSTEMTIME& from, const SYSTEMTIME& to)
{
    const std::optional<std::int64_t> start = FileTimeOf(from);
    const std::optional<std::int64_t> end = FileTimeOf(to);
    if (!start || !end) {
        return {};
    }
    return DurationText(*end - *start);
}

QString StampText(const SYSTEMTIME& time)
{
    return QString::asprintf("%04d/%02d/%02d %02d:%02d:%02d.%03d", time.wYear, time.wMonth, time.wDay, time.wHour,
                             time.wMinute, time.wSecond, time.wMilliseconds);
}
