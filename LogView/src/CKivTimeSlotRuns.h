// The time line's compressed axis: the tenth-of-a-second slots in which at least one line was
// logged, kept as runs of consecutive slots sorted by start, and the mapping from an axis row to
// its slot's time. Plain data; one thread at a time.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

class CKivTimeSlotRuns {
public:
    // File times count 100 ns units; a slot is a tenth of a second.
    static constexpr std::int64_t SlotLength = 1000000;

    struct Run {
        std::int64_t start;
        std::uint32_t length;
        bool operator==(const Run&) const = default;
    };

    // The start of the slot that holds time.
    static std::int64_t SlotOf(std::int64_t time);

    void Clear();
    // Files the slot of time. A slot inside a run changes nothing; the slot right after a run
    // extends that run unless the next run starts there; any other slot becomes a run of its
    // own. Runs that come to touch stay apart, so the runs depend on the order of the times.
    // O(log r) in the number of runs r.
    void Insert(std::int64_t time);

    // The runs in order of their start.
    std::vector<Run> GetRuns() const;
    std::size_t GetRunCount() const { return m_runs.size(); }
    // The number of rows: the sum of the runs' slot counts. Every slot holds at least one of the
    // file's lines, so the count stays within the file's line numbers.
    std::int64_t GetRowCount() const;
    // The slot start of a row, by binary search over the runs' cumulative lengths; 0 for a row
    // outside 0..GetRowCount() - 1.
    std::int64_t RowTime(std::int64_t row) const;

private:
    // The cumulative table over the runs, rebuilt on the first lookup after an insertion.
    struct Indexed {
        std::int64_t rowsBefore;
        std::int64_t start;
    };
    void BuildIndex() const;

    // Start slot to number of slots.
    std::map<std::int64_t, std::uint32_t> m_runs;
    mutable std::vector<Indexed> m_index;
    mutable std::int64_t m_rowCount = 0;
    mutable bool m_indexed = true;
};
