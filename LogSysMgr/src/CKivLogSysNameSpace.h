// CKivLogSysNameSpace: one node of the namespace tree over method names. A method name is cut at
// every "::" into parts; the node at depth d holds part d, and the node of the last part holds
// the method. The root has no name and no method. Children keep their creation order, and an
// index of their names finds a child without a scan. There is a node per method at least, so
// nodes take their memory from the model allocator, without a heap block's header.
//
// Thread-safety: built on one thread (AddMethodInfo). Its reading operations only read, so
// several threads may call them at once afterwards; nothing is locked.
#pragma once

#include "CountedName.h"
#include "MethodNameIndex.h"
#include "ModelAllocator.h"

#include "KivLogSysMgr/KivLogSysInterfaces.h"

#include "KivObject/ComPtr.h"

#include <memory>
#include <string_view>
#include <vector>

class CKivLogSysNameSpace : public IKivListItemEdit,
                            public IKivLogSysNameSpace,
                            public IKivLogSysNameSpaceEdit,
                            public Kiv::LogSysMgr::CModelAllocated {
public:
    CKivLogSysNameSpace() = default;
    virtual ~CKivLogSysNameSpace() = default;

    // IKivListItemEdit
    HRESULT SetParent(Kiv::IKivListItemFolder* parent) override;
    // Kiv::IKivListItem
    HRESULT GetChildCount(LONG* count) override;
    HRESULT GetChildItem(LONG index, REFIID riid, void** ppv) override;
    HRESULT GetParent(REFIID riid, void** ppv) override;
    HRESULT IsEqual(IUnknown* other, BOOL* result) override;
    // IKivLogSysNameSpace
    HRESULT GetName(BSTR* name) override;
    HRESULT GetMethodInfo(IKivLogSysMethodInfo** methodInfo) override;
    // IKivLogSysNameSpaceEdit
    HRESULT AddMethodInfo(IKivLogSysMethodInfo* methodInfo, LONG level) override;

    virtual HRESULT FindInterface(REFIID riid, void** ppv);

    // Files the method as AddMethodInfo with level -1 does, under name (code page 932 bytes),
    // without asking the method for its name. parts is room the caller lends for cutting the
    // name, so that filing millions of methods does not allocate it for each.
    HRESULT FileMethod(IKivLogSysMethodInfo* methodInfo, std::string_view name,
                       std::vector<std::string_view>& parts) noexcept;

private:
    // Files the method, whose name is cut into parts, from level on: a level of 0 or more names
    // this node parts[level]; the node of the next part, among the children, gets the rest. Nodes
    // that do not exist yet are made and filled first, and listed last, so that a failure adds no
    // node. Throws std::bad_alloc.
    HRESULT File(IKivLogSysMethodInfo* methodInfo, const std::vector<std::string_view>& parts, LONG level);
    // The child named part, or null.
    CKivLogSysNameSpace* FindChild(std::string_view part) const;
    // Lists a new node, named already, as the last child. Throws std::bad_alloc (unchanged).
    void ListChild(Kiv::CComPtr<Kiv::IKivListItem> child);
    // Gives the node the name part. Throws std::bad_alloc.
    void Rename(std::string_view part);
    // The name GetName reports.
    const Kiv::LogSysMgr::CountedName& ShownName() const noexcept { return m_renamed.Holds() ? m_renamed : m_name; }

    Kiv::IKivListItemFolder* m_parent = nullptr; // not counted: the parent owns the child
    Kiv::CComPtr<IKivLogSysMethodInfo> m_method;
    // The children and their names (code page 932 bytes), numbered as their positions in items;
    // names are unique among siblings because a child is only created for a name no sibling has.
    struct Children {
        std::vector<Kiv::CComPtr<Kiv::IKivListItem>> items;
        Kiv::LogSysMgr::MethodNameIndex names;
    };
    // Made with the first child: most nodes are the last part of a method name and have none, so
    // they pay one pointer for both.
    std::unique_ptr<Children> m_children;
    // The name (code page 932 bytes) the node is listed under, given when it is first named and
    // never changed afterwards: the parent's index of its children reads it where it is.
    Kiv::LogSysMgr::CountedName m_name;
    // A different name given later (AddMethodInfo with a level), which GetName reports instead.
    Kiv::LogSysMgr::CountedName m_renamed;
};
