#include "CKivLogSysMethodSet.h"

#include "CKivLogSysFactory.h"
#include "EngineLog.h"

#include "KivObject/ComBSTR.h"
#include "KivObject/InterfaceMap.h"

#include "KivPlatform/Boundary.h"
#include "KivPlatform/TaskMem.h"
#include "KivPlatform/Text.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

using Kiv::CComPtr;

bool CKivLogSysMethodSet::ByteOrder::operator()(const std::string& a, const std::string& b) const
{
    // memcmp compares as unsigned char.
    const int order = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
    return order != 0 ? order < 0 : a.size() < b.size();
}

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
        HRESULT status = S_OK;
        std::string key = Kiv::Platform::Utf16ToAnsi({name, SysStringLen(name)});
        auto found = m_methods.find(key);
        if (found == m_methods.end()) {
            if (!m_root) {
                return E_OUTOFMEMORY; // the root could not be made with the set
            }
            CComPtr<IKivLogSysNameSpaceEdit> rootEdit;
            if (status = m_root.QueryInterface(&rootEdit); FAILED(status)) {
                return status;
            }
            CComPtr<IKivLogSysMethodInfo> info;
            if (status = CKivLogSysFactory::CreateLogSysMethodInfo(&info, name); FAILED(status)) {
                return status;
            }
            found = m_methods.emplace(std::move(key), info).first;
            if (status = rootEdit->AddMethodInfo(info, -1); FAILED(status)) {
                m_methods.erase(found); // a method is listed only when the tree holds it too
                return status;
            }
        }
        // The out pointer holds whatever the entry answers for riid; the lookup itself succeeded.
        found->second->QueryInterface(riid, ppv);
        return status;
    });
    return hr;
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
        std::vector<Kiv::CComBSTR> strings;
        strings.reserve(m_methods.size());
        for (const auto& entry : m_methods) {
            Kiv::CComBSTR text{std::u16string_view(Kiv::Platform::AnsiToUtf16(entry.first))};
            if (text == nullptr) {
                return E_OUTOFMEMORY;
            }
            strings.push_back(std::move(text));
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
