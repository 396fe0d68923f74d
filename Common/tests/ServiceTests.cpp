// The service base class, the dispatcher (in this process and, driven by real signals, in a
// service program with a notify socket made here), and the service-to-unit translations.
#include "CKivNTServiceDispatcher.h"
#include "KivServiceUnit.h"

#include "KivCommon/KivNTService.h"

#include "KivObject/InterfaceMap.h"
#include "KivObject/KivObject.h"

#include "KivTestSupport/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace {

using namespace Kiv;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// Only a guard against a hang; the program answers at once.
constexpr int GuardMilliseconds = 30'000;

// Status records as they reach a service's status handle.
class CRecordingTarget : public KivServiceStatusTarget {
public:
    BOOL SetStatus(const SERVICE_STATUS& status) override
    {
        m_states.push_back(status.dwCurrentState);
        m_last = status;
        return TRUE;
    }
    std::vector<DWORD> m_states;
    SERVICE_STATUS m_last{};
};

// The base class with every control operation counted, as a derived class would override them.
class CCountingService : public CKivNTService {
public:
    DWORD FillStatus(SERVICE_STATUS* status) override
    {
        status->dwServiceType = SERVICE_WIN32_OWN_PROCESS;
        status->dwWaitHint = 1500;
        ++m_fills;
        return 0;
    }
    virtual HRESULT FindInterface(REFIID riid, void** ppv)
    {
        return FindInterfaceInMap({{IUnknown::Iid, this}, {IKivNTService::Iid, this}}, riid, ppv);
    }
    int m_fills = 0;
};

TEST(ServiceBase, LifecycleReportsEachState)
{
    CKivObject<CCountingService> service;
    CRecordingTarget target;
    EXPECT_EQ(service.Init(&target), S_OK);
    EXPECT_EQ(service.Run(), S_OK);
    EXPECT_EQ(service.Exit(), S_OK);
    EXPECT_THAT(target.m_states, ElementsAre(SERVICE_START_PENDING, SERVICE_RUNNING, SERVICE_STOP_PENDING));
    EXPECT_EQ(target.m_last.dwServiceType, SERVICE_WIN32_OWN_PROCESS);
    EXPECT_EQ(target.m_last.dwWaitHint, 1500u);
    EXPECT_EQ(service.m_fills, 3);
}

TEST(ServiceBase, HandlerAnswersEachControl)
{
    struct Case {
        DWORD control;
        DWORD result;
        bool reports; // whether the status is reported again
    };
    const Case cases[] = {
        {SERVICE_CONTROL_STOP, ERROR_CALL_NOT_IMPLEMENTED, false},
        {SERVICE_CONTROL_PAUSE, ERROR_CALL_NOT_IMPLEMENTED, false},
        {SERVICE_CONTROL_CONTINUE, ERROR_CALL_NOT_IMPLEMENTED, false},
        {SERVICE_CONTROL_INTERROGATE, 0, true},
        {SERVICE_CONTROL_SHUTDOWN, ERROR_CALL_NOT_IMPLEMENTED, false},
        {SERVICE_CONTROL_PARAMCHANGE, 0, false},
        // A device event, which the base class does not know.
        {0x0B, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.control);
        CKivObject<CCountingService> service;
        CRecordingTarget target;
        service.Init(&target);
        EXPECT_EQ(service.Handler(c.control, 0, nullptr), c.result);
        EXPECT_EQ(target.m_states.size(), c.reports ? 2u : 1u);
    }
}

// A service whose Run records that it ran and returns at once, or waits for a stop.
class CProbeService : public CKivNTService {
public:
    HRESULT Init(SERVICE_STATUS_HANDLE handle) override
    {
        m_handle = handle;
        return m_initResult;
    }
    HRESULT Run() override
    {
        ++m_runs;
        if (m_inside) {
            m_inside();
        }
        return S_OK;
    }
    HRESULT Exit() override
    {
        ++m_exits;
        return S_OK;
    }
    virtual HRESULT FindInterface(REFIID riid, void** ppv)
    {
        return FindInterfaceInMap({{IUnknown::Iid, this}, {IKivNTService::Iid, this}}, riid, ppv);
    }
    HRESULT m_initResult = S_OK;
    std::function<void()> m_inside;
    SERVICE_STATUS_HANDLE m_handle = nullptr;
    std::atomic<int> m_runs{0};
    std::atomic<int> m_exits{0};
};

TEST(ServiceDispatcher, RunsEveryRegisteredServiceOnce)
{
    CKivObject<CKivNTServiceDispatcher> dispatcher;
    CKivObject<CProbeService> earlier;
    CKivObject<CProbeService> later;
    CKivObject<CProbeService> other;
    CKivObject<CProbeService> failing;
    failing.m_initResult = E_FAIL;
    ASSERT_EQ(dispatcher.Register(u"svc", &earlier), S_OK);
    ASSERT_EQ(dispatcher.Register(u"svc", &later), S_OK);
    ASSERT_EQ(dispatcher.Register(u"other", &other), S_OK);
    ASSERT_EQ(dispatcher.Register(u"failing", &failing), S_OK);
    EXPECT_EQ(dispatcher.Register(nullptr, &other), E_INVALIDARG);
    EXPECT_EQ(dispatcher.Register(u"x", nullptr), E_INVALIDARG);

    ASSERT_EQ(dispatcher.Dispatch(), S_OK);
    // The later registration under a name replaces the earlier one.
    EXPECT_EQ(earlier.m_runs, 0);
    EXPECT_EQ(later.m_runs, 1);
    EXPECT_EQ(other.m_runs, 1);
    // A service whose Init fails does not run, but still exits.
    EXPECT_EQ(failing.m_runs, 0);
    EXPECT_EQ(failing.m_exits, 1);
    EXPECT_NE(later.m_handle, nullptr);
    EXPECT_NE(later.m_handle, other.m_handle);
}

TEST(ServiceDispatcher, RefusesNothingToRunAndASecondDispatch)
{
    CKivObject<CKivNTServiceDispatcher> empty;
    EXPECT_EQ(empty.Dispatch(), HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER));

    // While one Dispatch runs, the process's signals belong to it.
    CKivObject<CKivNTServiceDispatcher> outer;
    CKivObject<CKivNTServiceDispatcher> inner;
    CKivObject<CProbeService> innerService;
    CKivObject<CProbeService> outerService;
    HRESULT innerResult = S_OK;
    outerService.m_inside = [&] { innerResult = inner.Dispatch(); };
    inner.Register(u"inner", &innerService);
    outer.Register(u"outer", &outerService);
    ASSERT_EQ(outer.Dispatch(), S_OK);
    EXPECT_EQ(innerResult, HRESULT_FROM_WIN32(ERROR_SERVICE_ALREADY_RUNNING));
    EXPECT_EQ(innerService.m_runs, 0);
    // Afterwards a dispatcher may run again.
    EXPECT_EQ(inner.Dispatch(), S_OK);
    EXPECT_EQ(innerService.m_runs, 1);
}

TEST(ServiceUnits, UnitNamesOfServices)
{
    struct Case {
        std::u16string name;
        std::string unit;
    };
    const Case cases[] = {
        {u"kivdemo", "kivdemo.service"},
        {u"Kiv_Demo-2.a:b", "Kiv_Demo-2.a:b.service"},
        {std::u16string(247, u'a'), std::string(247, 'a') + ".service"},
        {std::u16string(248, u'a'), ""},
        {u"", ""},
        {u".", ""},
        {u"a/b", ""},
        {u"a\\b", ""},
        {u"日本語", ""},
        {u"a b", ""},
        {u"a\nb", ""},
        {u"a@b", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.unit);
        EXPECT_EQ(UnitNameOfService(c.name), c.unit);
    }
}

TEST(ServiceUnits, NotifyMessagesOfStatuses)
{
    struct Case {
        DWORD state;
        DWORD waitHint;
        bool allRunning;
        std::string message;
    };
    const Case cases[] = {
        {SERVICE_START_PENDING, 0, false, "STATUS=svc: starting"},
        {SERVICE_START_PENDING, 2500, false, "EXTEND_TIMEOUT_USEC=2500000\nSTATUS=svc: starting"},
        {SERVICE_RUNNING, 0, true, "READY=1\nSTATUS=svc: running"},
        // Another service of the process has not come up yet.
        {SERVICE_RUNNING, 0, false, "STATUS=svc: running"},
        {SERVICE_STOP_PENDING, 0, false, "STOPPING=1\nSTATUS=svc: stopping"},
        {SERVICE_STOPPED, 0, false, "STATUS=svc: stopped"},
        {SERVICE_PAUSED, 0, false, "STATUS=svc: paused"},
        {0, 0, false, ""},
        {42, 0, true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        SERVICE_STATUS status{};
        status.dwCurrentState = c.state;
        status.dwWaitHint = c.waitHint;
        EXPECT_EQ(NotifyMessageOfStatus(u"svc", status, c.allRunning), c.message);
    }
    // A name cannot add lines of its own to the message.
    SERVICE_STATUS running{};
    running.dwCurrentState = SERVICE_RUNNING;
    EXPECT_EQ(NotifyMessageOfStatus(u"svc\nREADY=1", running, false), "STATUS=svc?READY=1: running");
    EXPECT_EQ(NotifyMessageOfStatus(u"サービス", running, true), "READY=1\nSTATUS=サービス: running");
}

// A datagram socket bound in a temporary folder (or under an abstract name), as systemd's notify
// socket is.
class NotifySocket {
public:
    explicit NotifySocket(const std::string& address) : m_address(address)
    {
        m_fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un bound{};
        bound.sun_family = AF_UNIX;
        std::memcpy(bound.sun_path, address.data(), address.size());
        if (address[0] == '@') {
            bound.sun_path[0] = '\0';
        }
        m_bound = bind(m_fd, reinterpret_cast<const sockaddr*>(&bound),
                       static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + address.size())) == 0;
    }
    ~NotifySocket() { close(m_fd); }
    NotifySocket(const NotifySocket&) = delete;
    NotifySocket& operator=(const NotifySocket&) = delete;

    bool IsBound() const { return m_bound; }
    const std::string& Address() const { return m_address; }
    // The next datagram; nothing when none came within the guard time.
    std::optional<std::string> Receive()
    {
        pollfd wait{m_fd, POLLIN, 0};
        if (poll(&wait, 1, GuardMilliseconds) <= 0) {
            return std::nullopt;
        }
        char buffer[4096];
        const ssize_t size = recv(m_fd, buffer, sizeof buffer, 0);
        return size < 0 ? std::nullopt : std::optional<std::string>(std::string(buffer, static_cast<std::size_t>(size)));
    }

private:
    std::string m_address;
    int m_fd = -1;
    bool m_bound = false;
};

// The service program, started with NOTIFY_SOCKET set and its output in a pipe.
class ServiceProgram {
public:
    ServiceProgram(const std::string& notifyAddress, const char* mode)
    {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) {
            return;
        }
        const std::string program = (std::filesystem::read_symlink("/proc/self/exe").parent_path() /
                                     "KivServiceTestProgram").string();
        std::vector<std::string> environment{"NOTIFY_SOCKET=" + notifyAddress};
        for (char** variable = environ; *variable != nullptr; ++variable) {
            if (std::strncmp(*variable, "NOTIFY_SOCKET=", 14) != 0) {
                environment.emplace_back(*variable);
            }
        }
        std::vector<char*> envp;
        for (std::string& variable : environment) {
            envp.push_back(variable.data());
        }
        envp.push_back(nullptr);
        std::string programArgument = program;
        std::string modeArgument = mode;
        char* argv[] = {programArgument.data(), modeArgument.data(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        if (posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv, envp.data()) != 0) {
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        m_output = fds[0];
    }
    ~ServiceProgram()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        close(m_output);
    }
    ServiceProgram(const ServiceProgram&) = delete;
    ServiceProgram& operator=(const ServiceProgram&) = delete;

    bool IsRunning() const { return m_pid > 0; }
    void Signal(int signal) const { kill(m_pid, signal); }
    // The next line the program wrote; empty when none came within the guard time.
    std::string ReadLine()
    {
        std::string line;
        char c = 0;
        pollfd wait{m_output, POLLIN, 0};
        while (poll(&wait, 1, GuardMilliseconds) > 0 && read(m_output, &c, 1) == 1 && c != '\n') {
            line += c;
        }
        return line;
    }
    // The exit status; -1 when the program did not end normally.
    int Wait()
    {
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t m_pid = -1;
    int m_output = -1;
};

TEST(ServiceProgramWithSignals, ControlsArriveOnTheDispatcherThreadAndStatusReachesTheNotifySocket)
{
    struct Case {
        const char* what;
        int stopSignal;
        bool abstractAddress;
    };
    const Case cases[] = {
        {"SIGTERM", SIGTERM, false},
        {"SIGINT", SIGINT, false},
        {"SIGTERM, abstract socket", SIGTERM, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const KivTest::TempDir folder;
        NotifySocket notify(c.abstractAddress ? "@kiv-notify-" + folder.Path().filename().string()
                                              : (folder.Path() / "notify").string());
        ASSERT_TRUE(notify.IsBound());
        ServiceProgram program(notify.Address(), "one");
        ASSERT_TRUE(program.IsRunning());

        EXPECT_EQ(notify.Receive(), "STATUS=KivTestService: starting");
        EXPECT_EQ(notify.Receive(), "READY=1\nSTATUS=KivTestService: running");
        EXPECT_EQ(program.ReadLine(), "run KivTestService");

        program.Signal(SIGHUP);
        EXPECT_EQ(program.ReadLine(), "control 6 KivTestService dispatcher");
        program.Signal(c.stopSignal);
        EXPECT_EQ(program.ReadLine(), "control 1 KivTestService dispatcher");
        EXPECT_EQ(notify.Receive(), "STOPPING=1\nSTATUS=KivTestService: stopping");
        EXPECT_EQ(program.ReadLine(), "dispatch 0x00000000");
        EXPECT_EQ(program.Wait(), 0);
    }
}

TEST(ServiceProgramWithSignals, TwoServicesAreReadyWhenBothRunAndBothStop)
{
    const KivTest::TempDir folder;
    NotifySocket notify((folder.Path() / "notify").string());
    ASSERT_TRUE(notify.IsBound());
    ServiceProgram program(notify.Address(), "two");
    ASSERT_TRUE(program.IsRunning());

    std::vector<std::string> messages;
    for (int i = 0; i < 4; ++i) {
        messages.push_back(notify.Receive().value_or("(nothing)"));
    }
    // The threads start in any order, but only the last of them to run makes the process ready.
    int running = 0;
    for (const std::string& message : messages) {
        if (message.find(": running") != std::string::npos) {
            ++running;
            EXPECT_EQ(message.starts_with("READY=1\n"), running == 2) << message;
        }
    }
    EXPECT_EQ(running, 2);

    std::vector<std::string> lines{program.ReadLine(), program.ReadLine()};
    std::sort(lines.begin(), lines.end());
    EXPECT_THAT(lines, ElementsAre("run KivTestServiceA", "run KivTestServiceB"));
    program.Signal(SIGTERM);
    lines = {program.ReadLine(), program.ReadLine()};
    EXPECT_THAT(lines, ElementsAre("control 1 KivTestServiceA dispatcher", "control 1 KivTestServiceB dispatcher"));
    EXPECT_EQ(program.ReadLine(), "dispatch 0x00000000");
    EXPECT_EQ(program.Wait(), 0);
    for (int i = 0; i < 2; ++i) {
        EXPECT_THAT(notify.Receive().value_or(""), HasSubstr("STOPPING=1\n"));
    }
}

} // namespace
