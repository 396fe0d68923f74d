#include "MethodNameIndex.h"

#include "CountedName.h"
#include "ReserveFor.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>

namespace Kiv::LogSysMgr {

namespace {

constexpr std::size_t InitialSlots = 16;
// Each block is twice as large as the one before, from the first to the largest size, so that an
// index of a few names stays small; a longer name gets a block of its own.
constexpr std::size_t FirstBlockSize = 256;
constexpr std::size_t LargestBlockSize = 64 * 1024;

constexpr std::uint64_t NumberMask = 0xFFFFFFFFu;

// From this many slots (256 KiB) on, Prefetch fetches; see there.
constexpr std::size_t PrefetchedSlots = 32 * 1024;

constexpr std::uint64_t HashTag(std::uint64_t hash)
{
    return hash & ~NumberMask;
}

// Where a name's probe starts in a table of `slots` slots: the top bits of its hash, which the
// slot keeps as its tag, so that a larger table places every name again from the slots alone.
constexpr std::size_t Home(std::uint64_t tag, std::size_t slots)
{
    return static_cast<std::size_t>(tag >> (64 - std::countr_zero(slots)));
}

} // namespace

std::uint64_t MethodNameIndex::Hash(std::string_view name) noexcept
{
    return std::hash<std::string_view>{}(name);
}

std::string_view MethodNameIndex::Name(std::uint32_t number) const noexcept
{
    if (!m_copies) {
        return {m_names[number], m_borrowedSizes[number]};
    }
    return ReadCounted(m_names[number]);
}

std::size_t MethodNameIndex::Probe(std::string_view name, std::uint64_t hash) const noexcept
{
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = Home(hash, m_slots.size());; i = (i + 1) & mask) {
        const Slot slot = m_slots[i];
        if (slot == 0 || (HashTag(slot) == HashTag(hash) && Name(static_cast<std::uint32_t>((slot & NumberMask) - 1)) == name)) {
            return i;
        }
    }
}

std::optional<std::uint32_t> MethodNameIndex::Find(std::string_view name) const
{
    if (m_slots.empty()) {
        return std::nullopt;
    }
    const Slot slot = m_slots[Probe(name, Hash(name))];
    if (slot == 0) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>((slot & NumberMask) - 1);
}

void MethodNameIndex::Prefetch(std::string_view name) const noexcept
{
    // A table that fits the processor's nearer caches is read without waiting: hashing the name
    // an extra time would cost more than it saves.
    if (m_slots.size() >= PrefetchedSlots) {
        __builtin_prefetch(&m_slots[Home(Hash(name), m_slots.size())]);
    }
}

void MethodNameIndex::Grow()
{
    std::vector<Slot> slots(std::max(InitialSlots, m_slots.size() * 2), 0);
    const std::size_t mask = slots.size() - 1;
    for (const Slot slot : m_slots) {
        if (slot == 0) {
            continue;
        }
        std::size_t i = Home(slot, slots.size());
        while (slots[i] != 0) {
            i = (i + 1) & mask;
        }
        slots[i] = slot;
    }
    m_slots.swap(slots);
}

const char* MethodNameIndex::Store(std::string_view bytes)
{
    const std::size_t needed = CountedSize(bytes.size());
    if (needed > m_blockFree) {
        const std::size_t usual = std::min(FirstBlockSize << std::min<std::size_t>(m_blocks.size(), 16), LargestBlockSize);
        const std::size_t size = std::max(usual, needed);
        ReserveFor(m_blocks, 1);
        m_blocks.push_back(std::make_unique_for_overwrite<char[]>(size));
        m_blockNext = m_blocks.back().get();
        m_blockFree = size;
    }
    char* const stored = m_blockNext;
    WriteCounted(bytes, stored);
    m_blockNext += needed;
    m_blockFree -= needed;
    return stored;
}

void MethodNameIndex::MakeRoom()
{
    ReserveFor(m_names, 1);
    if (!m_copies) {
        ReserveFor(m_borrowedSizes, 1);
    }
    if ((m_names.size() + 1) * 4 > m_slots.size() * 3) {
        Grow();
    }
}

std::uint32_t MethodNameIndex::Insert(std::string_view name, const char* at) noexcept
{
    const std::uint64_t hash = Hash(name);
    const auto number = static_cast<std::uint32_t>(m_names.size());
    m_names.push_back(at);
    if (!m_copies) {
        m_borrowedSizes.push_back(name.size());
    }
    m_slots[Probe(name, hash)] = HashTag(hash) | (std::uint64_t{number} + 1);
    return number;
}

std::uint32_t MethodNameIndex::Add(std::string_view name)
{
    // Everything that can fail comes first; a grown table or a copy of the bytes nobody points
    // to changes nothing that can be seen.
    MakeRoom();
    return Insert(name, m_copies ? Store(name) : name.data());
}

std::uint32_t MethodNameIndex::AddCounted(const char* counted)
{
    MakeRoom();
    const std::string_view name = ReadCounted(counted);
    return Insert(name, m_copies ? counted : name.data());
}

void MethodNameIndex::RemoveLast() noexcept
{
    if (m_names.empty()) {
        return;
    }
    // Every name added before the last one ended its probe before the last one's slot was
    // taken, so emptying that slot gives back the table as it was.
    const std::string_view name = Name(static_cast<std::uint32_t>(m_names.size() - 1));
    m_slots[Probe(name, Hash(name))] = 0;
    m_names.pop_back();
    if (!m_copies) {
        m_borrowedSizes.pop_back();
    }
}

} // namespace Kiv::LogSysMgr
