// The writing side of tracing: trace scopes and their lines, indentation, thread logs sharing one
// output, trace-file naming, the error log with its banner, rotation and cross-process locking.
#include "KivLog/Log.h"
#include "KivLog/LogSetting.h"
#include "KivLog/ModuleLog.h"
#include "KivLog/Outputs.h"
#include "KivLog/TraceScope.h"

#include "KivTestSupport/ChildProcess.h"
#include "KivTestSupport/FailingAllocations.h"

#include "KivTestSupport/TempDir.h"

#include "KivPlatform/ModulePath.h"
#include "KivPlatform/Text.h"

#include "KivObject/MakeObject.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <ctime>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <regex>
#include <string_view>
#include <thread>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using Kiv::CComPtr;
using Kiv::MakeObject;
using namespace Kiv::Log;
using KivTest::FileBytes;
using KivTest::StartChild;
using KivTest::WaitForChild;
using KivTest::TempDir;
using KivTest::ToUtf16Path;

namespace {

// A unique log name per module log, since the registry keeps outputs per name.
std::u16string UniqueName(const char* stem)
{
    static std::atomic<int> counter{0};
    const std::string name = std::string(stem) + std::to_string(::getpid()) + "_" + std::to_string(counter++);
    return Kiv::Platform::Utf8ToUtf16(name);
}

// The lines of a file split at CR LF; a line without its CR LF at the end fails the test.
std::vector<std::string> SplitLines(const std::string& bytes)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t end = bytes.find("\r\n", start);
        EXPECT_NE(end, std::string::npos) << "last line without CR LF";
        if (end == std::string::npos) {
            break;
        }
        lines.push_back(bytes.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// The .log files in a folder.
std::vector<std::filesystem::path> TraceFiles(const std::filesystem::path& folder)
{
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() == ".log") {
            files.push_back(entry.path());
        }
    }
    return files;
}

// Every line of a trace file, decoded to UTF-8, with its 36-byte header checked and cut.
std::vector<std::string> BodiesOf(const std::filesystem::path& file)
{
    static const std::regex header(R"(\[[0-9A-F]{8}\]\[\d{4}/\d\d/\d\d\(\d\d:\d\d:\d\d\.\d{3}\)\])");
    std::vector<std::string> bodies;
    for (const std::string& line : SplitLines(FileBytes(file))) {
        const bool hasHeader = line.size() >= 36 && std::regex_match(line.substr(0, 36), header);
        EXPECT_TRUE(hasHeader) << line;
        bodies.push_back(Kiv::Platform::AnsiToUtf8(hasHeader ? line.substr(36) : line));
    }
    return bodies;
}

// A traced program in miniature: a settings file in a temp folder that sends the trace there.
struct TracedModule {
    TempDir dir;
    std::unique_ptr<CModuleLog> log;

    explicit TracedModule(const std::string& filters, const std::string& factory = "")
    {
        const std::string factoryElement =
            factory.empty() ? "<FACTORY class=\"Kiv::Log::File::CLogFactory\" location=\"" + dir.Path().string() + "\"/>"
                            : factory;
        const auto settings = dir.WriteFile("Test.log.xml", "<?xml version=\"1.0\"?><KivLog>" + factoryElement +
                                                                "<FILTERLIST>" + filters + "</FILTERLIST></KivLog>");
        log = StartModuleLog(UniqueName("Test"), ToUtf16Path(settings), ToUtf16Path(dir.Path() / "Test.err"));
    }

    // Every line of the one trace file, decoded to UTF-8, with its 36-byte header checked and cut.
    std::vector<std::string> Bodies() const
    {
        const auto files = TraceFiles(dir.Path());
        EXPECT_EQ(files.size(), 1u);
        if (files.size() != 1) {
            return {};
        }
        return BodiesOf(files[0]);
    }
};

const std::string kDemoFilter = "<FILTER subject=\"CDemo\" minlevel=\"0\" maxlevel=\"10\"/>";

// A traced operation's subject is the class part of its name, the part just before the operation.
constexpr bool SubjectIs(std::u16string_view subject, std::u16string_view expected)
{
    return subject == expected;
}
static_assert(SubjectIs(CTraceName(u"Demo::CDemo::Inner").GetSubject(), u"CDemo"));
static_assert(SubjectIs(CTraceName(u"CKivLogSysLine::GetChildCount").GetSubject(), u"CKivLogSysLine"));
static_assert(SubjectIs(CTraceName(u"Run").GetSubject(), u"Run"));
static_assert(SubjectIs(CTraceName(u"").GetSubject(), u""));

// The operations below name their subject only through their qualified names: the filter for
// "CDemo" lets them through and filters for other subjects keep them out.

HRESULT Inner(CModuleLog& log, HRESULT result)
{
    KIV_TRACE_OPERATION(log, 10, u"Demo::CDemo::Inner", hr, E_FAIL);
    KIV_TRACE(log, u"CDemo", 10, u"value = %d", 42);
    hr = result;
    return hr;
}

HRESULT Outer(CModuleLog& log, HRESULT innerResult)
{
    KIV_TRACE_OPERATION(log, 10, u"Demo::CDemo::Outer", hr, E_FAIL);
    hr = Inner(log, innerResult);
    return hr;
}

void WithoutResult(CModuleLog& log)
{
    KIV_TRACE_OPERATION(log, 10, u"Demo::CDemo::Notify");
}

bool WithBoolResult(CModuleLog& log, bool value)
{
    KIV_TRACE_OPERATION(log, 10, u"Demo::CDemo::IsReady", result, false);
    result = value;
    return result;
}

TEST(TraceScopeTest, NestedCallsStandOneLevelApartWithTheirResults)
{
    TracedModule module(kDemoFilter);
    Outer(*module.log, S_OK);
    Outer(*module.log, S_FALSE);
    Outer(*module.log, E_INVALIDARG);
    WithoutResult(*module.log);
    WithBoolResult(*module.log, true);
    WithBoolResult(*module.log, false);

    const std::vector<std::string> expected = {
        "┌ Demo::CDemo::Outer()",
        "│┌ Demo::CDemo::Inner()",
        "││ value = 42",
        "│└ Demo::CDemo::Inner() : return 0 [0x00000000]",
        "└ Demo::CDemo::Outer() : return 0 [0x00000000]",
        "┌ Demo::CDemo::Outer()",
        "│┌ Demo::CDemo::Inner()",
        "││ value = 42",
        "│└ Demo::CDemo::Inner() : return 1 [0x00000001]",
        "└ Demo::CDemo::Outer() : return 1 [0x00000001]",
        "┌ Demo::CDemo::Outer()",
        "│┌ Demo::CDemo::Inner()",
        "││ value = 42",
        "│└ Demo::CDemo::Inner() : return -2147024809 [0x80070057]",
        "└ Demo::CDemo::Outer() : return -2147024809 [0x80070057]",
        "┌ Demo::CDemo::Notify()",
        "└ Demo::CDemo::Notify()",
        "┌ Demo::CDemo::IsReady()",
        "└ Demo::CDemo::IsReady() : return true",
        "┌ Demo::CDemo::IsReady()",
        "└ Demo::CDemo::IsReady() : return false",
    };
    EXPECT_EQ(module.Bodies(), expected);
}

TEST(TraceScopeTest, DisabledTracingWritesNothingAndCreatesNoFile)
{
    struct Case {
        const char* name;
        std::string filters;
        std::string factory;
    };
    const Case cases[] = {
        {"no filter at all", "", ""},
        {"filters for other subjects", "<FILTER subject=\"COther\" minlevel=\"0\" maxlevel=\"10\"/>", ""},
        {"subject's band excludes the level", "<FILTER subject=\"CDemo\" minlevel=\"0\" maxlevel=\"9\"/>", ""},
        {"filters but no factory: the Null output", kDemoFilter, "<NOFACTORY/>"},
    };
    for (const Case& c : cases) {
        TracedModule module(c.filters, c.factory);
        EXPECT_EQ(Outer(*module.log, S_OK), S_OK) << c.name;
        WithoutResult(*module.log);
        EXPECT_TRUE(TraceFiles(module.dir.Path()).empty()) << c.name;
    }

    // Without a settings file at all.
    TempDir dir;
    auto log = StartModuleLog(UniqueName("Missing"), ToUtf16Path(dir.Path() / "none.xml"), u"");
    EXPECT_FALSE(log->IsEnabled());
    Outer(*log, S_OK);
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

void Traced(CModuleLog& log, LPCWSTR name)
{
    KIV_TRACE_SCOPE(log, u"CDemo", 10, name);
}

// Line breaks in traced texts (messages, operation names, error reports) are written visibly as
// "\r" and "\n": a text that carries a header after a line break forges no line of its own.
TEST(TraceScopeTest, LineBreaksInTracedTextsCannotForgeLines)
{
    const std::u16string forged = u"[0000BEEF][2026/01/01(00:00:00.000)]┌ Forged::Method()";
    const std::string forgedUtf8 = Kiv::Platform::Utf16ToUtf8(forged);
    TracedModule module(kDemoFilter);
    const struct {
        std::u16string text;
        std::string escaped;
    } cases[] = {
        {u"evil\r\n" + forged, "evil\\r\\n" + forgedUtf8},
        {u"lone LF\n" + forged, "lone LF\\n" + forgedUtf8},
        {u"lone CR\r" + forged, "lone CR\\r" + forgedUtf8},
        {u"\n\r\n", "\\n\\r\\n"},
        {u"C:\\path\\n stays", "C:\\path\\n stays"},
    };
    std::vector<std::string> expected;
    for (const auto& c : cases) {
        module.log->TraceMessage(u"CDemo", 10, u"%s", {c.text});
        Traced(*module.log, c.text.c_str());
        module.log->ReportError(u"%s", {c.text});
        expected.insert(expected.end(), {" " + c.escaped, "┌ " + c.escaped + "()", "└ " + c.escaped + "()"});
    }
    EXPECT_EQ(module.Bodies(), expected);

    std::vector<std::string> reports;
    for (const std::string& line : SplitLines(FileBytes(module.dir.Path() / "Test.err"))) {
        reports.push_back(Kiv::Platform::AnsiToUtf8(line.substr(std::min<std::size_t>(line.size(), 21))));
    }
    ASSERT_EQ(reports.size(), 3 + std::size(cases)) << "the banner and one line per report";
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(reports[3 + i], cases[i].escaped);
    }
}

TEST(TraceScopeTest, IndentationStopsAt127Characters)
{
    TracedModule module(kDemoFilter);
    for (int i = 0; i < 200; ++i) {
        module.log->IncIndent();
    }
    module.log->Trace(u"CDemo", 10, u"deep");
    for (int i = 0; i < 400; ++i) {
        module.log->DecIndent();
    }
    module.log->Trace(u"CDemo", 10, u"shallow");
    const auto bodies = module.Bodies();
    ASSERT_EQ(bodies.size(), 2u);
    std::string indent;
    for (int i = 0; i < 127; ++i) {
        indent += "│";
    }
    EXPECT_EQ(bodies[0], indent + "deep");
    EXPECT_EQ(bodies[1], "shallow") << "a negative depth gives no indentation";
}

std::u16string Repeat(std::u16string_view piece, std::size_t times)
{
    std::u16string text;
    for (std::size_t i = 0; i < times; ++i) {
        text += piece;
    }
    return text;
}

// Checks one written line (code page 932, without its line end) against the header and the
// indentation and text it was meant to carry: it fits in what the reader takes whole, and a text
// too long for that is cut at a character boundary, as late as the limit allows, and marked.
void ExpectFitsTheReader(const std::string& line, const std::string& meant, const std::string& label)
{
    constexpr std::size_t headerBytes = 36;
    ASSERT_LE(line.size(), CLog::MaxLineBytes) << label;
    ASSERT_GE(line.size(), headerBytes) << label;
    const std::string body = line.substr(headerBytes);
    if (headerBytes + meant.size() <= CLog::MaxLineBytes) {
        EXPECT_EQ(body, meant) << label << ": a line that fits is not cut";
        return;
    }
    ASSERT_TRUE(body.ends_with("...")) << label;
    const std::string kept = body.substr(0, body.size() - 3);
    ASSERT_EQ(meant.compare(0, kept.size(), kept), 0) << label << ": the kept text is the start of the text";
    auto characterSize = [&](std::size_t at) { return Kiv::Platform::IsAnsiLeadByte(meant[at]) ? 2u : 1u; };
    std::size_t boundary = 0;
    while (boundary < kept.size()) {
        boundary += characterSize(boundary);
    }
    EXPECT_EQ(boundary, kept.size()) << label << ": cut inside a character";
    EXPECT_GT(line.size() + characterSize(boundary), CLog::MaxLineBytes) << label << ": cut earlier than needed";
}

void TracedWithName(CModuleLog& log, const std::u16string& name)
{
    KIV_TRACE_SCOPE(log, u"CDemo", 10, name.c_str());
}

TEST(TraceScopeTest, LongLinesAreCutAtACharacterBoundaryToFitTheReader)
{
    TracedModule module(kDemoFilter);
    const std::string indentUnit = Kiv::Platform::Utf8ToAnsi("│");
    const struct {
        const char* label;
        int depth;
        std::u16string text;
    } cases[] = {
        {"exactly the limit", 0, std::u16string(CLog::MaxLineBytes - 36, u'a')},
        {"one byte over", 0, std::u16string(CLog::MaxLineBytes - 35, u'a')},
        {"Japanese", 0, Repeat(u"あ", 1000)},
        {"Japanese after one ASCII character", 0, u"x" + Repeat(u"漢", 1000)},
        {"Japanese at the deepest indentation", 200, Repeat(u"漢字", 500)},
        {"single-byte katakana between double-byte characters", 3, Repeat(u"ｱあ", 500)},
        {"line breaks escaped near the cut", 1, Repeat(u"日本\r\n", 300)},
    };
    std::vector<std::pair<std::string, std::string>> expected; // label, meant bytes
    for (const auto& c : cases) {
        for (int i = 0; i < c.depth; ++i) {
            module.log->IncIndent();
        }
        std::string indent;
        for (int i = 0; i < std::min(c.depth, 127); ++i) {
            indent += indentUnit;
        }
        std::u16string escaped;
        for (const char16_t ch : c.text) {
            escaped += ch == u'\r' ? u"\\r" : ch == u'\n' ? u"\\n" : std::u16string(1, ch);
        }
        module.log->Trace(u"CDemo", 10, u"%s", {c.text});
        expected.emplace_back(c.label, indent + Kiv::Platform::Utf16ToAnsi(escaped));
        for (int i = 0; i < c.depth; ++i) {
            module.log->DecIndent();
        }
    }
    // A long operation name: its entry and exit lines are cut alike.
    const std::u16string name = u"Demo::" + Repeat(u"長い名前", 200);
    TracedWithName(*module.log, name);
    expected.emplace_back("entry line", Kiv::Platform::Utf16ToAnsi(u"┌ " + name + u"()"));
    expected.emplace_back("exit line", Kiv::Platform::Utf16ToAnsi(u"└ " + name + u"()"));

    const auto files = TraceFiles(module.dir.Path());
    ASSERT_EQ(files.size(), 1u);
    const auto lines = SplitLines(FileBytes(files[0]));
    ASSERT_EQ(lines.size(), expected.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        ExpectFitsTheReader(lines[i], expected[i].second, expected[i].first);
    }
}

TEST(TraceScopeTest, ThreadsWriteIntactLinesThroughOneOutputWithTheirOwnIndentation)
{
    TracedModule module(kDemoFilter);
    constexpr int kThreads = 8;
    constexpr int kLines = 50000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&module, t] {
            module.log->IncIndent();
            for (int i = 0; i < t; ++i) {
                module.log->IncIndent();
            }
            for (int i = 0; i < kLines; ++i) {
                module.log->Trace(u"CDemo", 10, u"thread %d line %d", {t, i});
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }

    const auto files = TraceFiles(module.dir.Path());
    ASSERT_EQ(files.size(), 1u);
    const auto lines = SplitLines(FileBytes(files[0]));
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLines));
    static const std::regex line(R"(\[([0-9A-F]{8})\]\[[^\]]{24}\]((?:│)+)thread (\d) line (\d+))");
    std::map<std::string, int> threadOfId;
    std::vector<int> nextLine(kThreads, 0);
    for (const std::string& ansi : lines) {
        const std::string text = Kiv::Platform::AnsiToUtf8(ansi);
        std::smatch match;
        ASSERT_TRUE(std::regex_match(text, match, line)) << text;
        const int thread = std::stoi(match[3]);
        EXPECT_EQ(match[2].length(), std::string("│").size() * (thread + 1)) << "each thread keeps its own depth";
        EXPECT_EQ(std::stoi(match[4]), nextLine[thread]++) << "a thread's lines stay in order";
        const auto [it, inserted] = threadOfId.emplace(match[1], thread);
        EXPECT_EQ(it->second, thread) << "one thread id per thread";
    }
    EXPECT_EQ(threadOfId.size(), static_cast<std::size_t>(kThreads));
}

// The name a trace file of that log takes at that time, without ".log".
std::string StampedName(const std::string& logName, std::chrono::system_clock::time_point time)
{
    const std::time_t t = std::chrono::system_clock::to_time_t(time);
    std::tm local{};
    localtime_r(&t, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "[%Y-%m-%d %H.%M.%S]", &local);
    return logName + stamp;
}

TEST(TraceFileTest, OutputsStartedInOneSecondCreateFilesOfTheirOwnAtOnce)
{
    TempDir dir;
    File::CLogFactory factory(false, ToUtf16Path(dir.Path()));
    // Someone else's files take the names of this second and the next ones: an output must
    // neither append to them nor wait for a free second.
    const std::string someoneElses = "someone else's file\r\n";
    std::set<std::string> takenStamps;
    const auto start = std::chrono::system_clock::now();
    for (int ahead = 0; ahead < 6; ++ahead) {
        const std::string name = StampedName("Names", start + std::chrono::seconds(ahead));
        dir.WriteFile(name + ".log", someoneElses);
        takenStamps.insert(name);
    }

    constexpr int kOutputs = 8;
    std::vector<CComPtr<ILogIO>> outputs;
    std::vector<std::filesystem::path> paths;
    for (int i = 0; i < kOutputs; ++i) {
        CComPtr<ILogIO> output;
        output.Attach(factory.CreateLogIO(u"Names"));
        ASSERT_TRUE(output) << "output " << i;
        const auto* file = dynamic_cast<File::CLogIO*>(output.Get());
        ASSERT_NE(file, nullptr);
        paths.emplace_back(Kiv::Platform::ToSystemPath(file->GetPath()));
        EXPECT_TRUE(std::filesystem::exists(paths.back())) << "the file is made with its output";
        EXPECT_EQ(std::filesystem::file_size(paths.back()), 0u) << paths.back();
        outputs.push_back(output);
    }

    // "Names[stamp].log", then "Names[stamp](2).log" and up: the numbers of one stamp run on
    // from the first free one.
    static const std::regex pattern(R"((Names\[\d{4}-\d\d-\d\d \d\d\.\d\d\.\d\d\])(?:\((\d+)\))?\.log)");
    std::map<std::string, std::set<int>> numbersOfStamp;
    for (const auto& path : paths) {
        const std::string name = path.filename().string();
        std::smatch match;
        ASSERT_TRUE(std::regex_match(name, match, pattern)) << name;
        const int number = match[2].matched ? std::stoi(match[2]) : 1;
        EXPECT_NE(number, 0) << name;
        EXPECT_TRUE(numbersOfStamp[match[1]].insert(number).second) << "two outputs share " << name;
    }
    for (const auto& [stamp, numbers] : numbersOfStamp) {
        const int first = takenStamps.count(stamp) != 0 ? 2 : 1;
        EXPECT_EQ(*numbers.begin(), first) << stamp;
        EXPECT_EQ(*numbers.rbegin(), first + static_cast<int>(numbers.size()) - 1) << stamp;
    }

    for (int i = 0; i < kOutputs; ++i) {
        outputs[i]->Write(Kiv::Platform::Utf8ToUtf16("output " + std::to_string(i) + "\r\n").c_str());
    }
    for (int i = 0; i < kOutputs; ++i) {
        EXPECT_EQ(FileBytes(paths[i]), "output " + std::to_string(i) + "\r\n") << paths[i];
    }
    for (const std::string& stamp : takenStamps) {
        EXPECT_EQ(FileBytes(dir.Path() / (stamp + ".log")), someoneElses) << stamp;
    }
}

// Traced programs started together, all tracing under one log name into one folder: each gets
// a file of its own that begins with its first entry line at depth 0 and holds every line.
TEST(TraceFileTest, ProcessesStartingTogetherEachWriteAWholeTraceOfTheirOwn)
{
    TracedModule module(kDemoFilter);
    const std::u16string sharedName = UniqueName("Together");
    const std::u16string settingsPath = ToUtf16Path(module.dir.Path() / "Test.log.xml");
    constexpr int kProcesses = 12;
    constexpr int kRounds = 3;
    int startSignal[2];
    ASSERT_EQ(::pipe(startSignal), 0);
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t child = StartChild([&] {
            // Every child waits until the parent closes the pipe, so that all start at once.
            ::close(startSignal[1]);
            char ignored;
            while (::read(startSignal[0], &ignored, 1) < 0 && errno == EINTR) {
            }
            auto log = StartModuleLog(sharedName, settingsPath, u"");
            for (int round = 0; round < kRounds; ++round) {
                Outer(*log, S_OK);
            }
            return 0;
        });
        ASSERT_GE(child, 0);
        children.push_back(child);
    }
    ::close(startSignal[0]);
    ::close(startSignal[1]);
    for (const pid_t child : children) {
        ASSERT_EQ(WaitForChild(child), 0);
    }

    std::vector<std::string> expected;
    for (int round = 0; round < kRounds; ++round) {
        expected.insert(expected.end(), {
                                            "┌ Demo::CDemo::Outer()",
                                            "│┌ Demo::CDemo::Inner()",
                                            "││ value = 42",
                                            "│└ Demo::CDemo::Inner() : return 0 [0x00000000]",
                                            "└ Demo::CDemo::Outer() : return 0 [0x00000000]",
                                        });
    }
    const auto files = TraceFiles(module.dir.Path());
    ASSERT_EQ(files.size(), static_cast<std::size_t>(kProcesses));
    std::set<std::string> threadIds;
    for (const auto& file : files) {
        EXPECT_EQ(BodiesOf(file), expected) << file;
        threadIds.insert(FileBytes(file).substr(0, 10));
    }
    EXPECT_EQ(threadIds.size(), static_cast<std::size_t>(kProcesses)) << "each file is one process's";
}

// A location that exists but cannot hold files (procfs refuses them even to root): the trace
// cannot be written, and standard error says so once, naming the file.
TEST(TraceFileTest, UnwritableLocationIsReportedOnce)
{
    TracedModule module(kDemoFilter, "<FACTORY class=\"Kiv::Log::File::CLogFactory\" location=\"/proc\"/>");
    testing::internal::CaptureStderr();
    Outer(*module.log, S_OK);
    Outer(*module.log, S_OK);
    const std::string reported = testing::internal::GetCapturedStderr();
    const std::string name = Kiv::Platform::Utf16ToUtf8(module.log->GetName());
    const std::regex once("Kiv::Log: the trace file /proc/" + name +
                          R"(\[\d{4}-\d\d-\d\d \d\d\.\d\d\.\d\d\]\.log cannot be created; the lines of )" + name +
                          " are not written\n");
    EXPECT_TRUE(std::regex_match(reported, once)) << reported;
}

TEST(TraceFileTest, LocationsResolveToAFolder)
{
    TempDir dir;
    const std::u16string executableFolder =
        Kiv::Platform::GetDirectoryPart(Kiv::Platform::GetExecutablePath());
    const auto aFile = dir.WriteFile("plain-file", "x");
    const std::u16string nested = ToUtf16Path(dir.Path() / "a" / "b");
    struct Case {
        std::u16string location;
        std::u16string expected;
    };
    const Case cases[] = {
        {u"", executableFolder},
        {u"current", executableFolder},
        {u"./kiv-test-location/../kiv-test-location", executableFolder + u"kiv-test-location/"},
        {nested, nested + u"/"},
        {ToUtf16Path(aFile), executableFolder},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(File::CLogFactory::ResolveFolder(c.location), c.expected)
            << Kiv::Platform::Utf16ToUtf8(c.location);
    }
    EXPECT_TRUE(std::filesystem::is_directory(dir.Path() / "a" / "b"));
    std::filesystem::remove(Kiv::Platform::ToSystemPath(executableFolder + u"kiv-test-location"));
}

// Runs body in a child process with standard error sent to stderrPath; the child exits with
// body's result, which the parent returns (-1 when the child did not exit normally).
int RunInChild(const std::filesystem::path& stderrPath, const std::function<int()>& body)
{
    return KivTest::RunInChild([&] {
        const int fd = ::open(stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(fd, STDERR_FILENO);
        return body();
    });
}

// Lets the process's files grow by at most room bytes beyond the given file's size: a write
// past that is cut short, then refused, as on a full disk.
bool LimitFileGrowth(const std::filesystem::path& file, std::uintmax_t room)
{
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = std::filesystem::file_size(file) + room;
    return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

bool LiftFileGrowthLimit()
{
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = limit.rlim_max;
    return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

// A full disk, with the process's file size limit standing in for it: lines that do not fit
// whole (cut short or refused) are lost whole, the lines after them start fresh, and the loss
// is reported once, with its count, when writing works again; for trace files and the error log.
TEST(FullDiskTest, LinesAreWrittenWholeOrNotAtAllAndTheLossIsReportedOnce)
{
    TracedModule module(kDemoFilter);
    const auto stderrPath = module.dir.Path() / "stderr.txt";
    const auto errorLogPath = module.dir.Path() / "Test.err";
    const int exitCode = RunInChild(stderrPath, [&] {
        ::signal(SIGXFSZ, SIG_IGN); // a write past the limit then fails instead of ending the process
        CModuleLog& log = *module.log;
        int line = 0;
        auto trace = [&](int count) {
            for (int i = 0; i < count; ++i, ++line) {
                log.Trace(u"CDemo", 10, u"line %d", {line});
            }
        };
        auto report = [&](int count) {
            for (int i = 0; i < count; ++i, ++line) {
                log.ReportError(u"report %d", {line});
            }
        };
        trace(3);
        const auto traceFiles = TraceFiles(module.dir.Path());
        if (traceFiles.size() != 1 || !LimitFileGrowth(traceFiles[0], 20)) {
            return 1;
        }
        trace(2); // lines 3 and 4 fit in part
        if (!LimitFileGrowth(traceFiles[0], 0)) {
            return 1;
        }
        trace(2); // 5 and 6 not at all
        if (!LiftFileGrowthLimit()) {
            return 1;
        }
        trace(2);
        // The same for the error log.
        report(2);
        if (!LimitFileGrowth(errorLogPath, 10)) {
            return 1;
        }
        report(2); // reports 11 and 12 fit in part
        if (!LiftFileGrowthLimit()) {
            return 1;
        }
        report(1);
        return 0;
    });
    ASSERT_EQ(exitCode, 0);

    EXPECT_EQ(module.Bodies(), (std::vector<std::string>{"line 0", "line 1", "line 2", "line 7", "line 8"}));
    std::vector<std::string> reports;
    for (const std::string& line : SplitLines(FileBytes(errorLogPath))) {
        if (line.find("----") == std::string::npos && line.find('/', 22) == std::string::npos) {
            reports.push_back(line.substr(21)); // without the time stamp and the banner
        }
    }
    EXPECT_EQ(reports, (std::vector<std::string>{"report 9", "report 10", "report 13"}));

    const auto traceFiles = TraceFiles(module.dir.Path());
    ASSERT_EQ(traceFiles.size(), 1u);
    EXPECT_EQ(FileBytes(stderrPath), "Kiv::Log: 4 lines could not be written to " + traceFiles[0].string() +
                                        " and are lost\n"
                                        "Kiv::Log: 2 lines could not be written to " +
                                        errorLogPath.string() + " and are lost\n");
}

// The texts of the error log's lines after its banner, without their time stamps.
std::vector<std::string> ErrorLogTexts(const std::filesystem::path& path)
{
    std::vector<std::string> texts;
    const auto lines = SplitLines(FileBytes(path));
    for (std::size_t i = 3; i < lines.size(); ++i) {
        texts.push_back(lines[i].substr(std::min<std::size_t>(lines[i].size(), 21)));
    }
    return texts;
}

// Out of memory inside tracing: a line that cannot be made is dropped, counted and reported once
// when a line gets through again, and nothing throws (a scope's exit line is written by a
// destructor, where an exception ends the process). Each allocation of the traced call is made
// to fail in turn, together with all after it, until the call needs no more than were allowed.
TEST(OutOfMemoryTest, LinesThatCannotBeMadeAreDroppedCountedAndNeverThrown)
{
    using KivTest::CFailingAllocations;
    char pid[16];
    std::snprintf(pid, sizeof pid, "%X", static_cast<unsigned>(::getpid()));
    const struct {
        const char* name;
        // Traces one line with allocations failing from the allowed-th on.
        std::function<void(CModuleLog&, long allowed, long& failed)> trace;
        bool toErrorLog;
        // The lines written when nothing fails, and which of them a failure drops.
        std::vector<std::string> lines;
        std::size_t dropped;
    } cases[] = {
        {"exit line of a scope",
         [](CModuleLog& log, long allowed, long& failed) {
             std::optional<CFailingAllocations> failing; // goes after the scope
             HRESULT hr = E_FAIL;
             KIV_TRACE_SCOPE(log, u"CDemo", 10, u"Demo::CDemo::Scoped", &hr);
             hr = S_OK;
             failing.emplace(allowed, failed);
         },
         false,
         {"before", "┌ Demo::CDemo::Scoped()", "└ Demo::CDemo::Scoped() : return 0 [0x00000000]", "after"},
         2},
        {"message",
         [](CModuleLog& log, long allowed, long& failed) {
             const CFailingAllocations failing(allowed, failed);
             KIV_TRACE(log, u"CDemo", 10, u"value = %d", 42);
         },
         false,
         {"before", " value = 42", "after"},
         1},
        {"error report",
         [](CModuleLog& log, long allowed, long& failed) {
             const CFailingAllocations failing(allowed, failed);
             log.ReportError(u"Demo::CDemo::Check", 7, "/src/Demo.cpp", u"value = %d", {42});
         },
         true,
         {"before", "[" + std::string(pid) + "][00007][Demo.cpp(Demo::CDemo::Check)] value = 42", "after"},
         1},
    };
    static const std::regex reportedOnce("Kiv::Log: 1 lines (of \\w+ could not be made and were dropped|"
                                         "could not be written to .+ and are lost)\n");
    for (const auto& c : cases) {
        long allowed = 0;
        for (long failed = 1; failed != 0; ++allowed) {
            TracedModule module(kDemoFilter);
            // The output, the thread's log and the error log's banner are made beforehand.
            module.log->Trace(u"CDemo", 10, u"before");
            module.log->ReportError(u"before");
            testing::internal::CaptureStderr();
            c.trace(*module.log, allowed, failed);
            module.log->Trace(u"CDemo", 10, u"after");
            module.log->ReportError(u"after");
            const std::string reported = testing::internal::GetCapturedStderr();

            std::vector<std::string> expected = c.lines;
            if (failed != 0) {
                expected.erase(expected.begin() + static_cast<std::ptrdiff_t>(c.dropped));
                EXPECT_TRUE(std::regex_match(reported, reportedOnce)) << c.name << ", " << allowed << ": " << reported;
            } else {
                EXPECT_EQ(reported, "") << c.name;
            }
            const auto written = c.toErrorLog ? ErrorLogTexts(module.dir.Path() / "Test.err") : module.Bodies();
            EXPECT_EQ(written, expected) << c.name << ", allocations allowed: " << allowed;
        }
        EXPECT_GT(allowed, 1) << c.name << ": the line needs memory, so some runs had to fail";
    }
}

// A library's first traced call starts its tracing; when that start runs out of memory, the
// library traces nothing instead of letting the exception out of its traced operation.
TEST(OutOfMemoryTest, ATracingStartThatRunsOutOfMemoryGivesASilentLog)
{
    CModuleLog& silent = Kiv::Log::StartedOrSilent([]() -> std::unique_ptr<CModuleLog> { throw std::bad_alloc(); });
    EXPECT_FALSE(silent.IsEnabled());
    HRESULT hr = E_FAIL;
    {
        KIV_TRACE_SCOPE(silent, u"CDemo", 10, u"Demo::CDemo::Scoped", &hr);
        hr = S_OK;
        KIV_TRACE(silent, u"CDemo", 10, u"value = %d", 42);
    }
    CModuleLog& started = Kiv::Log::StartedOrSilent(
        [] { return StartModuleLog(UniqueName("Started"), u"/nonexistent/none.xml", u""); });
    EXPECT_NE(&started, &silent);
    delete &started; // a library keeps its log for good; this test gives it back
}

TEST(ErrorLogTest, FirstWriteOfAProcessCarriesTheBanner)
{
    TempDir dir;
    const std::u16string path = ToUtf16Path(dir.Path() / "Kiv.log");
    CComPtr<CLogSetting> settings = MakeObject<CLogSetting>(path);
    CComPtr<ILog> errorLog;
    ASSERT_EQ(settings->GetErrorLog(&errorLog), S_OK);
    errorLog->Write(u"first report");
    errorLog->Write(u"second report");

    const auto lines = SplitLines(FileBytes(dir.Path() / "Kiv.log"));
    ASSERT_EQ(lines.size(), 5u);
    const std::string stamp = R"(\[\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\])";
    char pid[16];
    std::snprintf(pid, sizeof pid, "%X", static_cast<unsigned>(::getpid()));
    const std::string process = stamp + "\\[" + pid + "\\] ";
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(process + "-{30}")));
    EXPECT_EQ(lines[1].substr(lines[1].find("] ", 22) + 2), Kiv::Platform::Utf16ToUtf8(Kiv::Platform::GetExecutablePath()));
    EXPECT_TRUE(std::regex_match(lines[2], std::regex(process + "-{30}")));
    EXPECT_TRUE(std::regex_match(lines[3], std::regex(stamp + "first report")));
    EXPECT_TRUE(std::regex_match(lines[4], std::regex(stamp + "second report")));
}

TEST(ErrorLogTest, ReportErrorNamesProcessLineFileAndOperation)
{
    TracedModule module(kDemoFilter);
    module.log->ReportError(u"Kiv::CKivHttpReqData::SetUrl", 42, "/src/Common/src/CKivHttpReqData.cpp",
                            u"pszUrl == NULL (%d)", {7});
    const auto lines = SplitLines(FileBytes(module.dir.Path() / "Test.err"));
    ASSERT_EQ(lines.size(), 4u);
    char expected[128];
    std::snprintf(expected, sizeof expected, "[%X][00042][CKivHttpReqData.cpp(Kiv::CKivHttpReqData::SetUrl)] pszUrl == NULL (7)",
                  static_cast<unsigned>(::getpid()));
    EXPECT_EQ(lines[3].substr(21), expected);
}

TEST(ErrorLogTest, FileReachingTheLimitMovesToBakKeepingTheNewestLines)
{
    TempDir dir;
    const std::u16string path = ToUtf16Path(dir.Path() / "errors.log");
    CComPtr<ILogIO> output = MakeObject<File::CErrorLogIO>(path, 1000);
    const std::u16string line(98, u'a');
    for (int i = 0; i < 10; ++i) {
        output->Write((line + u"\r\n").c_str()); // 100 bytes each; the tenth reaches the limit
    }
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "errors.log"));
    EXPECT_EQ(std::filesystem::file_size(dir.Path() / "errors.log.bak"), 1000u);

    output->Write(u"newest\r\n");
    EXPECT_EQ(FileBytes(dir.Path() / "errors.log"), "newest\r\n");
    for (int i = 0; i < 10; ++i) {
        output->Write((std::u16string(98, u'b') + u"\r\n").c_str());
    }
    // The second rotation replaced the first backup.
    const std::string backup = FileBytes(dir.Path() / "errors.log.bak");
    EXPECT_EQ(backup.substr(0, 8), "newest\r\n");
    EXPECT_EQ(backup.find('a'), std::string::npos);
    std::size_t backups = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        backups += entry.path().extension() == ".bak";
    }
    EXPECT_EQ(backups, 1u);
}

TEST(ErrorLogTest, SettingsRotateTheErrorLogAtTwoMebibytes)
{
    TempDir dir;
    CComPtr<CLogSetting> settings = MakeObject<CLogSetting>(ToUtf16Path(dir.Path() / "Kiv.log"));
    CComPtr<ILog> errorLog;
    ASSERT_EQ(settings->GetErrorLog(&errorLog), S_OK);
    const std::u16string text(1000, u'e');
    std::uintmax_t size = 0;
    errorLog->Write(text.c_str());
    while (!std::filesystem::exists(dir.Path() / "Kiv.log.bak")) {
        size = std::filesystem::file_size(dir.Path() / "Kiv.log");
        ASSERT_LT(size, 0x200000u);
        errorLog->Write(text.c_str());
    }
    EXPECT_GE(std::filesystem::file_size(dir.Path() / "Kiv.log.bak"), 0x200000u);
    EXPECT_GT(size + 1100, 0x200000u) << "rotated by the write that reached the limit";
}

TEST(ErrorLogTest, TwoProcessesLoseNoLineAndNeverInterleave)
{
    TempDir dir;
    const std::u16string path = ToUtf16Path(dir.Path() / "shared.log");
    constexpr int kLinesPerProcess = 2000;
    std::vector<pid_t> children;
    for (char tag : {'x', 'y'}) {
        const pid_t child = StartChild([&] {
            CComPtr<ILogIO> output = MakeObject<File::CErrorLogIO>(path, 0x200000);
            CComPtr<ILog> log = MakeObject<CErrorLog>(output);
            const std::u16string text(200, static_cast<char16_t>(tag));
            for (int i = 0; i < kLinesPerProcess; ++i) {
                log->Write(text.c_str());
            }
            return 0;
        });
        ASSERT_GE(child, 0);
        children.push_back(child);
    }
    for (const pid_t child : children) {
        ASSERT_EQ(WaitForChild(child), 0);
    }
    std::map<char, int> counts;
    const auto lines = SplitLines(FileBytes(dir.Path() / "shared.log"));
    for (const std::string& line : lines) {
        if (line.find("------") != std::string::npos || line.find('/', 22) != std::string::npos) {
            continue; // banner
        }
        const std::string text = line.substr(21);
        ASSERT_EQ(text.size(), 200u) << line;
        ASSERT_EQ(text.find_first_not_of(text[0]), std::string::npos) << "interleaved: " << line;
        ++counts[text[0]];
    }
    EXPECT_EQ(counts['x'], kLinesPerProcess);
    EXPECT_EQ(counts['y'], kLinesPerProcess);
    EXPECT_EQ(lines.size(), 2u * kLinesPerProcess + 6);
}

} // namespace
