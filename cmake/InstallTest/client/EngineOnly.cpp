// A program that links the installed engine and nothing else: the engine's headers must bring
// everything they use (the object template and the platform's BSTR functions). Exit status 0
// when the engine can be created. Single-threaded.
#include "KivLogSysMgr/KivLogSysMgr.h"
#include "KivObject/ComBSTR.h"
#include "KivObject/ComPtr.h"

#include <cstdio>

int main()
{
    Kiv::CComPtr<IKivLogSysMgr> manager;
    const Kiv::CComBSTR name(u"engine");
    if (FAILED(CKivLogSysMgr::CreateLogSysMgr(&manager)) || !manager || name.Length() != 6) {
        std::fputs("EngineOnly: the engine could not be created\n", stderr);
        return 1;
    }
    return 0;
}
