// CKivLogSysFactory: the engine's creators of model objects. Each creates a new object and
// hands it back through a counting out pointer (the caller owns that one reference); on an
// allocation failure the out pointer is left null and E_OUTOFMEMORY returned. A null out pointer
// gives E_INVALIDARG. Thread-safe.
#pragma once

#include "KivLogSysMgr/KivLogSysInterfaces.h"

#include <string_view>

class CKivLogSysFactory {
public:
    CKivLogSysFactory() = delete;

    static HRESULT CreateLogSysLine(IKivLogSysLine** line);
    static HRESULT CreateLogSysBlock(IKivLogSysBlock** block);
    static HRESULT CreateLogSysThread(IKivLogSysThread** thread);
    static HRESULT CreateLogSysRoot(IKivLogSysRoot** root);
    static HRESULT CreateLogSysMgr(IKivLogSysMgr** manager);
    // Creates the method information and gives it the name (SetName, the whole BSTR).
    static HRESULT CreateLogSysMethodInfo(IKivLogSysMethodInfo** methodInfo, BSTR name);
    // Creates the method information named after an entry text (SetTextName).
    static HRESULT CreateLogSysMethodInfoOfText(IKivLogSysMethodInfo** methodInfo, std::string_view text);
    static HRESULT CreateLogSysMethodSet(IKivLogSysMethodSet** methodSet);
    static HRESULT CreateLogSysNameSpace(IKivLogSysNameSpace** nameSpace);
};
