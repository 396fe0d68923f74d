// KivScaleBench DIR TRACE: how the engine's costs grow with the shape of its input. It writes
// made-up traces into DIR (each removed after use) and loads each through the engine's export in
// a process of its own, so that no case inherits the memory of another:
//   - many distinct methods (0.5, 1, 2 and 4 million names, each called once): load, first
//     method set and the list of method names, its growth per doubling, its ratio to a trace of
//     as many lines with 200 methods, and the resident memory the method set takes per distinct
//     method beyond that trace's;
//   - a file of zeros with one trace line at its end: the rate at which the reader skips what
//     is not a trace line, against the rate at which it loads the real trace TRACE;
//   - a million thread identifiers, one line each: resident memory per thread beyond that of the
//     same lines in 16 threads, and with its line.
// Every case also prints its ratio to reading its file and counting its lines (the baseline).
//   KivScaleBench case KIND COUNT DIR RESULT   runs one case and writes its figures to RESULT.
// Single-threaded, apart from the engine's loading thread.
#include "EngineLoad.h"

#include "KivPlatform/TaskMem.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr double MiB = 1024.0 * 1024.0;
constexpr std::uint64_t ReferenceMethods = 200;
constexpr std::uint64_t TraceThreads = 16;

// Trace lines into a file through one large buffer.
class TraceWriter {
public:
    explicit TraceWriter(const std::string& path) : m_file(path, std::ios::binary | std::ios::trunc) {}
    ~TraceWriter() { Flush(); }

    // One line of thread threadId: header, mark (may be empty) and text, then CR LF.
    void Line(std::uint32_t threadId, std::string_view mark, std::string_view text)
    {
        char header[64];
        const int length = std::snprintf(header, sizeof header, "[%08X][2026/12/10(12:34:56.%03u)]", threadId,
                                         static_cast<unsigned>(m_lines++ % 1000));
        m_buffer.append(header, static_cast<std::size_t>(length));
        m_buffer.append(mark);
        m_buffer.append(text);
        m_buffer.append("\r\n");
        if (m_buffer.size() >= (std::size_t{8} << 20)) {
            Flush();
        }
    }
    void Zeros(std::uint64_t count)
    {
        Flush();
        const std::vector<char> zeros(std::size_t{8} << 20, '\0');
        for (std::uint64_t left = count; left > 0;) {
            const std::uint64_t chunk = std::min<std::uint64_t>(left, zeros.size());
            m_file.write(zeros.data(), static_cast<std::streamsize>(chunk));
            left -= chunk;
        }
    }
    bool Good() { return Flush(), static_cast<bool>(m_file); }

private:
    void Flush()
    {
        m_file.write(m_buffer.data(), static_cast<std::streamsize>(m_buffer.size()));
        m_buffer.clear();
    }

    std::ofstream m_file;
    std::string m_buffer;
    std::uint64_t m_lines = 0;
};

constexpr std::string_view EnterMark = "\x84\xA1";
constexpr std::string_view ReturnMark = "\x84\xA4";

// Method i of a trace: a thousand methods to a class.
std::string MethodText(std::uint64_t i)
{
    char text[64];
    std::snprintf(text, sizeof text, " CScale%05llu::Method%08llu()", static_cast<unsigned long long>(i / 1000),
                  static_cast<unsigned long long>(i));
    return text;
}

// count calls, entry and return, spread over the trace's threads; call i is of method i % methods.
void WriteCalls(TraceWriter& out, std::uint64_t count, std::uint64_t methods)
{
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::string text = MethodText(i % methods);
        const auto threadId = static_cast<std::uint32_t>(1 + i % TraceThreads);
        out.Line(threadId, EnterMark, text);
        out.Line(threadId, ReturnMark, text);
    }
}

struct CaseResult {
    double seconds = 0;         // the time the case is about
    double residentGrowth = 0;  // the resident memory the case is about, in bytes
    double bytesPerSecond = 0;
};

// Runs one case on a file written by write; prints its figures and gives them.
template <class Write, class Measure>
std::optional<CaseResult> RunCase(const std::string& file, Write write, Measure measure)
{
    {
        TraceWriter out(file);
        write(out);
        if (!out.Good()) {
            std::fprintf(stderr, "KivScaleBench: %s cannot be written\n", file.c_str());
            return std::nullopt;
        }
    }
    const auto bytes = static_cast<double>(std::filesystem::file_size(file));
    const std::optional<KivBench::Baseline> baseline = KivBench::MeasureBaseline(file);
    std::optional<CaseResult> result;
    if (baseline) {
        KivBench::EngineLoad load;
        if (load.Load(file)) {
            result = measure(load, bytes);
            if (result) {
                std::printf("  %.1f MB, %llu lines: %.2f s, %.1f x baseline (%.3f s)\n", bytes / MiB,
                            static_cast<unsigned long long>(baseline->lines), result->seconds,
                            result->seconds / baseline->seconds, baseline->seconds);
            }
        }
    }
    std::filesystem::remove(file);
    return result;
}

std::optional<CaseResult> RunOneCase(const std::string& kind, std::uint64_t count, const std::string& dir)
{
    const std::string file = dir + "/scale-" + kind + "-" + std::to_string(count) + ".log";
    if (kind == "methods" || kind == "reference") {
        const std::uint64_t methods = kind == "methods" ? count : ReferenceMethods;
        return RunCase(
            file, [&](TraceWriter& out) { WriteCalls(out, count, methods); },
            [&](KivBench::EngineLoad& load, double) -> std::optional<CaseResult> {
                if (!load.BuildMethodSet()) {
                    return std::nullopt;
                }
                // The names in their order, as a caller lists them after the set is built.
                LONG count = 0;
                BSTR* names = nullptr;
                HRESULT listed = E_FAIL;
                const double namesSeconds =
                    KivBench::Time([&] { listed = load.methodSet->GetMethodNames(&count, &names); });
                if (FAILED(listed) || static_cast<std::uint64_t>(count) != methods) {
                    std::fputs("the method names cannot be listed\n", stderr);
                    return std::nullopt;
                }
                for (LONG i = 0; i < count; ++i) {
                    SysFreeString(names[i]);
                }
                CoTaskMemFree(names);
                std::printf("  load %.2f s, first method set %.2f s, method names %.2f s\n", load.loadSeconds,
                            load.methodSetSeconds, namesSeconds);
                return CaseResult{load.loadSeconds + load.methodSetSeconds + namesSeconds,
                                  load.methodSetResidentGrowth, 0};
            });
    }
    if (kind == "zeros") {
        return RunCase(
            file,
            [&](TraceWriter& out) {
                out.Zeros(count);
                out.Line(1, EnterMark, MethodText(0));
            },
            [](KivBench::EngineLoad& load, double bytes) -> std::optional<CaseResult> {
                return CaseResult{load.loadSeconds, 0, bytes / load.loadSeconds};
            });
    }
    if (kind == "threads" || kind == "thread-reference") {
        const std::uint64_t threads = kind == "threads" ? count : TraceThreads;
        return RunCase(
            file,
            [&](TraceWriter& out) {
                for (std::uint64_t i = 0; i < count; ++i) {
                    out.Line(static_cast<std::uint32_t>(1 + i % threads), "", " one line");
                }
            },
            [&](KivBench::EngineLoad& load, double bytes) -> std::optional<CaseResult> {
                return CaseResult{load.loadSeconds, load.loadResidentGrowth - bytes, 0};
            });
    }
    return std::nullopt;
}

// Runs a case in a process of its own; its figures, or nothing when it failed.
std::optional<CaseResult> RunChild(const char* self, const std::string& kind, std::uint64_t count,
                                   const std::string& dir)
{
    const std::string result = dir + "/scale-result";
    const std::string command = std::string("'") + self + "' case " + kind + " " + std::to_string(count) + " '" +
                                dir + "' '" + result + "'";
    std::fflush(stdout);
    if (std::system(command.c_str()) != 0) {
        return std::nullopt;
    }
    CaseResult figures;
    std::ifstream in(result);
    if (!(in >> figures.seconds >> figures.residentGrowth >> figures.bytesPerSecond)) {
        return std::nullopt;
    }
    return figures;
}

// Only the many-methods part when methodsOnly, everything otherwise.
int Drive(const char* self, const std::string& dir, const std::string& trace, bool methodsOnly)
{
    std::printf("many distinct methods (load + first method set + method names; each method called once)\n");
    std::optional<CaseResult> previous;
    for (const std::uint64_t methods : {500'000ull, 1'000'000ull, 2'000'000ull, 4'000'000ull}) {
        std::printf(" %llu methods:\n", static_cast<unsigned long long>(methods));
        const std::optional<CaseResult> many = RunChild(self, "methods", methods, dir);
        std::printf(" same lines, %llu methods:\n", static_cast<unsigned long long>(ReferenceMethods));
        const std::optional<CaseResult> few = RunChild(self, "reference", methods, dir);
        if (!many || !few) {
            return 1;
        }
        // What a distinct method costs: the method set's growth beyond that of the same calls
        // of 200 methods.
        std::printf(" => %.2f s; %.2f x the %llu-method trace (target <= 3); %.0f bytes/method in the method set "
                    "beyond the %llu-method trace's (target <= 400; %.0f bytes/method in all)",
                    many->seconds, many->seconds / few->seconds, static_cast<unsigned long long>(ReferenceMethods),
                    (many->residentGrowth - few->residentGrowth) / static_cast<double>(methods - ReferenceMethods),
                    static_cast<unsigned long long>(ReferenceMethods),
                    many->residentGrowth / static_cast<double>(methods));
        if (previous) {
            std::printf("; %.2f x the half as many (target <= 2)", many->seconds / previous->seconds);
        }
        std::printf("\n");
        previous = many;
    }
    if (methodsOnly) {
        return 0;
    }

    std::printf("a file of zeros with one trace line at its end\n");
    const std::optional<CaseResult> zeros = RunChild(self, "zeros", std::uint64_t{1} << 30, dir);
    std::printf("the real trace %s\n", trace.c_str());
    std::optional<CaseResult> real;
    {
        KivBench::EngineLoad load;
        const std::optional<KivBench::Baseline> baseline = KivBench::MeasureBaseline(trace);
        if (baseline && load.Load(trace)) {
            const auto bytes = static_cast<double>(std::filesystem::file_size(trace));
            real = CaseResult{load.loadSeconds, 0, bytes / load.loadSeconds};
            std::printf("  %.2f s, %.1f x baseline (%.3f s)\n", load.loadSeconds, load.loadSeconds / baseline->seconds,
                        baseline->seconds);
        }
    }
    if (!zeros || !real) {
        return 1;
    }
    std::printf(" => zeros skipped at %.0f MB/s, real trace loaded at %.0f MB/s: %.2f x (target >= 1)\n",
                zeros->bytesPerSecond / MiB, real->bytesPerSecond / MiB, zeros->bytesPerSecond / real->bytesPerSecond);

    constexpr std::uint64_t ManyThreads = 1'000'000;
    std::printf("a million thread identifiers, one line each\n");
    const std::optional<CaseResult> threads = RunChild(self, "threads", ManyThreads, dir);
    std::printf(" the same lines in %llu threads:\n", static_cast<unsigned long long>(TraceThreads));
    const std::optional<CaseResult> lines = RunChild(self, "thread-reference", ManyThreads, dir);
    if (!threads || !lines) {
        return 1;
    }
    // What a thread identifier costs: the model's growth beyond that of the same lines in a few threads.
    std::printf(" => %.0f bytes/thread beyond the same lines in %llu threads (target < 300); %.0f bytes/thread "
                "with its line\n",
                (threads->residentGrowth - lines->residentGrowth) / static_cast<double>(ManyThreads - TraceThreads),
                static_cast<unsigned long long>(TraceThreads), threads->residentGrowth / static_cast<double>(ManyThreads));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 6 && std::strcmp(argv[1], "case") == 0) {
        const std::optional<CaseResult> result = RunOneCase(argv[2], std::strtoull(argv[3], nullptr, 10), argv[4]);
        if (!result) {
            return 1;
        }
        std::ofstream out(argv[5], std::ios::trunc);
        out << result->seconds << ' ' << result->residentGrowth << ' ' << result->bytesPerSecond << '\n';
        return out ? 0 : 1;
    }
    const bool methodsOnly = argc == 4 && std::strcmp(argv[3], "--methods-only") == 0;
    if (argc != 3 && !methodsOnly) {
        std::fputs("usage: KivScaleBench DIR TRACE [--methods-only]\n"
                   "Writes made-up traces into DIR and prints how the engine's time and memory grow with the\n"
                   "number of methods and threads and with text that is not trace lines; TRACE is a real trace\n"
                   "to compare the reader's rate with; --methods-only runs only the many-methods part. Exit status: 0 on success, 1 on a failure, 2 for a\n"
                   "usage error.\n",
                   stderr);
        return 2;
    }
    return Drive(argv[0], argv[1], argv[2], methodsOnly);
}
