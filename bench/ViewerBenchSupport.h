// Helpers of the viewer's benchmarks: timing a piece of work, and the baseline every figure is
// compared with, reading a file and counting its lines. Single-threaded.
#pragma once

#include "BaselineRead.h"

#include <QString>
#include <QtGlobal>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

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

// The baseline: reading the file and counting its lines, the best of three reads, so that it is
// the file read from the page cache as the work measured after it finds it. Prints the number
// of lines; nothing (and a message on standard error naming program) when the file cannot be
// read or holds no line.
struct Baseline {
    double seconds;
    std::uint64_t lines;
};
inline std::optional<Baseline> MeasureBaseline(const QString& path, const char* program)
{
    const std::string file = path.toStdString();
    std::optional<std::uint64_t> lines;
    double best = 0;
    for (int i = 0; i < 3; ++i) {
        const double seconds = Time([&] { lines = KivBench::CountLines(file); });
        best = i == 0 ? seconds : std::min(best, seconds);
    }
    if (!lines || *lines == 0) {
        std::fprintf(stderr, "%s: %s: cannot be read or holds no line\n", program, file.c_str());
        return std::nullopt;
    }
    std::printf("%llu lines\n", static_cast<unsigned long long>(*lines));
    return Baseline{best, *lines};
}

// The viewer's benchmarks run without a display unless QT_QPA_PLATFORM names a platform.
inline void UseOffscreenPlatformUnlessChosen()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
}

} // namespace KivViewerBench
