// A load-progress sink for tests and benchmarks of the engine: it records every report, may act
// on one, and lets the caller wait for the end of loads. The engine reports on its loading
// thread, so everything here is thread-safe. Users link the engine (its public headers).
#pragma once

#include "KivLogSysMgr/KivLogSysInterfaces.h"

#include "KivObject/InterfaceMap.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

namespace KivTest {

class CLoadWaitSink : public IKivLogSysMgr_LoadProgress {
public:
    // One report: its kind and its value.
    using Report = std::pair<LONG, LONG>;
    static constexpr Report EndReport{KivLogSysLoadProgress::Finished, 0};
    static constexpr Report WholeFileReport{KivLogSysLoadProgress::Progress, 100};

    virtual ~CLoadWaitSink() = default;

    HRESULT OnKivLogSysMgr_LoadProgress(LONG kind, LONG value) override
    {
        if (m_onReport) {
            m_onReport(kind, value);
        }
        const std::lock_guard lock(m_mutex);
        m_reports.emplace_back(kind, value);
        m_changed.notify_all();
        return S_OK;
    }
    virtual HRESULT FindInterface(REFIID riid, void** ppv)
    {
        return Kiv::FindInterfaceInMap({{IUnknown::Iid, this}, {IKivLogSysMgr_LoadProgress::Iid, this}}, riid, ppv);
    }

    std::vector<Report> Reports()
    {
        const std::lock_guard lock(m_mutex);
        return m_reports;
    }
    // Waits until count loads have ended; false when they have not within the timeout.
    bool WaitForEnds(std::size_t count, std::chrono::steady_clock::duration timeout = std::chrono::minutes(1))
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] {
            return static_cast<std::size_t>(std::count(m_reports.begin(), m_reports.end(), EndReport)) >= count;
        });
    }
    // Whether the last load that ended had read its whole file (a report of 100 % before its end).
    bool LastLoadReadWholeFile()
    {
        const std::lock_guard lock(m_mutex);
        const auto end = std::find(m_reports.rbegin(), m_reports.rend(), EndReport);
        if (end == m_reports.rend()) {
            return false;
        }
        const auto earlierEnd = std::find(std::next(end), m_reports.rend(), EndReport);
        return std::find(std::next(end), earlierEnd, WholeFileReport) != earlierEnd;
    }

    // Called with every report before it is recorded, on the loading thread.
    std::function<void(LONG, LONG)> m_onReport;

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Report> m_reports;
};

} // namespace KivTest
