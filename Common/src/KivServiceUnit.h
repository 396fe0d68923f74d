// The translation between services and systemd units: service names to unit names, the
// installation record to a unit file, a unit's state to a service status, and a service status to
// the notify message that reports it. Pure functions, thread-safe.
#pragma once

#include "KivCommon/KivNTService.h"

#include "KivPlatform/ServiceManager.h"

#include <string>
#include <string_view>

namespace Kiv {

// "<name>.service" for a service name of letters, digits and ":_.-" that fits a unit name; an
// empty string for any other name (including names with "/" or "\").
std::string UnitNameOfService(std::u16string_view name);

// The unit file for the record; wantedBy is the target an automatic start links the unit to. S_OK,
// or HRESULT_FROM_WIN32 of ERROR_INVALID_NAME (service or dependency name),
// ERROR_INVALID_PARAMETER (no program, a type or start type this platform has no counterpart for,
// a control character in a text) or ERROR_INVALID_SERVICE_ACCOUNT (a start name that is no user
// name). text is written only on success.
HRESULT BuildUnitFile(const KivNTServiceInstallInfo& info, std::string_view wantedBy, std::string& text);

// The status of a unit as a service status. S_OK, or HRESULT_FROM_WIN32(ERROR_INVALID_DATA) for an
// active state this system does not know; status is written only on success.
HRESULT StatusOfUnit(const Platform::ServiceUnitState& unit, SERVICE_STATUS_PROCESS& status);

// The notify message for a service's status: READY=1 with the running state, STOPPING=1 with stop
// pending, and a STATUS= line naming the service and its state; an extension of the start or stop
// timeout for a pending state with a wait hint. Empty for a state that does not exist.
// allRunning says whether every service of the process is running (only then is it ready).
std::string NotifyMessageOfStatus(std::u16string_view serviceName, const SERVICE_STATUS& status, bool allRunning);

} // namespace Kiv
