// CKivLogSysMethodSet: the method index. It maps each method name, as code page 932 bytes (all of
// them: a name may hold NUL bytes), to the method's information, and files every new method into
// a namespace tree. The names are found by hashing, which keeps filing linear in the number of
// methods; their byte order is made only when the names are listed.
//
// Thread-safety: filled on one thread (GetMethodInfo of a name it does not hold adds a method).
// Afterwards GetMethodNames, GetNameSpaceRoot and GetMethodInfo of the names it holds only read,
// so several threads may call them at once; nothing is locked.
#pragma once

#include "KivLogSysMgr/KivLogSysInterfaces.h"

#include "CKivLogSysMethodInfo.h"
#include "CKivLogSysNameSpace.h"
#include "MethodHandOff.h"
#include "MethodNameIndex.h"

#include "KivObject/ComPtr.h"

#include <string_view>
#include <vector>

class CKivLogSysMethodSet : public IKivLogSysMethodSet {
public:
    // Creates the namespace root; when that fails, the operations that need it report it.
    CKivLogSysMethodSet();
    virtual ~CKivLogSysMethodSet() = default;

    // IKivLogSysMethodSet
    HRESULT GetMethodInfo(BSTR name, REFIID riid, void** ppv) override;
    HRESULT GetMethodNames(LONG* count, BSTR** names) override;
    HRESULT GetNameSpaceRoot(IKivLogSysNameSpace** root) override;

    virtual HRESULT FindInterface(REFIID riid, void** ppv);

    // The method filed under key (code page 932 bytes). When the set does not hold it, a new
    // method is added and filed into the namespace tree, named name, or, when name is null, after
    // the key itself (which must then be what the key's UTF-16 text converts back to). The set
    // keeps the method and the reference.
    //
    // With a hand-off, a new method is handed to it instead of being filed into the tree, and
    // only the set's index and list of methods change, so that FileIntoTree may file the handed
    // methods on another thread meanwhile.
    HRESULT MethodOf(std::string_view key, BSTR name, CKivLogSysMethodInfo** method,
                     Kiv::LogSysMgr::MethodHandOff* handOff = nullptr) noexcept;
    // Files the methods handed off, in order, into the namespace tree, until the hand-off is
    // closed; on a failure it gives up the hand-off (Abandon) and reports the failure.
    HRESULT FileIntoTree(Kiv::LogSysMgr::MethodHandOff& handOff) noexcept;
    // Starts fetching what MethodOf of key reads from memory first (see MethodNameIndex::Prefetch).
    void PrefetchMethod(std::string_view key) const noexcept { m_names.Prefetch(key); }

private:
    // Every name, in byte order. Throws std::bad_alloc.
    std::vector<std::string_view> SortedNames() const;
    // The namespace tree; the set made its root, so it is one of the engine's (when m_root).
    CKivLogSysNameSpace& Tree() const { return *static_cast<CKivLogSysNameSpace*>(m_root.Get()); }

    // The methods by name, numbered in the order they were filed; m_methods[number] is the
    // method of that name.
    Kiv::LogSysMgr::MethodNameIndex m_names;
    std::vector<Kiv::CComPtr<IKivLogSysMethodInfo>> m_methods; // each one of the engine's
    Kiv::CComPtr<IKivLogSysNameSpace> m_root;
    std::vector<std::string_view> m_nameParts; // room for cutting a name, lent to the tree
};

