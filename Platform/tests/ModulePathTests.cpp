// Tests of module paths and of the path helpers.
#include "KivPlatform/ModulePath.h"

#include <gtest/gtest.h>

#include <gnu/libc-version.h>
#include <sys/stat.h>

#include <string>
#include <string_view>

namespace {

using namespace Kiv::Platform;

int FunctionInThisExecutable()
{
    return 42;
}

std::u16string FilePart(std::u16string_view path)
{
    return std::u16string(path.substr(GetDirectoryPart(path).size()));
}

bool IsRegularFile(const std::u16string& path)
{
    struct stat info {};
    return stat(ToSystemPath(path).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

TEST(ModulePathTest, ExecutablePathNamesThisTestProgram)
{
    const std::u16string path = GetExecutablePath();
    EXPECT_TRUE(IsAbsolutePath(path));
    EXPECT_EQ(FilePart(path), u"KivPlatformTests");
    EXPECT_TRUE(IsRegularFile(path));
}

TEST(ModulePathTest, ModuleOfAFunctionHereIsTheExecutable)
{
    EXPECT_EQ(GetModulePath(reinterpret_cast<const void*>(&FunctionInThisExecutable)), GetExecutablePath());
    static const int objectHere = 0;
    EXPECT_EQ(GetModulePath(&objectHere), GetExecutablePath());
}

TEST(ModulePathTest, ModuleOfACLibraryFunctionIsTheCLibrary)
{
    // gnu_get_libc_version is not intercepted by the sanitizers, so it really lives in libc.
    const std::u16string path = GetModulePath(reinterpret_cast<const void*>(&gnu_get_libc_version));
    EXPECT_TRUE(IsAbsolutePath(path));
    EXPECT_NE(path, GetExecutablePath());
    EXPECT_EQ(FilePart(path).rfind(u"libc", 0), 0u) << ToSystemPath(path);
    EXPECT_TRUE(IsRegularFile(path));
}

TEST(ModulePathTest, AddressInNoModuleGivesEmptyPath)
{
    EXPECT_EQ(GetModulePath(nullptr), u"");
}

TEST(ModulePathTest, DirectoryPart)
{
    struct Case {
        std::u16string_view path;
        std::u16string_view directory;
    };
    const Case cases[] = {
        {u"/usr/bin/tool", u"/usr/bin/"},
        {u"/usr/bin/", u"/usr/bin/"},
        {u"/tool", u"/"},
        {u"/", u"/"},
        {u"dir/file", u"dir/"},
        {u"file", u""},
        {u"", u""},
        {u"/データ/ファイル.log", u"/データ/"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GetDirectoryPart(c.path), c.directory) << ToSystemPath(c.path);
    }
}

TEST(ModulePathTest, IsAbsolutePath)
{
    EXPECT_TRUE(IsAbsolutePath(u"/"));
    EXPECT_TRUE(IsAbsolutePath(u"/a/b"));
    EXPECT_FALSE(IsAbsolutePath(u"a/b"));
    EXPECT_FALSE(IsAbsolutePath(u"./a"));
    EXPECT_FALSE(IsAbsolutePath(u""));
}

TEST(ModulePathTest, SystemPathsAreUtf8)
{
    const std::u16string path = u"/tmp/日本語/ログ😀.txt";
    const std::string system = ToSystemPath(path);
    EXPECT_EQ(system, "/tmp/\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E/\xE3\x83\xAD\xE3\x82\xB0\xF0\x9F\x98\x80.txt");
    EXPECT_EQ(FromSystemPath(system), path);
    // A file name that is not valid UTF-8 still gives a path, with U+FFFD in place of the bad byte.
    EXPECT_EQ(FromSystemPath("/tmp/a\xFF" "b"), u"/tmp/a\uFFFDb");
}

} // namespace
