// Building the model: a thread's call tree from a few million lines of realistic nesting, and
// the method index over it. Reports lines per second and bytes of model memory per line.
#include "CKivLogSysFactory.h"

#include "KivObject/ComPtr.h"

#include "KivPlatform/Memory.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

using Kiv::CComPtr;

constexpr std::size_t kLines = 3'000'000;

// Line records as the reader makes them, pointing into one text pool: calls nest mostly up to 8
// deep and now and then to 30, 200 method names in a few namespaces, messages of 20 to 120
// bytes, and one call in twenty never returns.
class GeneratedTrace {
public:
    GeneratedTrace()
    {
        std::mt19937 random(12345);
        for (int i = 0; i < 200; ++i) {
            AddText(" Ns" + std::to_string(i % 5) + "::CClass" + std::to_string(i % 23) + "::Method" +
                    std::to_string(i) + "()");
        }
        const std::size_t firstMessage = m_texts.size();
        for (int i = 0; i < 100; ++i) {
            AddText(" " + std::string(20 + random() % 100, static_cast<char>('a' + i % 26)));
        }
        std::vector<std::size_t> open; // method index of each open call
        std::size_t depthLimit = 8;
        m_records.reserve(kLines);
        while (m_records.size() < kLines) {
            if (random() % 1000 == 0) {
                depthLimit = depthLimit == 8 ? 30 : 8;
            }
            const unsigned choice = random() % 100;
            if (choice < 35 && open.size() < depthLimit) {
                const std::size_t method = random() % 200;
                Add(static_cast<WORD>(open.size()), KivLogSysLineKind::Enter, method);
                open.push_back(method);
            } else if (choice < 70 && !open.empty()) {
                const std::size_t method = open.back();
                open.pop_back();
                if (random() % 20 != 0) {
                    Add(static_cast<WORD>(open.size()), KivLogSysLineKind::Return, method);
                }
            } else {
                Add(static_cast<WORD>(open.size()), KivLogSysLineKind::Text, firstMessage + random() % 100);
            }
        }
    }

    const std::vector<KivLogSysLineInfo>& Records() const { return m_records; }

private:
    void AddText(std::string text) { m_texts.push_back(std::move(text)); }
    void Add(WORD depth, WORD kind, std::size_t text)
    {
        KivLogSysLineInfo info{};
        info.cbSize = sizeof info;
        info.threadId = 0x1A2C;
        info.lineNumber = static_cast<LONG>(m_records.size() + 1);
        info.text = m_texts[text].c_str();
        info.textLength = static_cast<LONG>(m_texts[text].size());
        info.depth = depth;
        info.kind = kind;
        m_records.push_back(info);
    }

    std::vector<std::string> m_texts;
    std::vector<KivLogSysLineInfo> m_records;
};

const GeneratedTrace& Trace()
{
    static const GeneratedTrace trace;
    return trace;
}

CComPtr<IKivLogSysThreadEdit> BuildThread()
{
    CComPtr<IKivLogSysThread> thread;
    CKivLogSysFactory::CreateLogSysThread(&thread);
    CComPtr<IKivLogSysThreadEdit> edit;
    thread.QueryInterface(&edit);
    for (const KivLogSysLineInfo& record : Trace().Records()) {
        edit->AddLine(&record);
    }
    return edit;
}

void BM_BuildThread(benchmark::State& state)
{
    Trace();
    // Model objects live in mapped chunks and their child arrays on the heap, so the model's
    // memory is what becomes resident; later rounds reuse freed heap, so the most is kept.
    double bytesPerLine = 0;
    for (auto _ : state) {
        const std::size_t residentBefore = Kiv::Platform::ResidentBytes();
        CComPtr<IKivLogSysThreadEdit> thread = BuildThread();
        state.PauseTiming();
        bytesPerLine = std::max(bytesPerLine,
                                static_cast<double>(Kiv::Platform::ResidentBytes() - residentBefore) / kLines);
        thread.Release();
        state.ResumeTiming();
    }
    state.counters["lines/s"] = benchmark::Counter(static_cast<double>(kLines), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["bytes/line"] = bytesPerLine;
}

void BM_BuildMethodSet(benchmark::State& state)
{
    const CComPtr<IKivLogSysThreadEdit> thread = BuildThread();
    double bytesPerLine = 0;
    for (auto _ : state) {
        const std::size_t heapBefore = Kiv::Platform::HeapBytesInUse();
        CComPtr<IKivLogSysMethodSet> methodSet;
        CKivLogSysFactory::CreateLogSysMethodSet(&methodSet);
        thread->BuildMethodSet(methodSet);
        state.PauseTiming();
        bytesPerLine = static_cast<double>(Kiv::Platform::HeapBytesInUse() - heapBefore) / kLines;
        methodSet.Release();
        state.ResumeTiming();
    }
    state.counters["lines/s"] = benchmark::Counter(static_cast<double>(kLines), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["bytes/line"] = bytesPerLine;
}

BENCHMARK(BM_BuildThread)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_BuildMethodSet)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
