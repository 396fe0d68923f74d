#include "KivServiceUnit.h"

#include "KivPlatform/Text.h"

#include <array>

namespace Kiv {

namespace {

constexpr std::string_view UnitSuffix = ".service";
// systemd's limit on a unit name, suffix included.
constexpr std::size_t MaxUnitNameLength = 255;
// Dependencies that name a load order group start with this; groups have no counterpart.
constexpr char16_t GroupIdentifier = u'+';
constexpr std::size_t MaxUserNameLength = 32;
constexpr DWORD MicrosecondsPerMillisecond = 1000;

bool IsUnitNameCharacter(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u':' ||
           c == u'_' || c == u'.' || c == u'-';
}

bool IsControlCharacter(char16_t c)
{
    return c < u' ' || c == u'\x7F';
}

// A text that cannot stand in a unit file line: a control character would end the line early and
// let the rest pose as settings of its own, and a backslash at the end would join the next line
// (a User= setting, say) to it.
bool IsUnsafeValue(std::u16string_view text)
{
    for (char16_t c : text) {
        if (IsControlCharacter(c)) {
            return true;
        }
    }
    return !text.empty() && text.back() == u'\\';
}

// A text for a unit file: systemd expands "%" specifiers in every value.
std::string UnitValue(std::u16string_view text)
{
    std::string value;
    for (char c : Platform::Utf16ToUtf8(text)) {
        value += c;
        if (c == '%') {
            value += '%';
        }
    }
    return value;
}

// A command line for ExecStart: "$" would expand environment variables as well.
std::string CommandLineValue(std::u16string_view text)
{
    std::string value;
    for (char c : UnitValue(text)) {
        value += c;
        if (c == '$') {
            value += '$';
        }
    }
    return value;
}

bool IsLocalSystem(std::u16string_view account)
{
    return account.empty() || account == u"LocalSystem" || account == u".\\LocalSystem";
}

bool IsUserName(std::u16string_view name)
{
    if (name.empty() || name.size() > MaxUserNameLength || name.front() == u'-') {
        return false;
    }
    for (char16_t c : name) {
        const bool allowed = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
                             c == u'_' || c == u'-' || c == u'.';
        if (!allowed) {
            return false;
        }
    }
    return true;
}

std::u16string_view OrEmpty(LPCWSTR text)
{
    return text != nullptr ? std::u16string_view(text) : std::u16string_view();
}

} // namespace

std::string UnitNameOfService(std::u16string_view name)
{
    if (name.empty() || name.size() + UnitSuffix.size() > MaxUnitNameLength || name == u"." || name == u"..") {
        return {};
    }
    std::string unit;
    for (char16_t c : name) {
        if (!IsUnitNameCharacter(c)) {
            return {};
        }
        unit += static_cast<char>(c);
    }
    return unit += UnitSuffix;
}

HRESULT BuildUnitFile(const KivNTServiceInstallInfo& info, std::string_view wantedBy, std::string& text)
{
    const std::u16string_view serviceName = OrEmpty(info.serviceName);
    if (UnitNameOfService(serviceName).empty()) {
        return HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
    }
    const DWORD processType = info.serviceType & ~SERVICE_INTERACTIVE_PROCESS;
    if (processType != SERVICE_WIN32_OWN_PROCESS && processType != SERVICE_WIN32_SHARE_PROCESS) {
        return HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER);
    }
    if (info.startType != SERVICE_AUTO_START && info.startType != SERVICE_DEMAND_START &&
        info.startType != SERVICE_DISABLED) {
        return HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER);
    }
    const std::u16string_view binaryPath = OrEmpty(info.binaryPathName);
    const std::u16string_view displayName = OrEmpty(info.displayName);
    const std::u16string_view account = OrEmpty(info.serviceStartName);
    if (binaryPath.empty() || IsUnsafeValue(binaryPath) || IsUnsafeValue(displayName) || IsUnsafeValue(account)) {
        return HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER);
    }
    if (!IsLocalSystem(account) && !IsUserName(account)) {
        return HRESULT_FROM_WIN32(ERROR_INVALID_SERVICE_ACCOUNT);
    }

    std::string dependencies;
    if (info.dependencies != nullptr) {
        for (LPCWSTR entry = info.dependencies; *entry != u'\0';) {
            const std::u16string_view name(entry);
            entry += name.size() + 1;
            if (name.front() == GroupIdentifier) {
                continue;
            }
            const std::string unit = UnitNameOfService(name);
            if (unit.empty()) {
                return HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
            }
            dependencies += dependencies.empty() ? "" : " ";
            dependencies += unit;
        }
    }

    std::string unit = "# Installed by KivCommon's service control.\n[Unit]\nDescription=";
    unit += UnitValue(displayName.empty() ? serviceName : displayName);
    unit += '\n';
    if (!dependencies.empty()) {
        unit += "After=" + dependencies + "\nRequires=" + dependencies + '\n';
    }
    // The dispatcher reports readiness and stopping through the notify socket.
    unit += "\n[Service]\nType=notify\nNotifyAccess=main\nExecStart=";
    unit += CommandLineValue(binaryPath);
    unit += '\n';
    if (!IsLocalSystem(account)) {
        unit += "User=" + UnitValue(account) + '\n';
    }
    if (info.startType == SERVICE_AUTO_START) {
        unit += "\n[Install]\nWantedBy=";
        unit += wantedBy;
        unit += '\n';
    }
    text = std::move(unit);
    return S_OK;
}

HRESULT StatusOfUnit(const Platform::ServiceUnitState& unit, SERVICE_STATUS_PROCESS& status)
{
    struct StateRow {
        std::string_view activeState;
        DWORD state;
    };
    static constexpr std::array<StateRow, 8> States = {{
        {"active", SERVICE_RUNNING},
        {"reloading", SERVICE_RUNNING},
        {"refreshing", SERVICE_RUNNING},
        {"activating", SERVICE_START_PENDING},
        {"deactivating", SERVICE_STOP_PENDING},
        {"inactive", SERVICE_STOPPED},
        {"failed", SERVICE_STOPPED},
        {"maintenance", SERVICE_STOPPED},
    }};
    const StateRow* row = nullptr;
    for (const StateRow& candidate : States) {
        if (candidate.activeState == unit.activeState) {
            row = &candidate;
        }
    }
    if (row == nullptr) {
        return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    }
    SERVICE_STATUS_PROCESS result{};
    result.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    result.dwCurrentState = row->state;
    if (row->state == SERVICE_RUNNING) {
        result.dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PARAMCHANGE;
    }
    if (unit.activeState == "failed") {
        // The program's own exit status, as a service-specific error.
        result.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
        result.dwServiceSpecificExitCode = static_cast<DWORD>(unit.execMainStatus);
    }
    result.dwProcessId = row->state == SERVICE_STOPPED ? 0 : unit.mainPid;
    status = result;
    return S_OK;
}

std::string NotifyMessageOfStatus(std::u16string_view serviceName, const SERVICE_STATUS& status, bool allRunning)
{
    struct StateRow {
        DWORD state;
        std::string_view line; // a whole line of its own, or empty
        std::string_view word;
    };
    static constexpr std::array<StateRow, 7> States = {{
        {SERVICE_STOPPED, "", "stopped"},
        {SERVICE_START_PENDING, "", "starting"},
        {SERVICE_STOP_PENDING, "STOPPING=1\n", "stopping"},
        {SERVICE_RUNNING, "READY=1\n", "running"},
        {SERVICE_CONTINUE_PENDING, "", "continuing"},
        {SERVICE_PAUSE_PENDING, "", "pausing"},
        {SERVICE_PAUSED, "", "paused"},
    }};
    const StateRow* row = nullptr;
    for (const StateRow& candidate : States) {
        if (candidate.state == status.dwCurrentState) {
            row = &candidate;
        }
    }
    if (row == nullptr) {
        return {};
    }
    std::string message;
    if (status.dwCurrentState != SERVICE_RUNNING || allRunning) {
        message += row->line;
    }
    const bool pending = status.dwCurrentState == SERVICE_START_PENDING || status.dwCurrentState == SERVICE_STOP_PENDING;
    if (pending && status.dwWaitHint != 0) {
        message += "EXTEND_TIMEOUT_USEC=" + std::to_string(ULONGLONG{status.dwWaitHint} * MicrosecondsPerMillisecond) + '\n';
    }
    // Control characters in the name would start lines of their own.
    std::u16string name(serviceName);
    for (char16_t& c : name) {
        if (IsControlCharacter(c)) {
            c = u'?';
        }
    }
    message += "STATUS=" + Platform::Utf16ToUtf8(name) + ": ";
    message += row->word;
    return message;
}

} // namespace Kiv
