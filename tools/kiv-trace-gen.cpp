// kiv-trace-gen --size BYTES --out FILE [--seed N]: writes a made-up trace log of at least BYTES
// bytes, line for line in the format the tracing library writes, as input for load benchmarks:
// 16 threads whose lines interleave, each with its own stack of open calls (mostly up to 8 deep,
// in rare bursts up to 30), 200 method names in a few namespaces, messages of 20 to 120 bytes
// with now and then a code page 932 phrase, and one call in twenty that never writes its return
// line. A gigabyte should take seconds, so lines are assembled by hand from preformatted pieces
// in one large buffer that goes to the file in big writes. Single-threaded.
#include "KivPlatform/Text.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace {

constexpr int ThreadCount = 16;
constexpr int MethodCount = 200;
constexpr std::size_t MessageCount = 4096;
constexpr std::size_t MinMessageLength = 20;
constexpr std::size_t MaxMessageLength = 120;
constexpr std::size_t UsualDepthLimit = 8;
constexpr std::size_t MaxDepth = 30;

// The code page 932 pairs of "│", "┌" and "└", which the reader takes as structure.
constexpr std::string_view IndentMark = "\x84\xA0";
constexpr std::string_view EnterMark = "\x84\xA1";
constexpr std::string_view ReturnMark = "\x84\xA4";
constexpr std::string_view LineEnd = "\r\n";
constexpr std::string_view ZeroResult = " : return 0 [0x00000000]";

// "[%08X]" and "[%04d/%02d/%02d(%02d:%02d:%02d.%03d)]": the two parts of a line header.
constexpr std::size_t ThreadFieldLength = 10;
constexpr std::size_t TimeFieldLength = 26;
// No line comes near this, so a buffer with this much room always takes the next line whole.
constexpr std::size_t MaxLineLength = 1024;
constexpr std::size_t BufferSize = std::size_t{16} << 20;

char* Append(char* out, std::string_view text)
{
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
}

// value as exactly `digits` decimal digits, zero-padded.
char* AppendFixedDecimal(char* out, unsigned value, int digits)
{
    for (int i = digits - 1; i >= 0; --i) {
        out[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    return out + digits;
}

char* AppendHex8(char* out, std::uint32_t value)
{
    static constexpr char Digits[] = "0123456789ABCDEF";
    for (int i = 7; i >= 0; --i) {
        out[i] = Digits[value & 0xF];
        value >>= 4;
    }
    return out + 8;
}

// value as "%d" writes it.
char* AppendDecimal(char* out, std::int32_t value)
{
    return std::to_chars(out, out + 11, value).ptr;
}

// Random numbers with cheap bounded draws; the same seed gives the same sequence.
class CRandom {
public:
    explicit CRandom(std::uint64_t seed) : m_engine(seed) {}

    // Uniform in [0, bound), by multiply and shift: the bias is far below anything that shows.
    std::uint32_t Below(std::uint32_t bound)
    {
        return static_cast<std::uint32_t>((static_cast<std::uint64_t>(static_cast<std::uint32_t>(m_engine())) * bound) >> 32);
    }
    bool OneIn(std::uint32_t n) { return Below(n) == 0; }

private:
    std::mt19937_64 m_engine;
};

// Local wall-clock time to the millisecond and its header field, formatted again only when the
// time moves (most lines share the time of the line before).
class CClock {
public:
    using LocalTime = std::chrono::local_time<std::chrono::milliseconds>;

    explicit CClock(LocalTime start) : m_now(start) { Format(); }

    void Advance(std::chrono::milliseconds step)
    {
        m_now += step;
        Format();
    }
    std::string_view Field() const { return {m_field.data(), m_field.size()}; }

    // The current local time, to the second, as the starting point of a trace.
    static LocalTime Now()
    {
        const std::time_t now = std::time(nullptr);
        const std::tm local = *std::localtime(&now);
        const std::chrono::year_month_day date{std::chrono::year(local.tm_year + 1900),
                                               std::chrono::month(static_cast<unsigned>(local.tm_mon + 1)),
                                               std::chrono::day(static_cast<unsigned>(local.tm_mday))};
        return LocalTime(std::chrono::local_days(date) + std::chrono::hours(local.tm_hour) +
                         std::chrono::minutes(local.tm_min) + std::chrono::seconds(local.tm_sec));
    }

private:
    void Format()
    {
        const auto day = std::chrono::floor<std::chrono::days>(m_now);
        const std::chrono::year_month_day date(day);
        const std::chrono::hh_mm_ss time(m_now - day);
        char* out = m_field.data();
        *out++ = '[';
        out = AppendFixedDecimal(out, static_cast<unsigned>(static_cast<int>(date.year())), 4);
        *out++ = '/';
        out = AppendFixedDecimal(out, static_cast<unsigned>(date.month()), 2);
        *out++ = '/';
        out = AppendFixedDecimal(out, static_cast<unsigned>(date.day()), 2);
        *out++ = '(';
        out = AppendFixedDecimal(out, static_cast<unsigned>(time.hours().count()), 2);
        *out++ = ':';
        out = AppendFixedDecimal(out, static_cast<unsigned>(time.minutes().count()), 2);
        *out++ = ':';
        out = AppendFixedDecimal(out, static_cast<unsigned>(time.seconds().count()), 2);
        *out++ = '.';
        out = AppendFixedDecimal(out, static_cast<unsigned>(time.subseconds().count()), 3);
        *out++ = ')';
        *out = ']';
    }

    LocalTime m_now;
    std::array<char, TimeFieldLength> m_field{};
};

// Collects lines in a large buffer and writes it out whenever it fills. Write failures are
// remembered and reported by Close.
class COutput {
public:
    explicit COutput(std::FILE* file) : m_file(file), m_buffer(new char[BufferSize]) {}

    // Room for one whole line; the caller moves the cursor on with Commit.
    char* LineSpace()
    {
        if (BufferSize - m_used < MaxLineLength) {
            Flush();
        }
        return m_buffer.get() + m_used;
    }
    void Commit(const char* end)
    {
        m_used = static_cast<std::size_t>(end - m_buffer.get());
        ++m_lines;
    }
    std::uint64_t Bytes() const { return m_flushed + m_used; }
    std::uint64_t Lines() const { return m_lines; }

    // Writes what is left and closes the file; the error of the first failure, if any.
    std::error_code Close()
    {
        Flush();
        if (std::fclose(m_file) != 0 && !m_error) {
            m_error = std::error_code(errno, std::generic_category());
        }
        return m_error;
    }

private:
    void Flush()
    {
        if (!m_error && std::fwrite(m_buffer.get(), 1, m_used, m_file) != m_used) {
            m_error = std::error_code(errno, std::generic_category());
        }
        m_flushed += m_used;
        m_used = 0;
    }

    std::FILE* m_file;
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_used = 0;
    std::uint64_t m_flushed = 0;
    std::uint64_t m_lines = 0;
    std::error_code m_error;
};

// One traced thread: its header field and the methods of its open calls, innermost last.
struct TraceThread {
    std::array<char, ThreadFieldLength> field{};
    std::vector<std::uint16_t> open;
    // Open calls beyond which no call is entered; above the usual limit during a burst.
    std::size_t depthLimit = UsualDepthLimit;
};

// The made-up program: its threads, methods and messages, and the line each step writes.
class CTraceGenerator {
public:
    explicit CTraceGenerator(std::uint64_t seed) : m_random(seed), m_clock(CClock::Now())
    {
        MakeThreads();
        MakeMethods();
        MakeMessages();
    }

    // Writes lines until the output holds at least `bytes` bytes.
    void Generate(COutput& output, std::uint64_t bytes)
    {
        while (output.Bytes() < bytes) {
            if (m_random.OneIn(16)) {
                m_clock.Advance(std::chrono::milliseconds(1 + m_random.Below(4)));
            }
            Step(m_threads[m_random.Below(ThreadCount)], output);
        }
    }

private:
    void MakeThreads()
    {
        std::vector<std::uint32_t> ids;
        while (ids.size() < ThreadCount) {
            // Thread identifiers as the system hands them out: multiples of four.
            const std::uint32_t id = (0x400 + m_random.Below(0x3C00)) * 4;
            if (std::find(ids.begin(), ids.end(), id) == ids.end()) {
                ids.push_back(id);
            }
        }
        for (std::size_t i = 0; i < ids.size(); ++i) {
            char* out = m_threads[i].field.data();
            *out++ = '[';
            out = AppendHex8(out, ids[i]);
            *out = ']';
            m_threads[i].open.reserve(MaxDepth);
        }
    }

    void MakeMethods()
    {
        static constexpr std::string_view Namespaces[] = {"Core", "Store", "Net", "Ui", "Core::Detail"};
        for (int i = 0; i < MethodCount; ++i) {
            std::string name(" ");
            name.append(Namespaces[i % 5]).append("::CClass" + std::to_string(i % 23));
            name.append("::Method" + std::to_string(i) + "()");
            m_enterLines.push_back(std::string(EnterMark).append(name).append(LineEnd));
            m_returnHeads.push_back(std::string(ReturnMark).append(name));
        }
    }

    // Messages are drawn from a pool made once: words and numbers, and in one message in eight
    // a Japanese phrase, filled up to a random length between the limits.
    void MakeMessages()
    {
        static constexpr std::string_view Words[] = {
            "open",  "close", "read",    "write", "cache", "hit",   "miss",   "key",   "=",     "value",
            "retry", "wait",  "timeout", "queue", "size",  "entry", "commit", "flush", "state", "->",
        };
        // UTF-8 here, code page 932 in the trace (as the tracing library writes them).
        static constexpr std::string_view Phrases[] = {
            "処理中", "完了しました", "接続を待っています", "キャッシュに追加", "読み込みエラー", "再試行します",
        };
        std::vector<std::string> phrases;
        for (const std::string_view phrase : Phrases) {
            phrases.push_back(Kiv::Platform::Utf8ToAnsi(phrase));
        }
        for (std::size_t i = 0; i < MessageCount; ++i) {
            const std::size_t length = MinMessageLength + m_random.Below(MaxMessageLength - MinMessageLength + 1);
            std::string text;
            if (m_random.OneIn(8)) {
                text = phrases[m_random.Below(static_cast<std::uint32_t>(phrases.size()))];
            }
            // Whole pieces only, so that no double-byte character is ever cut in two.
            for (;;) {
                const std::string piece = m_random.OneIn(3) ? std::to_string(m_random.Below(100000))
                                                            : std::string(Words[m_random.Below(std::size(Words))]);
                if (text.size() + (text.empty() ? 0 : 1) + piece.size() > length) {
                    break;
                }
                text += (text.empty() ? "" : " ") + piece;
            }
            text.resize(length, '.');
            m_messages.push_back(" " + text + std::string(LineEnd));
        }
    }

    // One step of a thread: enters a call, returns from one, or writes a message.
    void Step(TraceThread& thread, COutput& output)
    {
        const bool bursting = thread.depthLimit > UsualDepthLimit;
        if (!bursting && m_random.OneIn(4000)) {
            thread.depthLimit = UsualDepthLimit + 4 + m_random.Below(MaxDepth - UsualDepthLimit - 3);
        }
        // A burst mostly enters until it reaches its depth; otherwise calls and returns balance.
        const std::uint32_t choice = m_random.Below(100);
        const std::uint32_t enterBelow = bursting ? 60 : 35;
        const std::uint32_t returnBelow = bursting ? 75 : 70;
        if (choice < enterBelow && thread.open.size() < thread.depthLimit) {
            const auto method = static_cast<std::uint16_t>(m_random.Below(MethodCount));
            char* out = StartLine(thread, output);
            out = Append(out, m_enterLines[method]);
            output.Commit(out);
            thread.open.push_back(method);
            if (thread.open.size() == thread.depthLimit) {
                thread.depthLimit = UsualDepthLimit;
            }
        } else if (choice >= enterBelow && choice < returnBelow && !thread.open.empty()) {
            const std::uint16_t method = thread.open.back();
            thread.open.pop_back();
            if (!m_random.OneIn(20)) {
                WriteReturn(thread, method, output);
            }
        } else {
            char* out = StartLine(thread, output);
            out = Append(out, m_messages[m_random.Below(MessageCount)]);
            output.Commit(out);
        }
    }

    // Most calls return 0; some are void, and a few return another value or an error code.
    void WriteReturn(const TraceThread& thread, std::uint16_t method, COutput& output)
    {
        static constexpr std::int32_t OtherResults[] = {1, -1, 42, static_cast<std::int32_t>(0x80004005),
                                                        static_cast<std::int32_t>(0x80070057)};
        char* out = StartLine(thread, output);
        out = Append(out, m_returnHeads[method]);
        const std::uint32_t choice = m_random.Below(100);
        if (choice < 85) {
            out = Append(out, ZeroResult);
        } else if (choice < 95) {
            const std::int32_t result = OtherResults[m_random.Below(std::size(OtherResults))];
            out = Append(out, " : return ");
            out = AppendDecimal(out, result);
            out = Append(out, " [0x");
            out = AppendHex8(out, static_cast<std::uint32_t>(result));
            *out++ = ']';
        }
        out = Append(out, LineEnd);
        output.Commit(out);
    }

    // The header and one indentation mark per open call of the thread.
    char* StartLine(const TraceThread& thread, COutput& output)
    {
        char* out = output.LineSpace();
        out = Append(out, {thread.field.data(), thread.field.size()});
        out = Append(out, m_clock.Field());
        return Append(out, std::string_view(m_indent).substr(0, thread.open.size() * IndentMark.size()));
    }

    CRandom m_random;
    CClock m_clock;
    std::array<TraceThread, ThreadCount> m_threads;
    std::vector<std::string> m_enterLines;  // mark, name and line end of each method
    std::vector<std::string> m_returnHeads; // mark and name of each method
    std::vector<std::string> m_messages;    // leading space, text and line end
    const std::string m_indent = [] {
        std::string marks;
        for (std::size_t i = 0; i < MaxDepth; ++i) {
            marks += IndentMark;
        }
        return marks;
    }();
};

void PrintUsage(std::FILE* out)
{
    std::fputs("usage: kiv-trace-gen --size BYTES --out FILE [--seed N]\n"
               "Writes a made-up trace log of at least BYTES bytes to FILE: 16 interleaved threads,\n"
               "nested calls, messages, calls that never return. The same seed (default 1) gives the\n"
               "same lines; the time stamps start at the current local time. Prints\n"
               "\"lines <N> bytes <M>\" at the end.\n"
               "Exit status: 0 on success, 1 when FILE cannot be written, 2 for a usage error.\n",
               out);
}

bool ParseNumber(const char* text, std::uint64_t& value)
{
    const char* end = text + std::strlen(text);
    const auto [last, error] = std::from_chars(text, end, value);
    return error == std::errc() && last == end;
}

} // namespace

int main(int argc, char** argv)
{
    std::uint64_t size = 0;
    std::uint64_t seed = 1;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            PrintUsage(stdout);
            return 0;
        }
        bool valid = i + 1 < argc;
        if (valid && std::strcmp(argv[i], "--size") == 0) {
            valid = ParseNumber(argv[++i], size);
        } else if (valid && std::strcmp(argv[i], "--seed") == 0) {
            valid = ParseNumber(argv[++i], seed);
        } else if (valid && std::strcmp(argv[i], "--out") == 0) {
            path = argv[++i];
        } else {
            valid = false;
        }
        if (!valid) {
            PrintUsage(stderr);
            return 2;
        }
    }
    if (size == 0 || path == nullptr) {
        PrintUsage(stderr);
        return 2;
    }

    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "kiv-trace-gen: %s: %s\n", path, std::strerror(errno));
        return 1;
    }
    COutput output(file);
    CTraceGenerator(seed).Generate(output, size);
    if (const std::error_code error = output.Close()) {
        std::fprintf(stderr, "kiv-trace-gen: %s: %s\n", path, error.message().c_str());
        return 1;
    }
    std::printf("lines %llu bytes %llu\n", static_cast<unsigned long long>(output.Lines()),
                static_cast<unsigned long long>(output.Bytes()));
    return 0;
}
