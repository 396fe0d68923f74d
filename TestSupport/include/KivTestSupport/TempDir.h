// A temporary folder for one test, removed with everything in it when the test ends, and the
// reading of a whole file. Not thread-safe (one test, one thread).
#pragma once

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <string_view>

namespace KivTest {

class TempDir {
public:
    TempDir()
    {
        static std::atomic<unsigned> counter{0};
        std::random_device random;
        m_path = std::filesystem::temp_directory_path() /
                 ("kiv-test-" + std::to_string(random()) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(m_path);
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }

    // Writes bytes to a file in the folder and gives its full path.
    std::filesystem::path WriteFile(const std::string& name, std::string_view bytes) const
    {
        const std::filesystem::path path = m_path / name;
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path;
    }

private:
    std::filesystem::path m_path;
};

// The whole content of a file ("" when it cannot be read).
inline std::string FileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// A path as the system's UTF-16 interfaces take it (test paths are ASCII).
inline std::u16string ToUtf16Path(const std::filesystem::path& path)
{
    const std::string narrow = path.string();
    return std::u16string(narrow.begin(), narrow.end());
}

} // namespace KivTest
