// Reasons a path cannot be read, as command-line programs report them.
#include "KivPlatform/Console.h"

#include "KivTestSupport/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using KivTest::TempDir;
using KivTest::ToUtf16Path;

namespace {

TEST(ConsoleTest, DescribesWhyAPathCannotBeRead)
{
    TempDir dir;
    ::mkfifo((dir.Path() / "fifo").c_str(), 0600);
    struct Case {
        std::filesystem::path path;
        std::string reason;
    };
    const Case cases[] = {
        {dir.Path() / "missing.log", "No such file or directory"},
        {dir.Path(), "is a directory"},
        {dir.Path() / "fifo", "not a regular file"},
        {dir.WriteFile("empty.log", ""), "empty file"},
        {dir.WriteFile("fine.log", "text"), ""},
        {"/proc/self/status", ""}, // reports size 0 but has content
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Kiv::Platform::DescribeUnreadableFile(ToUtf16Path(c.path)), c.reason) << c.path;
    }
}

} // namespace
