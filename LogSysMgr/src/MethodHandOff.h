// MethodHandOff: the methods a method set adds, handed in order from the thread that adds them
// to a thread that files them into the set's namespace tree meanwhile. A set of millions of
// methods spends about as long filing its tree as finding and making its methods, and the two
// touch different objects, so building them side by side takes half the time.
//
// Room for every entry is made before either thread starts, so entries never move: the adding
// thread writes an entry and then publishes the new count; the filing thread reads the entries
// below the count it sees and waits when it has read them all, until more come or the list is
// closed. Thread-safety: one adding thread and one reading thread at a time.
#pragma once

#include "KivLogSysMgr/KivLogSysInterfaces.h"

#include <atomic>
#include <cstddef>
#include <memory>
#include <string_view>

namespace Kiv::LogSysMgr {

class MethodHandOff {
public:
    struct Entry {
        IKivLogSysMethodInfo* method; // held by the set
        std::string_view name;        // the set's own copy of the name it files the method under
    };

    // Room for capacity entries. Throws std::bad_alloc.
    explicit MethodHandOff(std::size_t capacity)
        : m_entries(std::make_unique_for_overwrite<Entry[]>(capacity)), m_capacity(capacity)
    {
    }

    // The adding side. Put returns false, adding nothing, when the room is used up.
    bool Put(const Entry& entry) noexcept
    {
        const std::size_t count = m_state.load(std::memory_order_relaxed);
        if (count == m_capacity) {
            return false;
        }
        m_entries[count] = entry;
        m_state.store(count + 1, std::memory_order_release);
        if ((count + 1) % WakeEvery == 0) {
            m_state.notify_one();
        }
        return true;
    }
    // No more entries will come.
    void Close() noexcept
    {
        m_state.fetch_or(Closed, std::memory_order_release);
        m_state.notify_one();
    }
    // Whether the reading side gave up (see Abandon): adding more is then wasted.
    bool Abandoned() const noexcept { return m_abandoned.load(std::memory_order_relaxed); }

    // The reading side: the entry at index once it has been put, or null when the list was closed
    // before it was.
    const Entry* WaitFor(std::size_t index) const noexcept
    {
        for (;;) {
            const std::size_t state = m_state.load(std::memory_order_acquire);
            if (index < (state & ~Closed)) {
                return &m_entries[index];
            }
            if ((state & Closed) != 0) {
                return nullptr;
            }
            m_state.wait(state, std::memory_order_acquire);
        }
    }
    void Abandon() noexcept { m_abandoned.store(true, std::memory_order_relaxed); }

private:
    // The reader is woken once per this many entries (and at the close), not for each.
    static constexpr std::size_t WakeEvery = 256;

    std::unique_ptr<Entry[]> m_entries;
    // The number of entries put, with the top bit set once the list is closed: one value, so
    // that a reader waiting for it to change wakes for either.
    static constexpr std::size_t Closed = ~(~std::size_t{0} >> 1);

    std::size_t m_capacity;
    std::atomic<std::size_t> m_state{0};
    std::atomic<bool> m_abandoned{false};
};

} // namespace Kiv::LogSysMgr
