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

// The whole of a FindInterface: a null out pointer gives E_INVALIDARG; otherwise *ppv is cleared
// and riid looked up in the map, in order. On the first match the part is stored in *ppv, a
// reference is taken through it and S_OK returned; otherwise E_NOINTERFACE. A class that extends
// another implementation class asks the base's FindInterface first and this only if that fails.
inline HRESULT FindInterfaceInMap(std::initializer_list<InterfaceMapEntry> map, REFIID riid, void** ppv)
{
    if (ppv == nullptr) {
        return E_INVALIDARG;
    }
    *ppv = nullptr;
    for (const InterfaceMapEntry& entry : map) {
        if (entry.iid == riid) {
            *ppv = entry.part;
            entry.part->AddRef();
            return S_OK;
        }
    }
    return E_NOINTERFACE;
}

} // namespace Kiv
