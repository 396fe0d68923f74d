#include "CountedName.h"

#include "AnsiBstr.h"
#include "ModelAllocator.h"

#include <cstring>
#include <new>

namespace Kiv::LogSysMgr {

namespace {

constexpr unsigned LengthBits = 7;
constexpr unsigned char LengthMore = 0x80;
constexpr unsigned char LengthLow = 0x7F;

// Copies up to the model allocator's largest object come from it, without a heap block's header;
// a longer name (a damaged line can be one) gets a heap block.
char* AllocateCounted(std::size_t size)
{
    if (size <= ModelAllocator::MaxObjectSize) {
        if (void* memory = ModelAllocator::Allocate(size)) {
            return static_cast<char*>(memory);
        }
        throw std::bad_alloc();
    }
    return new char[size];
}

void FreeCounted(char* counted) noexcept
{
    const std::size_t size = CountedSize(ReadCounted(counted).size());
    if (size <= ModelAllocator::MaxObjectSize) {
        ModelAllocator::Free(counted, size);
    } else {
        delete[] counted;
    }
}

} // namespace

std::size_t CountedSize(std::size_t length) noexcept
{
    std::size_t bytes = 1 + length;
    for (; length >= LengthMore; length >>= LengthBits) {
        ++bytes;
    }
    return bytes;
}

void WriteCounted(std::string_view name, char* at) noexcept
{
    for (std::size_t length = name.size();; length >>= LengthBits) {
        const auto low = static_cast<unsigned char>(length & LengthLow);
        if (length < LengthMore) {
            *at++ = static_cast<char>(low);
            break;
        }
        *at++ = static_cast<char>(low | LengthMore);
    }
    if (!name.empty()) {
        std::memcpy(at, name.data(), name.size());
    }
}

std::string_view ReadCounted(const char* counted) noexcept
{
    std::size_t length = 0;
    for (unsigned shift = 0;; shift += LengthBits) {
        const auto byte = static_cast<unsigned char>(*counted++);
        length |= std::size_t{static_cast<unsigned char>(byte & LengthLow)} << shift;
        if ((byte & LengthMore) == 0) {
            return {counted, length};
        }
    }
}

CountedName::CountedName(std::string_view name) : m_counted(AllocateCounted(CountedSize(name.size())))
{
    WriteCounted(name, m_counted);
}

CountedName::~CountedName()
{
    if (m_counted != nullptr) {
        FreeCounted(m_counted);
    }
}

CountedName& CountedName::operator=(CountedName&& other) noexcept
{
    if (this != &other) {
        if (m_counted != nullptr) {
            FreeCounted(m_counted);
        }
        m_counted = other.m_counted;
        other.m_counted = nullptr;
    }
    return *this;
}

Kiv::CComBSTR CountedName::ToBstr() const
{
    return m_counted != nullptr ? AnsiToBstr(View()) : Kiv::CComBSTR();
}

} // namespace Kiv::LogSysMgr
