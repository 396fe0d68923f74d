// The interface-map lookup that every implementation class's FindInterface uses, so that each
// class only lists its identifiers and parts. Stateless and thread-safe.
#pragma once

#include "KivPlatform/Status.h"
#include "KivPlatform/Unknown.h"

#include <initializer_list>

namespace Kiv {

// One row of an interface map: an identifier and the part of the object that answers it.
struct InterfaceMapEntry {
    const IID& iid;
    IUnknown* part;
};

// Looks riid up in the map, in order. On the first match stores the part in *ppv, takes a
// reference through it and returns S_OK; otherwise leaves *ppv as it is and returns
// E_NOINTERFACE. The caller has checked ppv and cleared *ppv (and asked its base class first).
inline HRESULT FindInterfaceInMap(std::initializer_list<InterfaceMapEntry> map, REFIID riid, void** ppv)
{
    for (const InterfaceMapEntry& entry : map) {
        if (entry.iid == riid) {
            *ppv = entry.part;
            entry.part->AddRef();
            return S_OK;
        }
    }
    return E_NOINTERFACE;
}

// The opening steps of every FindInterface: a null out pointer is an invalid argument, and the
// out pointer is cleared before anything is looked up.
inline HRESULT BeginFindInterface(void** ppv)
{
    if (ppv == nullptr) {
        return E_INVALIDARG;
    }
    *ppv = nullptr;
    return S_OK;
}

} // namespace Kiv
