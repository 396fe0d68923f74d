// VARIANT (the types the system stores: empty, numbers, BSTR, IUnknown, arrays of BSTR) and
// one-dimensional SAFEARRAY of BSTR. Functions are thread-safe; the values themselves are not.
#pragma once

#include "KivPlatform/Bstr.h"
#include "KivPlatform/Status.h"
#include "KivPlatform/Unknown.h"

using VARTYPE = USHORT;
using VARIANT_BOOL = SHORT;

inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_BSTR = 8,
    VT_BOOL = 11,
    VT_UNKNOWN = 13,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_ARRAY = 0x2000,
};

struct SAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
};

// One-dimensional array of BSTR; the elements are owned by the array.
struct SAFEARRAY {
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    void* pvData;
    SAFEARRAYBOUND rgsabound[1];
};

struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONGLONG llVal;
        ULONGLONG ullVal;
        LONG lVal;
        ULONG ulVal;
        INT intVal;
        UINT uintVal;
        SHORT iVal;
        USHORT uiVal;
        signed char cVal;
        BYTE bVal;
        VARIANT_BOOL boolVal;
        BSTR bstrVal;
        IUnknown* punkVal;
        SAFEARRAY* parray;
    };
};

void VariantInit(VARIANT* value);
// Frees what the value owns (string, array, interface reference) and sets it to VT_EMPTY.
HRESULT VariantClear(VARIANT* value);
// Clears dst, then makes it a deep copy of src (strings and arrays copied, interfaces AddRef'd).
HRESULT VariantCopy(VARIANT* dst, const VARIANT* src);
// Converts src to type vt into dst (which may be src). Supports the numeric types and VT_BSTR
// among each other; anything else gives DISP_E_TYPEMISMATCH.
HRESULT VariantChangeType(VARIANT* dst, const VARIANT* src, USHORT flags, VARTYPE vt);

// Creates a one-dimensional array; only VT_BSTR is supported (null otherwise or on no memory).
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lowerBound, ULONG count);
HRESULT SafeArrayDestroy(SAFEARRAY* array);
UINT SafeArrayGetDim(SAFEARRAY* array);
HRESULT SafeArrayGetVartype(SAFEARRAY* array, VARTYPE* vt);
HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dimension, LONG* bound);
HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dimension, LONG* bound);
// Stores a copy of the string: for an array of BSTR, value is the BSTR itself (as the platform
// defines it), and the element's earlier string is freed. DISP_E_BADINDEX outside the bounds.
HRESULT SafeArrayPutElement(SAFEARRAY* array, const LONG* indices, void* value);
// Gives a copy of the element: value points to a BSTR that receives it (caller frees).
HRESULT SafeArrayGetElement(SAFEARRAY* array, const LONG* indices, void* value);
HRESULT SafeArrayCopy(SAFEARRAY* array, SAFEARRAY** copy);
