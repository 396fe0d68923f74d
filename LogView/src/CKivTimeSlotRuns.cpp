// CKivTimeSlotRuns: filing slots into runs and finding a row's time.
#include "CKivTimeSlotRuns.h"

#include <algorithm>
#include <iterator>
#include <limits>

std::int64_t CKivTimeSlotRuns::SlotOf(std::int64_t time)
{
    return time / SlotLength * SlotLength;
}

void CKivTimeSlotRuns::Clear()
{
    m_runs.clear();
    m_index.clear();
    m_rowCount = 0;
    m_indexed = true;
}

void CKivTimeSlotRuns::Insert(std::int64_t time)
{
    const std::int64_t slot = SlotOf(time);
    // Runs never overlap, so only the last run that starts at or before the slot can hold it or
    // end right before it. Walking the runs in order from the first would stop at the same run
    // with the same outcome: an earlier run ending at the slot is followed by a run starting
    // there, which holds it.
    const auto next = m_runs.upper_bound(slot);
    if (next != m_runs.begin()) {
        const auto run = std::prev(next);
        const std::int64_t end = run->first + static_cast<std::int64_t>(run->second) * SlotLength;
        if (slot < end) {
            return;
        }
        // The next run starts after the slot (it is the first run starting beyond it), so the
        // run can grow into the slot; a run at its full length leaves the slot a run of its own.
        if (slot == end && run->second < std::numeric_limits<std::uint32_t>::max()) {
            ++run->second;
            m_indexed = false;
            return;
        }
    }
    m_runs.emplace_hint(next, slot, 1);
    m_indexed = false;
}

std::vector<CKivTimeSlotRuns::Run> CKivTimeSlotRuns::GetRuns() const
{
    std::vector<Run> runs;
    runs.reserve(m_runs.size());
    for (const auto& [start, length] : m_runs) {
        runs.push_back({start, length});
    }
    return runs;
}

void CKivTimeSlotRuns::BuildIndex() const
{
    if (m_indexed) {
        return;
    }
    m_index.clear();
    m_index.reserve(m_runs.size());
    std::int64_t rows = 0;
    for (const auto& [start, length] : m_runs) {
        m_index.push_back({rows, start});
        rows += length;
    }
    m_rowCount = rows;
    m_indexed = true;
}

std::int64_t CKivTimeSlotRuns::GetRowCount() const
{
    BuildIndex();
    return m_rowCount;
}

std::int64_t CKivTimeSlotRuns::RowTime(std::int64_t row) const
{
    BuildIndex();
    if (row < 0 || row >= m_rowCount) {
        return 0;
    }
    // The last run whose first row is at or before the row holds it.
    const auto after = std::upper_bound(m_index.begin(), m_index.end(), row,
                                        [](std::int64_t r, const Indexed& run) { return r < run.rowsBefore; });
    const Indexed& run = *std::prev(after);
    return run.start + (row - run.rowsBefore) * SlotLength;
}
