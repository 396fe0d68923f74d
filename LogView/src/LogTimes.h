// The times of trace lines as the viewer works with and shows them: a stamp as a 64-bit file
// time (100 ns units since 1601-01-01), a duration as hours, minutes, seconds and milliseconds,
// and a stamp as date and time. Every duration the viewer shows goes through DurationText.
// Stateless, thread-safe.
#pragma once

#include "KivPlatform/Time.h"

#include <QString>

#include <cstdint>
#include <optional>

// The stamp as a file time; nothing when a field is out of range (a stamp no calendar has).
std::optional<std::int64_t> FileTimeOf(const SYSTEMTIME& time);
// The calendar fields of a file time; nothing for a negative value.
std::optional<SYSTEMTIME> SystemTimeOf(std::int64_t value);

// A duration of span file-time units as "%02d:%02d:%02d.%03d" of hours, minutes, seconds and
// milliseconds (whole milliseconds, cut, not rounded). The hours count the whole duration, so a
// day or more shows 24 hours and up ("25:00:00.000"), never only the part below a day. A
// negative span (times going backwards in a file) shows its size after a minus sign.
QString DurationText(std::int64_t span);
// The duration from one stamp to another; empty when either stamp is not a calendar time.
QString DurationText(const SYSTEMTIME& from, const SYSTEMTIME& to);

// "%04d/%02d/%02d %02d:%02d:%02d.%03d" of the stamp's fields.
QString StampText(const SYSTEMTIME& time);
