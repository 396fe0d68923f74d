// BSTR allocation on the C heap. Each block is a 32-bit byte length, the characters and a NUL
// character; the BSTR points at the first character. Thread-safe as malloc is.
#include "KivPlatform/Bstr.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr std::size_t PrefixSize = sizeof(std::uint32_t);

BYTE* BlockOf(BSTR text)
{
    return reinterpret_cast<BYTE*>(text) - PrefixSize;
}

BSTR Allocate(const OLECHAR* text, std::size_t length)
{
    // The byte length must fit the 32-bit prefix.
    if (length > UINT32_MAX / sizeof(OLECHAR)) {
        return nullptr;
    }
    const auto byteLength = static_cast<std::uint32_t>(length * sizeof(OLECHAR));
    auto* block = static_cast<BYTE*>(std::malloc(PrefixSize + byteLength + sizeof(OLECHAR)));
    if (block == nullptr) {
        return nullptr;
    }
    std::memcpy(block, &byteLength, PrefixSize);
    auto* chars = reinterpret_cast<OLECHAR*>(block + PrefixSize);
    if (text != nullptr) {
        std::memcpy(chars, text, byteLength);
    } else {
        std::memset(chars, 0, byteLength);
    }
    chars[length] = u'\0';
    return chars;
}

} // namespace

BSTR SysAllocString(const OLECHAR* text)
{
    if (text == nullptr) {
        return nullptr;
    }
    return Allocate(text, std::char_traits<OLECHAR>::length(text));
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length)
{
    return Allocate(text, length);
}

UINT SysStringLen(BSTR text)
{
    return SysStringByteLen(text) / sizeof(OLECHAR);
}

UINT SysStringByteLen(BSTR text)
{
    if (text == nullptr) {
        return 0;
    }
    std::uint32_t byteLength = 0;
    std::memcpy(&byteLength, BlockOf(text), PrefixSize);
    return byteLength;
}

void SysFreeString(BSTR text)
{
    if (text != nullptr) {
        std::free(BlockOf(text));
    }
}
