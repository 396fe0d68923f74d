// A gate for tests that hold one thread at a point until another lets it go on.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace KivTest {

// Opened once by one thread and waited for by others. A wait gives up after a minute, so that a
// fault that keeps a gate shut fails a test instead of hanging it.
class CGate {
public:
    void Open()
    {
        std::lock_guard lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }
    bool Wait()
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::minutes(1), [this] { return m_open; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open = false;
};

} // namespace KivTest
