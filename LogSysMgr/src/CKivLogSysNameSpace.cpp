#include "CKivLogSysNameSpace.h"

#include "AnsiBstr.h"
#include "CKivLogSysFactory.h"
#include "ReserveFor.h"

#include "KivObject/InterfaceMap.h"

#include "KivPlatform/Boundary.h"
#include "KivPlatform/Text.h"

#include <optional>
#include <utility>

using Kiv::CComPtr;

namespace {

// Cuts a code page 932 name at every "::"; the text after the last one is the last part, and
// empty parts count. A double-byte character is stepped over whole while more than two bytes
// remain, so its second byte is never read as part of a separator.
std::vector<std::string_view> SplitName(std::string_view name)
{
    std::vector<std::string_view> parts;
    const std::size_t n = name.size();
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < n) {
        if (n - i > 2 && Kiv::Platform::IsAnsiLeadByte(static_cast<BYTE>(name[i]))) {
            i += 2;
        } else if (i + 1 < n && name[i] == ':' && name[i + 1] == ':') {
            parts.push_back(name.substr(start, i - start));
            i += 2;
            start = i;
        } else {
            ++i;
        }
    }
    parts.push_back(name.substr(start));
    return parts;
}

} // namespace

HRESULT CKivLogSysNameSpace::FindInterface(REFIID riid, void** ppv)
{
    return Kiv::FindInterfaceInMap({{IUnknown::Iid, static_cast<IKivListItemEdit*>(this)},
                                    {IKivListItemEdit::Iid, static_cast<IKivListItemEdit*>(this)},
                                    {Kiv::IKivListItem::Iid, static_cast<IKivLogSysNameSpace*>(this)},
                                    {IKivLogSysNameSpace::Iid, static_cast<IKivLogSysNameSpace*>(this)},
                                    {IKivLogSysNameSpaceEdit::Iid, static_cast<IKivLogSysNameSpaceEdit*>(this)}},
                                   riid, ppv);
}

HRESULT CKivLogSysNameSpace::SetParent(Kiv::IKivListItemFolder* parent)
{
    m_parent = parent;
    return S_OK;
}

HRESULT CKivLogSysNameSpace::GetChildCount(LONG* count)
{
    if (count == nullptr) {
        return E_INVALIDARG;
    }
    *count = m_children ? static_cast<LONG>(m_children->items.size()) : 0;
    return S_OK;
}

HRESULT CKivLogSysNameSpace::GetChildItem(LONG index, REFIID riid, void** ppv)
{
    if (ppv == nullptr) {
        return E_INVALIDARG;
    }
    *ppv = nullptr;
    if (!m_children || index < 0 || static_cast<std::size_t>(index) >= m_children->items.size()) {
        return E_INVALIDARG;
    }
    return m_children->items[static_cast<std::size_t>(index)]->QueryInterface(riid, ppv);
}

HRESULT CKivLogSysNameSpace::GetParent(REFIID riid, void** ppv)
{
    if (m_parent == nullptr) {
        if (ppv != nullptr) {
            *ppv = nullptr;
        }
        return E_FAIL;
    }
    return m_parent->QueryInterface(riid, ppv);
}

HRESULT CKivLogSysNameSpace::IsEqual(IUnknown* other, BOOL* result)
{
    if (other == nullptr || result == nullptr) {
        return E_INVALIDARG;
    }
    CComPtr<IUnknown> mine;
    CComPtr<IUnknown> theirs;
    FindInterface(IID_PPV_ARGS(&mine));
    other->QueryInterface(IID_PPV_ARGS(&theirs));
    *result = mine && mine == theirs ? TRUE : FALSE;
    // Namespace nodes report a finished comparison as 1, not S_OK; their callers expect that value.
    return 1;
}

HRESULT CKivLogSysNameSpace::GetName(BSTR* name)
{
    if (name == nullptr) {
        return E_POINTER;
    }
    *name = m_name.Copy();
    return *name == nullptr && m_name != nullptr ? E_OUTOFMEMORY : S_OK;
}

HRESULT CKivLogSysNameSpace::GetMethodInfo(IKivLogSysMethodInfo** methodInfo)
{
    if (methodInfo == nullptr) {
        return E_INVALIDARG;
    }
    *methodInfo = nullptr;
    if (!m_method) {
        return E_FAIL;
    }
    return m_method.CopyTo(methodInfo);
}

HRESULT CKivLogSysNameSpace::AddMethodInfo(IKivLogSysMethodInfo* methodInfo, LONG level)
{
    if (methodInfo == nullptr || level < -1) {
        return E_INVALIDARG;
    }
    return Kiv::Platform::StatusFromExceptions([&] {
        Kiv::CComBSTR name;
        if (const HRESULT hr = methodInfo->GetName(&name); FAILED(hr)) {
            return hr;
        }
        const std::string ansiName = Kiv::Platform::Utf16ToAnsi(name.View());
        return AddParts(methodInfo, SplitName(ansiName), level);
    });
}

HRESULT CKivLogSysNameSpace::AddParts(IKivLogSysMethodInfo* methodInfo, const std::vector<std::string_view>& parts,
                                      LONG level)
{
    if (level >= static_cast<LONG>(parts.size())) {
        return E_INVALIDARG;
    }
    // The root (level -1) only routes the method to the node of the first part.
    if (level == -1) {
        return AddToChild(methodInfo, parts, 0);
    }
    const auto index = static_cast<std::size_t>(level);
    Kiv::CComBSTR nodeName = Kiv::LogSysMgr::AnsiToBstr(parts[index]);
    if (nodeName == nullptr) {
        return E_OUTOFMEMORY;
    }
    m_name.Swap(nodeName);
    if (index + 1 == parts.size()) {
        m_method = methodInfo;
        return S_OK;
    }
    return AddToChild(methodInfo, parts, level + 1);
}

HRESULT CKivLogSysNameSpace::AddToChild(IKivLogSysMethodInfo* methodInfo, const std::vector<std::string_view>& parts,
                                        LONG level)
{
    // Every child is made here, so each is one of these nodes and is filed directly, with the
    // name already cut.
    auto nodeOf = [](Kiv::IKivListItem* child) {
        return static_cast<CKivLogSysNameSpace*>(static_cast<IKivLogSysNameSpace*>(child));
    };
    const std::string_view part = parts[static_cast<std::size_t>(level)];
    if (!m_children) {
        m_children = std::make_unique<Children>();
    }
    if (const std::optional<std::uint32_t> found = m_children->names.Find(part)) {
        return nodeOf(m_children->items[*found])->AddParts(methodInfo, parts, level);
    }

    CComPtr<IKivLogSysNameSpace> node;
    if (const HRESULT hr = CKivLogSysFactory::CreateLogSysNameSpace(&node); FAILED(hr)) {
        return hr;
    }
    // Filled before it is listed, so that a failure leaves no nameless child behind; with the
    // room in the list made before the index takes the name, the two stay in step.
    if (const HRESULT hr = nodeOf(node.Get())->AddParts(methodInfo, parts, level); FAILED(hr)) {
        return hr;
    }
    Kiv::LogSysMgr::ReserveFor(m_children->items, 1);
    m_children->names.Add(part);
    m_children->items.emplace_back(node.Get());
    return S_OK;
}
