// Whole-file content in private memory. On Linux another process may append to, truncate or
// delete a file while we hold it, and a mapped file that shrinks kills the reader on the next
// access. So a file is read once into anonymous memory that nobody else can change, which is as
// fast as mapping it and keeps every pointer into it valid for as long as the memory lives.
// Objects are not shared between threads while they change; reading a filled one is safe.
#pragma once

#include "KivPlatform/Types.h"

#include <cstddef>

namespace Kiv::Platform {

// Anonymous, zero-filled, page-backed memory owned by one object. Move-only.
class PrivateMemory {
public:
    PrivateMemory() noexcept = default;
    PrivateMemory(PrivateMemory&& other) noexcept;
    PrivateMemory& operator=(PrivateMemory&& other) noexcept;
    PrivateMemory(const PrivateMemory&) = delete;
    PrivateMemory& operator=(const PrivateMemory&) = delete;
    ~PrivateMemory();

    // Replaces the content with size zero bytes; false when the memory cannot be had (the
    // object is then empty). A size of 0 gives an empty object and succeeds. With mapNow every
    // page is mapped at once (cheaper than a fault per page when all will be written); without
    // it the caller maps ranges itself (MapRange).
    bool Allocate(std::size_t size, bool mapNow = true) noexcept;
    // Maps the pages of [offset, offset + length) now.
    void MapRange(std::size_t offset, std::size_t length) noexcept;
    // Makes the memory read-only, so that no later bug can change what line records point to.
    void MakeReadOnly() noexcept;
    // Gives back the memory past newSize (which must not exceed Size()).
    void Truncate(std::size_t newSize) noexcept;
    void Free() noexcept;

    BYTE* Data() const noexcept { return m_data; }
    std::size_t Size() const noexcept { return m_size; }

private:
    BYTE* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_mappedSize = 0;
};

enum class ReadFileResult {
    Ok,
    OpenFailed,   // missing, not permitted, or not a regular file
    OutOfMemory,  // the private memory could not be had
    ReadFailed,   // an I/O error while reading
};

// Reads the whole content of a regular file into content (replacing what it held). The file is
// opened read-only and closed again before returning; a large file is read in two halves side by
// side, since much of the time goes to the system preparing fresh memory. If the file shrinks while it is read, the
// content is what could be read; if it grows, the content is its size when it was opened.
ReadFileResult ReadWholeFile(const char16_t* path, PrivateMemory& content);

} // namespace Kiv::Platform
