// Tests of module paths and of the path helpers.
#include "KivPlatform/ModulePath.h"

#include <gtest/gtest.h>

#include <gnu/libc-version.h>
#include <sys/stat.h>

#include <random>
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

TEST(ModulePathTest, SystemPathsAreUtf8AndEveryNameComesBack)
{
    // Well-formed UTF-8 is decoded; each byte that is not part of it becomes U+DC80..U+DCFF.
    struct Case {
        const char* name;
        std::string_view system;
        std::u16string_view path;
    };
    const Case cases[] = {
        {"Japanese in UTF-8", "/tmp/\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E/\xE3\x83\xAD\xE3\x82\xB0\xF0\x9F\x98\x80.txt",
         u"/tmp/日本語/ログ😀.txt"},
        {"Latin-1 byte", "caf\xE9.log", u"caf\xDCE9.log"},
        {"Shift_JIS bytes", "\x82\xA0\x82\xA2.log", u"\xDC82\xDCA0\xDC82\xDCA2.log"},
        {"truncated UTF-8 sequence", "a\xE6\x97", u"a\xDCE6\xDC97"},
        {"truncated sequence before ASCII", "\xE6\x97" "b", u"\xDCE6\xDC97" "b"},
        {"encoded surrogate", "\xED\xA0\x80", u"\xDCED\xDCA0\xDC80"},
        {"overlong slash", "\xC0\xAF", u"\xDCC0\xDCAF"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80"},
        {"byte after a surrogate pair", "\xF0\x9F\x98\x80\xFF", u"😀\xDCFF"},
        {"U+FFFD itself", "\xEF\xBF\xBD", u"\uFFFD"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FromSystemPath(c.system), c.path) << c.name;
        EXPECT_EQ(ToSystemPath(c.path), c.system) << c.name;
    }

    // Every string of one or two bytes, and strings of random bytes, come back unchanged.
    for (unsigned first = 0; first < 0x100; ++first) {
        for (unsigned second = 0; second <= 0x100; ++second) {
            std::string bytes(1, static_cast<char>(first));
            if (second < 0x100) {
                bytes += static_cast<char>(second);
            }
            ASSERT_EQ(ToSystemPath(FromSystemPath(bytes)), bytes) << first << " " << second;
        }
    }
    std::mt19937 random(20240601);
    for (int i = 0; i < 2000; ++i) {
        std::string bytes(1 + random() % 12, '\0');
        for (char& byte : bytes) {
            byte = static_cast<char>(random() % 0x100);
        }
        ASSERT_EQ(ToSystemPath(FromSystemPath(bytes)), bytes) << i;
    }

    // Lone surrogates that stand for no byte (not from a system path) become U+FFFD, as in texts.
    EXPECT_EQ(ToSystemPath(u"a\xD800" "b"), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(ToSystemPath(u"\xDC7F"), "\xEF\xBF\xBD");
}

} // namespace
