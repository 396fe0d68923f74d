// IUnknown, the base of every counted interface, and the convention that each interface
// carries its identifier as the static member Iid. Header-only, no state.
#pragma once

#include "KivPlatform/Guid.h"
#include "KivPlatform/Status.h"

// Declares the identifier of the interface whose body it stands in.
#define KIV_INTERFACE_ID(text) static constexpr IID Iid = ::Kiv::Platform::MakeGuid(text)

struct IUnknown {
    KIV_INTERFACE_ID("00000000-0000-0000-C000-000000000046");

    virtual HRESULT QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

namespace Kiv::Platform {
template <class Interface>
constexpr REFIID IidOf(Interface**)
{
    return Interface::Iid;
}
template <class Interface>
void** PpvOf(Interface** pp)
{
    return reinterpret_cast<void**>(pp);
}
} // namespace Kiv::Platform

// The identifier and the out pointer of a typed interface pointer, as QueryInterface takes them.
#define IID_PPV_ARGS(pp) ::Kiv::Platform::IidOf(pp), ::Kiv::Platform::PpvOf(pp)
