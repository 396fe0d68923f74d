// Registry access: open keys (IRegKey), named values of a key with a typed cache (IRegValue),
// enumerators of a key's sub-keys and values, and the registry utility (Kiv::GetRegistryUtil)
// that opens keys and makes free values. Values are strings (REG_SZ), binary data (REG_BINARY,
// in an IKivMemory buffer) or 32-bit numbers (REG_DWORD). Names and paths are UTF-16; a path's
// components are separated by "\".
//
// Failures of the store become E_FAIL (open, create, delete, read) or S_FALSE (write); running out
// of memory gives E_OUTOFMEMORY. Releasing the last reference to a key does not close its handle:
// callers Close the keys they open, including those from OpenSubKey, CreateSubKey, OpenKey and
// the enumerators.
//
// Thread-safety: reference counts are atomic; each object is used by one thread at a time. The
// store itself may be shared by threads and processes (KivPlatform/Registry.h).
#pragma once

#include "KivCommon/KivCommonExport.h"
#include "KivCommon/KivMemory.h"

#include "KivPlatform/Bstr.h"
#include "KivPlatform/Registry.h"
#include "KivPlatform/Status.h"
#include "KivPlatform/Unknown.h"

namespace Kiv {

struct IRegValue;
struct IEnumRegKey;
struct IEnumRegValue;

struct IRegKey : IUnknown {
    KIV_INTERFACE_ID("B78F46FD-F3B9-4115-8FF8-C761275A088A");
    // Closes, then opens path below parent with the access mask: S_OK or E_FAIL.
    virtual HRESULT Open(HKEY parent, LPCWSTR path, REGSAM access) = 0;
    virtual HRESULT Close() = 0;
    // A new open key for the sub-key name, with this key's mask: S_OK, E_FAIL when it cannot be
    // opened, E_INVALIDARG for a null out pointer or a closed key.
    virtual HRESULT OpenSubKey(LPCWSTR name, IRegKey** key) = 0;
    // Creates the sub-key when missing and opens it as OpenSubKey does; E_FAIL for a null out
    // pointer or a closed key.
    virtual HRESULT CreateSubKey(LPCWSTR name, IRegKey** key, DWORD options) = 0;
    virtual HRESULT DeleteSubKey(LPCWSTR name) = 0;
    virtual HRESULT DeleteValue(LPCWSTR name) = 0;
    // A new value object bound to this key and name; nothing is read yet.
    virtual HRESULT GetValue(LPCWSTR name, IRegValue** value) = 0;
    // Binds value to this key and name and writes what it holds (its Write result).
    virtual HRESULT SetValue(LPCWSTR name, IRegValue* value) = 0;
    virtual HRESULT EnumKeys(IEnumRegKey** enumerator) = 0;
    virtual HRESULT EnumValues(IEnumRegValue** enumerator) = 0;
    // The platform handle (not duplicated), null when closed.
    virtual HKEY GetHandle() = 0;
    virtual REGSAM GetAccess() = 0;
    // The path the key was opened with (relative to its parent); empty when closed.
    virtual HRESULT GetName(BSTR* name) = 0;
};

struct IRegValue : IUnknown {
    KIV_INTERFACE_ID("9A901708-7752-44E9-8C39-65EBA59B32E8");
    // Binds to a key and a name; the cache is kept.
    virtual HRESULT Bind(IRegKey* key, LPCWSTR name) = 0;
    virtual HRESULT Unbind() = 0;
    // The cached type: 0 (nothing known), REG_SZ, REG_BINARY or REG_DWORD.
    virtual HRESULT GetType(DWORD* type) = 0;
    // Each setter caches the value and writes it: S_OK, S_FALSE when the store refused it,
    // E_FAIL when the value is not bound (the cache is still set).
    virtual HRESULT SetBinary(IKivMemory* data) = 0;
    virtual HRESULT SetString(LPCWSTR text) = 0;
    virtual HRESULT SetDWord(DWORD number) = 0;
    // Each getter reads the store when bound (E_FAIL when the value is missing), else the
    // cache. A value of another type gives S_OK with 0 or null for numbers and strings, E_FAIL
    // for binary data.
    virtual HRESULT GetBinary(IKivMemory* data) = 0;
    virtual HRESULT GetString(BSTR* text) = 0;
    virtual HRESULT GetDWord(DWORD* number) = 0;
    // Writes the cache: S_OK, S_FALSE when the store refused, E_FAIL when not bound.
    virtual HRESULT Write() = 0;
    // A copy of the name; S_OK without a copy for a null out pointer or no name.
    virtual HRESULT GetName(BSTR* name) = 0;
};

// Enumerators: Next delivers up to count items (one reference each for the caller) and says how
// many through fetched (optional): S_OK when all were delivered, S_FALSE when the entries ran out.
struct IEnumRegKey : IUnknown {
    KIV_INTERFACE_ID("CAD41B21-0E8E-4B60-9631-FD9E7C894677");
    virtual HRESULT Clone(IEnumRegKey** enumerator) = 0;
    virtual HRESULT Next(ULONG count, IRegKey** keys, ULONG* fetched) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Skip(ULONG count) = 0;
};

struct IEnumRegValue : IUnknown {
    KIV_INTERFACE_ID("A905163E-CF54-4DC9-903A-8FAF57ADAE71");
    virtual HRESULT Clone(IEnumRegValue** enumerator) = 0;
    virtual HRESULT Next(ULONG count, IRegValue** values, ULONG* fetched) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Skip(ULONG count) = 0;
};

// Opens keys and makes free values; each result is a new object with count 0 (the receiver takes
// the first reference), null when memory runs out.
class IRegistryUtil {
public:
    // The key comes back whether or not it opened: GetHandle is null when it did not.
    virtual IRegKey* OpenKey(HKEY parent, LPCWSTR path, REGSAM access) = 0;
    // An unbound value.
    virtual IRegValue* CreateValue() = 0;

protected:
    ~IRegistryUtil() = default;
};

KIVCOMMON_API IRegistryUtil* GetRegistryUtil();

} // namespace Kiv
