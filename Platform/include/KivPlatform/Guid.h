// 128-bit interface identifiers. Identifiers compare as sixteen bytes. Header-only, no state.
#pragma once

#include "KivPlatform/Types.h"

#include <cstring>

struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};

using IID = GUID;
using REFIID = const IID&;
using REFGUID = const GUID&;

constexpr bool operator==(const GUID& a, const GUID& b)
{
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) {
        return false;
    }
    for (int i = 0; i < 8; ++i) {
        if (a.Data4[i] != b.Data4[i]) {
            return false;
        }
    }
    return true;
}

constexpr bool IsEqualGUID(REFGUID a, REFGUID b) { return a == b; }
constexpr bool IsEqualIID(REFIID a, REFIID b) { return a == b; }

namespace Kiv::Platform {

namespace Detail {
consteval unsigned HexDigit(char c)
{
    if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
    throw "not a hexadecimal digit in an identifier"; // stops compilation
}
consteval unsigned long long HexValue(const char* text, int digits)
{
    unsigned long long value = 0;
    for (int i = 0; i < digits; ++i) {
        value = value * 16 + HexDigit(text[i]);
    }
    return value;
}
} // namespace Detail

// Parses "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" (the registry form without braces) at compile time.
consteval GUID MakeGuid(const char (&text)[37])
{
    if (text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-') {
        throw "malformed identifier";
    }
    GUID g{};
    g.Data1 = static_cast<DWORD>(Detail::HexValue(text, 8));
    g.Data2 = static_cast<WORD>(Detail::HexValue(text + 9, 4));
    g.Data3 = static_cast<WORD>(Detail::HexValue(text + 14, 4));
    g.Data4[0] = static_cast<BYTE>(Detail::HexValue(text + 19, 2));
    g.Data4[1] = static_cast<BYTE>(Detail::HexValue(text + 21, 2));
    for (int i = 0; i < 6; ++i) {
        g.Data4[2 + i] = static_cast<BYTE>(Detail::HexValue(text + 24 + 2 * i, 2));
    }
    return g;
}

} // namespace Kiv::Platform
