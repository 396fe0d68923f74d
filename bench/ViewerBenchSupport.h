// Helpers of the viewer's benchmarks: timing a piece of work, and the baseline every figure is
// compared with, reading a file and counting its lines. Single-threaded.
#pragma once

#include <QString>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
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

// The number of line feeds in the file; nothing when it cannot be read.
inline std::optional<std::uint64_t> CountLines(const QString& path)
{
    std::ifstream file(path.toStdString(), std::ios::binary);
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

} // namespace KivViewerBench
