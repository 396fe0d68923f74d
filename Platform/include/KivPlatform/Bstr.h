// BSTR: a UTF-16 string with the platform's layout, a 32-bit byte length right before the first
// character and a NUL after the last. Each function is thread-safe; a BSTR itself is not shared.
#pragma once

#include "KivPlatform/Types.h"

using BSTR = OLECHAR*;

// Copies a NUL-terminated string; null for a null argument or when memory runs out.
BSTR SysAllocString(const OLECHAR* text);
// Allocates length characters, copying them from text when it is not null (else they are zero).
// Null when memory runs out or the length cannot be represented.
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
// Number of characters (the stored byte length / 2); 0 for null.
UINT SysStringLen(BSTR text);
// The stored byte length; 0 for null.
UINT SysStringByteLen(BSTR text);
// Frees a BSTR; null is allowed.
void SysFreeString(BSTR text);
