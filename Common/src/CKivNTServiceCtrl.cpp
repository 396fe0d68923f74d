#include "CKivNTServiceCtrl.h"

#include "CKivNTServiceDispatcher.h"
#include "KivServiceUnit.h"

#include "KivObject/ComPtr.h"
#include "KivObject/InterfaceMap.h"
#include "KivObject/KivObject.h"

#include "KivPlatform/Boundary.h"
#include "KivPlatform/FileSystem.h"
#include "KivPlatform/ServiceManager.h"
#include "KivPlatform/Text.h"

namespace Kiv {

namespace {

// Stopping before removal: rounds of asking, status queries per round, and the pause between
// queries or while a stop is pending.
constexpr int StopRounds = 10;
constexpr int QueryAttempts = 5;
constexpr DWORD StopPollMilliseconds = 1000;

HRESULT FromError(DWORD error)
{
    return HRESULT_FROM_WIN32(static_cast<LONG>(error));
}

// The unit of a named service and a connection to the manager, for the operations below.
struct ManagedUnit {
    std::string unit;
    Platform::ServiceManagerConnection manager;

    HRESULT Open(LPCWSTR serviceName)
    {
        unit = UnitNameOfService(serviceName);
        if (unit.empty()) {
            return HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
        }
        return FromError(manager.Connect());
    }

    // The unit's service status.
    HRESULT Query(SERVICE_STATUS_PROCESS& status, Platform::ServiceUnitState* state = nullptr)
    {
        Platform::ServiceUnitState read;
        if (const DWORD error = manager.QueryUnit(unit, read); error != 0) {
            return FromError(error);
        }
        const HRESULT hr = StatusOfUnit(read, status);
        if (SUCCEEDED(hr) && state != nullptr) {
            *state = std::move(read);
        }
        return hr;
    }

    std::string FilePath() const { return Platform::ServiceUnitFolder() + "/" + unit; }
};

// The current state for the rounds of Remove: a few attempts a second apart; false when none
// succeeded.
bool QueryForRemoval(ManagedUnit& managed, DWORD& state)
{
    for (int attempt = 0; attempt < QueryAttempts; ++attempt) {
        if (attempt != 0) {
            Platform::SleepMilliseconds(StopPollMilliseconds);
        }
        SERVICE_STATUS_PROCESS status{};
        const HRESULT hr = managed.Query(status);
        if (hr == HRESULT_FROM_WIN32(ERROR_SERVICE_DOES_NOT_EXIST)) {
            // Not loaded by the manager, so not running either.
            state = SERVICE_STOPPED;
            return true;
        }
        if (SUCCEEDED(hr)) {
            state = status.dwCurrentState;
            return true;
        }
    }
    return false;
}

// Asks the service to stop until it is reported stopped, for at most StopRounds rounds. Removal
// goes on whatever comes of it.
void StopForRemoval(ManagedUnit& managed)
{
    for (int round = 0; round < StopRounds; ++round) {
        DWORD state = 0;
        if (!QueryForRemoval(managed, state) || state == SERVICE_STOPPED) {
            return;
        }
        if (state == SERVICE_STOP_PENDING) {
            Platform::SleepMilliseconds(StopPollMilliseconds);
        } else {
            managed.manager.StopUnit(managed.unit);
        }
    }
}

} // namespace

HRESULT CKivNTServiceCtrl::Install(const KivNTServiceInstallInfo* info)
{
    if (info == nullptr) {
        return E_POINTER;
    }
    return Platform::StatusFromExceptions([&]() -> HRESULT {
        std::string text;
        if (const HRESULT hr = BuildUnitFile(*info, Platform::ServiceStartTarget(), text); FAILED(hr)) {
            return hr;
        }
        ManagedUnit managed;
        if (const HRESULT hr = managed.Open(info->serviceName); FAILED(hr)) {
            return hr;
        }
        // A unit the manager knows already, wherever its file is, is an existing service.
        Platform::ServiceUnitState existing;
        const DWORD queried = managed.manager.QueryUnit(managed.unit, existing);
        if (queried == 0) {
            return HRESULT_FROM_WIN32(ERROR_SERVICE_EXISTS);
        }
        if (queried != ERROR_SERVICE_DOES_NOT_EXIST) {
            return FromError(queried);
        }
        Platform::CreateDirectories(Platform::BytesToUtf16Path(Platform::ServiceUnitFolder()));
        const std::string path = managed.FilePath();
        if (const DWORD error = Platform::CreateNewTextFile(path, text); error != 0) {
            return error == ERROR_ALREADY_EXISTS ? HRESULT_FROM_WIN32(ERROR_SERVICE_EXISTS) : FromError(error);
        }
        DWORD error = managed.manager.Reload();
        if (error == 0 && info->startType == SERVICE_AUTO_START) {
            error = managed.manager.EnableUnitFile(managed.unit);
        }
        if (error != 0) {
            // Nothing half-installed stays behind.
            Platform::DeleteTextFile(path);
            managed.manager.Reload();
            return FromError(error);
        }
        if (info->tagId != nullptr) {
            // Tags belong to driver groups, which services here are not part of.
            *info->tagId = 0;
        }
        return S_OK;
    });
}

HRESULT CKivNTServiceCtrl::Remove(LPCWSTR name)
{
    if (name == nullptr) {
        return E_POINTER;
    }
    return Platform::StatusFromExceptions([&]() -> HRESULT {
        ManagedUnit managed;
        if (const HRESULT hr = managed.Open(name); FAILED(hr)) {
            return hr;
        }
        const std::string path = managed.FilePath();
        if (!Platform::TextFileExists(path)) {
            // Only units installed here are removed: a unit from elsewhere is neither stopped nor
            // deleted.
            Platform::ServiceUnitState state;
            const DWORD error = managed.manager.QueryUnit(managed.unit, state);
            return error != 0 ? FromError(error) : E_ACCESSDENIED;
        }
        StopForRemoval(managed);
        // An automatic start's link goes with the unit; a unit never enabled has none to lose.
        managed.manager.DisableUnitFile(managed.unit);
        if (const DWORD error = Platform::DeleteTextFile(path); error != 0) {
            return FromError(error);
        }
        return FromError(managed.manager.Reload());
    });
}

HRESULT CKivNTServiceCtrl::Start(LPCWSTR name, DWORD argc, LPCWSTR* argv)
{
    if (name == nullptr || (argc != 0 && argv == nullptr)) {
        return E_INVALIDARG;
    }
    return Platform::StatusFromExceptions([&]() -> HRESULT {
        ManagedUnit managed;
        if (const HRESULT hr = managed.Open(name); FAILED(hr)) {
            return hr;
        }
        SERVICE_STATUS_PROCESS status{};
        Platform::ServiceUnitState state;
        if (const HRESULT hr = managed.Query(status, &state); FAILED(hr)) {
            return hr;
        }
        if (state.loadState == "masked") {
            return HRESULT_FROM_WIN32(ERROR_SERVICE_DISABLED);
        }
        if (status.dwCurrentState != SERVICE_STOPPED) {
            return HRESULT_FROM_WIN32(ERROR_SERVICE_ALREADY_RUNNING);
        }
        return FromError(managed.manager.StartUnit(managed.unit));
    });
}

HRESULT CKivNTServiceCtrl::Control(LPCWSTR name, DWORD control, SERVICE_STATUS* status)
{
    if (name == nullptr || status == nullptr) {
        return E_INVALIDARG;
    }
    return Platform::StatusFromExceptions([&]() -> HRESULT {
        ManagedUnit managed;
        if (const HRESULT hr = managed.Open(name); FAILED(hr)) {
            return hr;
        }
        SERVICE_STATUS_PROCESS before{};
        if (const HRESULT hr = managed.Query(before); FAILED(hr)) {
            return hr;
        }
        if (control != SERVICE_CONTROL_STOP && control != SERVICE_CONTROL_INTERROGATE &&
            control != SERVICE_CONTROL_PARAMCHANGE) {
            return HRESULT_FROM_WIN32(ERROR_INVALID_SERVICE_CONTROL);
        }
        if (before.dwCurrentState == SERVICE_STOPPED) {
            return HRESULT_FROM_WIN32(ERROR_SERVICE_NOT_ACTIVE);
        }
        DWORD error = 0;
        if (control == SERVICE_CONTROL_STOP) {
            error = managed.manager.StopUnit(managed.unit);
        } else if (control == SERVICE_CONTROL_PARAMCHANGE) {
            error = managed.manager.SendParamChange(managed.unit);
        }
        if (error != 0) {
            return FromError(error);
        }
        SERVICE_STATUS_PROCESS after{};
        if (const HRESULT hr = managed.Query(after); FAILED(hr)) {
            return hr;
        }
        *status = SERVICE_STATUS{after.dwServiceType,   after.dwCurrentState,           after.dwControlsAccepted,
                                 after.dwWin32ExitCode, after.dwServiceSpecificExitCode, after.dwCheckPoint,
                                 after.dwWaitHint};
        return S_OK;
    });
}

HRESULT CKivNTServiceCtrl::QueryStatus(LPCWSTR name, SERVICE_STATUS_PROCESS* status)
{
    if (name == nullptr || status == nullptr) {
        return E_INVALIDARG;
    }
    return Platform::StatusFromExceptions([&]() -> HRESULT {
        ManagedUnit managed;
        if (const HRESULT hr = managed.Open(name); FAILED(hr)) {
            return hr;
        }
        SERVICE_STATUS_PROCESS read{};
        if (const HRESULT hr = managed.Query(read); FAILED(hr)) {
            return hr;
        }
        *status = read;
        return S_OK;
    });
}

HRESULT CKivNTServiceCtrl::FindInterface(REFIID riid, void** ppv)
{
    return FindInterfaceInMap({{IUnknown::Iid, this}, {IKivNTServiceCtrl::Iid, this}}, riid, ppv);
}

IKivNTServiceCtrl* CNTServiceUtil::CreateServiceCtrl()
{
    return CKivObject<CKivNTServiceCtrl>::CreateObject();
}

IKivNTServiceDispatcher* CNTServiceUtil::GetDispatcher()
{
    // Made once and held for the life of the process.
    static const CComPtr<IKivNTServiceDispatcher> dispatcher(CKivObject<CKivNTServiceDispatcher>::CreateObject());
    return dispatcher.Get();
}

INTServiceUtil* GetNTServiceUtil()
{
    static CNTServiceUtil util;
    return &util;
}

} // namespace Kiv
