// A private D-Bus bus for the service control tests (a dbus-daemon started for the test and killed
// at its end) and a stand-in for systemd's manager object on it: the manager methods and unit
// properties the control object uses, with units whose state the test sets, and a log of every
// call. The stand-in serves on a thread of its own; its state is locked.
#pragma once

#include <atomic>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

struct sd_bus;
struct sd_bus_slot;

namespace KivTest {

class PrivateBus {
public:
    // Starts the daemon; Address() is empty when it could not be started.
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    const std::string& Address() const { return m_address; }

private:
    pid_t m_pid = -1;
    std::string m_address;
};

// How a unit of the stand-in answers a stop.
enum class StopBehaviour {
    Stops,          // at once: inactive
    StopsSlowly,    // deactivating first, inactive at the next look
    IgnoresStop,    // stays active
};

struct FakeUnit {
    std::string loadState = "loaded";
    std::string activeState = "inactive";
    unsigned mainPid = 0;
    int execMainStatus = 0;
    StopBehaviour stop = StopBehaviour::Stops;
};

class FakeServiceManager {
public:
    // Serves the manager on the bus at address. Units not set by the test are "loaded" when their
    // file is in unitFolder and "not-found" otherwise.
    FakeServiceManager(const std::string& address, std::filesystem::path unitFolder);
    ~FakeServiceManager();
    FakeServiceManager(const FakeServiceManager&) = delete;
    FakeServiceManager& operator=(const FakeServiceManager&) = delete;

    // True once the manager's name is owned on the bus.
    bool IsServing() const { return m_serving; }

    void SetUnit(const std::string& name, const FakeUnit& unit);
    FakeUnit GetUnit(const std::string& name);
    // Every call so far, one line each ("StopUnit demo.service replace"), and forgets them.
    std::vector<std::string> TakeCalls();
    // Makes every further call of method (of every method, for an empty one) fail with this D-Bus
    // error name.
    void FailCalls(const std::string& method, const std::string& errorName);

private:
    friend struct FakeServiceManagerAccess;

    FakeUnit& UnitLocked(const std::string& name);
    void Serve();

    std::filesystem::path m_unitFolder;
    sd_bus* m_bus = nullptr;
    std::vector<sd_bus_slot*> m_slots;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    bool m_serving = false;
    std::mutex m_lock;
    std::map<std::string, FakeUnit> m_units;
    std::vector<std::string> m_calls;
    std::string m_failMethod;
    std::string m_failWith;
};

} // namespace KivTest
