// CComPtr<T>: owns one reference on an interface pointer, so that no code outside it calls
// AddRef or Release by hand. Not thread-safe itself; the object it points to counts atomically.
#pragma once

#include "KivPlatform/Status.h"
#include "KivPlatform/Unknown.h"

#include <cassert>
#include <concepts>
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
    // Takes over the reference of a pointer to a class that converts to T (an implementation
    // held as one of its interfaces), without counting.
    template <class U>
        requires std::convertible_to<U*, T*>
    CComPtr(CComPtr<U>&& other) noexcept : m_p(other.Detach())
    {
    }
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
    template <class U>
        requires std::convertible_to<U*, T*>
    CComPtr& operator=(CComPtr<U>&& other) noexcept
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

    // The address of the held pointer, for an out parameter. A reference still held is released
    // first, in every build, so that the callee's new reference never overwrites and leaks it.
    T** operator&() noexcept
    {
        Release();
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

    // Gives the caller its own reference through an out pointer, as T or as any class T converts
    // to (an implementation handed out as one of its interfaces); E_POINTER for a null one.
    template <class Q>
        requires std::convertible_to<T*, Q*>
    HRESULT CopyTo(Q** pp) const noexcept
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
    HRESULT CopyTo(T** pp) const noexcept { return CopyTo<T>(pp); }

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
