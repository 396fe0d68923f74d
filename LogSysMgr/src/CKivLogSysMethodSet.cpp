#include "CKivLogSysMethodSet.h"

#include "AnsiBstr.h"
#include "CKivLogSysFactory.h"
#include "EngineLog.h"
#include "ReserveFor.h"
#include "TwoThreads.h"

#include "KivObject/ComBSTR.h"
#include "KivObject/InterfaceMap.h"

#include "KivPlatform/Boundary.h"
#include "KivPlatform/TaskMem.h"
#include "KivPlatform/Text.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

using Kiv::CComPtr;

CKivLogSysMethodSet::CKivLogSysMethodSet()
{
    CKivLogSysFactory::CreateLogSysNameSpace(&m_root);
}

HRESULT CKivLogSysMethodSet::FindInterface(REFIID riid, void** ppv)
{
    return Kiv::FindInterfaceInMap({{IUnknown::Iid, this}, {IKivLogSysMethodSet::Iid, this}}, riid, ppv);
}

HRESULT CKivLogSysMethodSet::GetMethodInfo(BSTR name, REFIID riid, void** ppv)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysMethodSet::GetMethodInfo", hr, E_INVALIDARG);
    if (name == nullptr || ppv == nullptr) {
        return hr;
    }
    *ppv = nullptr;
    hr = Kiv::Platform::StatusFromExceptions([&] {
        CKivLogSysMethodInfo* method = nullptr;
        const HRESULT status = MethodOf(Kiv::Platform::Utf16ToAnsi({name, SysStringLen(name)}), name, &method);
        if (FAILED(status)) {
            return status;
        }
        // The out pointer holds whatever the entry answers for riid; the lookup itself succeeded.
        static_cast<IKivLogSysMethodInfo*>(method)->QueryInterface(riid, ppv);
        return status;
    });
    return hr;
}

HRESULT CKivLogSysMethodSet::MethodOf(std::string_view key, BSTR name, CKivLogSysMethodInfo** method,
                                      Kiv::LogSysMgr::MethodHandOff* handOff) noexcept
{
    *method = nullptr;
    return Kiv::Platform::StatusFromExceptions([&] {
        std::optional<std::uint32_t> found = m_names.Find(key);
        if (!found) {
            if (!m_root) {
                return E_OUTOFMEMORY; // the root could not be made with the set
            }
            CComPtr<IKivLogSysMethodInfo> info;
            const HRESULT made = name != nullptr ? CKivLogSysFactory::CreateLogSysMethodInfo(&info, name)
                                                 : CKivLogSysFactory::CreateLogSysMethodInfoOfText(&info, key);
            if (FAILED(made)) {
                return made;
            }
            Kiv::LogSysMgr::ReserveFor(m_methods, 1);
            found = m_names.Add(key);
            m_methods.push_back(info);
            const HRESULT filed = handOff != nullptr
                                      ? (handOff->Put({info.Get(), m_names.Name(*found)}) ? S_OK : E_UNEXPECTED)
                                      : Tree().FileMethod(info, key, m_nameParts);
            if (FAILED(filed)) {
                // A method is listed only when the tree holds it too, or will.
                m_methods.pop_back();
                m_names.RemoveLast();
                return filed;
            }
        }
        *method = static_cast<CKivLogSysMethodInfo*>(m_methods[*found].Get());
        return S_OK;
    });
}

HRESULT CKivLogSysMethodSet::FileIntoTree(Kiv::LogSysMgr::MethodHandOff& handOff) noexcept
{
    std::vector<std::string_view> parts; // this thread's own room for cutting names
    for (std::size_t index = 0;; ++index) {
        const Kiv::LogSysMgr::MethodHandOff::Entry* entry = handOff.WaitFor(index);
        if (entry == nullptr) {
            return S_OK;
        }
        const HRESULT filed = m_root ? Tree().FileMethod(entry->method, entry->name, parts) : E_OUTOFMEMORY;
        if (FAILED(filed)) {
            handOff.Abandon();
            return filed;
        }
    }
}

HRESULT CKivLogSysMethodSet::GetMethodNames(LONG* count, BSTR** names)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysMethodSet::GetMethodNames", hr, E_INVALIDARG);
    if (count == nullptr || names == nullptr) {
        return hr;
    }
    *count = 0;
    *names = nullptr;
    if (m_methods.empty()) {
        hr = S_OK;
        return hr;
    }
    hr = Kiv::Platform::StatusFromExceptions([&] {
        // Every string is made before the array, so that on a failure they go with the vector.
        const std::vector<std::string_view> keys = SortedNames();
        std::vector<Kiv::CComBSTR> strings(keys.size());
        std::atomic<bool> converted{true};
        Kiv::LogSysMgr::OnTwoHalves(keys.size(), [&](std::size_t first, std::size_t last) {
            for (std::size_t i = first; i < last; ++i) {
                strings[i] = Kiv::LogSysMgr::AnsiToBstr(keys[i]);
                if (strings[i] == nullptr) {
                    converted = false;
                }
            }
        });
        if (!converted) {
            return E_OUTOFMEMORY;
        }
        auto* array = static_cast<BSTR*>(CoTaskMemAlloc(strings.size() * sizeof(BSTR)));
        if (array == nullptr) {
            return E_OUTOFMEMORY;
        }
        for (std::size_t i = 0; i < strings.size(); ++i) {
            array[i] = strings[i].Detach();
        }
        *names = array;
        *count = static_cast<LONG>(strings.size());
        return S_OK;
    });
    return hr;
}

std::vector<std::string_view> CKivLogSysMethodSet::SortedNames() const
{
    // In byte order, a prefix first: string_view compares its bytes as unsigned char, whatever
    // the signedness of char. Each half is sorted on a thread of its own, then the two merged.
    std::vector<std::string_view> unsorted;
    unsorted.reserve(m_names.Size());
    for (std::uint32_t number = 0; number < m_names.Size(); ++number) {
        unsorted.push_back(m_names.Name(number));
    }
    const std::size_t middle = unsorted.size() / 2;
    Kiv::LogSysMgr::OnTwoHalves(unsorted.size(), [&](std::size_t first, std::size_t last) {
        std::sort(unsorted.begin() + static_cast<std::ptrdiff_t>(first), unsorted.begin() + static_cast<std::ptrdiff_t>(last));
    });
    std::vector<std::string_view> sorted(unsorted.size());
    const auto halfway = unsorted.begin() + static_cast<std::ptrdiff_t>(middle);
    std::merge(unsorted.begin(), halfway, halfway, unsorted.end(), sorted.begin());
    return sorted;
}

HRESULT CKivLogSysMethodSet::GetNameSpaceRoot(IKivLogSysNameSpace** root)
{
    KIV_ENGINE_SCOPE(u"CKivLogSysMethodSet::GetNameSpaceRoot", hr, E_INVALIDARG);
    if (root == nullptr) {
        return hr;
    }
    if (!m_root) {
        *root = nullptr;
        hr = E_OUTOFMEMORY;
        return hr;
    }
    hr = m_root.CopyTo(root);
    return hr;
}
