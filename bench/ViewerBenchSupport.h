// Helpers of the viewer's benchmarks: timing a piece of work, the baseline every figure is
// compared with (reading a file and counting its lines), printing figures with their ratio to it,
// and loading the trace through the engine. Single-threaded.
#pragma once

#include "BaselineRead.h"
#include "CKivLogFile.h"

#include <QString>
#include <QtGlobal>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace KivViewerBench {

using KivBench::Clock;
using KivBench::Seconds;
using KivBench::Time;

// The baseline: reading the file and counting its lines (KivBench::MeasureBaseline). Prints the
// number of lines; nothing (and a message on standard error naming program) when the file cannot
// be read or holds no line.
using KivBench::Baseline;
inline std::optional<Baseline> MeasureBaseline(const QString& path, const char* program)
{
    const std::string file = path.toStdString();
    const std::optional<Baseline> baseline = KivBench::MeasureBaseline(file);
    if (!baseline) {
        std::fprintf(stderr, "%s: %s: cannot be read or holds no line\n", program, file.c_str());
        return std::nullopt;
    }
    std::printf("%llu lines\n", static_cast<unsigned long long>(baseline->lines));
    return baseline;
}

// Prints each figure with its ratio to the baseline, one line each.
class CBaselineReport {
public:
    explicit CBaselineReport(double baseline) : m_baseline(baseline) {}

    void Print(const char* what, double seconds) const
    {
        std::printf("%12.6f s %11.6f x baseline  %s\n", seconds, seconds / m_baseline, what);
    }

private:
    double m_baseline;
};

// The baseline measured (see MeasureBaseline) and printed as the first figure, and the report
// that compares the others with it; nothing when the file cannot be read.
inline std::optional<CBaselineReport> StartReport(const QString& path, const char* program)
{
    const std::optional<Baseline> baseline = MeasureBaseline(path, program);
    if (!baseline) {
        return std::nullopt;
    }
    const CBaselineReport report(baseline->seconds);
    report.Print("baseline: read the file, count lines", baseline->seconds);
    return report;
}

// Loads the trace at path through a file's engine at once, timed and printed as what (the engine's
// work, shown for scale); null, and a message naming program, when the engine refuses it.
inline std::unique_ptr<CKivLogFile> LoadForScale(const QString& path, const CBaselineReport& report, const char* program,
                                                 const char* what)
{
    auto file = std::make_unique<CKivLogFile>(path);
    HRESULT status = E_FAIL;
    report.Print(what, Time([&] {
                     status = file->GetLogSysMgr()->LoadLogFile(reinterpret_cast<LPCWSTR>(path.utf16()), 0);
                 }));
    if (FAILED(status)) {
        std::fprintf(stderr, "%s: %s: the engine cannot load it\n", program, qPrintable(path));
        return nullptr;
    }
    return file;
}

// The viewer's benchmarks run without a display unless QT_QPA_PLATFORM names a platform.
inline void UseOffscreenPlatformUnlessChosen()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
}

} // namespace KivViewerBench
