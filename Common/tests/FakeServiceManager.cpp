#include "FakeServiceManager.h"

#include <systemd/sd-bus.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace KivTest {

namespace {

constexpr const char* UnitPathPrefix = "/org/freedesktop/systemd1/unit";
constexpr const char* JobPath = "/org/freedesktop/systemd1/job/1";
// Only a guard against a daemon that never starts; it normally answers at once.
constexpr int DaemonStartGuardMilliseconds = 30'000;
constexpr unsigned StartedMainPid = 4242;

} // namespace

PrivateBus::PrivateBus()
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    char program[] = "dbus-daemon";
    char session[] = "--session";
    char noFork[] = "--nofork";
    char printAddress[] = "--print-address";
    char* arguments[] = {program, session, noFork, printAddress, nullptr};
    const int spawned = posix_spawnp(&m_pid, program, &actions, nullptr, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned != 0) {
        m_pid = -1;
        close(fds[0]);
        return;
    }
    std::string line;
    char c = 0;
    pollfd wait{fds[0], POLLIN, 0};
    while (poll(&wait, 1, DaemonStartGuardMilliseconds) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') {
        line += c;
    }
    close(fds[0]);
    m_address = c == '\n' ? line : std::string();
}

PrivateBus::~PrivateBus()
{
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        int status = 0;
        waitpid(m_pid, &status, 0);
    }
}

struct FakeServiceManagerAccess {
    static FakeServiceManager& Of(void* userdata) { return *static_cast<FakeServiceManager*>(userdata); }

    // Logs the call; the failure set by the test, if any, is the reply.
    static int Begin(FakeServiceManager& manager, sd_bus_message* m, const std::string& call, bool& replied)
    {
        std::string failWith;
        {
            const std::lock_guard lock(manager.m_lock);
            manager.m_calls.push_back(call);
            const std::string method = call.substr(0, call.find(' '));
            if (manager.m_failMethod.empty() || manager.m_failMethod == method) {
                failWith = manager.m_failWith;
            }
        }
        replied = !failWith.empty();
        return replied ? sd_bus_reply_method_errorf(m, failWith.c_str(), "refused by the test") : 0;
    }

    static int Reload(sd_bus_message* m, void* userdata, sd_bus_error*)
    {
        FakeServiceManager& manager = Of(userdata);
        bool replied = false;
        const int r = Begin(manager, m, "Reload", replied);
        if (replied) {
            return r;
        }
        {
            const std::lock_guard lock(manager.m_lock);
            for (auto& [name, unit] : manager.m_units) {
                const bool present = std::filesystem::exists(manager.m_unitFolder / name);
                if (unit.loadState != "masked") {
                    unit.loadState = present ? "loaded" : "not-found";
                }
            }
        }
        return sd_bus_reply_method_return(m, "");
    }

    static int LoadUnit(sd_bus_message* m, void* userdata, sd_bus_error*)
    {
        FakeServiceManager& manager = Of(userdata);
        const char* name = nullptr;
        if (const int r = sd_bus_message_read(m, "s", &name); r < 0) {
            return r;
        }
        bool replied = false;
        const int r = Begin(manager, m, std::string("LoadUnit ") + name, replied);
        if (replied) {
            return r;
        }
        {
            const std::lock_guard lock(manager.m_lock);
            manager.UnitLocked(name);
        }
        char* path = nullptr;
        sd_bus_path_encode(UnitPathPrefix, name, &path);
        const int result = sd_bus_reply_method_return(m, "o", path);
        std::free(path);
        return result;
    }

    static int StartUnit(sd_bus_message* m, void* userdata, sd_bus_error* error)
    {
        FakeServiceManager& manager = Of(userdata);
        const char* name = nullptr;
        const char* mode = nullptr;
        if (const int r = sd_bus_message_read(m, "ss", &name, &mode); r < 0) {
            return r;
        }
        bool replied = false;
        const int r = Begin(manager, m, std::string("StartUnit ") + name + " " + mode, replied);
        if (replied) {
            return r;
        }
        {
            const std::lock_guard lock(manager.m_lock);
            FakeUnit& unit = manager.UnitLocked(name);
            if (unit.loadState != "loaded") {
                return sd_bus_error_set(error, "org.freedesktop.systemd1.NoSuchUnit", "no such unit");
            }
            unit.activeState = "active";
            unit.mainPid = StartedMainPid;
        }
        return sd_bus_reply_method_return(m, "o", JobPath);
    }

    static int StopUnit(sd_bus_message* m, void* userdata, sd_bus_error*)
    {
        FakeServiceManager& manager = Of(userdata);
        const char* name = nullptr;
        const char* mode = nullptr;
        if (const int r = sd_bus_message_read(m, "ss", &name, &mode); r < 0) {
            return r;
        }
        bool replied = false;
        const int r = Begin(manager, m, std::string("StopUnit ") + name + " " + mode, replied);
        if (replied) {
            return r;
        }
        {
            const std::lock_guard lock(manager.m_lock);
            FakeUnit& unit = manager.UnitLocked(name);
            if (unit.activeState == "active" || unit.activeState == "activating") {
                switch (unit.stop) {
                case StopBehaviour::Stops:
                    unit.activeState = "inactive";
                    unit.mainPid = 0;
                    break;
                case StopBehaviour::StopsSlowly:
                    unit.activeState = "deactivating";
                    break;
                case StopBehaviour::IgnoresStop:
                    break;
                }
            }
        }
        return sd_bus_reply_method_return(m, "o", JobPath);
    }

    static int KillUnit(sd_bus_message* m, void* userdata, sd_bus_error*)
    {
        FakeServiceManager& manager = Of(userdata);
        const char* name = nullptr;
        const char* who = nullptr;
        int signal = 0;
        if (const int r = sd_bus_message_read(m, "ssi", &name, &who, &signal); r < 0) {
            return r;
        }
        bool replied = false;
        const int r = Begin(manager, m, std::string("KillUnit ") + name + " " + who + " " + std::to_string(signal), replied);
        return replied ? r : sd_bus_reply_method_return(m, "");
    }

    // "EnableUnitFiles a.service 0 0" and "DisableUnitFiles a.service 0".
    static int UnitFiles(sd_bus_message* m, void* userdata, bool enable)
    {
        FakeServiceManager& manager = Of(userdata);
        char** names = nullptr;
        if (const int r = sd_bus_message_read_strv(m, &names); r < 0) {
            return r;
        }
        std::string call = enable ? "EnableUnitFiles" : "DisableUnitFiles";
        for (char** name = names; name != nullptr && *name != nullptr; ++name) {
            call += std::string(" ") + *name;
            std::free(*name);
        }
        std::free(names);
        int runtime = 0;
        int force = 0;
        int r = enable ? sd_bus_message_read(m, "bb", &runtime, &force) : sd_bus_message_read(m, "b", &runtime);
        if (r < 0) {
            return r;
        }
        call += " " + std::to_string(runtime) + (enable ? " " + std::to_string(force) : std::string());
        bool replied = false;
        r = Begin(manager, m, call, replied);
        if (replied) {
            return r;
        }
        return enable ? sd_bus_reply_method_return(m, "ba(sss)", 0, 0) : sd_bus_reply_method_return(m, "a(sss)", 0);
    }
    static int EnableUnitFiles(sd_bus_message* m, void* userdata, sd_bus_error*) { return UnitFiles(m, userdata, true); }
    static int DisableUnitFiles(sd_bus_message* m, void* userdata, sd_bus_error*) { return UnitFiles(m, userdata, false); }

    static int FindUnit(sd_bus*, const char* path, const char*, void* userdata, void** found, sd_bus_error*)
    {
        char* name = nullptr;
        if (sd_bus_path_decode(path, UnitPathPrefix, &name) <= 0) {
            return 0;
        }
        std::free(name);
        *found = userdata;
        return 1;
    }

    // The unit's property, read under the lock; a slow stop shows "deactivating" once.
    static int UnitProperty(sd_bus*, const char* path, const char*, const char* property, sd_bus_message* reply,
                            void* userdata, sd_bus_error*)
    {
        FakeServiceManager& manager = Of(userdata);
        char* decoded = nullptr;
        if (sd_bus_path_decode(path, UnitPathPrefix, &decoded) <= 0) {
            return -ENOENT;
        }
        const std::string name(decoded);
        std::free(decoded);
        const std::lock_guard lock(manager.m_lock);
        FakeUnit& unit = manager.UnitLocked(name);
        const std::string_view which(property);
        if (which == "LoadState") {
            return sd_bus_message_append(reply, "s", unit.loadState.c_str());
        }
        if (which == "ActiveState") {
            const std::string state = unit.activeState;
            if (state == "deactivating" && unit.stop == StopBehaviour::StopsSlowly) {
                unit.activeState = "inactive";
                unit.mainPid = 0;
            }
            return sd_bus_message_append(reply, "s", state.c_str());
        }
        if (which == "MainPID") {
            return sd_bus_message_append(reply, "u", unit.mainPid);
        }
        return sd_bus_message_append(reply, "i", unit.execMainStatus);
    }
};

namespace {

using Access = FakeServiceManagerAccess;

const sd_bus_vtable ManagerVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Reload", "", "", Access::Reload, 0),
    SD_BUS_METHOD("LoadUnit", "s", "o", Access::LoadUnit, 0),
    SD_BUS_METHOD("StartUnit", "ss", "o", Access::StartUnit, 0),
    SD_BUS_METHOD("StopUnit", "ss", "o", Access::StopUnit, 0),
    SD_BUS_METHOD("KillUnit", "ssi", "", Access::KillUnit, 0),
    SD_BUS_METHOD("EnableUnitFiles", "asbb", "ba(sss)", Access::EnableUnitFiles, 0),
    SD_BUS_METHOD("DisableUnitFiles", "asb", "a(sss)", Access::DisableUnitFiles, 0),
    SD_BUS_VTABLE_END,
};

const sd_bus_vtable UnitVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("LoadState", "s", Access::UnitProperty, 0, 0),
    SD_BUS_PROPERTY("ActiveState", "s", Access::UnitProperty, 0, 0),
    SD_BUS_VTABLE_END,
};

const sd_bus_vtable ServiceVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("MainPID", "u", Access::UnitProperty, 0, 0),
    SD_BUS_PROPERTY("ExecMainStatus", "i", Access::UnitProperty, 0, 0),
    SD_BUS_VTABLE_END,
};

// How long one wait for bus traffic lasts before the serving loop looks at its stop flag.
constexpr std::uint64_t ServeWaitMicroseconds = 50'000;

} // namespace

FakeServiceManager::FakeServiceManager(const std::string& address, std::filesystem::path unitFolder)
    : m_unitFolder(std::move(unitFolder))
{
    if (sd_bus_new(&m_bus) < 0 || sd_bus_set_address(m_bus, address.c_str()) < 0 ||
        sd_bus_set_bus_client(m_bus, 1) < 0 || sd_bus_start(m_bus) < 0) {
        return;
    }
    const auto add = [this](const char* interface, const sd_bus_vtable* table, bool fallback) {
        sd_bus_slot* slot = nullptr;
        const int r = fallback ? sd_bus_add_fallback_vtable(m_bus, &slot, UnitPathPrefix, interface, table, Access::FindUnit, this)
                               : sd_bus_add_object_vtable(m_bus, &slot, "/org/freedesktop/systemd1", interface, table, this);
        m_slots.push_back(slot);
        return r >= 0;
    };
    if (!add("org.freedesktop.systemd1.Manager", ManagerVtable, false) ||
        !add("org.freedesktop.systemd1.Unit", UnitVtable, true) ||
        !add("org.freedesktop.systemd1.Service", ServiceVtable, true)) {
        return;
    }
    if (sd_bus_request_name(m_bus, "org.freedesktop.systemd1", 0) < 0) {
        return;
    }
    m_serving = true;
    m_thread = std::thread([this] { Serve(); });
}

FakeServiceManager::~FakeServiceManager()
{
    m_stop = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
    for (sd_bus_slot* slot : m_slots) {
        sd_bus_slot_unref(slot);
    }
    sd_bus_flush_close_unref(m_bus);
}

void FakeServiceManager::Serve()
{
    while (!m_stop) {
        const int r = sd_bus_process(m_bus, nullptr);
        if (r < 0) {
            return;
        }
        if (r == 0) {
            sd_bus_wait(m_bus, ServeWaitMicroseconds);
        }
    }
}

FakeUnit& FakeServiceManager::UnitLocked(const std::string& name)
{
    auto found = m_units.find(name);
    if (found == m_units.end()) {
        FakeUnit unit;
        unit.loadState = std::filesystem::exists(m_unitFolder / name) ? "loaded" : "not-found";
        found = m_units.emplace(name, unit).first;
    }
    return found->second;
}

void FakeServiceManager::SetUnit(const std::string& name, const FakeUnit& unit)
{
    const std::lock_guard lock(m_lock);
    m_units[name] = unit;
}

FakeUnit FakeServiceManager::GetUnit(const std::string& name)
{
    const std::lock_guard lock(m_lock);
    return UnitLocked(name);
}

std::vector<std::string> FakeServiceManager::TakeCalls()
{
    const std::lock_guard lock(m_lock);
    return std::exchange(m_calls, {});
}

void FakeServiceManager::FailCalls(const std::string& method, const std::string& errorName)
{
    const std::lock_guard lock(m_lock);
    m_failMethod = method;
    m_failWith = errorName;
}

} // namespace KivTest
