// CLostLines: counts the lines an output or a module log could not write or make (a full disk,
// no memory) and reports their number once, on the debugger channel, when a line gets through
// again. Not thread-safe: used under its owner's lock.
#pragma once

#include "KivPlatform/Types.h"

#include <string_view>

namespace Kiv::Log {

class CLostLines {
public:
    // report is the message: its %u takes the number of lines, its %s what lost them (a file
    // path or a log name).
    explicit constexpr CLostLines(LPCWSTR report) : m_report(report) {}

    // Counts a line that was lost, or after one that got through, reports those lost before it.
    // A report that cannot be made (out of memory) is made after a later line.
    void Count(bool written, std::u16string_view what) noexcept;

private:
    LPCWSTR m_report;
    ULONG m_count = 0;
};

} // namespace Kiv::Log
