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
    // Grows to newSize bytes, keeping the content and zero-filling the rest (the data may move);
    // false when the memory cannot be had, with the object unchanged. Not after MakeReadOnly.
    bool Grow(std::size_t newSize) noexcept;
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
    OpenFailed,     // missing or not permitted
    NotRegularFile, // a folder, FIFO, socket or device: refused without waiting on it
    OutOfMemory,    // the private memory could not be had
    ReadFailed,     // an I/O error while reading
};

// A regular file opened read-only, with the size it had when it was opened. Only regular files
// are opened: anything else is refused without blocking (opening a FIFO would wait for a
// writer). Used by one thread at a time.
class RegularFile {
public:
    RegularFile() noexcept = default;
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;
    ~RegularFile();

    // Opens the file (closing one opened before). A path that names something other than a
    // regular file gives NotRegularFile, also when it is replaced by one while it is opened.
    ReadFileResult Open(const char16_t* path) noexcept;
    // Reads the content into content (replacing what it held): at most the size the file had
    // when it was opened, so a file that grows meanwhile is not chased. A file that shrinks
    // gives what could be read. A file that reported size 0 when it was opened, as files made
    // on reading do (/proc), is read to its end for as long as it still reports size 0.
    ReadFileResult Read(PrivateMemory& content) const noexcept;
    void Close() noexcept;

    std::size_t SizeWhenOpened() const noexcept { return m_size; }

private:
    // Reads a file that reported size 0 to its end.
    ReadFileResult ReadUnsized(PrivateMemory& content) const noexcept;

    int m_fd = -1;
    std::size_t m_size = 0;
};

// Opens and reads a regular file as RegularFile does, and closes it again before returning. A
// large file is read in two halves side by side, since much of the time goes to the system
// preparing fresh memory.
ReadFileResult ReadWholeFile(const char16_t* path, PrivateMemory& content) noexcept;

} // namespace Kiv::Platform
