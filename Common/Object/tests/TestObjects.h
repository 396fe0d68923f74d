// Small interfaces and implementation classes for the object-model tests.
#pragma once

#include "KivObject/InterfaceMap.h"
#include "KivObject/KivObject.h"

#include <atomic>

namespace KivObjectTest {

struct IFoo : IUnknown {
    KIV_INTERFACE_ID("11111111-0000-0000-0000-000000000001");
    virtual int GetValue() = 0;
};
struct IBar : IUnknown {
    KIV_INTERFACE_ID("11111111-0000-0000-0000-000000000002");
    virtual void SetValue(int value) = 0;
};
struct IBaz : IUnknown {
    KIV_INTERFACE_ID("11111111-0000-0000-0000-000000000003");
    virtual int Twice() = 0;
};
struct INotImplemented : IUnknown {
    KIV_INTERFACE_ID("11111111-0000-0000-0000-0000000000FF");
};

// The current count of an object, read through a reference taken and dropped.
inline ULONG CountOf(IUnknown* p)
{
    p->AddRef();
    return p->Release();
}

// Counts destructions so tests can see exactly when an object goes.
inline std::atomic<int> g_destroyed{0};

class CFoo : public IFoo, public IBar {
public:
    explicit CFoo(int value = 0) : m_value(value) {}
    virtual ~CFoo() { ++g_destroyed; }

    int GetValue() override { return m_value; }
    void SetValue(int value) override { m_value = value; }

    virtual HRESULT FindInterface(REFIID riid, void** ppv)
    {
        return Kiv::FindInterfaceInMap({{IUnknown::Iid, static_cast<IFoo*>(this)},
                                        {IFoo::Iid, static_cast<IFoo*>(this)},
                                        {IBar::Iid, static_cast<IBar*>(this)}},
                                       riid, ppv);
    }

private:
    int m_value;
};

// A counted class of the other kind: it starts with its creator's reference already counted.
class CCreatedWithReference : public IFoo {
public:
    static constexpr bool CreatedWithReference = true;

    explicit CCreatedWithReference(int value) : m_value(value) {}
    virtual ~CCreatedWithReference() { ++g_destroyed; }

    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        return Kiv::FindInterfaceInMap({{IUnknown::Iid, this}, {IFoo::Iid, this}}, riid, ppv);
    }
    ULONG AddRef() override { return static_cast<ULONG>(++m_count); }
    ULONG Release() override
    {
        const LONG count = --m_count;
        if (count == 0) {
            delete this;
        }
        return static_cast<ULONG>(count);
    }
    int GetValue() override { return m_value; }

private:
    std::atomic<LONG> m_count{1};
    int m_value;
};

// An implementation class that extends another one: its map asks the base's first.
class CFooBaz : public CFoo, public IBaz {
public:
    int Twice() override { return 2 * GetValue(); }

    HRESULT FindInterface(REFIID riid, void** ppv) override
    {
        if (HRESULT hr = CFoo::FindInterface(riid, ppv); SUCCEEDED(hr)) {
            return hr;
        }
        return Kiv::FindInterfaceInMap({{IBaz::Iid, static_cast<IBaz*>(this)}}, riid, ppv);
    }
};

} // namespace KivObjectTest
