// Whole-file reads into private memory: exact content, and every way a path can fail.
#include "KivPlatform/FileContent.h"

#include "KivPlatform/ModulePath.h"

#include "KivTestSupport/ChildProcess.h"
#include "KivTestSupport/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using Kiv::Platform::PrivateMemory;
using Kiv::Platform::ReadFileResult;
using Kiv::Platform::ReadWholeFile;
using KivTest::TempDir;
using KivTest::ToUtf16Path;

namespace {

std::string ContentOf(const PrivateMemory& memory)
{
    return std::string(reinterpret_cast<const char*>(memory.Data()), memory.Size());
}

TEST(FileContentTest, ReadsTheWholeFileByteForByte)
{
    TempDir dir;
    std::string bytes(3 * 4096 + 17, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(i * 31 + 7);
    }
    const auto path = dir.WriteFile("data.bin", bytes);

    PrivateMemory content;
    ASSERT_EQ(ReadWholeFile(ToUtf16Path(path).c_str(), content), ReadFileResult::Ok);
    EXPECT_EQ(ContentOf(content), bytes);

    // The content is ours: the file can go without touching it.
    std::filesystem::remove(path);
    EXPECT_EQ(ContentOf(content), bytes);
}

TEST(FileContentTest, LargeFileReadInTwoHalvesComesOutWhole)
{
    TempDir dir;
    // Large enough to be read in two parts, and not a whole number of pages.
    std::string bytes((std::size_t{65} << 20) + 12345, '\0');
    for (std::size_t i = 0; i < bytes.size(); i += 4) {
        const auto word = static_cast<std::uint32_t>(i);
        std::memcpy(&bytes[i], &word, std::min<std::size_t>(4, bytes.size() - i));
    }
    const auto path = dir.WriteFile("large.bin", bytes);
    PrivateMemory content;
    ASSERT_EQ(ReadWholeFile(ToUtf16Path(path).c_str(), content), ReadFileResult::Ok);
    ASSERT_EQ(content.Size(), bytes.size());
    EXPECT_EQ(std::memcmp(content.Data(), bytes.data(), bytes.size()), 0);
}

TEST(FileContentTest, EmptyFileGivesEmptyContent)
{
    TempDir dir;
    const auto path = dir.WriteFile("empty.log", "");
    PrivateMemory content;
    ASSERT_EQ(ReadWholeFile(ToUtf16Path(path).c_str(), content), ReadFileResult::Ok);
    EXPECT_EQ(content.Size(), 0u);
    EXPECT_EQ(content.Data(), nullptr);
}

// The result of ReadWholeFile in a child process, which the alarm ends if the read waits: a
// read that blocks shows as a child killed by a signal rather than as a test that never ends.
::testing::AssertionResult ReadsInChildAs(const std::u16string& path, ReadFileResult expected)
{
    const pid_t child = ::fork();
    if (child < 0) {
        return ::testing::AssertionFailure() << "fork failed";
    }
    if (child == 0) {
        ::alarm(60);
        PrivateMemory content;
        content.Allocate(10);
        const ReadFileResult result = ReadWholeFile(path.c_str(), content);
        // The files read here are not empty; after a failure the earlier content must be gone.
        const bool contentRight = (result == ReadFileResult::Ok) == (content.Size() != 0);
        ::_exit(contentRight ? static_cast<int>(result) : 100);
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child) {
        return ::testing::AssertionFailure() << "waitpid failed";
    }
    if (!WIFEXITED(status)) {
        return ::testing::AssertionFailure() << "the read was stopped by signal " << WTERMSIG(status)
                                             << " (it blocked if that is SIGALRM)";
    }
    if (WEXITSTATUS(status) != static_cast<int>(expected)) {
        return ::testing::AssertionFailure() << "result " << WEXITSTATUS(status) << ", expected "
                                             << static_cast<int>(expected) << " (100: content wrong for the result)";
    }
    return ::testing::AssertionSuccess();
}

TEST(FileContentTest, NameThatIsNotUtf8IsRead)
{
    // A Shift_JIS pair in the name, as the file system holds it.
    TempDir dir;
    const auto path = dir.WriteFile("trace-\x82\xA0.log", "text");
    PrivateMemory content;
    ASSERT_EQ(ReadWholeFile(Kiv::Platform::FromSystemPath(path.string()).c_str(), content), ReadFileResult::Ok);
    EXPECT_EQ(ContentOf(content), "text");
}

TEST(FileContentTest, FilesThatReportNoSizeAreReadToTheirEnd)
{
    // /proc files report size 0 and make their content when they are read.
    struct Case {
        const char16_t* path;
        std::string start;
    };
    const Case cases[] = {
        {u"/proc/self/status", "Name:\t"},
        {u"/proc/self/maps", ""},
    };
    for (const Case& c : cases) {
        PrivateMemory content;
        ASSERT_EQ(ReadWholeFile(c.path, content), ReadFileResult::Ok);
        const std::string text = ContentOf(content);
        EXPECT_GT(text.size(), 0u) << "not empty";
        EXPECT_EQ(text.compare(0, c.start.size(), c.start), 0) << text.substr(0, 40);
        EXPECT_EQ(text.back(), '\n') << "read to the end";
    }
}

TEST(FileContentTest, ContentIsWhatTheFileHeldWhenItWasOpened)
{
    // Whatever is appended between opening and reading is not read: a file that a writer keeps
    // growing is never chased, also when it was empty at first.
    const std::string appended(200000, 'x');
    for (const std::string& initial : {std::string("first part\n"), std::string()}) {
        TempDir dir;
        const auto path = dir.WriteFile("growing.log", initial);
        Kiv::Platform::RegularFile file;
        ASSERT_EQ(file.Open(ToUtf16Path(path).c_str()), ReadFileResult::Ok);
        EXPECT_EQ(file.SizeWhenOpened(), initial.size());
        std::ofstream(path, std::ios::binary | std::ios::app) << appended;
        PrivateMemory content;
        ASSERT_EQ(file.Read(content), ReadFileResult::Ok);
        EXPECT_EQ(ContentOf(content), initial);
    }
}

TEST(FileContentTest, OnlyRegularFilesAreReadAndNothingElseIsWaitedOn)
{
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir.Path() / "fifo").c_str(), 0600), 0);
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = (dir.Path() / "socket").string();
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::strcpy(address.sun_path, socketPath.c_str());
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    const auto regular = dir.WriteFile("trace.log", "text");
    std::filesystem::create_symlink(regular, dir.Path() / "link-to-file");
    std::filesystem::create_symlink(dir.Path() / "fifo", dir.Path() / "link-to-fifo");

    struct Case {
        std::u16string path;
        ReadFileResult expected;
    };
    const Case cases[] = {
        {ToUtf16Path(regular), ReadFileResult::Ok},
        {ToUtf16Path(dir.Path() / "link-to-file"), ReadFileResult::Ok},
        {ToUtf16Path(dir.Path() / "missing.log"), ReadFileResult::OpenFailed},
        {u"", ReadFileResult::OpenFailed},
        {ToUtf16Path(dir.Path()), ReadFileResult::NotRegularFile},
        {ToUtf16Path(dir.Path() / "fifo"), ReadFileResult::NotRegularFile},
        {ToUtf16Path(dir.Path() / "link-to-fifo"), ReadFileResult::NotRegularFile},
        {ToUtf16Path(socketPath), ReadFileResult::NotRegularFile},
        {u"/dev/null", ReadFileResult::NotRegularFile},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(ReadsInChildAs(c.path, c.expected)) << std::string(c.path.begin(), c.path.end());
    }
    ::close(listener);
    PrivateMemory content;
    EXPECT_EQ(ReadWholeFile(nullptr, content), ReadFileResult::OpenFailed);
}

TEST(FileContentTest, FileWithoutReadPermissionFailsToOpen)
{
    TempDir dir;
    const auto path = dir.WriteFile("secret.log", "text");
    std::filesystem::permissions(path, std::filesystem::perms::owner_write);
    const std::u16string widePath = ToUtf16Path(path);
    if (::geteuid() != 0) {
        PrivateMemory content;
        EXPECT_EQ(ReadWholeFile(widePath.c_str(), content), ReadFileResult::OpenFailed);
        return;
    }
    // Root reads any file, so the check runs in a child that has given up root.
    std::filesystem::permissions(dir.Path(), std::filesystem::perms::all);
    const int exitStatus = KivTest::RunInChild([&] {
        constexpr uid_t nobody = 65534;
        if (::setgid(nobody) != 0 || ::setuid(nobody) != 0) {
            return 2;
        }
        PrivateMemory content;
        return ReadWholeFile(widePath.c_str(), content) == ReadFileResult::OpenFailed ? 0 : 1;
    });
    EXPECT_EQ(exitStatus, 0) << "1: the file was read; 2: could not give up root; -1: the child did not exit";
}

TEST(FileContentTest, MemoryMovesTruncatesAndFrees)
{
    PrivateMemory a;
    ASSERT_TRUE(a.Allocate(10000));
    EXPECT_EQ(a.Size(), 10000u);
    EXPECT_EQ(a.Data()[9999], 0) << "fresh memory is zero-filled";
    a.Data()[0] = 'x';
    a.Truncate(5000);
    EXPECT_EQ(a.Size(), 5000u);
    a.Truncate(6000); // never grows
    EXPECT_EQ(a.Size(), 5000u);

    PrivateMemory b = std::move(a);
    EXPECT_EQ(a.Data(), nullptr);
    EXPECT_EQ(a.Size(), 0u);
    EXPECT_EQ(b.Data()[0], 'x');
    b.MakeReadOnly();
    EXPECT_EQ(b.Data()[0], 'x') << "read-only memory stays readable";

    a = std::move(b);
    EXPECT_EQ(a.Size(), 5000u);
    a.Truncate(0);
    EXPECT_EQ(a.Data(), nullptr);

    // Growing keeps the content, also past a page, and what comes after it is zero.
    PrivateMemory c;
    ASSERT_TRUE(c.Grow(100));
    std::memset(c.Data(), 'y', 100);
    c.Truncate(10);
    ASSERT_TRUE(c.Grow(3 * 4096 + 1));
    EXPECT_EQ(c.Size(), 3u * 4096 + 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(c.Data()), 11), std::string(10, 'y') + '\0');
    EXPECT_EQ(std::count(c.Data() + 10, c.Data() + c.Size(), 0), static_cast<std::ptrdiff_t>(c.Size() - 10));
}

} // namespace
