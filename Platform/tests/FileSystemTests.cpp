// Tests of the file-system layer: attributes, debugger output, folders, the desktop folder, path
// joining, deletes and non-replacing moves, append-only files shared by writers, and the
// cross-thread and cross-process file lock.
#include "KivPlatform/FileSystem.h"

#include "KivPlatform/ModulePath.h"
#include "KivTestSupport/ChildProcess.h"
#include "KivTestSupport/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <latch>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Kiv::Platform::AppendFile;
using Kiv::Platform::AppendPath;
using Kiv::Platform::CreateDirectories;
using Kiv::Platform::DeleteFileW;
using Kiv::Platform::GetDesktopFolder;
using Kiv::Platform::InterProcessLock;
using Kiv::Platform::MoveFileW;
using KivTest::TempDir;
using KivTest::ToUtf16Path;
namespace fs = std::filesystem;

// The file's bytes, or nullopt when there is no such file.
std::optional<std::string> ContentOf(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::vector<std::string> SortedLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::size_t OpenDescriptorCount()
{
    return static_cast<std::size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

// Sends standard error to a file for as long as it lives.
class StderrCapture {
public:
    explicit StderrCapture(fs::path file) : m_file(std::move(file))
    {
        std::fflush(stderr);
        m_saved = ::dup(STDERR_FILENO);
        const int fd = ::open(m_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        ::dup2(fd, STDERR_FILENO);
        ::close(fd);
    }
    ~StderrCapture()
    {
        std::fflush(stderr);
        ::dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
    }
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    std::string Text() const
    {
        std::fflush(stderr);
        return ContentOf(m_file).value_or("");
    }

private:
    fs::path m_file;
    int m_saved = -1;
};

// Sets or removes environment variables and puts the earlier values back at the end.
class EnvironmentOverride {
public:
    ~EnvironmentOverride()
    {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
            Apply(it->first, it->second);
        }
    }

    void Set(const std::string& name, std::optional<std::string> value)
    {
        const char* old = std::getenv(name.c_str());
        m_saved.emplace_back(name, old != nullptr ? std::optional<std::string>(old) : std::nullopt);
        Apply(name, value);
    }

private:
    static void Apply(const std::string& name, const std::optional<std::string>& value)
    {
        if (value) {
            ::setenv(name.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(name.c_str());
        }
    }

    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

// A one-byte signal from one process (or thread) to another.
class Signal {
public:
    Signal() { m_ok = ::pipe(m_fds) == 0; }
    ~Signal()
    {
        if (m_ok) {
            ::close(m_fds[0]);
            ::close(m_fds[1]);
        }
    }
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;

    bool Ok() const { return m_ok; }
    bool Send() const { return ::write(m_fds[1], "!", 1) == 1; }
    // Waits for the signal; false when the sender has gone without sending.
    bool Wait() const
    {
        char byte = 0;
        ssize_t got = 0;
        do {
            got = ::read(m_fds[0], &byte, 1);
        } while (got < 0 && errno == EINTR);
        return got == 1;
    }

private:
    int m_fds[2] = {-1, -1};
    bool m_ok = false;
};

using KivTest::StartChild;
using KivTest::WaitForChild;

// Appends one event to a log that several processes share.
void AppendEvent(const fs::path& log, std::string_view event)
{
    AppendFile file;
    file.Open(ToUtf16Path(log), AppendFile::OpenMode::OpenOrCreate);
    const std::string line = std::string(event) + "\n";
    file.Write(line.data(), line.size());
}

TEST(FileSystemTest, FileAttributesTellFoldersFromOtherEntries)
{
    TempDir dir;
    const fs::path file = dir.WriteFile("trace.log", "x");
    fs::create_directory(dir.Path() / "folder");
    fs::create_directory_symlink(dir.Path() / "folder", dir.Path() / "link-to-folder");
    fs::create_symlink(dir.Path() / "gone", dir.Path() / "dangling-link");
    const struct {
        fs::path path;
        DWORD expected;
    } cases[] = {
        {file, FILE_ATTRIBUTE_NORMAL},
        {dir.Path() / "folder", FILE_ATTRIBUTE_DIRECTORY},
        {dir.Path() / "link-to-folder", FILE_ATTRIBUTE_DIRECTORY},
        {dir.Path() / "missing.log", INVALID_FILE_ATTRIBUTES},
        {dir.Path() / "dangling-link", INVALID_FILE_ATTRIBUTES},
        {file / "below-a-file", INVALID_FILE_ATTRIBUTES},
        {"", INVALID_FILE_ATTRIBUTES},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GetFileAttributesW(ToUtf16Path(c.path).c_str()), c.expected) << c.path;
    }
    EXPECT_EQ(GetFileAttributesW(nullptr), INVALID_FILE_ATTRIBUTES);
}

TEST(FileSystemTest, DebugOutputGoesToStandardErrorAsUtf8)
{
    TempDir dir;
    std::string captured;
    {
        const StderrCapture capture(dir.Path() / "stderr.txt");
        OutputDebugStringW(u"Trace: Gr\u00FC\u00DFe \u2502 \u65E5\u672C \U0001F600\n");
        OutputDebugStringW(nullptr);
        OutputDebugStringW(u"");
        OutputDebugStringW(u"end");
        captured = capture.Text();
    }
    EXPECT_EQ(captured, "Trace: Gr\xC3\xBC\xC3\x9F" "e \xE2\x94\x82 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80\nend");
}

TEST(FileSystemTest, DebugOutputFromManyThreadsNeverMixesWithinAText)
{
    constexpr int threads = 4;
    constexpr int textsPerThread = 200;
    auto textOf = [](int thread, int index) {
        // Long enough that a text written in pieces would be cut by the other threads.
        return "thread " + std::to_string(thread) + " text " + std::to_string(index) + " " +
               std::string(3000, static_cast<char>('a' + thread));
    };
    TempDir dir;
    std::string captured;
    {
        const StderrCapture capture(dir.Path() / "stderr.txt");
        std::latch start(threads);
        std::vector<std::thread> writers;
        for (int t = 0; t < threads; ++t) {
            writers.emplace_back([&, t] {
                start.arrive_and_wait();
                for (int i = 0; i < textsPerThread; ++i) {
                    const std::string text = textOf(t, i) + "\n";
                    OutputDebugStringW(std::u16string(text.begin(), text.end()).c_str());
                }
            });
        }
        for (std::thread& writer : writers) {
            writer.join();
        }
        captured = capture.Text();
    }
    std::string expected;
    for (int t = 0; t < threads; ++t) {
        for (int i = 0; i < textsPerThread; ++i) {
            expected += textOf(t, i) + "\n";
        }
    }
    EXPECT_EQ(captured.size(), expected.size());
    EXPECT_TRUE(SortedLines(captured) == SortedLines(expected)) << "some text was cut or lost";
}

TEST(FileSystemTest, ProcessIdIsAskedForInEveryProcess)
{
    EXPECT_EQ(GetCurrentProcessId(), static_cast<DWORD>(::getpid()));
    // A child created by fork() must not see its parent's id.
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = StartChild([&] {
        const DWORD id = GetCurrentProcessId();
        return ::write(fds[1], &id, sizeof id) == sizeof id ? 0 : 1;
    });
    ASSERT_GT(child, 0);
    DWORD childId = 0;
    EXPECT_EQ(::read(fds[0], &childId, sizeof childId), static_cast<ssize_t>(sizeof childId));
    EXPECT_EQ(WaitForChild(child), 0);
    EXPECT_EQ(childId, static_cast<DWORD>(child));
    ::close(fds[0]);
    ::close(fds[1]);
}

TEST(FileSystemTest, CreateDirectoriesMakesEveryMissingLevel)
{
    TempDir dir;
    const fs::path deep = dir.Path() / "a" / "b" / "c";
    EXPECT_TRUE(CreateDirectories(ToUtf16Path(deep)));
    EXPECT_TRUE(fs::is_directory(deep));
    EXPECT_TRUE(CreateDirectories(ToUtf16Path(deep))) << "an existing folder is success";
    EXPECT_TRUE(CreateDirectories(ToUtf16Path(dir.Path()) + u"/x//y/z/"));
    EXPECT_TRUE(fs::is_directory(dir.Path() / "x" / "y" / "z"));
    EXPECT_TRUE(CreateDirectories(u"/"));
}

TEST(FileSystemTest, CreateDirectoriesFailsWhereAFileIsInTheWay)
{
    TempDir dir;
    const fs::path file = dir.WriteFile("taken", "content");
    EXPECT_FALSE(CreateDirectories(ToUtf16Path(file)));
    EXPECT_FALSE(CreateDirectories(ToUtf16Path(file / "sub" / "deeper")));
    EXPECT_EQ(ContentOf(file), "content");
    EXPECT_FALSE(CreateDirectories(u""));
}

TEST(FileSystemTest, CreateDirectoriesFromManyThreadsAllSucceed)
{
    constexpr int threads = 4;
    TempDir dir;
    const std::u16string deep = ToUtf16Path(dir.Path() / "1" / "2" / "3" / "4" / "5" / "6" / "7" / "8");
    std::latch start(threads);
    std::vector<std::future<bool>> results;
    for (int t = 0; t < threads; ++t) {
        results.push_back(std::async(std::launch::async, [&] {
            start.arrive_and_wait();
            return CreateDirectories(deep);
        }));
    }
    for (std::future<bool>& result : results) {
        EXPECT_TRUE(result.get()) << "a folder made by another thread meanwhile is not a failure";
    }
}

TEST(FileSystemTest, DesktopFolderComesFromUserDirsOrHome)
{
    TempDir dir;
    const std::string root = dir.Path().string();
    fs::create_directories(dir.Path() / "home" / "Desktop");
    fs::create_directories(dir.Path() / "elsewhere");
    // Folders and the expected result are relative to the test folder; "@" in the settings
    // stands for the test folder. A null home or config folder leaves the variable unset.
    const struct {
        const char* name;
        const char* home;
        const char* configHome;
        const char* settingsFolder; // where user-dirs.dirs is written; null for nowhere
        const char* settings;
        const char* expected; // empty for an empty result
    } cases[] = {
        {"desktop under HOME", "home", "config", "config", "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n", "home/Desktop"},
        {"settings in HOME/.config by default", "home", nullptr, "home/.config",
         "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n", "home/Desktop"},
        {"empty XDG_CONFIG_HOME means the default", "home", "", "home/.config",
         "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n", "home/Desktop"},
        {"absolute desktop path", "home", "config", "config", "XDG_DESKTOP_DIR=\"@/elsewhere\"\n", "elsewhere"},
        {"comments and other folders are skipped", "home", "config", "config",
         "# XDG_DESKTOP_DIR=\"@/elsewhere\"\nXDG_DOCUMENTS_DIR=\"@/elsewhere\"\n"
         "  XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n# XDG_DESKTOP_DIR=\"@/elsewhere\"\n",
         "home/Desktop"},
        {"the last assignment wins", "home", "config", "config",
         "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DESKTOP_DIR=\"@/elsewhere\"\n", "elsewhere"},
        {"desktop set to HOME itself", "home", "config", "config", "XDG_DESKTOP_DIR=\"$HOME/\"\n", "home"},
        {"missing desktop folder falls back to HOME", "home", "config", "config",
         "XDG_DESKTOP_DIR=\"$HOME/Missing\"\n", "home"},
        {"relative desktop path is ignored", "home", "config", "config", "XDG_DESKTOP_DIR=\"home/Desktop\"\n", "home"},
        {"no settings file", "home", "config", nullptr, "", "home"},
        {"no HOME but an absolute desktop", nullptr, "config", "config", "XDG_DESKTOP_DIR=\"@/elsewhere\"\n",
         "elsewhere"},
        {"neither HOME nor settings", nullptr, nullptr, nullptr, "", ""},
        {"empty HOME", "", nullptr, nullptr, "", ""},
    };
    auto underRoot = [&](const char* relative) { return relative[0] == '\0' ? std::string() : root + "/" + relative; };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dir.Path() / "config");
        fs::remove_all(dir.Path() / "home" / ".config");
        if (c.settingsFolder != nullptr) {
            fs::create_directories(dir.Path() / c.settingsFolder);
            std::string settings = c.settings;
            for (std::size_t at = settings.find('@'); at != std::string::npos; at = settings.find('@', at)) {
                settings.replace(at, 1, root);
            }
            std::ofstream(dir.Path() / c.settingsFolder / "user-dirs.dirs") << settings;
        }
        EnvironmentOverride environment;
        environment.Set("HOME", c.home != nullptr ? std::optional(underRoot(c.home)) : std::nullopt);
        environment.Set("XDG_CONFIG_HOME",
                        c.configHome != nullptr ? std::optional(underRoot(c.configHome)) : std::nullopt);
        EXPECT_EQ(Kiv::Platform::ToSystemPath(GetDesktopFolder()), underRoot(c.expected));
    }
}

TEST(FileSystemTest, AppendPathJoinsAndResolvesDotSteps)
{
    const struct {
        std::u16string_view folder;
        std::u16string_view relative;
        std::u16string_view expected;
    } cases[] = {
        {u"/opt/app/", u"./logs/../trace", u"/opt/app/trace"},
        {u"/opt/app", u"./trace", u"/opt/app/trace"},
        {u"/opt/app", u"./a/b/", u"/opt/app/a/b"},
        {u"/opt/app", u".", u"/opt/app"},
        {u"/opt/app", u"", u"/opt/app"},
        {u"/opt/app", u"..", u"/opt"},
        {u"/opt/app", u"./../../..", u"/"},
        {u"/opt/app", u"../../../etc", u"/etc"},
        {u"/", u"./x", u"/x"},
        {u"/", u"..", u"/"},
        {u"//opt//app/", u".//x//y/", u"/opt/app/x/y"},
        {u"/opt/./app/../lib", u"./x", u"/opt/lib/x"},
        {u"/opt/app", u"./..hidden/.rc/...", u"/opt/app/..hidden/.rc/..."},
        {u"/opt/app", u"/abs/x", u"/opt/app/abs/x"},
        {u"/d\u00E9p\u00F4t/\u65E5\u672C", u"./../\u30ED\u30B0", u"/d\u00E9p\u00F4t/\u30ED\u30B0"},
        {u"logs", u"./a/../b", u"logs/b"},
        {u"a/b", u"../../../c", u"../c"},
        {u"a", u"..", u"."},
        {u"", u"./x", u"x"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AppendPath(c.folder, c.relative), c.expected)
            << Kiv::Platform::ToSystemPath(c.folder) << " + " << Kiv::Platform::ToSystemPath(c.relative);
    }
}

TEST(FileSystemTest, DeleteFileRemovesFilesOnly)
{
    TempDir dir;
    const fs::path file = dir.WriteFile("old.log", "x");
    EXPECT_TRUE(DeleteFileW(ToUtf16Path(file)));
    EXPECT_FALSE(fs::exists(file));
    EXPECT_FALSE(DeleteFileW(ToUtf16Path(file))) << "already gone";
    fs::create_directory(dir.Path() / "folder");
    EXPECT_FALSE(DeleteFileW(ToUtf16Path(dir.Path() / "folder")));
    EXPECT_TRUE(fs::is_directory(dir.Path() / "folder"));
}

TEST(FileSystemTest, MoveFileRenamesAFile)
{
    TempDir dir;
    const fs::path from = dir.WriteFile("trace.log", "line 1\nline 2\n");
    const fs::path to = dir.Path() / "trace.1.log";
    EXPECT_TRUE(MoveFileW(ToUtf16Path(from), ToUtf16Path(to)));
    EXPECT_FALSE(fs::exists(from));
    EXPECT_EQ(ContentOf(to), "line 1\nline 2\n");
}

TEST(FileSystemTest, MoveFileThatCannotHappenChangesNothing)
{
    const struct {
        const char* name;
        const char* source; // content, or null for no source file
        const char* target; // content, or null for no target file
        const char* targetName;
    } cases[] = {
        {"target exists", "new", "old", "target.log"},
        {"source missing", nullptr, nullptr, "target.log"},
        {"target folder missing", "new", nullptr, "missing/target.log"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const fs::path from = dir.Path() / "source.log";
        const fs::path to = dir.Path() / c.targetName;
        if (c.source != nullptr) {
            dir.WriteFile("source.log", c.source);
        }
        if (c.target != nullptr) {
            dir.WriteFile(c.targetName, c.target);
        }
        EXPECT_FALSE(MoveFileW(ToUtf16Path(from), ToUtf16Path(to)));
        EXPECT_EQ(ContentOf(from), c.source != nullptr ? std::optional<std::string>(c.source) : std::nullopt);
        EXPECT_EQ(ContentOf(to), c.target != nullptr ? std::optional<std::string>(c.target) : std::nullopt);
    }
}

TEST(FileSystemTest, NamesThatAreNotUtf8ReachTheFileSystemUnchanged)
{
    // Names as a file system may hold them: a Shift_JIS pair, a Latin-1 byte, a cut UTF-8
    // sequence. Each goes through the UTF-16 interfaces and must name the same entry.
    TempDir dir;
    const std::string folder = dir.Path().string() + "/\x82\xA0";
    const std::string first = folder + "/caf\xE9.log";
    const std::string second = folder + "/\xE6\x97.log";
    const auto wide = [](const std::string& system) { return Kiv::Platform::FromSystemPath(system); };

    ASSERT_TRUE(CreateDirectories(wide(folder)));
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(GetFileAttributesW(wide(folder).c_str()), FILE_ATTRIBUTE_DIRECTORY);
    {
        AppendFile file;
        ASSERT_EQ(file.Open(wide(first), AppendFile::OpenMode::CreateNew), AppendFile::OpenResult::Ok);
        EXPECT_EQ(file.Write("x", 1), 1u);
    }
    EXPECT_EQ(ContentOf(first), "x");
    EXPECT_EQ(GetFileAttributesW(wide(first).c_str()), FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(MoveFileW(wide(first), wide(second)));
    EXPECT_EQ(ContentOf(second), "x");
    {
        InterProcessLock lock(wide(second));
        EXPECT_TRUE(lock.Lock());
        EXPECT_TRUE(fs::exists(second + ".lock"));
        lock.Unlock();
    }
    EXPECT_TRUE(DeleteFileW(wide(second)));
    EXPECT_FALSE(fs::exists(second));
}

TEST(FileSystemAppendFileTest, CreateNewMakesTheFileAndRefusesAnExistingOne)
{
    TempDir dir;
    const std::u16string path = ToUtf16Path(dir.Path() / "trace.log");
    AppendFile file;
    ASSERT_EQ(file.Open(path, AppendFile::OpenMode::CreateNew), AppendFile::OpenResult::Ok);
    EXPECT_TRUE(file.IsOpen());
    EXPECT_EQ(file.Write("hello ", 6), 6u);
    EXPECT_EQ(file.Write("world", 5), 5u);
    EXPECT_EQ(file.Size(), 11u);
    file.Flush();
    file.Close();
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.Size(), 0u);
    EXPECT_EQ(file.Write("more", 4), 0u) << "a closed file writes nothing";

    const mode_t mask = ::umask(0);
    ::umask(mask);
    struct stat status {};
    ASSERT_EQ(::stat((dir.Path() / "trace.log").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0644u & ~mask);

    AppendFile second;
    EXPECT_EQ(second.Open(path, AppendFile::OpenMode::CreateNew), AppendFile::OpenResult::AlreadyExists);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(second.Write("x", 1), 0u);
    EXPECT_EQ(ContentOf(dir.Path() / "trace.log"), "hello world") << "the existing file is untouched";
}

TEST(FileSystemAppendFileTest, OpenOrCreateAppendsToWhatIsThere)
{
    TempDir dir;
    const fs::path existing = dir.WriteFile("existing.log", "first\n");
    AppendFile file;
    ASSERT_EQ(file.Open(ToUtf16Path(existing), AppendFile::OpenMode::OpenOrCreate), AppendFile::OpenResult::Ok);
    EXPECT_EQ(file.Size(), 6u);
    EXPECT_EQ(file.Write("second\n", 7), 7u);
    EXPECT_EQ(ContentOf(existing), "first\nsecond\n");

    const fs::path fresh = dir.Path() / "fresh.log";
    ASSERT_EQ(file.Open(ToUtf16Path(fresh), AppendFile::OpenMode::OpenOrCreate), AppendFile::OpenResult::Ok);
    EXPECT_EQ(file.Write("new", 3), 3u);
    EXPECT_EQ(ContentOf(fresh), "new");
    EXPECT_EQ(ContentOf(existing), "first\nsecond\n") << "reopening moved the writes to the new file";
}

TEST(FileSystemAppendFileTest, OpenFailuresLeaveTheFileClosed)
{
    TempDir dir;
    fs::create_directory(dir.Path() / "folder");
    const struct {
        fs::path path;
        AppendFile::OpenMode mode;
        AppendFile::OpenResult expected;
    } cases[] = {
        {dir.Path() / "missing" / "trace.log", AppendFile::OpenMode::CreateNew, AppendFile::OpenResult::Failed},
        {dir.Path() / "missing" / "trace.log", AppendFile::OpenMode::OpenOrCreate, AppendFile::OpenResult::Failed},
        {dir.Path() / "folder", AppendFile::OpenMode::OpenOrCreate, AppendFile::OpenResult::Failed},
        // The name is taken, by a folder.
        {dir.Path() / "folder", AppendFile::OpenMode::CreateNew, AppendFile::OpenResult::AlreadyExists},
    };
    for (const auto& c : cases) {
        AppendFile file;
        // An open file first, to see that a failed Open does not leave it open.
        ASSERT_EQ(file.Open(ToUtf16Path(dir.Path() / "ok.log"), AppendFile::OpenMode::OpenOrCreate),
                  AppendFile::OpenResult::Ok);
        EXPECT_EQ(file.Open(ToUtf16Path(c.path), c.mode), c.expected) << c.path;
        EXPECT_FALSE(file.IsOpen());
        EXPECT_EQ(file.Write("x", 1), 0u);
    }
    EXPECT_EQ(ContentOf(dir.Path() / "ok.log"), "");
}

TEST(FileSystemAppendFileTest, ReopeningAndDestructionReleaseTheDescriptor)
{
    TempDir dir;
    const std::size_t before = OpenDescriptorCount();
    {
        AppendFile file;
        for (const char* name : {"a.log", "b.log", "c.log"}) {
            ASSERT_EQ(file.Open(ToUtf16Path(dir.Path() / name), AppendFile::OpenMode::OpenOrCreate),
                      AppendFile::OpenResult::Ok);
        }
        EXPECT_EQ(OpenDescriptorCount(), before + 1);
    }
    EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST(FileSystemAppendFileTest, TwoWritersOnOneFileLoseNothing)
{
    constexpr int recordsPerWriter = 500;
    auto recordOf = [](int writer, int index) {
        return "writer " + std::to_string(writer) + " record " + std::to_string(index) + " " +
               std::string(200, static_cast<char>('a' + writer)) + "\n";
    };
    TempDir dir;
    const std::u16string path = ToUtf16Path(dir.Path() / "shared.log");
    AppendFile writers[2];
    for (AppendFile& writer : writers) {
        ASSERT_EQ(writer.Open(path, AppendFile::OpenMode::OpenOrCreate), AppendFile::OpenResult::Ok);
    }
    std::latch start(2);
    std::vector<std::thread> threads;
    for (int w = 0; w < 2; ++w) {
        threads.emplace_back([&, w] {
            start.arrive_and_wait();
            for (int i = 0; i < recordsPerWriter; ++i) {
                const std::string record = recordOf(w, i);
                writers[w].Write(record.data(), record.size());
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }

    std::string expected;
    for (int w = 0; w < 2; ++w) {
        for (int i = 0; i < recordsPerWriter; ++i) {
            expected += recordOf(w, i);
        }
    }
    EXPECT_EQ(writers[0].Size(), expected.size());
    EXPECT_EQ(writers[1].Size(), expected.size());
    const std::string content = ContentOf(dir.Path() / "shared.log").value_or("");
    EXPECT_TRUE(SortedLines(content) == SortedLines(expected)) << "a record was overwritten or cut";
}

// The process's file size limit stands in for a full disk: a record that fits only in part is
// taken back whole, so the next one never continues a cut record, and writing goes on once there
// is room again. Runs in a child process, which alone gets the limit.
TEST(FileSystemAppendFileTest, WriteIsWholeOrNothingWhenTheFileCannotGrow)
{
    TempDir dir;
    const fs::path path = dir.Path() / "full.log";
    const pid_t child = StartChild([&] {
        ::signal(SIGXFSZ, SIG_IGN); // a write past the limit then fails with EFBIG instead
        AppendFile file;
        if (file.Open(ToUtf16Path(path), AppendFile::OpenMode::OpenOrCreate) != AppendFile::OpenResult::Ok ||
            file.Write("first\n", 6) != 6) {
            return 1;
        }
        rlimit unlimited{};
        ::getrlimit(RLIMIT_FSIZE, &unlimited);
        struct {
            rlim_t limit;
            std::string_view record;
        } const fullCases[] = {
            {10, "cut in the middle\n"}, // four bytes would fit
            {6, "nothing fits\n"},
        };
        for (const auto& full : fullCases) {
            const rlimit limit{full.limit, unlimited.rlim_max};
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
                return 2;
            }
            if (file.Write(full.record.data(), full.record.size()) != 0) {
                return 3;
            }
            if (file.Size() != 6) {
                return 4;
            }
        }
        ::setrlimit(RLIMIT_FSIZE, &unlimited);
        return file.Write("second\n", 7) == 7 ? 0 : 5;
    });
    EXPECT_EQ(WaitForChild(child), 0);
    EXPECT_EQ(ContentOf(path), "first\nsecond\n");

    // A device that refuses every byte.
    AppendFile full;
    ASSERT_EQ(full.Open(u"/dev/full", AppendFile::OpenMode::OpenOrCreate), AppendFile::OpenResult::Ok);
    EXPECT_EQ(full.Write("x\n", 2), 0u);
}

TEST(FileSystemInterProcessLockTest, LockFileSitsNextToThePath)
{
    TempDir dir;
    const fs::path log = dir.Path() / "trace.log";
    InterProcessLock lock(ToUtf16Path(log));
    lock.Unlock(); // before any Lock: nothing to do
    ASSERT_TRUE(lock.Lock());
    EXPECT_TRUE(fs::is_regular_file(dir.Path() / "trace.log.lock"));
    EXPECT_FALSE(fs::exists(log)) << "the locked path itself is not created";

    // Another path has its own lock, free while this one is held.
    InterProcessLock other(ToUtf16Path(dir.Path() / "other.log"));
    EXPECT_TRUE(other.Lock());
    other.Unlock();

    lock.Unlock();
    EXPECT_TRUE(lock.Lock()) << "the same object locks again after Unlock";
    lock.Unlock();
}

TEST(FileSystemInterProcessLockTest, LockFailsWhenTheLockFileCannotBeMade)
{
    TempDir dir;
    InterProcessLock lock(ToUtf16Path(dir.Path() / "missing" / "trace.log"));
    EXPECT_FALSE(lock.Lock());
    lock.Unlock();
}

TEST(FileSystemInterProcessLockTest, TwoLocksOfOneProcessExcludeEachOther)
{
    TempDir dir;
    const std::u16string path = ToUtf16Path(dir.Path() / "trace.log");
    InterProcessLock first(path);
    InterProcessLock second(path);
    std::mutex eventsMutex;
    std::vector<std::string> events;
    auto record = [&](const char* event) {
        const std::lock_guard<std::mutex> guard(eventsMutex);
        events.emplace_back(event);
    };

    ASSERT_TRUE(first.Lock());
    record("first holds");
    std::promise<void> secondStarted;
    std::thread waiter([&] {
        record("second waits");
        secondStarted.set_value();
        record(second.Lock() ? "second holds" : "second failed");
        second.Unlock();
    });
    secondStarted.get_future().wait();
    // Time for the other thread to get into Lock; the order of events shows the exclusion, not
    // this pause.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    record("first releases");
    first.Unlock();
    waiter.join();

    const std::vector<std::string> expected = {"first holds", "second waits", "first releases", "second holds"};
    EXPECT_EQ(events, expected);
}

TEST(FileSystemInterProcessLockTest, AnotherProcessWaitsUntilTheHolderUnlocksOrDies)
{
    const struct {
        const char* name;
        bool holderDies; // _exit while holding instead of Unlock
    } cases[] = {
        {"holder unlocks", false},
        {"holder dies", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::u16string path = ToUtf16Path(dir.Path() / "trace.log");
        const fs::path events = dir.Path() / "events.txt";
        const Signal childHolds;
        const Signal parentWaits;
        const Signal parentHolds;
        ASSERT_TRUE(childHolds.Ok() && parentWaits.Ok() && parentHolds.Ok());

        const pid_t child = StartChild([&] {
            InterProcessLock lock(path);
            if (!lock.Lock()) {
                return 1;
            }
            AppendEvent(events, "child holds");
            if (!childHolds.Send() || !parentWaits.Wait()) {
                return 2;
            }
            // Time for the parent to get into Lock; the order of events shows the exclusion.
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            AppendEvent(events, "child lets go");
            if (c.holderDies) {
                ::_exit(0); // no destructor, no Unlock: only the system can end the lock
            }
            lock.Unlock();
            // Alive, with the lock file still open, until the parent has the lock: only Unlock
            // can have let it in.
            return parentHolds.Wait() ? 0 : 3;
        });
        ASSERT_GT(child, 0);

        ASSERT_TRUE(childHolds.Wait());
        AppendEvent(events, "parent waits");
        EXPECT_TRUE(parentWaits.Send());
        InterProcessLock lock(path);
        EXPECT_TRUE(lock.Lock());
        AppendEvent(events, "parent holds");
        EXPECT_TRUE(parentHolds.Send());
        lock.Unlock();

        EXPECT_EQ(WaitForChild(child), 0);
        EXPECT_EQ(ContentOf(events), "child holds\nparent waits\nchild lets go\nparent holds\n");
    }
}

} // namespace
