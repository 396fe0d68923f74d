// What the tracing library writes, the reader reads back line for line: thread ids, depths,
// kinds, texts and times; and the bundled sample, written by kiv-trace-demo, reads as a trace.
#include "CKivLogSysFile.h"

#include "LoadDoubles.h"

#include "KivLog/ModuleLog.h"
#include "KivLog/TraceScope.h"

#include "KivTestSupport/TempDir.h"

#include "KivPlatform/Text.h"
#include "KivPlatform/Threading.h"
#include "KivPlatform/Time.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <thread>

using namespace KivTest;

namespace {

// The lines a writer thread expects to read back.
struct Expected {
    WORD depth;
    WORD kind;
    std::string text; // code page 932
};

ULONGLONG ToMilliseconds(const SYSTEMTIME& time)
{
    FILETIME fileTime;
    EXPECT_TRUE(SystemTimeToFileTime(&time, &fileTime));
    return ((ULONGLONG{fileTime.dwHighDateTime} << 32) | fileTime.dwLowDateTime) / 10000;
}

HRESULT Leaf(Kiv::Log::CModuleLog& log, int i)
{
    HRESULT hr = E_FAIL;
    KIV_TRACE_SCOPE(log, u"CRound", 10, u"Round::CRound::Leaf", &hr);
    KIV_TRACE(log, u"CRound", 10, u"葉 %d", i);
    hr = i % 2 == 0 ? S_OK : E_INVALIDARG;
    return hr;
}

void Branch(Kiv::Log::CModuleLog& log, int i)
{
    KIV_TRACE_SCOPE(log, u"CRound", 10, u"Round::CRound::Branch");
    Leaf(log, i);
}

TEST(RoundTripTest, WriterAndReaderAgreeLineForLineAcrossThreads)
{
    TempDir dir;
    const auto settings = dir.WriteFile(
        "round.log.xml",
        "<Settings><FACTORY class=\"Kiv::Log::File::CLogFactory\" location=\"" + dir.Path().string() +
            "\"/><FILTERLIST><FILTER subject=\"CRound\" minlevel=\"10\" maxlevel=\"10\"/></FILTERLIST></Settings>");
    // The tracing library keeps one output per module name for the whole process, so each run
    // of this test (--gtest_repeat) traces under a name of its own, into its own folder.
    static int runs = 0;
    const std::u16string name = Kiv::Platform::Utf8ToUtf16("RoundTrip" + std::to_string(++runs));
    auto log = Kiv::Log::StartModuleLog(name, ToUtf16Path(settings), u"");

    constexpr int kThreads = 4;
    constexpr int kRounds = 200;
    SYSTEMTIME before;
    GetLocalTime(&before);
    std::map<DWORD, std::vector<Expected>> expected;
    std::mutex expectedMutex;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            std::vector<Expected> lines;
            for (int i = 0; i < kRounds; ++i) {
                Branch(*log, i);
                const std::string leafText = Kiv::Platform::Utf8ToAnsi("葉 " + std::to_string(i));
                const std::string result = i % 2 == 0 ? "return 0 [0x00000000]" : "return -2147024809 [0x80070057]";
                lines.push_back({0, KivLogSysLineKind::Enter, " Round::CRound::Branch()"});
                lines.push_back({1, KivLogSysLineKind::Enter, " Round::CRound::Leaf()"});
                lines.push_back({2, KivLogSysLineKind::Text, " " + leafText});
                lines.push_back({1, KivLogSysLineKind::Return, " Round::CRound::Leaf() : " + result});
                lines.push_back({0, KivLogSysLineKind::Return, " Round::CRound::Branch()"});
            }
            std::lock_guard lock(expectedMutex);
            expected[GetCurrentThreadId()] = std::move(lines);
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    SYSTEMTIME after;
    GetLocalTime(&after);

    std::vector<std::filesystem::path> traces;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        if (entry.path().extension() == ".log") {
            traces.push_back(entry.path());
        }
    }
    ASSERT_EQ(traces.size(), 1u);
    CKivLogSysFile file;
    ASSERT_EQ(file.OpenFile(ToUtf16Path(traces[0]).c_str()), S_OK);
    auto root = MakeDouble<CFakeRoot>();
    ASSERT_EQ(file.LoadLog(root, nullptr), CKivLogSysFile::LoadCompleted);

    ASSERT_EQ(root->m_threads.size(), static_cast<std::size_t>(kThreads));
    for (const auto& thread : root->m_threads) {
        ASSERT_EQ(expected.count(thread->m_threadId), 1u) << "unknown thread id " << thread->m_threadId;
        const std::vector<Expected>& want = expected[thread->m_threadId];
        const std::vector<ReceivedLine>& got = thread->m_lines;
        ASSERT_EQ(got.size(), want.size());
        ULONGLONG previous = ToMilliseconds(before);
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].info.depth, want[i].depth) << i;
            EXPECT_EQ(got[i].info.kind, want[i].kind) << i;
            EXPECT_EQ(got[i].text, want[i].text) << i;
            const ULONGLONG time = ToMilliseconds(got[i].info.time);
            EXPECT_GE(time, previous) << "a thread's times never go back";
            EXPECT_LE(time, ToMilliseconds(after));
            previous = time;
        }
    }
}

TEST(RoundTripTest, BundledSampleIsATraceOfSeveralThreadsWithUnreturnedCalls)
{
    CKivLogSysFile file;
    ASSERT_EQ(file.OpenFile(u"" KIV_SAMPLES_DIR "/sample.log"), S_OK);
    auto root = MakeDouble<CFakeRoot>();
    ASSERT_EQ(file.LoadLog(root, nullptr), CKivLogSysFile::LoadCompleted);
    EXPECT_GE(root->m_lineCount, 200);
    EXPECT_GE(root->m_threads.size(), 3u);

    int unreturned = 0;
    bool japanese = false;
    for (const auto& thread : root->m_threads) {
        int open = 0;
        for (const ReceivedLine& line : thread->m_lines) {
            // An entry and its return stand at the depth of the calls open around them; a
            // message one deeper than the entry of its call.
            if (line.info.kind == KivLogSysLineKind::Return) {
                --open;
            }
            EXPECT_GE(open, 0);
            EXPECT_EQ(line.info.depth, open) << line.text;
            if (line.info.kind == KivLogSysLineKind::Enter) {
                ++open;
            }
            japanese = japanese || Kiv::Platform::AnsiToUtf8(line.text).find("キャッシュ") != std::string::npos;
        }
        unreturned += open;
    }
    EXPECT_GT(unreturned, 0) << "the sample shows calls that never returned";
    EXPECT_TRUE(japanese) << "the sample carries Japanese messages";
}

} // namespace
