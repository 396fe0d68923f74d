// KivLoadBench FILE [KIVLOG]: loads one trace log through the engine's export, the way its callers
// do (a background load, progress to a sink, then the method index on first use), and prints what
// it cost, each time with its ratio to the baseline measured first in the same run on the same
// cached file (reading it and counting its lines): the load, the first method set, the peak
// resident memory against the file's size plus 130 bytes per line, and, given the kivlog
// program, the time of "kivlog summary FILE" as a process of its own.
// Single-threaded, apart from the sink, which the engine calls on its loading thread.
#include "EngineLoad.h"

#include "KivPlatform/Memory.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace {

constexpr double MiB = 1024.0 * 1024.0;

// The targets, as multiples of the baseline, and the memory allowed per line beyond the file.
constexpr double LoadTarget = 10;
constexpr double MethodSetTarget = 3;
constexpr double SummaryTarget = 16;
constexpr double MemoryPerLineTarget = 130;

void PrintRatio(const char* what, double seconds, double baseline, double target)
{
    std::printf("%-16s %7.2f s   %5.1f x baseline (target <= %.0f x)\n", what, seconds, seconds / baseline, target);
}

// The same in processor time, which a machine busy with other work does not stretch.
void PrintCpuRatio(double cpuSeconds, double baselineCpu)
{
    std::printf("%-16s %7.2f s   %5.1f x baseline processor time\n", "  processor time", cpuSeconds,
                cpuSeconds / baselineCpu);
}

// A path quoted for the shell.
std::string ShellQuoted(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 3) {
        std::fputs("usage: KivLoadBench FILE [KIVLOG]\n"
                   "Loads the trace log FILE through the engine and prints the load's time, rates and memory,\n"
                   "and the time of the first method set; given the kivlog program, also the time of\n"
                   "\"kivlog summary FILE\". Each time comes with its ratio to reading FILE and counting its\n"
                   "lines. Exit status: 0 on success, 1 when the file cannot be read or the load fails,\n"
                   "2 for a usage error.\n",
                   stderr);
        return 2;
    }
    const std::string path = argv[1];
    std::error_code sizeError;
    const auto bytes = static_cast<double>(std::filesystem::file_size(path, sizeError));
    const std::optional<KivBench::Baseline> baseline = KivBench::MeasureBaseline(path);
    if (sizeError || !baseline) {
        std::fprintf(stderr, "KivLoadBench: %s: cannot be read or holds no line\n", path.c_str());
        return 1;
    }
    const auto lineCount = static_cast<double>(baseline->lines);
    std::printf("input            %.1f MB, %llu lines\n", bytes / MiB, static_cast<unsigned long long>(baseline->lines));
    std::printf("baseline         %7.2f s   (read + count lines, best of three; %.2f s processor time)\n",
                baseline->seconds, baseline->cpuSeconds);

    double peakResident = 0;
    {
        KivBench::EngineLoad load;
        if (!load.Load(path)) {
            return 1;
        }
        PrintRatio("load", load.loadSeconds, baseline->seconds, LoadTarget);
        PrintCpuRatio(load.loadCpuSeconds, baseline->cpuSeconds);
        std::printf("                 %.1f MB/s   %.2f M lines/s\n", bytes / MiB / load.loadSeconds,
                    lineCount / 1e6 / load.loadSeconds);
        if (!load.BuildMethodSet()) {
            return 1;
        }
        PrintRatio("first method set", load.methodSetSeconds, baseline->seconds, MethodSetTarget);
        PrintCpuRatio(load.methodSetCpuSeconds, baseline->cpuSeconds);
        // The model is what the load made resident beyond the file's text, which the engine holds too.
        std::printf("model            %.1f bytes/line (resident growth during the load, less the file, / lines)\n",
                    (load.loadResidentGrowth - bytes) / lineCount);
        peakResident = static_cast<double>(Kiv::Platform::PeakResidentBytes());
    }
    const double memoryLimit = bytes + MemoryPerLineTarget * lineCount;
    std::printf("peak RSS         %.0f MB   %.2f x (file + %.0f bytes/line = %.0f MB); %.1f bytes/line beyond the file\n",
                peakResident / MiB, peakResident / memoryLimit, MemoryPerLineTarget, memoryLimit / MiB,
                (peakResident - bytes) / lineCount);

    if (argc == 3) {
        const std::string command = ShellQuoted(argv[2]) + " summary " + ShellQuoted(path) + " > /dev/null";
        int status = 0;
        const double seconds = KivBench::Time([&] { status = std::system(command.c_str()); });
        if (status != 0) {
            std::fprintf(stderr, "KivLoadBench: \"%s\" failed\n", command.c_str());
            return 1;
        }
        PrintRatio("kivlog summary", seconds, baseline->seconds, SummaryTarget);
    }
    return 0;
}
