// Tests of the calendar conversions and of reading the clock.
#include "KivPlatform/Time.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>

namespace {

SYSTEMTIME MakeTime(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0, WORD second = 0,
                    WORD milliseconds = 0)
{
    SYSTEMTIME st{};
    st.wYear = year;
    st.wMonth = month;
    st.wDay = day;
    st.wHour = hour;
    st.wMinute = minute;
    st.wSecond = second;
    st.wMilliseconds = milliseconds;
    return st;
}

std::uint64_t Ticks(const FILETIME& ft)
{
    return (std::uint64_t{ft.dwHighDateTime} << 32) | ft.dwLowDateTime;
}

FILETIME MakeFileTime(std::uint64_t ticks)
{
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

void ExpectSameFields(const SYSTEMTIME& actual, const SYSTEMTIME& expected)
{
    EXPECT_EQ(actual.wYear, expected.wYear);
    EXPECT_EQ(actual.wMonth, expected.wMonth);
    EXPECT_EQ(actual.wDay, expected.wDay);
    EXPECT_EQ(actual.wHour, expected.wHour);
    EXPECT_EQ(actual.wMinute, expected.wMinute);
    EXPECT_EQ(actual.wSecond, expected.wSecond);
    EXPECT_EQ(actual.wMilliseconds, expected.wMilliseconds);
}

TEST(TimeTest, KnownTimesConvertBothWays)
{
    struct Case {
        SYSTEMTIME time;
        std::uint64_t ticks;
        WORD dayOfWeek;
    };
    const Case cases[] = {
        {MakeTime(1601, 1, 1), 0, 1},
        {MakeTime(1970, 1, 1), 116444736000000000ULL, 4},
        {MakeTime(2009, 4, 1, 12, 34, 56, 789), 128830628967890000ULL, 3},
        {MakeTime(2000, 2, 29, 23, 59, 59, 999), 125963423999990000ULL, 2},
        {MakeTime(30827, 12, 31, 23, 59, 59, 999), 9223149887999990000ULL, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.time.wYear << "-" << c.time.wMonth << "-" << c.time.wDay);
        FILETIME ft{};
        ASSERT_TRUE(SystemTimeToFileTime(&c.time, &ft));
        EXPECT_EQ(Ticks(ft), c.ticks);

        SYSTEMTIME back{};
        ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
        ExpectSameFields(back, c.time);
        EXPECT_EQ(back.wDayOfWeek, c.dayOfWeek);
    }
}

TEST(TimeTest, DayOfWeekIsIgnoredOnInput)
{
    SYSTEMTIME st = MakeTime(2009, 4, 1, 12, 34, 56, 789);
    st.wDayOfWeek = 6;
    FILETIME ft{};
    ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
    EXPECT_EQ(Ticks(ft), 128830628967890000ULL);
}

TEST(TimeTest, FieldValidation)
{
    struct Case {
        const char* name;
        SYSTEMTIME time;
        bool valid;
    };
    const Case cases[] = {
        {"month 0", MakeTime(2020, 0, 1), false},
        {"month 13", MakeTime(2020, 13, 1), false},
        {"month 257 (wraps to 1 in 8 bits)", MakeTime(2020, 257, 1), false},
        {"day 0", MakeTime(2020, 1, 0), false},
        {"day 257 (wraps to 1 in 8 bits)", MakeTime(2020, 1, 257), false},
        {"Jan 31", MakeTime(2020, 1, 31), true},
        {"Apr 30", MakeTime(2020, 4, 30), true},
        {"Apr 31", MakeTime(2020, 4, 31), false},
        {"Feb 29 1900", MakeTime(1900, 2, 29), false},
        {"Feb 29 2000", MakeTime(2000, 2, 29), true},
        {"Feb 29 2023", MakeTime(2023, 2, 29), false},
        {"Feb 29 2024", MakeTime(2024, 2, 29), true},
        {"Feb 30 2024", MakeTime(2024, 2, 30), false},
        {"hour 23", MakeTime(2020, 1, 1, 23), true},
        {"hour 24", MakeTime(2020, 1, 1, 24), false},
        {"minute 60", MakeTime(2020, 1, 1, 0, 60), false},
        {"second 60", MakeTime(2020, 1, 1, 0, 0, 60), false},
        {"millisecond 1000", MakeTime(2020, 1, 1, 0, 0, 0, 1000), false},
        {"year 1600", MakeTime(1600, 12, 31, 23, 59, 59, 999), false},
        {"year 1601", MakeTime(1601, 1, 1), true},
        {"year 30827", MakeTime(30827, 12, 31), true},
        {"year 30828", MakeTime(30828, 1, 1), false},
    };
    for (const Case& c : cases) {
        FILETIME ft{0xAAAAAAAAu, 0xAAAAAAAAu};
        EXPECT_EQ(SystemTimeToFileTime(&c.time, &ft), c.valid ? TRUE : FALSE) << c.name;
    }
}

TEST(TimeTest, FileTimeWithTopBitSetIsRejected)
{
    struct Case {
        std::uint64_t ticks;
        bool valid;
    };
    const Case cases[] = {
        {0x7FFFFFFFFFFFFFFFULL, true},
        {0x8000000000000000ULL, false},
        {0xFFFFFFFFFFFFFFFFULL, false},
    };
    for (const Case& c : cases) {
        const FILETIME ft = MakeFileTime(c.ticks);
        SYSTEMTIME st{};
        EXPECT_EQ(FileTimeToSystemTime(&ft, &st), c.valid ? TRUE : FALSE) << std::hex << c.ticks;
    }
}

TEST(TimeTest, EveryDayOfFourCenturiesRoundTrips)
{
    // 1601 to 2000 covers each leap-year rule; every day's noon goes to fields and back.
    constexpr std::uint64_t ticksPerDay = 864000000000ULL;
    constexpr std::uint64_t halfDay = ticksPerDay / 2;
    constexpr std::uint64_t daysIn400Years = 146097;
    WORD expectedDayOfWeek = 1; // 1601-01-01 was a Monday
    for (std::uint64_t day = 0; day < daysIn400Years; ++day) {
        const FILETIME ft = MakeFileTime(day * ticksPerDay + halfDay);
        SYSTEMTIME st{};
        ASSERT_TRUE(FileTimeToSystemTime(&ft, &st)) << day;
        ASSERT_EQ(st.wDayOfWeek, expectedDayOfWeek) << day;
        ASSERT_EQ(st.wHour, 12) << day;
        FILETIME back{};
        ASSERT_TRUE(SystemTimeToFileTime(&st, &back)) << day;
        ASSERT_EQ(Ticks(back), Ticks(ft)) << day;
        expectedDayOfWeek = static_cast<WORD>((expectedDayOfWeek + 1) % 7);
    }
}

void ExpectFieldsInRange(const SYSTEMTIME& st)
{
    EXPECT_GE(st.wYear, 2000);
    EXPECT_GE(st.wMonth, 1);
    EXPECT_LE(st.wMonth, 12);
    EXPECT_LE(st.wDayOfWeek, 6);
    EXPECT_GE(st.wDay, 1);
    EXPECT_LE(st.wDay, 31);
    EXPECT_LE(st.wHour, 23);
    EXPECT_LE(st.wMinute, 59);
    EXPECT_LE(st.wSecond, 59);
    EXPECT_LE(st.wMilliseconds, 999);
    FILETIME ft{};
    EXPECT_TRUE(SystemTimeToFileTime(&st, &ft));
}

// The clock against the C library's own view of the same moment; a second's skew is allowed for
// a tick between the two readings.
void ExpectAgreesWith(const SYSTEMTIME& st, std::tm* (*breakDown)(const std::time_t*, std::tm*), std::time_t now)
{
    std::tm fields{};
    breakDown(&now, &fields);
    const SYSTEMTIME reference = MakeTime(static_cast<WORD>(fields.tm_year + 1900), static_cast<WORD>(fields.tm_mon + 1),
                                          static_cast<WORD>(fields.tm_mday), static_cast<WORD>(fields.tm_hour),
                                          static_cast<WORD>(fields.tm_min), static_cast<WORD>(fields.tm_sec));
    SYSTEMTIME truncated = st;
    truncated.wMilliseconds = 0;
    FILETIME a{};
    FILETIME b{};
    ASSERT_TRUE(SystemTimeToFileTime(&truncated, &a));
    ASSERT_TRUE(SystemTimeToFileTime(&reference, &b));
    const auto difference = static_cast<std::int64_t>(Ticks(a) - Ticks(b));
    EXPECT_LE(difference, 2 * 10'000'000LL);
    EXPECT_GE(difference, 0);
    SYSTEMTIME calendar{};
    ASSERT_TRUE(FileTimeToSystemTime(&a, &calendar));
    EXPECT_EQ(st.wDayOfWeek, calendar.wDayOfWeek);
}

TEST(TimeTest, ClockReadingsAgreeWithTheCLibrary)
{
    const std::time_t before = std::time(nullptr);
    SYSTEMTIME local{};
    SYSTEMTIME utc{};
    GetLocalTime(&local);
    GetSystemTime(&utc);
    ExpectFieldsInRange(local);
    ExpectFieldsInRange(utc);
    ExpectAgreesWith(local, localtime_r, before);
    ExpectAgreesWith(utc, gmtime_r, before);
}

} // namespace
