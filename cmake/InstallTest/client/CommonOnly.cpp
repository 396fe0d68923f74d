// A program that links the installed KivCommon and nothing else: its headers must bring
// everything they use. Exit status 0 when the common utility answers. Single-threaded.
#include "KivCommon/KivCommon.h"
#include "KivObject/ComBSTR.h"

#include <cstdio>

int main()
{
    const Kiv::CComBSTR name(u"common");
    if (Kiv::GetKivCommonUtil() == nullptr || name.Length() != 6) {
        std::fputs("CommonOnly: no common utility\n", stderr);
        return 1;
    }
    return 0;
}
