// Service support: the base class a program derives its service objects from (CKivNTService),
// the dispatcher that runs the registered services in this process (IKivNTServiceDispatcher),
// the control object that installs, removes, starts, controls and queries services
// (IKivNTServiceCtrl), and the utility that hands both out (Kiv::GetNTServiceUtil).
//
// On this platform services are systemd units. The dispatcher turns the signals SIGTERM and SIGINT
// into SERVICE_CONTROL_STOP and SIGHUP into SERVICE_CONTROL_PARAMCHANGE, calls the service's
// Handler for them on the dispatcher's thread while Run runs on a thread of its own, and reports
// status to systemd through the notify socket ($NOTIFY_SOCKET) when there is one. The control
// object writes unit files and talks to systemd's manager over D-Bus; KIV_SERVICE_UNIT_DIR and
// KIV_SERVICE_BUS_ADDRESS point it at another unit folder and bus.
//
// Thread-safety: CKivNTService takes no lock; a derived class guards state that Run shares with
// its control operations. The dispatcher's registry is filled before Dispatch and only read while
// it runs. A control object may be used from one thread at a time; separate objects are
// independent.
#pragma once

#include "KivCommon/KivCommonExport.h"

#include "KivPlatform/Status.h"
#include "KivPlatform/Unknown.h"

namespace Kiv {

// Service states.
inline constexpr DWORD SERVICE_STOPPED = 1;
inline constexpr DWORD SERVICE_START_PENDING = 2;
inline constexpr DWORD SERVICE_STOP_PENDING = 3;
inline constexpr DWORD SERVICE_RUNNING = 4;
inline constexpr DWORD SERVICE_CONTINUE_PENDING = 5;
inline constexpr DWORD SERVICE_PAUSE_PENDING = 6;
inline constexpr DWORD SERVICE_PAUSED = 7;

// Control codes.
inline constexpr DWORD SERVICE_CONTROL_STOP = 1;
inline constexpr DWORD SERVICE_CONTROL_PAUSE = 2;
inline constexpr DWORD SERVICE_CONTROL_CONTINUE = 3;
inline constexpr DWORD SERVICE_CONTROL_INTERROGATE = 4;
inline constexpr DWORD SERVICE_CONTROL_SHUTDOWN = 5;
inline constexpr DWORD SERVICE_CONTROL_PARAMCHANGE = 6;

// Controls a service accepts (dwControlsAccepted).
inline constexpr DWORD SERVICE_ACCEPT_STOP = 0x1;
inline constexpr DWORD SERVICE_ACCEPT_PAUSE_CONTINUE = 0x2;
inline constexpr DWORD SERVICE_ACCEPT_SHUTDOWN = 0x4;
inline constexpr DWORD SERVICE_ACCEPT_PARAMCHANGE = 0x8;

// Service types; a service on this platform is a process of its own.
inline constexpr DWORD SERVICE_KERNEL_DRIVER = 0x1;
inline constexpr DWORD SERVICE_FILE_SYSTEM_DRIVER = 0x2;
inline constexpr DWORD SERVICE_WIN32_OWN_PROCESS = 0x10;
inline constexpr DWORD SERVICE_WIN32_SHARE_PROCESS = 0x20;
inline constexpr DWORD SERVICE_INTERACTIVE_PROCESS = 0x100;

// Start types: an automatic service is enabled (started with the system), the others are not.
inline constexpr DWORD SERVICE_BOOT_START = 0;
inline constexpr DWORD SERVICE_SYSTEM_START = 1;
inline constexpr DWORD SERVICE_AUTO_START = 2;
inline constexpr DWORD SERVICE_DEMAND_START = 3;
inline constexpr DWORD SERVICE_DISABLED = 4;

inline constexpr DWORD SERVICE_ERROR_NORMAL = 1;

// Access rights of the installation record (kept for the record's shape; systemd decides access).
inline constexpr DWORD SERVICE_ALL_ACCESS = 0xF01FF;
inline constexpr DWORD SERVICE_START = 0x10;

// Platform errors the service operations report (as HRESULT_FROM_WIN32 of them).
inline constexpr DWORD ERROR_CALL_NOT_IMPLEMENTED = 120;
inline constexpr DWORD ERROR_INVALID_NAME = 123;
inline constexpr DWORD ERROR_INVALID_DATA = 13;
inline constexpr DWORD ERROR_INVALID_SERVICE_CONTROL = 1052;
inline constexpr DWORD ERROR_SERVICE_REQUEST_TIMEOUT = 1053;
inline constexpr DWORD ERROR_SERVICE_ALREADY_RUNNING = 1056;
inline constexpr DWORD ERROR_INVALID_SERVICE_ACCOUNT = 1057;
inline constexpr DWORD ERROR_SERVICE_DISABLED = 1058;
inline constexpr DWORD ERROR_SERVICE_DOES_NOT_EXIST = 1060;
inline constexpr DWORD ERROR_SERVICE_NOT_ACTIVE = 1062;
inline constexpr DWORD ERROR_SERVICE_SPECIFIC_ERROR = 1066;
inline constexpr DWORD ERROR_SERVICE_EXISTS = 1073;
// The service manager cannot be reached (no systemd, or no bus at the configured address).
inline constexpr DWORD RPC_S_SERVER_UNAVAILABLE = 1722;

struct SERVICE_STATUS {
    DWORD dwServiceType;
    DWORD dwCurrentState;
    DWORD dwControlsAccepted;
    DWORD dwWin32ExitCode;
    DWORD dwServiceSpecificExitCode;
    DWORD dwCheckPoint;
    DWORD dwWaitHint;
};

struct SERVICE_STATUS_PROCESS {
    DWORD dwServiceType;
    DWORD dwCurrentState;
    DWORD dwControlsAccepted;
    DWORD dwWin32ExitCode;
    DWORD dwServiceSpecificExitCode;
    DWORD dwCheckPoint;
    DWORD dwWaitHint;
    DWORD dwProcessId;
    DWORD dwServiceFlags;
};
static_assert(sizeof(SERVICE_STATUS_PROCESS) == 36);

// Where a running service reports its status. The dispatcher makes one per service and hands it to
// Init; it stays valid until the service's Exit has returned.
class KivServiceStatusTarget {
public:
    // Passes the status on; FALSE when it could not be delivered.
    virtual BOOL SetStatus(const SERVICE_STATUS& status) = 0;

protected:
    ~KivServiceStatusTarget() = default;
};

using SERVICE_STATUS_HANDLE = KivServiceStatusTarget*;

inline BOOL SetServiceStatus(SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS* status)
{
    if (handle == nullptr || status == nullptr) {
        return FALSE;
    }
    return handle->SetStatus(*status);
}

// The installation record: the twelve parameters of a service's creation, in this order. Texts
// are borrowed; dependencies is a list of names, each ended by a NUL, the list ended by another.
// The binary path is the service's command line (a program path, optionally quoted, and its
// arguments). A service start name other than null or "LocalSystem" becomes the unit's user; the
// password, the load order group and the error control have no counterpart and are not used.
struct KivNTServiceInstallInfo {
    LPCWSTR serviceName;
    LPCWSTR displayName;
    DWORD desiredAccess;
    DWORD serviceType;
    DWORD startType;
    DWORD errorControl;
    LPCWSTR binaryPathName;
    LPCWSTR loadOrderGroup;
    DWORD* tagId;
    LPCWSTR dependencies;
    LPCWSTR serviceStartName;
    LPCWSTR password;
};

struct IKivNTService : IUnknown {
    KIV_INTERFACE_ID("4DB39B43-9749-4DB3-B179-B66C3ECCA931");
    virtual HRESULT Init(SERVICE_STATUS_HANDLE statusHandle) = 0;
    // The service's work; returns when the service ends.
    virtual HRESULT Run() = 0;
    virtual HRESULT Exit() = 0;
    // A control for the service; the result goes back to the dispatcher.
    virtual DWORD Handler(DWORD control, DWORD eventType, void* eventData) = 0;
};

// The base of a program's service object. The program makes it counted (for example with
// CKivObject) and supplies FindInterface; a derived class does its work in Run, fills its status
// in FillStatus and answers the controls it accepts.
class CKivNTService : public IKivNTService {
public:
    CKivNTService() = default;
    CKivNTService(const CKivNTService&) = delete;
    CKivNTService& operator=(const CKivNTService&) = delete;

    HRESULT Init(SERVICE_STATUS_HANDLE statusHandle) override
    {
        m_statusHandle = statusHandle;
        return ReportState(SERVICE_START_PENDING);
    }
    HRESULT Run() override { return ReportState(SERVICE_RUNNING); }
    HRESULT Exit() override { return ReportState(SERVICE_STOP_PENDING); }
    DWORD Handler(DWORD control, DWORD /*eventType*/, void* /*eventData*/) override
    {
        switch (control) {
        case SERVICE_CONTROL_STOP:
            return OnStop();
        case SERVICE_CONTROL_PAUSE:
            return OnPause();
        case SERVICE_CONTROL_CONTINUE:
            return OnContinue();
        case SERVICE_CONTROL_INTERROGATE:
            return OnInterrogate();
        case SERVICE_CONTROL_SHUTDOWN:
            return OnShutdown();
        default:
            return 0;
        }
    }

    // Fills the fields of status other than the state: service type, accepted controls, exit
    // codes, check point and wait hint. The base class leaves them as they are.
    virtual DWORD FillStatus(SERVICE_STATUS* /*status*/) { return 0; }
    virtual DWORD OnStop() { return ERROR_CALL_NOT_IMPLEMENTED; }
    virtual DWORD OnPause() { return ERROR_CALL_NOT_IMPLEMENTED; }
    virtual DWORD OnContinue() { return ERROR_CALL_NOT_IMPLEMENTED; }
    virtual DWORD OnInterrogate()
    {
        FillStatus(&m_status);
        SetServiceStatus(m_statusHandle, &m_status);
        return 0;
    }
    virtual DWORD OnShutdown() { return ERROR_CALL_NOT_IMPLEMENTED; }

protected:
    ~CKivNTService() = default;

    // Sets the state, lets the derived class fill the rest and reports the whole status.
    HRESULT ReportState(DWORD state)
    {
        m_status.dwCurrentState = state;
        FillStatus(&m_status);
        SetServiceStatus(m_statusHandle, &m_status);
        return S_OK;
    }

    SERVICE_STATUS_HANDLE m_statusHandle = nullptr;
    SERVICE_STATUS m_status{};
};

struct IKivNTServiceDispatcher : IUnknown {
    KIV_INTERFACE_ID("EE25EF3C-744C-43C8-83FA-3D79668D4BCC");
    // Registers service under name (replacing an earlier entry of that name). The service is not
    // counted: the program keeps it alive while the dispatcher runs. E_INVALIDARG for a null
    // argument.
    virtual HRESULT Register(LPCWSTR name, IKivNTService* service) = 0;
    // Runs every registered service, each on its own thread, hands the controls that arrive as
    // signals to their Handler on the calling thread, and returns when all have ended. S_OK;
    // HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER) with nothing registered,
    // HRESULT_FROM_WIN32(ERROR_SERVICE_ALREADY_RUNNING) while another Dispatch runs.
    virtual HRESULT Dispatch() = 0;
};

struct IKivNTServiceCtrl : IUnknown {
    KIV_INTERFACE_ID("F7F9F2B5-7135-4D95-BFCB-C23133BDAC3E");
    // Writes the service's unit file and makes systemd load it (and enable it for an automatic
    // start). E_POINTER for a null record.
    virtual HRESULT Install(const KivNTServiceInstallInfo* info) = 0;
    // Stops the service (up to ten rounds of asking) and deletes its unit file. E_POINTER for a
    // null name.
    virtual HRESULT Remove(LPCWSTR name) = 0;
    // E_INVALIDARG for a null name or a count without an array. Units take their command line from
    // the unit file, so arguments are not passed on.
    virtual HRESULT Start(LPCWSTR name, DWORD argc, LPCWSTR* argv) = 0;
    // Sends a control (stop, interrogate, parameter change) and gives the status afterwards.
    virtual HRESULT Control(LPCWSTR name, DWORD control, SERVICE_STATUS* status) = 0;
    virtual HRESULT QueryStatus(LPCWSTR name, SERVICE_STATUS_PROCESS* status) = 0;
};

class INTServiceUtil {
public:
    // A new control object with count 0, or null when memory runs out.
    virtual IKivNTServiceCtrl* CreateServiceCtrl() = 0;
    // The process's one dispatcher, held by the utility; no reference is added.
    virtual IKivNTServiceDispatcher* GetDispatcher() = 0;

protected:
    ~INTServiceUtil() = default;
};

KIVCOMMON_API INTServiceUtil* GetNTServiceUtil();

} // namespace Kiv
