// CComBSTR: owns one BSTR and frees it, so that no code outside it calls SysFreeString by hand.
// Not thread-safe.
#pragma once

#include "KivPlatform/Bstr.h"

#include <string_view>
#include <utility>

namespace Kiv {

class CComBSTR {
public:
    CComBSTR() noexcept = default;
    // Copies a NUL-terminated string (null stays null).
    explicit CComBSTR(const OLECHAR* text) : m_str(SysAllocString(text)) {}
    // Copies the characters of a view, embedded NULs included.
    explicit CComBSTR(std::u16string_view text)
        : m_str(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())))
    {
    }
    CComBSTR(const CComBSTR& other) : m_str(other.Copy()) {}
    CComBSTR(CComBSTR&& other) noexcept : m_str(std::exchange(other.m_str, nullptr)) {}
    ~CComBSTR() { Empty(); }

    CComBSTR& operator=(const CComBSTR& other)
    {
        CComBSTR(other).Swap(*this);
        return *this;
    }
    CComBSTR& operator=(CComBSTR&& other) noexcept
    {
        CComBSTR(std::move(other)).Swap(*this);
        return *this;
    }

    operator BSTR() const noexcept { return m_str; }
    // The address of the held string, for an out parameter. A string still held is freed first,
    // in every build, so that the callee's new string never overwrites and leaks it.
    BSTR* operator&() noexcept
    {
        Empty();
        return &m_str;
    }

    UINT Length() const noexcept { return SysStringLen(m_str); }
    std::u16string_view View() const noexcept { return {m_str == nullptr ? u"" : m_str, Length()}; }

    // A new BSTR with the same characters, owned by the caller (null for null).
    BSTR Copy() const { return m_str == nullptr ? nullptr : SysAllocStringLen(m_str, Length()); }
    void Empty() noexcept
    {
        SysFreeString(m_str);
        m_str = nullptr;
    }
    void Attach(BSTR text) noexcept
    {
        Empty();
        m_str = text;
    }
    BSTR Detach() noexcept { return std::exchange(m_str, nullptr); }
    void Swap(CComBSTR& other) noexcept { std::swap(m_str, other.m_str); }

private:
    BSTR m_str = nullptr;
};

} // namespace Kiv
