#include "CKivLogSysNameSpace.h"

#include "CKivLogSysFactory.h"
#include "ReserveFor.h"

#include "KivObject/InterfaceMap.h"

#include "KivPlatform/Boundary.h"
#include "KivPlatform/Text.h"

#include <optional>
#include <utility>

using Kiv::CComPtr;

namespace {

// Cuts a code page 932 name at every "::" into parts; the text after the last one is the last
// part, and empty parts count. A double-byte character is stepped over whole while more than two
// bytes remain, so its second byte is never read as part of a separator.
void SplitName(std::string_view name, std::vector<std::string_view>& parts)
{
    parts.clear();
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
}

// Every child is made by File, so each is one of these nodes.
CKivLogSysNameSpace* NodeOf(Kiv::IKivListItem* child)
{
    return static_cast<CKivLogSysNameSpace*>(static_cast<IKivLogSysNameSpace*>(child));
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
    const Kiv::LogSysMgr::CountedName& shown = ShownName();
    *name = shown.ToBstr().Detach();
    return *name == nullptr && shown.Holds() ? E_OUTOFMEMORY : S_OK;
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
        std::vector<std::string_view> parts;
        SplitName(ansiName, parts);
        return File(methodInfo, parts, level);
    });
}

HRESULT CKivLogSysNameSpace::FileMethod(IKivLogSysMethodInfo* methodInfo, std::string_view name,
                                        std::vector<std::string_view>& parts) noexcept
{
    return Kiv::Platform::StatusFromExceptions([&] {
        SplitName(name, parts);
        return File(methodInfo, parts, -1);
    });
}

HRESULT CKivLogSysNameSpace::File(IKivLogSysMethodInfo* methodInfo, const std::vector<std::string_view>& parts,
                                  LONG level)
{
    if (level >= static_cast<LONG>(parts.size())) {
        return E_INVALIDARG;
    }
    // The root (level -1) only routes the method to the node of the first part.
    std::size_t next = 0;
    if (level >= 0) {
        Rename(parts[static_cast<std::size_t>(level)]);
        next = static_cast<std::size_t>(level) + 1;
    }
    // Down the nodes that exist...
    CKivLogSysNameSpace* node = this;
    for (; next < parts.size(); ++next) {
        CKivLogSysNameSpace* child = node->FindChild(parts[next]);
        if (child == nullptr) {
            break;
        }
        // A node a method is filed through shows the name it was found by again.
        if (child->m_renamed.Holds()) {
            child->m_renamed = Kiv::LogSysMgr::CountedName();
        }
        node = child;
    }
    if (next == parts.size()) {
        node->m_method = methodInfo;
        return S_OK;
    }
    // ...and the missing ones made from the last part up, each listing the one below it.
    CComPtr<Kiv::IKivListItem> chain;
    for (std::size_t part = parts.size(); part-- > next;) {
        CComPtr<IKivLogSysNameSpace> made;
        if (const HRESULT hr = CKivLogSysFactory::CreateLogSysNameSpace(&made); FAILED(hr)) {
            return hr;
        }
        CKivLogSysNameSpace* const madeNode = NodeOf(made.Get());
        madeNode->m_name = Kiv::LogSysMgr::CountedName(parts[part]);
        if (chain) {
            madeNode->ListChild(std::move(chain));
        } else {
            madeNode->m_method = methodInfo;
        }
        chain = CComPtr<Kiv::IKivListItem>(made.Get());
    }
    node->ListChild(std::move(chain));
    return S_OK;
}

CKivLogSysNameSpace* CKivLogSysNameSpace::FindChild(std::string_view part) const
{
    if (!m_children) {
        return nullptr;
    }
    const std::optional<std::uint32_t> found = m_children->names.Find(part);
    return found ? NodeOf(m_children->items[*found].Get()) : nullptr;
}

void CKivLogSysNameSpace::ListChild(CComPtr<Kiv::IKivListItem> child)
{
    if (!m_children) {
        m_children = std::make_unique<Children>();
    }
    // With the room in the list made before the index takes the name, the two stay in step.
    Kiv::LogSysMgr::ReserveFor(m_children->items, 1);
    m_children->names.AddCounted(NodeOf(child.Get())->m_name.Counted());
    m_children->items.push_back(std::move(child));
}

void CKivLogSysNameSpace::Rename(std::string_view part)
{
    if (!m_name.Holds()) {
        m_name = Kiv::LogSysMgr::CountedName(part); // never listed: no index reads it yet
    } else if (ShownName().View() != part) {
        m_renamed = Kiv::LogSysMgr::CountedName(part);
    }
}
