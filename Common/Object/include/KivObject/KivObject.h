// The object template that makes an implementation class a concrete, counted object.
//
// An implementation class T derives from its interfaces and declares
//     virtual HRESULT FindInterface(REFIID riid, void** ppv);
// as its interface map (see InterfaceMap.h); it does not implement the IUnknown operations and
// cannot be instantiated by itself. CKivObject<T> is the only class ever instantiated: it adds
// the reference count and IUnknown. CKivAggObject<T> makes T an inner part of an outer object
// (aggregation): the public IUnknown operations go to the outer object, the part's own count is
// reached through its inner unknown.
//
// Thread-safety: the count is atomic, so references may be taken and dropped on any thread.
// Nothing else is locked here.
#pragma once

#include "KivPlatform/Status.h"
#include "KivPlatform/Unknown.h"

#include <atomic>
#include <new>
#include <utility>

namespace Kiv {

template <class T>
class CKivAggObject;

template <class T>
class CKivObject : public T {
public:
    template <class... Args>
    explicit CKivObject(Args&&... args) : T(std::forward<Args>(args)...)
    {
    }
    virtual ~CKivObject() = default;

    CKivObject(const CKivObject&) = delete;
    CKivObject& operator=(const CKivObject&) = delete;

    // Allocates a new object with a count of 0; the receiver takes the first reference.
    // Null when memory runs out.
    template <class... Args>
    static CKivObject* CreateObject(Args&&... args) noexcept
    {
        return new (std::nothrow) CKivObject(std::forward<Args>(args)...);
    }

    HRESULT QueryInterface(REFIID riid, void** ppvObject) override { return ObjectQueryInterface(riid, ppvObject); }
    ULONG AddRef() override { return ObjectAddRef(); }
    ULONG Release() override { return ObjectRelease(); }

private:
    friend class CKivAggObject<T>;

    // The public operations always go through these hooks, so that an aggregated part can
    // redirect the public ones while its inner unknown still reaches its own count.
    virtual ULONG ObjectAddRef() { return static_cast<ULONG>(m_refCount.fetch_add(1, std::memory_order_relaxed) + 1); }
    virtual ULONG ObjectRelease()
    {
        const LONG count = m_refCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (count == 0) {
            delete this;
        }
        return static_cast<ULONG>(count);
    }
    virtual HRESULT ObjectQueryInterface(REFIID riid, void** ppvObject) { return T::FindInterface(riid, ppvObject); }

    std::atomic<LONG> m_refCount{0};
};

template <class T>
class CKivAggObject : public CKivObject<T> {
public:
    // The inner (non-delegating) unknown of an aggregated part: the part's own identity and
    // count, as held by the outer object.
    class CKivXUnknown : public IUnknown {
    public:
        explicit CKivXUnknown(CKivAggObject* part) : m_part(part) {}

        HRESULT QueryInterface(REFIID riid, void** ppvObject) override
        {
            if (ppvObject == nullptr) {
                return E_INVALIDARG;
            }
            if (riid == IUnknown::Iid) {
                *ppvObject = static_cast<IUnknown*>(this);
                AddRef();
                return S_OK;
            }
            return m_part->ObjectQueryInterface(riid, ppvObject);
        }
        ULONG AddRef() override { return m_part->ObjectAddRef(); }
        ULONG Release() override { return m_part->ObjectRelease(); }

    private:
        CKivAggObject* m_part;
    };

    // outer is the controlling object; it is not counted (the part never keeps its owner alive).
    template <class... Args>
    explicit CKivAggObject(IUnknown* outer, Args&&... args)
        : CKivObject<T>(std::forward<Args>(args)...), m_outer(outer), m_xUnknown(this)
    {
    }

    template <class... Args>
    static CKivAggObject* CreateObject(IUnknown* outer, Args&&... args) noexcept
    {
        return new (std::nothrow) CKivAggObject(outer, std::forward<Args>(args)...);
    }

    HRESULT QueryInterface(REFIID riid, void** ppvObject) override { return m_outer->QueryInterface(riid, ppvObject); }
    ULONG AddRef() override { return m_outer->AddRef(); }
    ULONG Release() override { return m_outer->Release(); }

    // The part's inner unknown; the outer object keeps its one reference on the part through it.
    IUnknown* GetInnerUnknown() { return &m_xUnknown; }

private:
    IUnknown* m_outer;
    CKivXUnknown m_xUnknown;
};

} // namespace Kiv
