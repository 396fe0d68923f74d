// MethodNameIndex: distinct names (byte strings, NUL bytes allowed) numbered 0, 1, 2... in the
// order they were added, found by hashing. A trace may name millions of methods: the names are
// copied into shared blocks as counted names (CountedName.h), so that a name costs the index one
// pointer (or, when the caller keeps them, only pointed to: a counted copy of the caller's, or the
// bytes with their length beside), and the table is
// one flat array of slots, each with part of the name's hash, so a lookup reads one slot and
// compares bytes only on a likely match, and adding a name costs the same however many there are.
//
// Thread-safety: none of its own. Find, Name and Size only read, so several threads may call
// them at once while nobody adds or removes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace Kiv::LogSysMgr {

class MethodNameIndex {
public:
    // Copied: the index keeps names as counted copies (CountedName.h), its own ones made by Add.
    // Borrowed: the caller keeps the bytes of every added name where they are while the index
    // lives, and the index keeps no copy.
    enum class Names { Copied, Borrowed };
    explicit MethodNameIndex(Names names = Names::Copied) : m_copies(names == Names::Copied) {}

    // The number of the name, or nothing when it was never added.
    std::optional<std::uint32_t> Find(std::string_view name) const;
    // Adds a name that Find does not know and gives its number (the number of names before).
    // Throws std::bad_alloc, with the index unchanged, when memory runs out.
    std::uint32_t Add(std::string_view name);
    // Adds the name of a counted copy as Add does, without a copy of its own: counted stays
    // where it is, unchanged, while the index lives.
    std::uint32_t AddCounted(const char* counted);
    // Starts fetching the slot where a lookup of name begins, so that a Find or Add of it a
    // little later does not wait for memory: in a table of millions of names nearly every lookup
    // would. Does nothing for a table small enough to stay in the nearer caches.
    void Prefetch(std::string_view name) const noexcept;
    // Takes back the name added last.
    void RemoveLast() noexcept;

    // The name of a number below Size(); its bytes stay where they are while the index lives.
    std::string_view Name(std::uint32_t number) const noexcept;
    std::size_t Size() const { return m_names.size(); }

private:
    // A slot holds the name's number plus one in its low half (0: empty) and the upper half of
    // the name's hash in its high half.
    using Slot = std::uint64_t;

    static std::uint64_t Hash(std::string_view name) noexcept;
    // The slot where name is, or the empty slot where it would go.
    std::size_t Probe(std::string_view name, std::uint64_t hash) const noexcept;
    // A table twice as large with every name placed again. Throws std::bad_alloc (unchanged).
    void Grow();
    // A counted copy of the bytes in the shared blocks; where the copy begins. Throws
    // std::bad_alloc (unchanged).
    const char* Store(std::string_view bytes);
    // Room for one more name: everything that can fail before a name is added. Throws
    // std::bad_alloc; a grown table changes nothing that can be seen.
    void MakeRoom();
    // Adds name, whose counted copy or first borrowed byte is at, after MakeRoom.
    std::uint32_t Insert(std::string_view name, const char* at) noexcept;

    std::vector<Slot> m_slots; // a power of two in size, at most three quarters full
    // Per number: where the counted copy begins, or the first borrowed byte.
    std::vector<const char*> m_names;
    std::vector<std::size_t> m_borrowedSizes; // per number, when borrowed
    bool m_copies;
    std::vector<std::unique_ptr<char[]>> m_blocks;
    char* m_blockNext = nullptr;  // the free end of the last block
    std::size_t m_blockFree = 0;  // and how many bytes are left there
};

} // namespace Kiv::LogSysMgr
