// Scanning functions over a byte range with a signed 32-bit length. Each returns an index from
// the start of the range, or -1; a length of 0 or less finds nothing. A null buffer, keyword or
// list writes an error report and gives -1. Stateless and thread-safe.
#pragma once

#include "KivPlatform/Types.h"

namespace Kiv {

// The first byte equal to character.
LONG KivFindCharacter(const BYTE* buffer, BYTE character, LONG length);
// The first byte that is any byte of the NUL-terminated list.
LONG KivFindChars(const BYTE* buffer, LONG length, const char* list);
// The first exact occurrence of the NUL-terminated keyword; an empty keyword is found at 0.
LONG KivFindKeyword(const BYTE* buffer, LONG length, const char* keyword);
// The first byte not equal to character.
LONG KivSkipCharacter(const BYTE* buffer, BYTE character, LONG length);
// The first byte that is in none of the NUL-terminated list.
LONG KivSkipChars(const char* list, const BYTE* buffer, LONG length);

} // namespace Kiv
