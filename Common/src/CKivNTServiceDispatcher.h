// The service dispatcher: the process's registry of service objects by name, and Dispatch, which
// runs them. Register belongs to the time before Dispatch; one Dispatch runs at a time in the
// process.
#pragma once

#include "KivCommon/KivNTService.h"

#include <map>
#include <string>

namespace Kiv {

class CKivNTServiceDispatcher : public IKivNTServiceDispatcher {
public:
    HRESULT Register(LPCWSTR name, IKivNTService* service) override;
    HRESULT Dispatch() override;

    virtual HRESULT FindInterface(REFIID riid, void** ppv);

private:
    // Ordered by code unit, case-sensitive; the services are not counted.
    std::map<std::u16string, IKivNTService*> m_services;
};

} // namespace Kiv
