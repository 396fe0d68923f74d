#include "CKivRegistry.h"

#include "KivObject/InterfaceMap.h"
#include "KivObject/KivObject.h"

#include "KivPlatform/Boundary.h"

#include <cstring>
#include <limits>
#include <string_view>
#include <vector>

namespace Kiv {

namespace {

// The enumerators' name buffer, in characters.
constexpr DWORD EnumNameCapacity = 1024;

std::u16string_view View(LPCWSTR text)
{
    return text != nullptr ? std::u16string_view(text) : std::u16string_view();
}

// A copy of text as a BSTR owner; false when memory ran out.
bool CopyText(std::u16string_view text, CComBSTR& copy)
{
    CComBSTR made(text);
    if (made == nullptr) {
        return false;
    }
    copy.Swap(made);
    return true;
}

// Hands a copy of text to the caller: S_OK or E_OUTOFMEMORY.
HRESULT GiveCopy(std::u16string_view text, BSTR* out)
{
    CComBSTR copy;
    if (!CopyText(text, copy)) {
        return E_OUTOFMEMORY;
    }
    *out = copy.Detach();
    return S_OK;
}

// A new counted object of class T held by the caller's pointer; false when memory ran out.
template <class T, class Interface, class... Args>
bool Make(CComPtr<Interface>& object, Args&&... args)
{
    object = CKivObject<T>::CreateObject(std::forward<Args>(args)...);
    return static_cast<bool>(object);
}

} // namespace

// Keys.

HRESULT CKivRegKey::Open(HKEY parent, LPCWSTR path, REGSAM access)
{
    Close();
    CComBSTR name;
    if (!CopyText(View(path), name)) {
        return E_OUTOFMEMORY;
    }
    HKEY handle = nullptr;
    if (RegOpenKeyExW(parent, path, 0, access, &handle) != static_cast<LONG>(ERROR_SUCCESS)) {
        return E_FAIL;
    }
    m_handle = handle;
    m_access = access;
    m_name.Swap(name);
    return S_OK;
}

HRESULT CKivRegKey::Close()
{
    if (m_handle != nullptr) {
        RegCloseKey(m_handle);
    }
    m_handle = nullptr;
    m_access = 0;
    m_name.Empty();
    return S_OK;
}

HRESULT CKivRegKey::OpenSubKey(LPCWSTR name, IRegKey** key)
{
    if (key == nullptr || m_handle == nullptr) {
        return E_INVALIDARG;
    }
    CComPtr<IRegKey> subKey;
    if (!Make<CKivRegKey>(subKey)) {
        return E_OUTOFMEMORY;
    }
    const HRESULT opened = subKey->Open(m_handle, name, m_access);
    if (FAILED(opened)) {
        return opened == E_OUTOFMEMORY ? opened : E_FAIL;
    }
    return subKey->QueryInterface(IID_PPV_ARGS(key));
}

HRESULT CKivRegKey::CreateSubKey(LPCWSTR name, IRegKey** key, DWORD options)
{
    if (key == nullptr || m_handle == nullptr) {
        return E_FAIL;
    }
    WCHAR noClass[] = u"";
    HKEY created = nullptr;
    if (RegCreateKeyExW(m_handle, name, 0, noClass, options, m_access, nullptr, &created, nullptr) !=
        static_cast<LONG>(ERROR_SUCCESS)) {
        return E_FAIL;
    }
    RegCloseKey(created);
    return OpenSubKey(name, key);
}

HRESULT CKivRegKey::DeleteSubKey(LPCWSTR name)
{
    return RegDeleteKeyW(m_handle, name) == static_cast<LONG>(ERROR_SUCCESS) ? S_OK : E_FAIL;
}

HRESULT CKivRegKey::DeleteValue(LPCWSTR name)
{
    return RegDeleteValueW(m_handle, name) == static_cast<LONG>(ERROR_SUCCESS) ? S_OK : E_FAIL;
}

HRESULT CKivRegKey::GetValue(LPCWSTR name, IRegValue** value)
{
    if (name == nullptr || value == nullptr) {
        return E_INVALIDARG;
    }
    CComPtr<IRegValue> bound;
    if (!Make<CKivRegValue>(bound)) {
        return E_OUTOFMEMORY;
    }
    const HRESULT result = bound->Bind(this, name);
    if (FAILED(result)) {
        return result == E_OUTOFMEMORY ? result : E_FAIL;
    }
    *value = bound.Detach();
    return S_OK;
}

HRESULT CKivRegKey::SetValue(LPCWSTR name, IRegValue* value)
{
    if (name == nullptr || value == nullptr) {
        return E_INVALIDARG;
    }
    const HRESULT bound = value->Bind(this, name);
    if (FAILED(bound)) {
        return bound;
    }
    return value->Write();
}

HRESULT CKivRegKey::EnumKeys(IEnumRegKey** enumerator)
{
    if (enumerator == nullptr) {
        return E_INVALIDARG;
    }
    CComPtr<IEnumRegKey> made;
    if (!Make<CKivEnumRegKey>(made, this, DWORD{0})) {
        return E_OUTOFMEMORY;
    }
    *enumerator = made.Detach();
    return S_OK;
}

HRESULT CKivRegKey::EnumValues(IEnumRegValue** enumerator)
{
    if (enumerator == nullptr) {
        return E_INVALIDARG;
    }
    CComPtr<IEnumRegValue> made;
    if (!Make<CKivEnumRegValue>(made, this, DWORD{0})) {
        return E_OUTOFMEMORY;
    }
    *enumerator = made.Detach();
    return S_OK;
}

HRESULT CKivRegKey::GetName(BSTR* name)
{
    if (name == nullptr) {
        return E_INVALIDARG;
    }
    return GiveCopy(m_name.View(), name);
}

HRESULT CKivRegKey::FindInterface(REFIID riid, void** ppv)
{
    return FindInterfaceInMap({{IUnknown::Iid, this}, {IRegKey::Iid, this}}, riid, ppv);
}

// Values.

CKivRegValue::CKivRegValue()
{
    VariantInit(&m_value);
}

CKivRegValue::~CKivRegValue()
{
    VariantClear(&m_value);
}

HRESULT CKivRegValue::Bind(IRegKey* key, LPCWSTR name)
{
    if (key == nullptr || name == nullptr) {
        return E_INVALIDARG;
    }
    CComBSTR copy;
    if (!CopyText(View(name), copy)) {
        return E_OUTOFMEMORY;
    }
    Unbind();
    m_key = key;
    m_name.Swap(copy);
    return S_OK;
}

HRESULT CKivRegValue::Unbind()
{
    m_key.Release();
    return S_OK;
}

HRESULT CKivRegValue::GetType(DWORD* type)
{
    if (type == nullptr) {
        return E_INVALIDARG;
    }
    *type = m_type;
    return S_OK;
}

IKivMemory* CKivRegValue::Binary()
{
    if (!m_binary) {
        m_binary = GetMemoryUtil()->CreateMemory_CRT();
    }
    return m_binary;
}

HRESULT CKivRegValue::SetBinary(IKivMemory* data)
{
    if (data == nullptr) {
        return E_INVALIDARG;
    }
    IKivMemory* own = Binary();
    if (own == nullptr) {
        return E_OUTOFMEMORY;
    }
    const HRESULT copied = own->Copy(data);
    if (FAILED(copied)) {
        return copied;
    }
    VariantClear(&m_value);
    m_type = REG_BINARY;
    return Write();
}

HRESULT CKivRegValue::SetString(LPCWSTR text)
{
    CComBSTR copy;
    if (!CopyText(View(text), copy)) {
        return E_OUTOFMEMORY;
    }
    VariantClear(&m_value);
    m_value.vt = VT_BSTR;
    m_value.bstrVal = copy.Detach();
    m_type = REG_SZ;
    return Write();
}

HRESULT CKivRegValue::SetDWord(DWORD number)
{
    VariantClear(&m_value);
    m_value.vt = VT_UI4;
    m_value.ulVal = number;
    m_type = REG_DWORD;
    return Write();
}

LONG CKivRegValue::QueryType(DWORD* type, DWORD* size)
{
    return RegQueryValueExW(m_key->GetHandle(), m_name, nullptr, type, nullptr, size);
}

HRESULT CKivRegValue::GetDWord(DWORD* number)
{
    if (number == nullptr) {
        return E_INVALIDARG;
    }
    *number = 0;
    if (!m_key) {
        *number = m_type == REG_DWORD ? m_value.ulVal : 0;
        return S_OK;
    }
    DWORD type = REG_NONE;
    DWORD stored = 0;
    DWORD size = sizeof stored;
    const LONG result =
        RegQueryValueExW(m_key->GetHandle(), m_name, nullptr, &type, reinterpret_cast<BYTE*>(&stored), &size);
    // A longer value of another type does not fit the number's four bytes; it is still "not a
    // number", like a short one, rather than a failure to read.
    if (result == ERROR_MORE_DATA && type != REG_DWORD) {
        return S_OK;
    }
    if (result != static_cast<LONG>(ERROR_SUCCESS)) {
        return E_FAIL;
    }
    if (type == REG_DWORD && size == sizeof stored) {
        VariantClear(&m_value);
        m_value.vt = VT_UI4;
        m_value.ulVal = stored;
        m_type = REG_DWORD;
        *number = stored;
    }
    return S_OK;
}

HRESULT CKivRegValue::GetString(BSTR* text)
{
    if (text == nullptr) {
        return E_INVALIDARG;
    }
    *text = nullptr;
    if (!m_key) {
        return m_type == REG_SZ ? GiveCopy(View(m_value.bstrVal), text) : S_OK;
    }
    return Platform::StatusFromExceptions([&]() -> HRESULT {
        DWORD type = REG_NONE;
        DWORD size = 0;
        if (QueryType(&type, &size) != static_cast<LONG>(ERROR_SUCCESS)) {
            return E_FAIL;
        }
        if (type != REG_SZ) {
            return S_OK;
        }
        // Two zero bytes beyond the data, so that a string stored without its NUL still ends.
        std::vector<char16_t> buffer(size / sizeof(char16_t) + 2, u'\0');
        DWORD read = size;
        if (RegQueryValueExW(m_key->GetHandle(), m_name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                             &read) != static_cast<LONG>(ERROR_SUCCESS) ||
            type != REG_SZ) {
            return E_FAIL;
        }
        CComBSTR cached;
        CComBSTR copy;
        if (!CopyText(buffer.data(), cached) || !CopyText(buffer.data(), copy)) {
            return E_OUTOFMEMORY;
        }
        VariantClear(&m_value);
        m_value.vt = VT_BSTR;
        m_value.bstrVal = cached.Detach();
        m_type = REG_SZ;
        *text = copy.Detach();
        return S_OK;
    });
}

HRESULT CKivRegValue::GetBinary(IKivMemory* data)
{
    if (data == nullptr) {
        return E_INVALIDARG;
    }
    if (m_key) {
        DWORD type = REG_NONE;
        DWORD size = 0;
        if (QueryType(&type, &size) != static_cast<LONG>(ERROR_SUCCESS)) {
            return E_FAIL;
        }
        // A bound value answers for what is stored: bytes cached earlier are no answer for a
        // value that is now of another type.
        if (type != REG_BINARY) {
            return E_FAIL;
        }
        const HRESULT read = Platform::StatusFromExceptions([&]() -> HRESULT {
            // Read into a buffer of its own first, so that a failed read leaves the cache alone.
            std::vector<BYTE> bytes(size);
            DWORD got = size;
            if (RegQueryValueExW(m_key->GetHandle(), m_name, nullptr, &type, bytes.data(), &got) !=
                    static_cast<LONG>(ERROR_SUCCESS) ||
                type != REG_BINARY) {
                return E_FAIL;
            }
            IKivMemory* own = Binary();
            BYTE* target = own != nullptr ? own->SetSize(got) : nullptr;
            if (own == nullptr || (target == nullptr && got != 0)) {
                return E_OUTOFMEMORY;
            }
            if (got != 0) {
                std::memcpy(target, bytes.data(), got);
            }
            return S_OK;
        });
        if (FAILED(read)) {
            return read;
        }
        m_type = REG_BINARY;
        VariantClear(&m_value);
    }
    if (m_type != REG_BINARY || !m_binary) {
        return E_FAIL;
    }
    return data->Copy(m_binary);
}

HRESULT CKivRegValue::Write()
{
    if (!m_key) {
        return E_FAIL;
    }
    const BYTE* bytes = nullptr;
    DWORD size = 0;
    CComBSTR text;
    switch (m_type) {
    case REG_BINARY:
        bytes = m_binary ? m_binary->GetPtr() : nullptr;
        size = m_binary ? m_binary->GetSize() : 0;
        break;
    case REG_DWORD:
        bytes = reinterpret_cast<const BYTE*>(&m_value.ulVal);
        size = sizeof m_value.ulVal;
        break;
    case REG_SZ: {
        VARIANT converted;
        VariantInit(&converted);
        const HRESULT changed = VariantChangeType(&converted, &m_value, 0, VT_BSTR);
        if (FAILED(changed)) {
            VariantClear(&converted);
            return changed;
        }
        text.Attach(converted.bstrVal);
        bytes = reinterpret_cast<const BYTE*>(text.View().data());
        size = (text.Length() + 1) * sizeof(WCHAR);
        break;
    }
    default:
        return S_OK;
    }
    return RegSetValueExW(m_key->GetHandle(), m_name, 0, m_type, bytes, size) == static_cast<LONG>(ERROR_SUCCESS)
               ? S_OK
               : S_FALSE;
}

HRESULT CKivRegValue::GetName(BSTR* name)
{
    if (name == nullptr || m_name == nullptr) {
        return S_OK;
    }
    return GiveCopy(m_name.View(), name);
}

HRESULT CKivRegValue::FindInterface(REFIID riid, void** ppv)
{
    return FindInterfaceInMap({{IUnknown::Iid, this}, {IRegValue::Iid, this}}, riid, ppv);
}

// Enumerators.

HRESULT RegKeyEnumTraits::Fetch(IRegKey* key, DWORD index, CComPtr<IRegKey>& item)
{
    WCHAR name[EnumNameCapacity];
    DWORD length = EnumNameCapacity;
    if (RegEnumKeyExW(key->GetHandle(), index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        static_cast<LONG>(ERROR_SUCCESS)) {
        return S_FALSE;
    }
    if (!Make<CKivRegKey>(item)) {
        return E_OUTOFMEMORY;
    }
    // The entry may have gone since it was listed; it is delivered unopened then, as its
    // GetHandle shows.
    const HRESULT opened = item->Open(key->GetHandle(), name, key->GetAccess());
    return opened == E_OUTOFMEMORY ? opened : S_OK;
}

HRESULT RegValueEnumTraits::Fetch(IRegKey* key, DWORD index, CComPtr<IRegValue>& item)
{
    WCHAR name[EnumNameCapacity];
    DWORD length = EnumNameCapacity;
    if (RegEnumValueW(key->GetHandle(), index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        static_cast<LONG>(ERROR_SUCCESS)) {
        return S_FALSE;
    }
    if (!Make<CKivRegValue>(item)) {
        return E_OUTOFMEMORY;
    }
    return item->Bind(key, name);
}

template <class Traits>
HRESULT CKivRegEnum<Traits>::Clone(Interface** enumerator)
{
    if (enumerator == nullptr) {
        return E_INVALIDARG;
    }
    CComPtr<Interface> clone;
    if (!Make<CKivRegEnum>(clone, m_key.Get(), m_index)) {
        return E_OUTOFMEMORY;
    }
    return clone->QueryInterface(IID_PPV_ARGS(enumerator));
}

template <class Traits>
HRESULT CKivRegEnum<Traits>::Next(ULONG count, Item** items, ULONG* fetched)
{
    if (items == nullptr) {
        return E_INVALIDARG;
    }
    if (fetched != nullptr) {
        *fetched = 0;
    }
    std::vector<CComPtr<Item>> delivered;
    const HRESULT walked = Platform::StatusFromExceptions([&]() -> HRESULT {
        for (ULONG i = 0; i < count; ++i) {
            CComPtr<Item> item;
            const HRESULT found = Traits::Fetch(m_key, m_index + i, item);
            if (found != S_OK) {
                return found;
            }
            delivered.push_back(std::move(item));
        }
        return S_OK;
    });
    if (FAILED(walked)) {
        // Nothing is handed out when memory runs out half-way; the index stays.
        return walked;
    }
    for (std::size_t i = 0; i < delivered.size(); ++i) {
        items[i] = delivered[i].Detach();
    }
    m_index += static_cast<DWORD>(delivered.size());
    if (fetched != nullptr) {
        *fetched = static_cast<ULONG>(delivered.size());
    }
    return walked;
}

template <class Traits>
HRESULT CKivRegEnum<Traits>::Reset()
{
    m_index = 0;
    return S_OK;
}

template <class Traits>
HRESULT CKivRegEnum<Traits>::Skip(ULONG count)
{
    // Past the end there is nothing to deliver, however far: the index stops at its largest
    // value rather than wrapping round to the start.
    const DWORD room = std::numeric_limits<DWORD>::max() - m_index;
    m_index += count < room ? count : room;
    return S_OK;
}

template <class Traits>
HRESULT CKivRegEnum<Traits>::FindInterface(REFIID riid, void** ppv)
{
    return FindInterfaceInMap({{IUnknown::Iid, this}, {Interface::Iid, this}}, riid, ppv);
}

template class CKivRegEnum<RegKeyEnumTraits>;
template class CKivRegEnum<RegValueEnumTraits>;

// The utility.

IRegKey* CRegistryUtil::OpenKey(HKEY parent, LPCWSTR path, REGSAM access)
{
    CKivObject<CKivRegKey>* key = CKivObject<CKivRegKey>::CreateObject();
    if (key != nullptr) {
        key->Open(parent, path, access);
    }
    return key;
}

IRegValue* CRegistryUtil::CreateValue()
{
    return CKivObject<CKivRegValue>::CreateObject();
}

IRegistryUtil* GetRegistryUtil()
{
    static CRegistryUtil util;
    return &util;
}

} // namespace Kiv
