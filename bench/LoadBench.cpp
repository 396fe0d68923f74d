// KivLoadBench FILE: loads one trace log through the engine's export, the way its callers do
// (a background load, progress to a sink, then the method index on first use), and prints what
// it cost: load time and rates, model memory per line, peak resident memory, and the time of
// the first method set. The file's lines are counted beforehand, outside the timings.
// Single-threaded, apart from the sink, which the engine calls on its loading thread.
#include "BaselineRead.h"
#include "KivLogSysMgr/KivLogSysMgr.h"

#include "KivObject/ComPtr.h"
#include "KivObject/KivObject.h"
#include "KivObject/MakeObject.h"

#include "KivTestSupport/LoadWaitSink.h"

#include "KivPlatform/Memory.h"
#include "KivPlatform/ModulePath.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>

namespace {

using KivBench::CountLines;

using Kiv::CComPtr;
using Clock = std::chrono::steady_clock;

constexpr double MiB = 1024.0 * 1024.0;

double Seconds(Clock::duration duration)
{
    return std::chrono::duration<double>(duration).count();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: KivLoadBench FILE\n"
                   "Loads the trace log FILE through the engine and prints the load's time, rates and memory,\n"
                   "and the time of the first method set. Exit status: 0 on success, 1 when the file\n"
                   "cannot be read or the load fails, 2 for a usage error.\n",
                   stderr);
        return 2;
    }
    const char* path = argv[1];
    std::error_code sizeError;
    const auto bytes = static_cast<double>(std::filesystem::file_size(path, sizeError));
    const std::optional<std::uint64_t> lines = CountLines(path);
    if (sizeError || !lines || *lines == 0) {
        std::fprintf(stderr, "KivLoadBench: %s: cannot be read or holds no line\n", path);
        return 1;
    }

    CComPtr<IKivLogSysMgr> manager;
    const CComPtr<Kiv::CKivObject<KivTest::CLoadWaitSink>> sink = Kiv::MakeObject<Kiv::CKivObject<KivTest::CLoadWaitSink>>();
    if (FAILED(CKivLogSysMgr::CreateLogSysMgr(&manager)) || FAILED(manager->SetLoadProgress(sink))) {
        std::fputs("KivLoadBench: the engine cannot be created\n", stderr);
        return 1;
    }
    const std::u16string enginePath = Kiv::Platform::FromSystemPath(path);

    const std::size_t residentBefore = Kiv::Platform::ResidentBytes();
    const Clock::time_point loadStart = Clock::now();
    if (FAILED(manager->LoadLogFile(enginePath.c_str(), 1))) {
        std::fprintf(stderr, "KivLoadBench: %s: the engine refused the file\n", path);
        return 1;
    }
    if (!sink->WaitForEnds(1, std::chrono::hours(1))) {
        std::fprintf(stderr, "KivLoadBench: %s: the load did not end within an hour\n", path);
        return 1;
    }
    const bool completed = sink->LastLoadReadWholeFile();
    manager->WaitWorkThreads();
    const double loadSeconds = Seconds(Clock::now() - loadStart);
    // The model is what the load made resident beyond the file's text, which the engine holds too.
    const double modelBytes = static_cast<double>(Kiv::Platform::ResidentBytes()) -
                              static_cast<double>(residentBefore) - bytes;
    if (!completed) {
        std::fprintf(stderr, "KivLoadBench: %s: the load ended before the end of the file\n", path);
        return 1;
    }

    CComPtr<IKivLogSysRoot> root;
    CComPtr<IKivLogSysMethodSet> methodSet;
    const HRESULT rootResult = manager->GetRootObject(&root);
    const Clock::time_point methodSetStart = Clock::now();
    if (FAILED(rootResult) || FAILED(root->GetMethodSet(IID_PPV_ARGS(&methodSet)))) {
        std::fputs("KivLoadBench: the method set cannot be built\n", stderr);
        return 1;
    }
    const double methodSetSeconds = Seconds(Clock::now() - methodSetStart);

    const auto lineCount = static_cast<double>(*lines);
    std::printf("input       %.1f MB\n", bytes / MiB);
    std::printf("lines       %llu\n", static_cast<unsigned long long>(*lines));
    std::printf("load        %.2f s   %.1f MB/s   %.2f M lines/s\n", loadSeconds, bytes / MiB / loadSeconds,
                lineCount / 1e6 / loadSeconds);
    std::printf("model       %.1f bytes/line (resident growth during the load, less the file, / lines)\n",
                modelBytes / lineCount);
    std::printf("peak RSS    %.0f MB\n", static_cast<double>(Kiv::Platform::PeakResidentBytes()) / MiB);
    std::printf("method set  %.2f s (%.1f %% of the load)\n", methodSetSeconds, methodSetSeconds / loadSeconds * 100);
    return 0;
}
