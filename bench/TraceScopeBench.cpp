// The cost of one traced call: with tracing off (no settings file, or no filter for the subject),
// with tracing on into the Null output, and with tracing on into a trace file. The "allocs"
// counter counts heap allocations per traced call, to show that a disabled scope makes none.
#include "KivLog/ModuleLog.h"
#include "KivLog/TraceScope.h"

#include "KivTestSupport/TempDir.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<long long> g_allocations{0};

} // namespace

void* operator new(std::size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

namespace {

using Kiv::Log::CModuleLog;

HRESULT TracedCall(CModuleLog& log, int value)
{
    HRESULT hr = E_FAIL;
    KIV_TRACE_SCOPE(log, u"CBench", 10, u"Bench::CBench::TracedCall", &hr);
    hr = value & 1;
    return hr;
}

HRESULT PlainCall(int value)
{
    HRESULT hr = E_FAIL;
    hr = value & 1;
    return hr;
}

// A module log for one benchmark; its settings file (if any) lives in a temporary folder.
struct BenchLog {
    KivTest::TempDir dir;
    std::unique_ptr<CModuleLog> log;

    explicit BenchLog(const std::string& settingsBody)
    {
        std::u16string settingsPath = KivTest::ToUtf16Path(dir.Path() / "missing.xml");
        if (!settingsBody.empty()) {
            const std::string location = dir.Path().string();
            std::string body = settingsBody;
            for (std::size_t at = body.find("$DIR"); at != std::string::npos; at = body.find("$DIR")) {
                body.replace(at, 4, location);
            }
            settingsPath = KivTest::ToUtf16Path(dir.WriteFile("bench.log.xml", body));
        }
        static int counter = 0;
        log = Kiv::Log::StartModuleLog(u"Bench" + std::u16string(1, static_cast<char16_t>(u'A' + counter++)),
                                       settingsPath, u"");
    }
};

void RunTraced(benchmark::State& state, const std::string& settingsBody)
{
    BenchLog bench(settingsBody);
    TracedCall(*bench.log, 0); // starts the output, if any, outside the measurement
    const long long allocationsBefore = g_allocations.load();
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(TracedCall(*bench.log, i++));
    }
    state.counters["allocs"] = benchmark::Counter(static_cast<double>(g_allocations.load() - allocationsBefore),
                                                  benchmark::Counter::kAvgIterations);
}

const std::string kFilters = "<FILTERLIST><FILTER subject=\"CBench\" minlevel=\"0\" maxlevel=\"10\"/></FILTERLIST>";

void BM_PlainCall(benchmark::State& state)
{
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(PlainCall(i++));
    }
}

void BM_TraceScope_NoSettingsFile(benchmark::State& state)
{
    RunTraced(state, "");
}

void BM_TraceScope_NoFilterForSubject(benchmark::State& state)
{
    RunTraced(state, "<S><FACTORY class=\"Kiv::Log::File::CLogFactory\" location=\"$DIR\"/>"
                     "<FILTERLIST><FILTER subject=\"COther\" minlevel=\"0\" maxlevel=\"10\"/></FILTERLIST></S>");
}

void BM_TraceScope_EnabledNullOutput(benchmark::State& state)
{
    RunTraced(state, "<S>" + kFilters + "</S>");
}

void BM_TraceScope_EnabledFileOutput(benchmark::State& state)
{
    RunTraced(state, "<S><FACTORY class=\"Kiv::Log::File::CLogFactory\" location=\"$DIR\"/>" + kFilters + "</S>");
}

BENCHMARK(BM_PlainCall);
BENCHMARK(BM_TraceScope_NoSettingsFile);
BENCHMARK(BM_TraceScope_NoFilterForSubject);
BENCHMARK(BM_TraceScope_EnabledNullOutput);
BENCHMARK(BM_TraceScope_EnabledFileOutput);

} // namespace

BENCHMARK_MAIN();
