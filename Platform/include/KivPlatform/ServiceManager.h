// The service manager of this platform: systemd's manager object on D-Bus, and the folder of unit
// files it reads. Root talks to the system manager (units in /etc/systemd/system), anyone else to
// the user's manager (units in $XDG_CONFIG_HOME/systemd/user). KIV_SERVICE_BUS_ADDRESS names
// another bus and KIV_SERVICE_UNIT_DIR another folder.
//
// Every call returns 0 or a platform error number: RPC_S_SERVER_UNAVAILABLE (1722) when no manager
// can be reached, ERROR_SERVICE_REQUEST_TIMEOUT (1053) when it does not answer in time,
// ERROR_SERVICE_DOES_NOT_EXIST (1060) for an unknown unit, ERROR_ACCESS_DENIED (5) when the
// manager refuses, ERROR_SERVICE_DISABLED (1058) for a masked unit.
//
// Thread-safety: a connection belongs to one thread at a time.
#pragma once

#include "KivPlatform/Types.h"

#include <string>

struct sd_bus;

namespace Kiv::Platform {

// What the manager says of a unit.
struct ServiceUnitState {
    std::string loadState;   // "loaded", "not-found", "masked", ...
    std::string activeState; // "active", "activating", "deactivating", "inactive", "failed", ...
    DWORD mainPid = 0;
    LONG execMainStatus = 0; // the exit status of the last main process
};

class ServiceManagerConnection {
public:
    ServiceManagerConnection() = default;
    ServiceManagerConnection(const ServiceManagerConnection&) = delete;
    ServiceManagerConnection& operator=(const ServiceManagerConnection&) = delete;
    ~ServiceManagerConnection();

    // Connects to the manager's bus; each later call waits for its answer at most a few seconds.
    DWORD Connect();
    // Makes the manager read the unit files again.
    DWORD Reload();
    DWORD QueryUnit(const std::string& unit, ServiceUnitState& state);
    DWORD StartUnit(const std::string& unit);
    DWORD StopUnit(const std::string& unit);
    // Sends SIGHUP to the unit's main process: the parameter-change control.
    DWORD SendParamChange(const std::string& unit);
    // Links the unit into the target that starts with the system (or the user's session).
    DWORD EnableUnitFile(const std::string& unit);
    DWORD DisableUnitFile(const std::string& unit);

private:
    ::sd_bus* m_bus = nullptr;
};

// The folder for unit files this system installs (UTF-8 path, no trailing "/").
std::string ServiceUnitFolder();
// The target an automatically started unit is wanted by.
std::string ServiceStartTarget();
// Creates the file with content, never replacing one: 0, ERROR_ALREADY_EXISTS, or the error.
// The content appears whole or not at all.
DWORD CreateNewTextFile(const std::string& path, const std::string& content);
bool TextFileExists(const std::string& path);
// 0 or the error (ERROR_FILE_NOT_FOUND when there is none).
DWORD DeleteTextFile(const std::string& path);
// Waits the interval between two status queries of a service that is being stopped.
void SleepMilliseconds(DWORD milliseconds);

} // namespace Kiv::Platform
