#include "KivHttpScan.h"

#include "KivHttpSupport.h"

#include <cstring>

namespace Kiv {

namespace {

bool InList(const char* list, BYTE b)
{
    for (const char* at = list; *at != '\0'; ++at) {
        if (static_cast<BYTE>(*at) == b) {
            return true;
        }
    }
    return false;
}

// The index of the first byte for which matches is true, or -1.
template <class Predicate>
LONG FindFirst(const BYTE* buffer, LONG length, Predicate matches)
{
    for (LONG i = 0; i < length; ++i) {
        if (matches(buffer[i])) {
            return i;
        }
    }
    return -1;
}

// Reports a null argument of a scanning function; -1, its result.
LONG NullArgument(LPCWSTR function, int line, LPCWSTR message)
{
    Http::Failure(function, line, E_POINTER, message);
    return -1;
}

} // namespace

LONG KivFindCharacter(const BYTE* buffer, BYTE character, LONG length)
{
    if (buffer == nullptr) {
        return NullArgument(u"Kiv::KivFindCharacter", __LINE__, u"pBuf is null.");
    }
    return FindFirst(buffer, length, [character](BYTE b) { return b == character; });
}

LONG KivFindChars(const BYTE* buffer, LONG length, const char* list)
{
    if (buffer == nullptr) {
        return NullArgument(u"Kiv::KivFindChars", __LINE__, u"pBuf is null.");
    }
    if (list == nullptr) {
        return NullArgument(u"Kiv::KivFindChars", __LINE__, u"pList is null.");
    }
    return FindFirst(buffer, length, [list](BYTE b) { return InList(list, b); });
}

LONG KivFindKeyword(const BYTE* buffer, LONG length, const char* keyword)
{
    if (buffer == nullptr) {
        return NullArgument(u"Kiv::KivFindKeyword", __LINE__, u"pBuf is null.");
    }
    if (keyword == nullptr) {
        return NullArgument(u"Kiv::KivFindKeyword", __LINE__, u"pKeyword is null.");
    }
    const std::size_t keywordLength = std::strlen(keyword);
    if (keywordLength == 0) {
        return 0;
    }
    if (length < 0 || static_cast<std::size_t>(length) < keywordLength) {
        return -1;
    }
    const LONG last = length - static_cast<LONG>(keywordLength);
    for (LONG i = 0; i <= last; ++i) {
        if (std::memcmp(buffer + i, keyword, keywordLength) == 0) {
            return i;
        }
    }
    return -1;
}

LONG KivSkipCharacter(const BYTE* buffer, BYTE character, LONG length)
{
    if (buffer == nullptr) {
        return NullArgument(u"Kiv::KivSkipCharacter", __LINE__, u"pBuf is null.");
    }
    return FindFirst(buffer, length, [character](BYTE b) { return b != character; });
}

LONG KivSkipChars(const char* list, const BYTE* buffer, LONG length)
{
    if (list == nullptr) {
        return NullArgument(u"Kiv::KivSkipChars", __LINE__, u"pList is null.");
    }
    if (buffer == nullptr) {
        return NullArgument(u"Kiv::KivSkipChars", __LINE__, u"pBuf is null.");
    }
    return FindFirst(buffer, length, [list](BYTE b) { return !InList(list, b); });
}

} // namespace Kiv
