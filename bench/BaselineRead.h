// The baseline every benchmark figure is compared with: reading a whole file and counting its
// lines, measured in the same run on the same (cached) file. Header-only, no state.
#pragma once

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

namespace KivBench {

// The number of line feeds in the file; nothing when it cannot be read.
inline std::optional<std::uint64_t> CountLines(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    constexpr std::size_t ChunkSize = std::size_t{16} << 20;
    const std::unique_ptr<char[]> chunk(new char[ChunkSize]);
    std::uint64_t lines = 0;
    while (file) {
        file.read(chunk.get(), ChunkSize);
        lines += static_cast<std::uint64_t>(std::count(chunk.get(), chunk.get() + file.gcount(), '\n'));
    }
    if (!file.eof()) {
        return std::nullopt;
    }
    return lines;
}

} // namespace KivBench
