// Helpers of the viewer's benchmarks: timing a piece of work, and the baseline every figure is
// compared with, reading a file and counting its lines. Single-threaded.
#pragma once

#include "BaselineRead.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

namespace KivViewerBench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::duration duration)
{
    return std::chrono::duration<double>(duration).count();
}

// The seconds body takes.
inline double Time(const std::function<void()>& body)
{
    const Clock::time_point start = Clock::now();
    body();
    return Seconds(Clock::now() - start);
}

// The number of line feeds in the file; nothing when it cannot be read (the baseline).
inline std::optional<std::uint64_t> CountLines(const QString& path)
{
    return KivBench::CountLines(path.toStdString());
}

} // namespace KivViewerBench
