// Calendar time records and their conversions, with the platform's validation. Thread-safe.
#pragma once

#include "KivPlatform/Types.h"

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

// 100-nanosecond intervals since 1601-01-01 00:00:00, split into two 32-bit halves.
struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

// The current local time (the machine's time zone), to the millisecond.
void GetLocalTime(SYSTEMTIME* time);
// The current time in UTC, to the millisecond.
void GetSystemTime(SYSTEMTIME* time);
// Fails (FALSE) for a field out of range: year 1601-30827, month 1-12, a day that the month does
// not have, hour 0-23, minute and second 0-59, millisecond 0-999. The day of week is ignored.
BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime);
// Fails (FALSE) for a time whose top bit is set; fills in the day of week (0 = Sunday).
BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime);
