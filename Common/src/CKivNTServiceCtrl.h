// The service control object (installs, removes, starts, controls and queries services as systemd
// units) and the service utility. A control object opens its own connection to the manager for
// each operation and closes it before returning; use one object from one thread at a time.
#pragma once

#include "KivCommon/KivNTService.h"

namespace Kiv {

class CKivNTServiceCtrl : public IKivNTServiceCtrl {
public:
    HRESULT Install(const KivNTServiceInstallInfo* info) override;
    HRESULT Remove(LPCWSTR name) override;
    HRESULT Start(LPCWSTR name, DWORD argc, LPCWSTR* argv) override;
    HRESULT Control(LPCWSTR name, DWORD control, SERVICE_STATUS* status) override;
    HRESULT QueryStatus(LPCWSTR name, SERVICE_STATUS_PROCESS* status) override;

    virtual HRESULT FindInterface(REFIID riid, void** ppv);
};

class CNTServiceUtil : public INTServiceUtil {
public:
    IKivNTServiceCtrl* CreateServiceCtrl() override;
    IKivNTServiceDispatcher* GetDispatcher() override;
};

} // namespace Kiv
