// Counted names: a name's bytes (code page 932, NUL bytes allowed) led by their length, seven
// bits a byte from the lowest with the top bit set on every byte but the last, so one byte for a
// name shorter than 128 bytes. One pointer finds both the length and the bytes, which is what a
// trace with millions of method names wants from each name it keeps.
//
// CountedName owns one such copy in the model's memory (a heap block for the rare name too long
// for it). Thread-safety: none of its own; reading a name that nobody changes is safe from any
// thread.
#pragma once

#include "KivObject/ComBSTR.h"

#include <cstddef>
#include <string_view>

namespace Kiv::LogSysMgr {

// The bytes a counted copy of a name of length bytes takes.
std::size_t CountedSize(std::size_t length) noexcept;
// Writes the counted copy of name at at (CountedSize(name.size()) bytes).
void WriteCounted(std::string_view name, char* at) noexcept;
// The name a counted copy holds.
std::string_view ReadCounted(const char* counted) noexcept;

class CountedName {
public:
    CountedName() noexcept = default;
    // A copy of name. Throws std::bad_alloc.
    explicit CountedName(std::string_view name);
    ~CountedName();
    CountedName(CountedName&& other) noexcept : m_counted(other.m_counted) { other.m_counted = nullptr; }
    CountedName& operator=(CountedName&& other) noexcept;
    CountedName(const CountedName&) = delete;
    CountedName& operator=(const CountedName&) = delete;

    // Whether a name is held (an empty name is one).
    bool Holds() const noexcept { return m_counted != nullptr; }
    // The name; empty when none is held.
    std::string_view View() const noexcept { return m_counted != nullptr ? ReadCounted(m_counted) : std::string_view(); }
    // The counted copy, for an index that reads the name where it is; null when none is held.
    const char* Counted() const noexcept { return m_counted; }
    // The name in UTF-16; null when none is held or memory runs out.
    Kiv::CComBSTR ToBstr() const;

private:
    char* m_counted = nullptr;
};

} // namespace Kiv::LogSysMgr
