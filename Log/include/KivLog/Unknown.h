// CUnknown<T>: the counted base of the tracing library's own objects. Objects start with a count
// of 1 (their creator's reference) and answer only IUnknown. The count is atomic: scopes and
// thread logs are taken and dropped on every tracing thread.
#pragma once

#include "KivPlatform/Status.h"
#include "KivPlatform/Unknown.h"

#include <atomic>

namespace Kiv::Log::Common {

template <class T>
class CUnknown : public T {
public:
    HRESULT QueryInterface(REFIID riid, void** ppvObject) override
    {
        if (ppvObject == nullptr) {
            return E_POINTER;
        }
        if (riid == IUnknown::Iid) {
            *ppvObject = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        *ppvObject = nullptr;
        return E_NOINTERFACE;
    }
    // Tells MakeObject that the creator's reference is already counted.
    static constexpr bool CreatedWithReference = true;

    ULONG AddRef() override { return static_cast<ULONG>(m_count.fetch_add(1, std::memory_order_relaxed) + 1); }
    ULONG Release() override
    {
        const LONG count = m_count.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (count == 0) {
            delete this;
        }
        return static_cast<ULONG>(count);
    }

protected:
    CUnknown() = default;
    CUnknown(const CUnknown&) = delete;
    CUnknown& operator=(const CUnknown&) = delete;

private:
    std::atomic<LONG> m_count{1};
};

} // namespace Kiv::Log::Common
