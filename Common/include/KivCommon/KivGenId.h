// Process-wide unique identifiers for strings. Every IKivGenId of a process shares one table: the
// first time a string is presented it gets the next number, from 0x80000000 up, and later
// requests for the same string (compared exactly, case-sensitive) get the same number. Numbers
// are never reused; when they run out (past 0xFFFFFFFF) a new string is refused with
// E_OUTOFMEMORY. Kiv::GetKivGenIdUtil hands out IKivGenId objects.
//
// Thread-safety: the table has a lock of its own; any number of threads may ask at once, and
// numbers are given without gaps in the order the lock admits the callers.
#pragma once

#include "KivCommon/KivCommonExport.h"

#include "KivPlatform/Status.h"
#include "KivPlatform/Unknown.h"
#include "KivPlatform/Variant.h"

namespace Kiv {

// The first identifier of a process.
inline constexpr DWORD KivGenIdFirst = 0x80000000u;

struct IKivGenId : IUnknown {
    KIV_INTERFACE_ID("F8FB4879-7FAE-4434-A5F5-21EBD9EE2122");
    // Null arguments: E_POINTER.
    virtual HRESULT GetId(const OLECHAR* text, DWORD* id) = 0;
    // A new BSTR with the string of the identifier; an empty one for an unknown identifier.
    virtual HRESULT GetIdString(DWORD id, BSTR* text) = 0;
    // Every known string, in no particular order, as a SAFEARRAY of BSTR (lower bound 0) in a
    // VARIANT of type VT_ARRAY | VT_BSTR. The caller clears the VARIANT.
    virtual HRESULT GetAllIds(VARIANT* ids) = 0;
};

// Hands out identifier objects: a new one with count 0, or null when memory runs out.
class IKivGenIdUtil {
public:
    virtual IKivGenId* CreateGenId() = 0;

protected:
    ~IKivGenIdUtil() = default;
};

KIVCOMMON_API IKivGenIdUtil* GetKivGenIdUtil();

} // namespace Kiv
