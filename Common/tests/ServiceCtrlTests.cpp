// The service control object against a private bus with a stand-in manager (the calls it makes and
// how it maps unit states), against no manager at all, and with names and arguments it must refuse.
#include "FakeServiceManager.h"

#include "KivCommon/KivNTService.h"

#include "KivObject/ComPtr.h"

#include "KivTestSupport/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using namespace Kiv;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using KivTest::FakeServiceManager;
using KivTest::FakeUnit;
using KivTest::StopBehaviour;

constexpr const char* Unit = "kivdemo.service";

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Points the control object at a bus address and a unit folder for one test.
class ServiceEnvironment {
public:
    ServiceEnvironment(const std::string& busAddress, const std::filesystem::path& unitFolder)
    {
        setenv("KIV_SERVICE_BUS_ADDRESS", busAddress.c_str(), 1);
        setenv("KIV_SERVICE_UNIT_DIR", unitFolder.c_str(), 1);
    }
    ~ServiceEnvironment()
    {
        unsetenv("KIV_SERVICE_BUS_ADDRESS");
        unsetenv("KIV_SERVICE_UNIT_DIR");
    }
    ServiceEnvironment(const ServiceEnvironment&) = delete;
    ServiceEnvironment& operator=(const ServiceEnvironment&) = delete;
};

KivNTServiceInstallInfo DemoRecord(DWORD startType, DWORD* tagId = nullptr)
{
    return KivNTServiceInstallInfo{u"kivdemo", u"Kiv demo 100%", SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                   startType, SERVICE_ERROR_NORMAL, u"/opt/kiv/bin/kivdemo --port $PORT",
                                   nullptr, tagId, u"kivbase\0+SomeGroup\0", nullptr, nullptr};
}

class ServiceCtrlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(m_bus.Address().empty()) << "dbus-daemon did not start";
        m_manager = std::make_unique<FakeServiceManager>(m_bus.Address(), m_units.Path());
        ASSERT_TRUE(m_manager->IsServing());
        m_ctrl = GetNTServiceUtil()->CreateServiceCtrl();
        ASSERT_TRUE(m_ctrl);
    }

    std::filesystem::path UnitFile() const { return m_units.Path() / Unit; }
    // A unit installed by an earlier Install (its file is in the folder), in the given state.
    void Installed(const std::string& activeState, StopBehaviour stop = StopBehaviour::Stops)
    {
        m_units.WriteFile(Unit, "[Service]\nExecStart=/bin/true\n");
        FakeUnit unit;
        unit.activeState = activeState;
        unit.mainPid = activeState == "inactive" ? 0 : 77;
        unit.stop = stop;
        m_manager->SetUnit(Unit, unit);
    }

    KivTest::TempDir m_units;
    KivTest::PrivateBus m_bus;
    ServiceEnvironment m_environment{m_bus.Address(), m_units.Path()};
    std::unique_ptr<FakeServiceManager> m_manager;
    CComPtr<IKivNTServiceCtrl> m_ctrl;
};

TEST_F(ServiceCtrlTest, InstallOnDemandWritesTheUnitAndReloads)
{
    DWORD tag = 77;
    const KivNTServiceInstallInfo record = DemoRecord(SERVICE_DEMAND_START, &tag);
    ASSERT_EQ(m_ctrl->Install(&record), S_OK);
    EXPECT_EQ(tag, 0u);
    EXPECT_THAT(m_manager->TakeCalls(), ElementsAre("LoadUnit kivdemo.service", "Reload"));
    const std::string text = ReadFile(UnitFile());
    EXPECT_THAT(text, HasSubstr("\nDescription=Kiv demo 100%%\n"));
    EXPECT_THAT(text, HasSubstr("\nType=notify\n"));
    EXPECT_THAT(text, HasSubstr("\nExecStart=/opt/kiv/bin/kivdemo --port $$PORT\n"));
    // The group is left out, the service dependency becomes a unit dependency.
    EXPECT_THAT(text, HasSubstr("\nAfter=kivbase.service\nRequires=kivbase.service\n"));
    EXPECT_THAT(text, Not(HasSubstr("[Install]")));
    EXPECT_THAT(text, Not(HasSubstr("User=")));
}

TEST_F(ServiceCtrlTest, InstallAutomaticEnablesTheUnit)
{
    const KivNTServiceInstallInfo record = DemoRecord(SERVICE_AUTO_START);
    ASSERT_EQ(m_ctrl->Install(&record), S_OK);
    EXPECT_THAT(m_manager->TakeCalls(),
                ElementsAre("LoadUnit kivdemo.service", "Reload", "EnableUnitFiles kivdemo.service 0 0"));
    EXPECT_THAT(ReadFile(UnitFile()), HasSubstr("\n[Install]\nWantedBy="));
}

TEST_F(ServiceCtrlTest, InstallRefusesAnExistingService)
{
    const KivNTServiceInstallInfo record = DemoRecord(SERVICE_DEMAND_START);
    ASSERT_EQ(m_ctrl->Install(&record), S_OK);
    const std::string first = ReadFile(UnitFile());
    EXPECT_EQ(m_ctrl->Install(&record), HRESULT_FROM_WIN32(ERROR_SERVICE_EXISTS));
    EXPECT_EQ(ReadFile(UnitFile()), first);

    // Known to the manager from a unit file elsewhere: no file is written here.
    FakeUnit foreign;
    foreign.activeState = "active";
    m_manager->SetUnit("kivother.service", foreign);
    KivNTServiceInstallInfo other = record;
    other.serviceName = u"kivother";
    EXPECT_EQ(m_ctrl->Install(&other), HRESULT_FROM_WIN32(ERROR_SERVICE_EXISTS));
    EXPECT_FALSE(std::filesystem::exists(m_units.Path() / "kivother.service"));
}

TEST_F(ServiceCtrlTest, InstallThatTheManagerRefusesLeavesNoFile)
{
    struct Case {
        const char* method;
        DWORD startType;
    };
    for (const Case& c : {Case{"Reload", SERVICE_DEMAND_START}, Case{"EnableUnitFiles", SERVICE_AUTO_START}}) {
        SCOPED_TRACE(c.method);
        m_manager->FailCalls(c.method, "org.freedesktop.DBus.Error.AccessDenied");
        const KivNTServiceInstallInfo record = DemoRecord(c.startType);
        EXPECT_EQ(m_ctrl->Install(&record), E_ACCESSDENIED);
        EXPECT_FALSE(std::filesystem::exists(UnitFile()));
    }
}

TEST_F(ServiceCtrlTest, InstallRefusesRecordsWithoutACounterpart)
{
    struct Case {
        const char* what;
        KivNTServiceInstallInfo record;
        HRESULT expected;
    };
    const KivNTServiceInstallInfo good = DemoRecord(SERVICE_DEMAND_START);
    const auto with = [&good](auto change) {
        KivNTServiceInstallInfo record = good;
        change(record);
        return record;
    };
    const HRESULT invalidParameter = HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER);
    const Case cases[] = {
        {"driver", with([](auto& r) { r.serviceType = SERVICE_KERNEL_DRIVER; }), invalidParameter},
        {"boot start", with([](auto& r) { r.startType = SERVICE_BOOT_START; }), invalidParameter},
        {"no program", with([](auto& r) { r.binaryPathName = nullptr; }), invalidParameter},
        {"empty program", with([](auto& r) { r.binaryPathName = u""; }), invalidParameter},
        // A line break would let the rest pose as settings of their own.
        {"line break in program", with([](auto& r) { r.binaryPathName = u"/bin/true\nUser=root"; }), invalidParameter},
        {"line break in display name", with([](auto& r) { r.displayName = u"x\n[Service]"; }), invalidParameter},
        // A backslash at the end would join the next line (the user, say) to this one.
        {"backslash ending the program", with([](auto& r) { r.binaryPathName = u"/bin/true \\"; }), invalidParameter},
        {"backslash ending the display name", with([](auto& r) { r.displayName = u"x\\"; }), invalidParameter},
        {"account", with([](auto& r) { r.serviceStartName = u"DOMAIN\\user"; }),
         HRESULT_FROM_WIN32(ERROR_INVALID_SERVICE_ACCOUNT)},
        {"dependency", with([](auto& r) { r.dependencies = u"a/b\0"; }), HRESULT_FROM_WIN32(ERROR_INVALID_NAME)},
        {"no name", with([](auto& r) { r.serviceName = nullptr; }), HRESULT_FROM_WIN32(ERROR_INVALID_NAME)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(m_ctrl->Install(&c.record), c.expected);
    }
    EXPECT_THAT(m_manager->TakeCalls(), ::testing::IsEmpty());
    EXPECT_TRUE(std::filesystem::is_empty(m_units.Path()));

    const KivNTServiceInstallInfo user = with([](auto& r) { r.serviceStartName = u"kivuser"; });
    ASSERT_EQ(m_ctrl->Install(&user), S_OK);
    EXPECT_THAT(ReadFile(UnitFile()), HasSubstr("\nUser=kivuser\n"));
}

TEST_F(ServiceCtrlTest, QueryStatusMapsUnitStates)
{
    struct Case {
        const char* activeState;
        DWORD state;
        DWORD accepted;
        DWORD processId;
        DWORD exitCode;
        DWORD specificExitCode;
    };
    const Case cases[] = {
        {"active", SERVICE_RUNNING, SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PARAMCHANGE, 77, 0, 0},
        {"reloading", SERVICE_RUNNING, SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PARAMCHANGE, 77, 0, 0},
        {"activating", SERVICE_START_PENDING, 0, 77, 0, 0},
        {"deactivating", SERVICE_STOP_PENDING, 0, 77, 0, 0},
        {"inactive", SERVICE_STOPPED, 0, 0, 0, 0},
        {"failed", SERVICE_STOPPED, 0, 0, ERROR_SERVICE_SPECIFIC_ERROR, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.activeState);
        FakeUnit unit;
        unit.activeState = c.activeState;
        unit.mainPid = 77;
        unit.execMainStatus = 3;
        m_manager->SetUnit(Unit, unit);
        SERVICE_STATUS_PROCESS status{};
        ASSERT_EQ(m_ctrl->QueryStatus(u"kivdemo", &status), S_OK);
        EXPECT_EQ(status.dwServiceType, SERVICE_WIN32_OWN_PROCESS);
        EXPECT_EQ(status.dwCurrentState, c.state);
        EXPECT_EQ(status.dwControlsAccepted, c.accepted);
        EXPECT_EQ(status.dwProcessId, c.processId);
        EXPECT_EQ(status.dwWin32ExitCode, c.exitCode);
        EXPECT_EQ(status.dwServiceSpecificExitCode, c.specificExitCode);
    }

    // A state this system does not know, and a unit nobody has: a status, and the record untouched.
    FakeUnit strange;
    strange.activeState = "levitating";
    m_manager->SetUnit(Unit, strange);
    SERVICE_STATUS_PROCESS untouched{};
    untouched.dwCurrentState = 99;
    EXPECT_EQ(m_ctrl->QueryStatus(u"kivdemo", &untouched), HRESULT_FROM_WIN32(ERROR_INVALID_DATA));
    EXPECT_EQ(m_ctrl->QueryStatus(u"kivnobody", &untouched), HRESULT_FROM_WIN32(ERROR_SERVICE_DOES_NOT_EXIST));
    EXPECT_EQ(untouched.dwCurrentState, 99u);
}

TEST_F(ServiceCtrlTest, StartStartsAStoppedUnitOnly)
{
    Installed("inactive");
    ASSERT_EQ(m_ctrl->Start(u"kivdemo", 0, nullptr), S_OK);
    EXPECT_THAT(m_manager->TakeCalls(), ElementsAre("LoadUnit kivdemo.service", "StartUnit kivdemo.service replace"));
    EXPECT_EQ(m_manager->GetUnit(Unit).activeState, "active");

    EXPECT_EQ(m_ctrl->Start(u"kivdemo", 0, nullptr), HRESULT_FROM_WIN32(ERROR_SERVICE_ALREADY_RUNNING));
    FakeUnit masked;
    masked.loadState = "masked";
    m_manager->SetUnit(Unit, masked);
    EXPECT_EQ(m_ctrl->Start(u"kivdemo", 0, nullptr), HRESULT_FROM_WIN32(ERROR_SERVICE_DISABLED));
    EXPECT_EQ(m_ctrl->Start(u"kivnobody", 0, nullptr), HRESULT_FROM_WIN32(ERROR_SERVICE_DOES_NOT_EXIST));
    EXPECT_THAT(m_manager->TakeCalls(), Not(::testing::Contains(HasSubstr("StartUnit"))));

    // Arguments are checked before the manager is asked anything.
    EXPECT_EQ(m_ctrl->Start(u"kivdemo", 2, nullptr), E_INVALIDARG);
    EXPECT_THAT(m_manager->TakeCalls(), ::testing::IsEmpty());
}

TEST_F(ServiceCtrlTest, ControlSendsTheControlAndGivesTheNewStatus)
{
    struct Case {
        DWORD control;
        const char* call; // the manager call besides the status queries, or null
        DWORD stateAfter;
    };
    const Case cases[] = {
        {SERVICE_CONTROL_STOP, "StopUnit kivdemo.service replace", SERVICE_STOPPED},
        {SERVICE_CONTROL_PARAMCHANGE, "KillUnit kivdemo.service main 1", SERVICE_RUNNING},
        {SERVICE_CONTROL_INTERROGATE, nullptr, SERVICE_RUNNING},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.control);
        Installed("active");
        m_manager->TakeCalls();
        SERVICE_STATUS status{};
        ASSERT_EQ(m_ctrl->Control(u"kivdemo", c.control, &status), S_OK);
        EXPECT_EQ(status.dwCurrentState, c.stateAfter);
        std::vector<std::string> expected{"LoadUnit kivdemo.service"};
        if (c.call != nullptr) {
            expected.emplace_back(c.call);
        }
        expected.emplace_back("LoadUnit kivdemo.service");
        EXPECT_EQ(m_manager->TakeCalls(), expected);
        std::filesystem::remove(UnitFile());
    }
}

TEST_F(ServiceCtrlTest, ControlRefusesWhatTheServiceCannotTake)
{
    Installed("active");
    SERVICE_STATUS status{};
    status.dwCurrentState = 99;
    for (DWORD control : {SERVICE_CONTROL_PAUSE, SERVICE_CONTROL_CONTINUE, SERVICE_CONTROL_SHUTDOWN, DWORD{200}}) {
        SCOPED_TRACE(control);
        EXPECT_EQ(m_ctrl->Control(u"kivdemo", control, &status), HRESULT_FROM_WIN32(ERROR_INVALID_SERVICE_CONTROL));
    }
    FakeUnit stopped;
    m_manager->SetUnit(Unit, stopped);
    EXPECT_EQ(m_ctrl->Control(u"kivdemo", SERVICE_CONTROL_STOP, &status), HRESULT_FROM_WIN32(ERROR_SERVICE_NOT_ACTIVE));
    EXPECT_EQ(status.dwCurrentState, 99u);
    EXPECT_THAT(m_manager->TakeCalls(), ::testing::Each(HasSubstr("LoadUnit")));
}

TEST_F(ServiceCtrlTest, RemoveOfAStoppedServiceDeletesAfterOneQuery)
{
    Installed("inactive");
    ASSERT_EQ(m_ctrl->Remove(u"kivdemo"), S_OK);
    EXPECT_THAT(m_manager->TakeCalls(),
                ElementsAre("LoadUnit kivdemo.service", "DisableUnitFiles kivdemo.service 0", "Reload"));
    EXPECT_FALSE(std::filesystem::exists(UnitFile()));
    EXPECT_EQ(m_manager->GetUnit(Unit).loadState, "not-found");
}

TEST_F(ServiceCtrlTest, RemoveStopsARunningServiceFirst)
{
    Installed("active", StopBehaviour::StopsSlowly);
    ASSERT_EQ(m_ctrl->Remove(u"kivdemo"), S_OK);
    // Stop, then a look while the stop is pending (and a wait), then stopped.
    EXPECT_THAT(m_manager->TakeCalls(),
                ElementsAre("LoadUnit kivdemo.service", "StopUnit kivdemo.service replace", "LoadUnit kivdemo.service",
                            "LoadUnit kivdemo.service", "DisableUnitFiles kivdemo.service 0", "Reload"));
    EXPECT_FALSE(std::filesystem::exists(UnitFile()));
}

TEST_F(ServiceCtrlTest, RemoveGivesUpAfterTenRoundsAndStillDeletes)
{
    Installed("active", StopBehaviour::IgnoresStop);
    ASSERT_EQ(m_ctrl->Remove(u"kivdemo"), S_OK);
    const std::vector<std::string> calls = m_manager->TakeCalls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "StopUnit kivdemo.service replace"), 10);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "LoadUnit kivdemo.service"), 10);
    EXPECT_FALSE(std::filesystem::exists(UnitFile()));
}

TEST_F(ServiceCtrlTest, RemoveLeavesUnitsItDidNotInstall)
{
    FakeUnit foreign;
    foreign.activeState = "active";
    m_manager->SetUnit("kivforeign.service", foreign);
    EXPECT_EQ(m_ctrl->Remove(u"kivforeign"), E_ACCESSDENIED);
    EXPECT_EQ(m_ctrl->Remove(u"kivnobody"), HRESULT_FROM_WIN32(ERROR_SERVICE_DOES_NOT_EXIST));
    EXPECT_THAT(m_manager->TakeCalls(), ElementsAre("LoadUnit kivforeign.service", "LoadUnit kivnobody.service"));
    EXPECT_EQ(m_manager->GetUnit("kivforeign.service").activeState, "active");
}

TEST_F(ServiceCtrlTest, ManagerErrorsBecomeStatuses)
{
    struct Case {
        const char* errorName;
        HRESULT expected;
    };
    const Case cases[] = {
        {"org.freedesktop.DBus.Error.AccessDenied", E_ACCESSDENIED},
        {"org.freedesktop.systemd1.NoSuchUnit", HRESULT_FROM_WIN32(ERROR_SERVICE_DOES_NOT_EXIST)},
        {"org.freedesktop.systemd1.UnitMasked", HRESULT_FROM_WIN32(ERROR_SERVICE_DISABLED)},
        {"org.freedesktop.DBus.Error.Timeout", HRESULT_FROM_WIN32(ERROR_SERVICE_REQUEST_TIMEOUT)},
    };
    Installed("active");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.errorName);
        m_manager->FailCalls("", c.errorName);
        SERVICE_STATUS_PROCESS status{};
        EXPECT_EQ(m_ctrl->QueryStatus(u"kivdemo", &status), c.expected);
        SERVICE_STATUS control{};
        EXPECT_EQ(m_ctrl->Control(u"kivdemo", SERVICE_CONTROL_STOP, &control), c.expected);
        EXPECT_EQ(m_ctrl->Start(u"kivdemo", 0, nullptr), c.expected);
    }
}

// Every operation with each argument it must refuse, before any manager is asked: the bus address
// points nowhere, so a status other than the expected one would show a connection attempt.
TEST(ServiceCtrlArguments, RefusedBeforeTheManagerIsAsked)
{
    const KivTest::TempDir units;
    const ServiceEnvironment environment("unix:path=/nonexistent/kiv-bus", units.Path());
    const CComPtr<IKivNTServiceCtrl> ctrl(GetNTServiceUtil()->CreateServiceCtrl());
    ASSERT_TRUE(ctrl);
    SERVICE_STATUS status{};
    SERVICE_STATUS_PROCESS processStatus{};
    EXPECT_EQ(ctrl->Install(nullptr), E_POINTER);
    EXPECT_EQ(ctrl->Remove(nullptr), E_POINTER);
    EXPECT_EQ(ctrl->Start(nullptr, 0, nullptr), E_INVALIDARG);
    EXPECT_EQ(ctrl->Start(u"kivdemo", 2, nullptr), E_INVALIDARG);
    EXPECT_EQ(ctrl->Control(nullptr, SERVICE_CONTROL_STOP, &status), E_INVALIDARG);
    EXPECT_EQ(ctrl->Control(u"kivdemo", SERVICE_CONTROL_STOP, nullptr), E_INVALIDARG);
    EXPECT_EQ(ctrl->QueryStatus(nullptr, &processStatus), E_INVALIDARG);
    EXPECT_EQ(ctrl->QueryStatus(u"kivdemo", nullptr), E_INVALIDARG);

    const std::u16string longName(300, u'a');
    const std::u16string names[] = {u"", u"a/b", u"a\\b", u"..", u"サービス", u"two words", u"evil\nname", u"x@y", longName};
    for (const std::u16string& name : names) {
        SCOPED_TRACE(testing::PrintToString(name.size()));
        KivNTServiceInstallInfo record = DemoRecord(SERVICE_DEMAND_START);
        record.serviceName = name.c_str();
        const HRESULT invalidName = HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
        EXPECT_EQ(ctrl->Install(&record), invalidName);
        EXPECT_EQ(ctrl->Remove(name.c_str()), invalidName);
        EXPECT_EQ(ctrl->Start(name.c_str(), 0, nullptr), invalidName);
        EXPECT_EQ(ctrl->Control(name.c_str(), SERVICE_CONTROL_STOP, &status), invalidName);
        EXPECT_EQ(ctrl->QueryStatus(name.c_str(), &processStatus), invalidName);
    }
    EXPECT_TRUE(std::filesystem::is_empty(units.Path()));
}

// Where no manager can be reached every operation says so, without waiting long.
TEST(ServiceCtrlWithoutSystemd, EveryOperationReportsTheManagerUnavailable)
{
    const KivTest::TempDir units;
    KivTest::PrivateBus busWithoutManager;
    ASSERT_FALSE(busWithoutManager.Address().empty());
    struct Case {
        const char* what;
        std::string address;
    };
    const Case cases[] = {
        {"no bus at the address", "unix:path=" + (units.Path() / "no-bus").string()},
        {"a bus without the manager", busWithoutManager.Address()},
    };
    const HRESULT unavailable = HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ServiceEnvironment environment(c.address, units.Path());
        const CComPtr<IKivNTServiceCtrl> ctrl(GetNTServiceUtil()->CreateServiceCtrl());
        ASSERT_TRUE(ctrl);
        const KivNTServiceInstallInfo record = DemoRecord(SERVICE_AUTO_START);
        SERVICE_STATUS status{};
        SERVICE_STATUS_PROCESS processStatus{};
        EXPECT_EQ(ctrl->Install(&record), unavailable);
        EXPECT_EQ(ctrl->Start(u"kivdemo", 0, nullptr), unavailable);
        EXPECT_EQ(ctrl->Control(u"kivdemo", SERVICE_CONTROL_STOP, &status), unavailable);
        EXPECT_EQ(ctrl->QueryStatus(u"kivdemo", &processStatus), unavailable);
        EXPECT_EQ(ctrl->Remove(u"kivdemo"), unavailable);
        EXPECT_FALSE(std::filesystem::exists(units.Path() / Unit));
    }
}

// A peer that accepts the connection and never answers: the operation ends with a timeout status
// instead of waiting for ever.
TEST(ServiceCtrlWithoutSystemd, ASilentPeerGivesATimeout)
{
    const KivTest::TempDir units;
    const std::filesystem::path socketPath = units.Path() / "silent";
    const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 4), 0);
    {
        const ServiceEnvironment environment("unix:path=" + socketPath.string(), units.Path());
        const CComPtr<IKivNTServiceCtrl> ctrl(GetNTServiceUtil()->CreateServiceCtrl());
        ASSERT_TRUE(ctrl);
        SERVICE_STATUS_PROCESS status{};
        EXPECT_EQ(ctrl->QueryStatus(u"kivdemo", &status), HRESULT_FROM_WIN32(ERROR_SERVICE_REQUEST_TIMEOUT));
    }
    close(listener);
}

} // namespace
