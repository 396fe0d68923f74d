// Calendar time records: the clock read through the C library, and the conversions between
// SYSTEMTIME and FILETIME on the proleptic Gregorian calendar of <chrono>. Thread-safe: only the
// re-entrant localtime_r and gmtime_r are used.
#include "KivPlatform/Time.h"

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <ctime>

namespace {

namespace chrono = std::chrono;

constexpr std::uint64_t TicksPerMillisecond = 10'000;
constexpr std::uint64_t TicksPerSecond = 1'000 * TicksPerMillisecond;
constexpr std::uint64_t TicksPerDay = 86'400 * TicksPerSecond;
constexpr std::uint64_t TopBit = std::uint64_t{1} << 63;

constexpr chrono::sys_days Epoch = chrono::sys_days{chrono::year{1601} / 1 / 1};

using BrokenDownTime = std::tm* (*)(const std::time_t*, std::tm*);

void ReadClock(SYSTEMTIME* time, BrokenDownTime breakDown)
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::tm fields{};
    breakDown(&now.tv_sec, &fields);
    time->wYear = static_cast<WORD>(fields.tm_year + 1900);
    time->wMonth = static_cast<WORD>(fields.tm_mon + 1);
    time->wDayOfWeek = static_cast<WORD>(fields.tm_wday);
    time->wDay = static_cast<WORD>(fields.tm_mday);
    time->wHour = static_cast<WORD>(fields.tm_hour);
    time->wMinute = static_cast<WORD>(fields.tm_min);
    // A leap second (60) is folded into 59 so that the record stays convertible.
    time->wSecond = static_cast<WORD>(std::min(fields.tm_sec, 59));
    time->wMilliseconds = static_cast<WORD>(now.tv_nsec / 1'000'000);
}

} // namespace

void GetLocalTime(SYSTEMTIME* time)
{
    ReadClock(time, localtime_r);
}

void GetSystemTime(SYSTEMTIME* time)
{
    ReadClock(time, gmtime_r);
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime)
{
    const SYSTEMTIME& st = *systemTime;
    // chrono::month and chrono::day keep only 8 bits, so the coarse ranges are checked before
    // ok() decides whether the month has the day, leap years included.
    if (st.wYear < 1601 || st.wYear > 30827 || st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1 ||
        st.wDay > 31 || st.wHour > 23 || st.wMinute > 59 || st.wSecond > 59 || st.wMilliseconds > 999) {
        return FALSE;
    }
    const chrono::year_month_day date{chrono::year{st.wYear}, chrono::month{st.wMonth},
                                      chrono::day{st.wDay}};
    if (!date.ok()) {
        return FALSE;
    }
    const auto days = static_cast<std::uint64_t>((chrono::sys_days{date} - Epoch).count());
    const std::uint64_t ticks = days * TicksPerDay +
                                (st.wHour * 3600ULL + st.wMinute * 60ULL + st.wSecond) * TicksPerSecond +
                                st.wMilliseconds * TicksPerMillisecond;
    fileTime->dwLowDateTime = static_cast<DWORD>(ticks);
    fileTime->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime)
{
    const std::uint64_t ticks = (std::uint64_t{fileTime->dwHighDateTime} << 32) | fileTime->dwLowDateTime;
    if ((ticks & TopBit) != 0) {
        return FALSE;
    }
    const chrono::sys_days day = Epoch + chrono::days{static_cast<int>(ticks / TicksPerDay)};
    const chrono::year_month_day date{day};
    const std::uint64_t ticksOfDay = ticks % TicksPerDay;
    const std::uint64_t secondsOfDay = ticksOfDay / TicksPerSecond;

    SYSTEMTIME& st = *systemTime;
    st.wYear = static_cast<WORD>(static_cast<int>(date.year()));
    st.wMonth = static_cast<WORD>(static_cast<unsigned>(date.month()));
    st.wDayOfWeek = static_cast<WORD>(chrono::weekday{day}.c_encoding());
    st.wDay = static_cast<WORD>(static_cast<unsigned>(date.day()));
    st.wHour = static_cast<WORD>(secondsOfDay / 3600);
    st.wMinute = static_cast<WORD>(secondsOfDay / 60 % 60);
    st.wSecond = static_cast<WORD>(secondsOfDay % 60);
    st.wMilliseconds = static_cast<WORD>(ticksOfDay % TicksPerSecond / TicksPerMillisecond);
    return TRUE;
}
