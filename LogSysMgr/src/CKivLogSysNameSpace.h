// CKivLogSysNameSpace: one node of the namespace tree over method names. A method name is cut at
// every "::" into parts; the node at depth d holds part d, and the node of the last part holds
// the method. The root has no name and no method. Children keep their creation order, and an
// index of their names finds a child without a scan. There is a node per method at least, so
// nodes take their memory from the model allocator, without a heap block's header.
//
// Thread-safety: built on one thread (AddMethodInfo). Its reading operations only read, so
// several threads may call them at once afterwards; nothing is locked.
#pragma once

#include "ModelAllocator.h"

#include "KivLogSysMgr/KivLogSysInterfaces.h"

#include "MethodNameIndex.h"

#include "KivObject/ComBSTR.h"
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

private:
    // Files the method, whose name is cut into parts, at level (-1: the root, which only routes
    // it to the node of the first part).
    HRESULT AddParts(IKivLogSysMethodInfo* methodInfo, const std::vector<std::string_view>& parts, LONG level);
    // Files the method into the child named parts[level] (code page 932 bytes), creating the
    // child when there is none. Throws std::bad_alloc when the new child cannot be listed; the
    // children are then as they were.
    HRESULT AddToChild(IKivLogSysMethodInfo* methodInfo, const std::vector<std::string_view>& parts, LONG level);

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
    Kiv::CComBSTR m_name;
};
