#include "CKivGenId.h"

#include "KivObject/ComBSTR.h"
#include "KivObject/InterfaceMap.h"
#include "KivObject/KivObject.h"

#include "KivPlatform/Boundary.h"

#include <memory>
#include <mutex>

namespace Kiv {

namespace {

// Identifiers end at the largest 32-bit value; the one after it would wrap to 0.
constexpr ULONGLONG KivGenIdEnd = 0x100000000ull;

struct SafeArrayDeleter {
    void operator()(SAFEARRAY* array) const { SafeArrayDestroy(array); }
};

} // namespace

CKivGenIdTable& CKivGenIdTable::Instance()
{
    static CKivGenIdTable table;
    return table;
}

HRESULT CKivGenIdTable::GetId(const std::u16string& text, DWORD& id)
{
    std::lock_guard lock(m_lock);
    if (const auto found = m_ids.find(text); found != m_ids.end()) {
        id = found->second;
        return S_OK;
    }
    if (m_nextId >= KivGenIdEnd) {
        return E_OUTOFMEMORY;
    }
    const DWORD next = static_cast<DWORD>(m_nextId);
    const auto entered = m_ids.emplace(text, next).first;
    // Both maps or neither: a failure on the second takes the first entry back.
    const HRESULT status = Platform::StatusFromExceptions([&] { m_strings.emplace(next, text); });
    if (FAILED(status)) {
        m_ids.erase(entered);
        return status;
    }
    ++m_nextId;
    id = next;
    return S_OK;
}

bool CKivGenIdTable::GetString(DWORD id, std::u16string& text)
{
    std::lock_guard lock(m_lock);
    const auto found = m_strings.find(id);
    if (found == m_strings.end()) {
        return false;
    }
    text = found->second;
    return true;
}

SAFEARRAY* CKivGenIdTable::CopyAllStrings()
{
    std::lock_guard lock(m_lock);
    std::unique_ptr<SAFEARRAY, SafeArrayDeleter> array(
        SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(m_strings.size())));
    if (array == nullptr) {
        return nullptr;
    }
    LONG index = 0;
    for (const auto& [id, text] : m_strings) {
        CComBSTR copy(std::u16string_view{text});
        if (copy == nullptr || FAILED(SafeArrayPutElement(array.get(), &index, static_cast<BSTR>(copy)))) {
            return nullptr;
        }
        ++index;
    }
    return array.release();
}

HRESULT CKivGenId::GetId(const OLECHAR* text, DWORD* id)
{
    if (text == nullptr || id == nullptr) {
        return E_POINTER;
    }
    return Platform::StatusFromExceptions([&] {
        DWORD result = 0;
        const HRESULT status = CKivGenIdTable::Instance().GetId(std::u16string(text), result);
        if (SUCCEEDED(status)) {
            *id = result;
        }
        return status;
    });
}

HRESULT CKivGenId::GetIdString(DWORD id, BSTR* text)
{
    if (text == nullptr) {
        return E_POINTER;
    }
    return Platform::StatusFromExceptions([&] {
        std::u16string found;
        CKivGenIdTable::Instance().GetString(id, found);
        CComBSTR copy(std::u16string_view{found});
        if (copy == nullptr) {
            return E_OUTOFMEMORY;
        }
        *text = copy.Detach();
        return S_OK;
    });
}

HRESULT CKivGenId::GetAllIds(VARIANT* ids)
{
    if (ids == nullptr) {
        return E_POINTER;
    }
    SAFEARRAY* array = CKivGenIdTable::Instance().CopyAllStrings();
    if (array == nullptr) {
        return E_OUTOFMEMORY;
    }
    VariantInit(ids);
    ids->vt = VT_ARRAY | VT_BSTR;
    ids->parray = array;
    return S_OK;
}

HRESULT CKivGenId::FindInterface(REFIID riid, void** ppv)
{
    return FindInterfaceInMap({{IUnknown::Iid, this}, {IKivGenId::Iid, this}}, riid, ppv);
}

IKivGenId* CIKivGenIdUtil::CreateGenId()
{
    IKivGenId* object = nullptr;
    Platform::StatusFromExceptions([&] { object = CKivObject<CKivGenId>::CreateObject(); });
    return object;
}

IKivGenIdUtil* GetKivGenIdUtil()
{
    static CIKivGenIdUtil util;
    return &util;
}

} // namespace Kiv
