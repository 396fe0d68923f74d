// The registry objects: keys (CKivRegKey), values with their cache (CKivRegValue), the two
// enumerators and the registry utility. Not thread-safe: each object belongs to one thread at a
// time; counts are atomic.
#pragma once

#include "KivCommon/KivRegistry.h"

#include "KivObject/ComBSTR.h"
#include "KivObject/ComPtr.h"

#include "KivPlatform/Variant.h"

namespace Kiv {

class CKivRegKey : public IRegKey {
public:
    CKivRegKey() = default;
    virtual ~CKivRegKey() = default;
    CKivRegKey(const CKivRegKey&) = delete;
    CKivRegKey& operator=(const CKivRegKey&) = delete;

    HRESULT Open(HKEY parent, LPCWSTR path, REGSAM access) override;
    HRESULT Close() override;
    HRESULT OpenSubKey(LPCWSTR name, IRegKey** key) override;
    HRESULT CreateSubKey(LPCWSTR name, IRegKey** key, DWORD options) override;
    HRESULT DeleteSubKey(LPCWSTR name) override;
    HRESULT DeleteValue(LPCWSTR name) override;
    HRESULT GetValue(LPCWSTR name, IRegValue** value) override;
    HRESULT SetValue(LPCWSTR name, IRegValue* value) override;
    HRESULT EnumKeys(IEnumRegKey** enumerator) override;
    HRESULT EnumValues(IEnumRegValue** enumerator) override;
    HKEY GetHandle() override { return m_handle; }
    REGSAM GetAccess() override { return m_access; }
    HRESULT GetName(BSTR* name) override;

    virtual HRESULT FindInterface(REFIID riid, void** ppv);

private:
    HKEY m_handle = nullptr;
    REGSAM m_access = 0;
    CComBSTR m_name;
};

class CKivRegValue : public IRegValue {
public:
    CKivRegValue();
    virtual ~CKivRegValue();
    CKivRegValue(const CKivRegValue&) = delete;
    CKivRegValue& operator=(const CKivRegValue&) = delete;

    HRESULT Bind(IRegKey* key, LPCWSTR name) override;
    HRESULT Unbind() override;
    HRESULT GetType(DWORD* type) override;
    HRESULT SetBinary(IKivMemory* data) override;
    HRESULT SetString(LPCWSTR text) override;
    HRESULT SetDWord(DWORD number) override;
    HRESULT GetBinary(IKivMemory* data) override;
    HRESULT GetString(BSTR* text) override;
    HRESULT GetDWord(DWORD* number) override;
    HRESULT Write() override;
    HRESULT GetName(BSTR* name) override;

    virtual HRESULT FindInterface(REFIID riid, void** ppv);

private:
    // The value's own buffer, made on first use; null when memory runs out.
    IKivMemory* Binary();
    // Reads the type and size of the stored value; a platform error number.
    LONG QueryType(DWORD* type, DWORD* size);

    CComPtr<IRegKey> m_key;
    DWORD m_type = REG_NONE;
    CComBSTR m_name;
    // VT_BSTR for a string, VT_UI4 for a number, VT_EMPTY otherwise.
    VARIANT m_value;
    CComPtr<IKivMemory> m_binary;
};

// The enumerators share their walk; Traits says what an entry becomes (a key opened under the
// enumerated key, or a value bound to it).
template <class Traits>
class CKivRegEnum : public Traits::Interface {
public:
    using Interface = typename Traits::Interface;
    using Item = typename Traits::Item;

    CKivRegEnum(IRegKey* key, DWORD index) : m_key(key), m_index(index) {}

    HRESULT Clone(Interface** enumerator) override;
    HRESULT Next(ULONG count, Item** items, ULONG* fetched) override;
    HRESULT Reset() override;
    HRESULT Skip(ULONG count) override;

    virtual HRESULT FindInterface(REFIID riid, void** ppv);

private:
    CComPtr<IRegKey> m_key;
    DWORD m_index;
};

struct RegKeyEnumTraits {
    using Interface = IEnumRegKey;
    using Item = IRegKey;
    // The entry at index of key as a new item: S_OK, S_FALSE when there is none (the end, or a
    // name too long for the walk), E_OUTOFMEMORY.
    static HRESULT Fetch(IRegKey* key, DWORD index, CComPtr<IRegKey>& item);
};

struct RegValueEnumTraits {
    using Interface = IEnumRegValue;
    using Item = IRegValue;
    static HRESULT Fetch(IRegKey* key, DWORD index, CComPtr<IRegValue>& item);
};

using CKivEnumRegKey = CKivRegEnum<RegKeyEnumTraits>;
using CKivEnumRegValue = CKivRegEnum<RegValueEnumTraits>;

class CRegistryUtil : public IRegistryUtil {
public:
    IRegKey* OpenKey(HKEY parent, LPCWSTR path, REGSAM access) override;
    IRegValue* CreateValue() override;
};

} // namespace Kiv
