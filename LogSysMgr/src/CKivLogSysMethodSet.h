// CKivLogSysMethodSet: the method index. It maps each method name, as code page 932 bytes in
// byte order (all of them: a name may hold NUL bytes), to the method's information, and files
// every new method into a namespace tree.
//
// Thread-safety: filled on one thread (GetMethodInfo of a name it does not hold adds a method).
// Afterwards GetMethodNames, GetNameSpaceRoot and GetMethodInfo of the names it holds only read,
// so several threads may call them at once; nothing is locked.
#pragma once

#include "KivLogSysMgr/KivLogSysInterfaces.h"

#include "KivObject/ComPtr.h"

#include <map>
#include <string>

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

private:
    // Orders by unsigned byte values, a prefix first, so that bytes from 0x80 come after every
    // ASCII byte whatever the signedness of char.
    struct ByteOrder {
        bool operator()(const std::string& a, const std::string& b) const;
    };

    std::map<std::string, Kiv::CComPtr<IKivLogSysMethodInfo>, ByteOrder> m_methods;
    Kiv::CComPtr<IKivLogSysNameSpace> m_root;
};
