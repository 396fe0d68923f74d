// The reader's own trace, with the engine's tracing switched on by the settings file that the
// build puts beside this test binary: entry and exit lines with results, and the messages.
#include "CKivLogSysFile.h"

#include "LoadDoubles.h"

#include "KivTestSupport/TempDir.h"

#include "KivPlatform/ModulePath.h"
#include "KivPlatform/Text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

using namespace KivTest;

namespace {

std::filesystem::path TraceFolder()
{
    const std::string executable = Kiv::Platform::Utf16ToUtf8(Kiv::Platform::GetExecutablePath());
    return std::filesystem::path(executable).parent_path() / "trace";
}

// The trace lines (UTF-8, without their 36-byte header) of every trace file in the folder.
std::vector<std::string> TraceBodies()
{
    std::vector<std::string> bodies;
    for (const auto& entry : std::filesystem::directory_iterator(TraceFolder())) {
        std::ifstream in(entry.path(), std::ios::binary);
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            bodies.push_back(Kiv::Platform::AnsiToUtf8(line.size() > 36 ? line.substr(36) : ""));
        }
    }
    return bodies;
}

// Whether the lines hold these texts in this order (others may come between them).
::testing::AssertionResult HoldsInOrder(const std::vector<std::string>& lines, const std::vector<std::string>& texts)
{
    auto at = lines.begin();
    for (const std::string& text : texts) {
        at = std::find(at, lines.end(), text);
        if (at == lines.end()) {
            return ::testing::AssertionFailure() << "missing, or out of order: " << text;
        }
        ++at;
    }
    return ::testing::AssertionSuccess();
}

TEST(EngineTraceTest, ReaderTracesItsOperationsAndMessages)
{
    // The engine keeps one trace file for the whole process: traces of earlier processes are
    // removed before its first line, and a later run in this process (--gtest_repeat) reads only
    // the lines written after those it found.
    static bool firstRun = true;
    if (std::exchange(firstRun, false)) {
        std::filesystem::remove_all(TraceFolder());
    }
    const std::size_t earlierLines = std::filesystem::exists(TraceFolder()) ? TraceBodies().size() : 0;
    TempDir dir;
    std::string lines;
    for (int i = 0; i < 300; ++i) {
        lines += "[00000001][2009/04/01(12:34:56.789)] line " + std::to_string(i) + "\r\n";
    }
    const std::string good = dir.WriteFile("good.log", lines).string();
    const std::string noHeader = dir.WriteFile("plain.log", "no trace here\r\n").string();
    const std::string missing = (dir.Path() / "missing.log").string();

    for (const std::string& path : {missing, noHeader}) {
        CKivLogSysFile file;
        EXPECT_EQ(file.OpenFile(Kiv::Platform::Utf8ToUtf16(path).c_str()), E_FAIL);
    }
    CKivLogSysFile file;
    ASSERT_EQ(file.OpenFile(Kiv::Platform::Utf8ToUtf16(good).c_str()), S_OK);
    auto root = MakeDouble<CFakeRoot>();
    auto sink = MakeDouble<CRecordingSink>();
    sink->m_onReport = [&](LONG kind, LONG value) {
        if (kind == KivLogSysLoadProgress::Progress && value == 50) {
            file.RequestStop();
        }
    };
    EXPECT_EQ(file.LoadLog(root, sink), CKivLogSysFile::LoadCancelled);
    sink->m_onReport = nullptr;
    EXPECT_EQ(file.LoadLog(root, sink), CKivLogSysFile::LoadCompleted);
    file.Close();

    std::vector<std::string> bodies = TraceBodies();
    bodies.erase(bodies.begin(), bodies.begin() + static_cast<std::ptrdiff_t>(earlierLines));
    EXPECT_TRUE(HoldsInOrder(bodies, {
                                         "┌ CKivLogSysFile::OpenFile()",
                                         "│ szPath = " + missing,
                                         "│ Open Failed!",
                                         "└ CKivLogSysFile::OpenFile() : return -2147467259 [0x80004005]",
                                         "│ szPath = " + noHeader,
                                         "││ dwSize < 0",
                                         "└ CKivLogSysFile::OpenFile() : return -2147467259 [0x80004005]",
                                         "│ szPath = " + good,
                                         "└ CKivLogSysFile::OpenFile() : return 0 [0x00000000]",
                                         "┌ CKivLogSysFile::LoadLog()",
                                         "│┌ CKivLogSysFile::ReadLine()",
                                         "││┌ CKivLogSysFile::CheckEnableLineHeader()",
                                         "││└ CKivLogSysFile::CheckEnableLineHeader() : return true",
                                         "│└ CKivLogSysFile::ReadLine() : return 0 [0x00000000]",
                                         "│ Please loading wait... 1%",
                                         "│ Please loading wait... 50%",
                                         "│ Cansel..",
                                         "└ CKivLogSysFile::LoadLog() : return 1 [0x00000001]",
                                         "┌ CKivLogSysFile::LoadLog()",
                                         "│ Please loading wait... 99%",
                                         "│ Complete.",
                                         "└ CKivLogSysFile::LoadLog() : return 0 [0x00000000]",
                                         "┌ CKivLogSysFile::Close()",
                                         "└ CKivLogSysFile::Close() : return 0 [0x00000000]",
                                     }));
    EXPECT_EQ(std::count(bodies.begin(), bodies.end(), "│ Please loading wait... 51%"), 1)
        << "the cancelled load stops at 50 %";
}

} // namespace
