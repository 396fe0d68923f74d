// systemd's manager over sd-bus, and the unit files beside it.
#include "KivPlatform/ServiceManager.h"

#include "KivPlatform/Status.h"

#include <systemd/sd-bus.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <dlfcn.h>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace Kiv::Platform {

namespace {

constexpr DWORD ErrorServiceRequestTimeout = 1053;
constexpr DWORD ErrorServiceDisabled = 1058;
constexpr DWORD ErrorServiceDoesNotExist = 1060;
constexpr DWORD ErrorServerUnavailable = 1722;

// Long enough for a busy manager, short enough that a caller never seems to hang.
constexpr std::uint64_t CallTimeoutMicroseconds = 10'000'000;

constexpr const char* ManagerName = "org.freedesktop.systemd1";
constexpr const char* ManagerPath = "/org/freedesktop/systemd1";
constexpr const char* ManagerInterface = "org.freedesktop.systemd1.Manager";
constexpr const char* UnitInterface = "org.freedesktop.systemd1.Unit";
constexpr const char* ServiceInterface = "org.freedesktop.systemd1.Service";
// Jobs replace conflicting queued jobs, as a one-off start or stop should.
constexpr const char* JobModeReplace = "replace";
constexpr const char* KillMainProcess = "main";

// libsystemd is loaded when the control side first needs it, so that a service program, which
// only speaks the notify protocol, runs on a system without it.
#define KIV_SD_BUS_FUNCTIONS(X) \
    X(sd_bus_call_method) \
    X(sd_bus_error_free) \
    X(sd_bus_error_has_name) \
    X(sd_bus_flush_close_unref) \
    X(sd_bus_get_property_string) \
    X(sd_bus_get_property_trivial) \
    X(sd_bus_is_ready) \
    X(sd_bus_message_read) \
    X(sd_bus_message_unref) \
    X(sd_bus_new) \
    X(sd_bus_open_system) \
    X(sd_bus_open_user) \
    X(sd_bus_process) \
    X(sd_bus_set_address) \
    X(sd_bus_set_bus_client) \
    X(sd_bus_set_method_call_timeout) \
    X(sd_bus_start) \
    X(sd_bus_unref) \
    X(sd_bus_wait)

struct SdBusLibrary {
#define KIV_SD_BUS_POINTER(name) decltype(&::name) name = nullptr;
    KIV_SD_BUS_FUNCTIONS(KIV_SD_BUS_POINTER)
#undef KIV_SD_BUS_POINTER
};

// The library's functions, or null when it cannot be loaded; loaded once and kept.
const SdBusLibrary* LoadSdBus()
{
    static const SdBusLibrary* const library = []() -> const SdBusLibrary* {
        void* handle = dlopen("libsystemd.so.0", RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            return nullptr;
        }
        static SdBusLibrary loaded;
#define KIV_SD_BUS_LOAD(name)                                                  \
    loaded.name = reinterpret_cast<decltype(&::name)>(dlsym(handle, #name));  \
    if (loaded.name == nullptr) {                                             \
        return nullptr;                                                        \
    }
        KIV_SD_BUS_FUNCTIONS(KIV_SD_BUS_LOAD)
#undef KIV_SD_BUS_LOAD
        return &loaded;
    }();
    return library;
}

// Only after LoadSdBus has succeeded, which every connection has made sure of.
const SdBusLibrary& Sd()
{
    return *LoadSdBus();
}

bool IsSystemScope()
{
    return geteuid() == 0;
}

DWORD ErrorFromErrno(int error)
{
    switch (error) {
    case ETIMEDOUT:
        return ErrorServiceRequestTimeout;
    case ENOENT:
    case ECONNREFUSED:
    case ECONNRESET:
    case ENOTCONN:
    case ENXIO:
    case EHOSTDOWN:
    case ENOMEDIUM:
        return ErrorServerUnavailable;
    default:
        return Win32ErrorFromErrno(error);
    }
}

// The error of a failed call: the bus error's name first, else the returned errno.
DWORD ErrorFromCall(const sd_bus_error& error, int result)
{
    struct NameToError {
        const char* name;
        DWORD code;
    };
    static constexpr NameToError Known[] = {
        {"org.freedesktop.systemd1.NoSuchUnit", ErrorServiceDoesNotExist},
        {"org.freedesktop.systemd1.LoadFailed", ErrorServiceDoesNotExist},
        {"org.freedesktop.systemd1.UnitMasked", ErrorServiceDisabled},
        {SD_BUS_ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
        {SD_BUS_ERROR_INTERACTIVE_AUTHORIZATION_REQUIRED, ERROR_ACCESS_DENIED},
        {SD_BUS_ERROR_SERVICE_UNKNOWN, ErrorServerUnavailable},
        {SD_BUS_ERROR_NAME_HAS_NO_OWNER, ErrorServerUnavailable},
        {SD_BUS_ERROR_UNKNOWN_OBJECT, ErrorServerUnavailable},
        {SD_BUS_ERROR_UNKNOWN_METHOD, ErrorServerUnavailable},
        {SD_BUS_ERROR_NO_REPLY, ErrorServiceRequestTimeout},
        {SD_BUS_ERROR_TIMEOUT, ErrorServiceRequestTimeout},
    };
    for (const NameToError& known : Known) {
        if (Sd().sd_bus_error_has_name(&error, known.name)) {
            return known.code;
        }
    }
    // The bus tried to start a manager on demand and could not: there is none to reach.
    constexpr std::string_view ActivationFailure = "org.freedesktop.DBus.Error.Spawn.";
    if (error.name != nullptr && std::string_view(error.name).starts_with(ActivationFailure)) {
        return ErrorServerUnavailable;
    }
    return ErrorFromErrno(result < 0 ? -result : EIO);
}

// An error record that frees itself.
class BusError {
public:
    BusError() = default;
    BusError(const BusError&) = delete;
    BusError& operator=(const BusError&) = delete;
    ~BusError() { Sd().sd_bus_error_free(&m_error); }
    sd_bus_error* operator&() { return &m_error; }
    const sd_bus_error& Get() const { return m_error; }

private:
    sd_bus_error m_error = SD_BUS_ERROR_NULL;
};

class BusMessage {
public:
    BusMessage() = default;
    BusMessage(const BusMessage&) = delete;
    BusMessage& operator=(const BusMessage&) = delete;
    ~BusMessage() { Sd().sd_bus_message_unref(m_message); }
    sd_bus_message** operator&() { return &m_message; }
    sd_bus_message* Get() const { return m_message; }

private:
    sd_bus_message* m_message = nullptr;
};

// Waits until the connection has authenticated and said hello, at most CallTimeoutMicroseconds:
// a peer that accepts the connection and then says nothing must not hold the caller.
int WaitUntilReady(sd_bus* bus)
{
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    const auto elapsed = [&start] {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        return static_cast<std::uint64_t>((now.tv_sec - start.tv_sec) * 1'000'000LL + (now.tv_nsec - start.tv_nsec) / 1000);
    };
    while (Sd().sd_bus_is_ready(bus) <= 0) {
        const int processed = Sd().sd_bus_process(bus, nullptr);
        if (processed < 0) {
            return processed;
        }
        if (processed > 0) {
            continue;
        }
        const std::uint64_t spent = elapsed();
        if (spent >= CallTimeoutMicroseconds) {
            return -ETIMEDOUT;
        }
        const int waited = Sd().sd_bus_wait(bus, CallTimeoutMicroseconds - spent);
        if (waited < 0 && waited != -EINTR) {
            return waited;
        }
    }
    return 0;
}

// Calls a manager method whose reply says nothing beyond success; bus is null when the
// connection was never made.
template <class... Args>
DWORD CallManager(sd_bus* bus, const char* member, const char* types, Args... args)
{
    if (bus == nullptr) {
        return ErrorServerUnavailable;
    }
    BusError error;
    const int result =
        Sd().sd_bus_call_method(bus, ManagerName, ManagerPath, ManagerInterface, member, &error, nullptr, types, args...);
    return result < 0 ? ErrorFromCall(error.Get(), result) : 0;
}

std::string EnvironmentOr(const char* name, const std::string& fallback)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? std::string(value) : fallback;
}

} // namespace

ServiceManagerConnection::~ServiceManagerConnection()
{
    if (m_bus != nullptr) {
        Sd().sd_bus_flush_close_unref(m_bus);
    }
}

DWORD ServiceManagerConnection::Connect()
{
    if (m_bus != nullptr) {
        return 0;
    }
    if (LoadSdBus() == nullptr) {
        return ErrorServerUnavailable;
    }
    sd_bus* bus = nullptr;
    int result;
    if (const char* address = std::getenv("KIV_SERVICE_BUS_ADDRESS"); address != nullptr) {
        result = Sd().sd_bus_new(&bus);
        if (result >= 0) {
            result = Sd().sd_bus_set_address(bus, address);
        }
        if (result >= 0) {
            result = Sd().sd_bus_set_bus_client(bus, 1);
        }
        if (result >= 0) {
            result = Sd().sd_bus_start(bus);
        }
    } else {
        result = IsSystemScope() ? Sd().sd_bus_open_system(&bus) : Sd().sd_bus_open_user(&bus);
    }
    if (result >= 0) {
        result = Sd().sd_bus_set_method_call_timeout(bus, CallTimeoutMicroseconds);
    }
    if (result >= 0) {
        result = WaitUntilReady(bus);
    }
    if (result < 0) {
        Sd().sd_bus_unref(bus);
        return ErrorFromErrno(-result);
    }
    m_bus = bus;
    return 0;
}

DWORD ServiceManagerConnection::Reload()
{
    return CallManager(m_bus, "Reload", "");
}

DWORD ServiceManagerConnection::QueryUnit(const std::string& unit, ServiceUnitState& state)
{
    if (m_bus == nullptr) {
        return ErrorServerUnavailable;
    }
    BusError error;
    BusMessage reply;
    int result = Sd().sd_bus_call_method(m_bus, ManagerName, ManagerPath, ManagerInterface, "LoadUnit", &error, &reply, "s",
                                    unit.c_str());
    if (result < 0) {
        return ErrorFromCall(error.Get(), result);
    }
    const char* pathText = nullptr;
    result = Sd().sd_bus_message_read(reply.Get(), "o", &pathText);
    if (result < 0) {
        return ErrorFromErrno(-result);
    }
    const std::string path(pathText);

    ServiceUnitState read;
    const auto readString = [&](const char* member, std::string& out) {
        char* value = nullptr;
        BusError propertyError;
        const int r = Sd().sd_bus_get_property_string(m_bus, ManagerName, path.c_str(), UnitInterface, member, &propertyError, &value);
        if (r < 0) {
            return ErrorFromCall(propertyError.Get(), r);
        }
        out = value;
        std::free(value);
        return DWORD{0};
    };
    if (DWORD failure = readString("LoadState", read.loadState); failure != 0) {
        return failure;
    }
    if (read.loadState == "not-found") {
        return ErrorServiceDoesNotExist;
    }
    if (DWORD failure = readString("ActiveState", read.activeState); failure != 0) {
        return failure;
    }
    BusError serviceError;
    std::uint32_t mainPid = 0;
    result = Sd().sd_bus_get_property_trivial(m_bus, ManagerName, path.c_str(), ServiceInterface, "MainPID", &serviceError, 'u',
                                         &mainPid);
    if (result < 0) {
        return ErrorFromCall(serviceError.Get(), result);
    }
    std::int32_t exitStatus = 0;
    result = Sd().sd_bus_get_property_trivial(m_bus, ManagerName, path.c_str(), ServiceInterface, "ExecMainStatus",
                                         &serviceError, 'i', &exitStatus);
    if (result < 0) {
        return ErrorFromCall(serviceError.Get(), result);
    }
    read.mainPid = mainPid;
    read.execMainStatus = exitStatus;
    state = std::move(read);
    return 0;
}

DWORD ServiceManagerConnection::StartUnit(const std::string& unit)
{
    return CallManager(m_bus, "StartUnit", "ss", unit.c_str(), JobModeReplace);
}

DWORD ServiceManagerConnection::StopUnit(const std::string& unit)
{
    return CallManager(m_bus, "StopUnit", "ss", unit.c_str(), JobModeReplace);
}

DWORD ServiceManagerConnection::SendParamChange(const std::string& unit)
{
    return CallManager(m_bus, "KillUnit", "ssi", unit.c_str(), KillMainProcess, std::int32_t{SIGHUP});
}

DWORD ServiceManagerConnection::EnableUnitFile(const std::string& unit)
{
    // One unit, persistent (not runtime-only), without replacing links that point elsewhere.
    return CallManager(m_bus, "EnableUnitFiles", "asbb", 1, unit.c_str(), 0, 0);
}

DWORD ServiceManagerConnection::DisableUnitFile(const std::string& unit)
{
    return CallManager(m_bus, "DisableUnitFiles", "asb", 1, unit.c_str(), 0);
}

std::string ServiceUnitFolder()
{
    std::string folder;
    if (IsSystemScope()) {
        folder = "/etc/systemd/system";
    } else {
        const std::string home = EnvironmentOr("HOME", "");
        folder = EnvironmentOr("XDG_CONFIG_HOME", home + "/.config") + "/systemd/user";
    }
    folder = EnvironmentOr("KIV_SERVICE_UNIT_DIR", folder);
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    return folder;
}

std::string ServiceStartTarget()
{
    return IsSystemScope() ? "multi-user.target" : "default.target";
}

DWORD CreateNewTextFile(const std::string& path, const std::string& content)
{
    // Written under a temporary name and linked to the final one, which fails when that exists:
    // the file appears whole or not at all, and an existing one is never replaced.
    const std::string temporary = path + ".kiv-new-" + std::to_string(getpid());
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        return Win32ErrorFromErrno(errno);
    }
    std::size_t done = 0;
    int failure = 0;
    while (done < content.size()) {
        const ssize_t written = write(fd, content.data() + done, content.size() - done);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            failure = errno;
            break;
        }
        done += static_cast<std::size_t>(written);
    }
    if (failure == 0 && fsync(fd) != 0) {
        failure = errno;
    }
    if (close(fd) != 0 && failure == 0) {
        failure = errno;
    }
    if (failure == 0 && link(temporary.c_str(), path.c_str()) != 0) {
        failure = errno;
    }
    unlink(temporary.c_str());
    return failure == 0 ? 0 : Win32ErrorFromErrno(failure);
}

bool TextFileExists(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

DWORD DeleteTextFile(const std::string& path)
{
    return unlink(path.c_str()) == 0 ? 0 : Win32ErrorFromErrno(errno);
}

void SleepMilliseconds(DWORD milliseconds)
{
    timespec wait{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1'000'000};
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

} // namespace Kiv::Platform
