// CComPtr<T>: owns one reference on an interface pointer, so that no code outside it calls
// AddRef or Release by hand. Not thread-safe itself; the object it points to counts atomically.
#pragma once

#include "KivPlatform/Status.h"
#include "KivPlatform/Unknown.h"

#include <cassert>
#include <utility>

namespace Kiv {

template <class T>
class CComPtr {
public:
    CComPtr() noexcept = default;
    CComPtr(std::nullptr_t) noexcept {}
    // Takes a new reference on p.
    CComPtr(T* p) noexcept : m_p(p)
    {
        if (m_p != nullptr) {
            m_p->AddRef();
        }
    }
    CComPtr(const CComPtr& other) noexcept : CComPtr(other.m_p) {}
    CComPtr(CComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    ~CComPtr() { Release(); }

    CComPtr& operator=(const CComPtr& other) noexcept
    {
        CComPtr(other).Swap(*this);
        return *this;
    }
    CComPtr& operator=(CComPtr&& other) noexcept
    {
        CComPtr(std::move(other)).Swap(*this);
        return *this;
    }
    CComPtr& operator=(T* p) noexcept
    {
        CComPtr(p).Swap(*this);
        return *this;
    }

    T* operator->() const noexcept
    {
        assert(m_p != nullptr);
        return m_p;
    }
    operator T*() const noexcept { return m_p; }
    T* Get() const noexcept { return m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }

    // The address of the held pointer, for an out parameter; the pointer must be empty, so that
    // no reference is overwritten.
    T** operator&() noexcept
    {
        assert(m_p == nullptr);
        return &m_p;
    }

    // Drops the held reference.
    void Release() noexcept
    {
        if (T* p = std::exchange(m_p, nullptr)) {
            p->Release();
        }
    }
    // Adopts a reference the caller owns, without AddRef.
    void Attach(T* p) noexcept
    {
        Release();
        m_p = p;
    }
    // Hands the held reference to the caller.
    T* Detach() noexcept { return std::exchange(m_p, nullptr); }

    // Gives the caller its own reference through an out pointer; E_POINTER for a null one.
    HRESULT CopyTo(T** pp) const noexcept
    {
        if (pp == nullptr) {
            return E_POINTER;
        }
        *pp = m_p;
        if (m_p != nullptr) {
            m_p->AddRef();
        }
        return S_OK;
    }

    // Asks the held object for interface Q.
    template <class Q>
    HRESULT QueryInterface(Q** pp) const noexcept
    {
        if (m_p == nullptr) {
            return E_POINTER;
        }
        return m_p->QueryInterface(Q::Iid, reinterpret_cast<void**>(pp));
    }

    void Swap(CComPtr& other) noexcept { std::swap(m_p, other.m_p); }

private:
    T* m_p = nullptr;
};

} // namespace Kiv
