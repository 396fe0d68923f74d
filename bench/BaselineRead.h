// The baseline every benchmark figure is compared with: reading a whole file and counting its
// lines, measured in the same run on the same (cached) file; and the timing of a piece of work.
// Header-only, no state.
#pragma once

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace KivBench {

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

// The time body takes on the clock and in processor time of the whole process (all its threads).
// On a machine shared with other work the processor time shows the work itself, which the clock
// time does not.
struct Timing {
    double seconds = 0;
    double cpuSeconds = 0;
};
inline Timing TimeWithCpu(const std::function<void()>& body)
{
    const std::clock_t cpuStart = std::clock();
    const double seconds = Time(body);
    return {seconds, static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC};
}

// The number of line feeds in the file; nothing when it cannot be read.
inline std::optional<std::uint64_t> CountLines(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    constexpr std::size_t ChunkSize = std::size_t{16} << 20;
    const std::unique_ptr<char[]> chunk(new char[ChunkSize]);
    std::uint64_t lines = 0;
    while (file) {
        file.read(chunk.get(), ChunkSize);
        lines += static_cast<std::uint64_t>(std::count(chunk.get(), chunk.get() + file.gcount(), '\n'));
    }
    if (!file.eof()) {
        return std::nullopt;
    }
    return lines;
}

struct Baseline {
    double seconds;
    std::uint64_t lines;
    double cpuSeconds;
};

// The baseline of a file: the best of three reads, so that it is the file read from the page
// cache, as the work measured after it finds it. Nothing when the file cannot be read or holds
// no line.
inline std::optional<Baseline> MeasureBaseline(const std::string& path)
{
    std::optional<std::uint64_t> lines;
    Timing best;
    for (int i = 0; i < 3; ++i) {
        const Timing timing = TimeWithCpu([&] { lines = CountLines(path); });
        best.seconds = i == 0 ? timing.seconds : std::min(best.seconds, timing.seconds);
        best.cpuSeconds = i == 0 ? timing.cpuSeconds : std::min(best.cpuSeconds, timing.cpuSeconds);
    }
    if (!lines || *lines == 0) {
        return std::nullopt;
    }
    return Baseline{best.seconds, *lines, best.cpuSeconds};
}

} // namespace KivBench
