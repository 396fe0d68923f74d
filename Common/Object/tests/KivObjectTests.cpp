// Reference counting, interface maps, aggregation and concurrent counting of the object template.
#include "TestObjects.h"

#include "KivObject/ComPtr.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace KivObjectTest;
using Kiv::CKivAggObject;
using Kiv::CKivObject;
using Kiv::CComPtr;

namespace {

class KivObjectTest : public ::testing::Test {
protected:
    void SetUp() override { g_destroyed = 0; }
};

TEST_F(KivObjectTest, NewObjectStartsAtZeroAndTheLastReleaseDestroysIt)
{
    auto* object = CKivObject<CFoo>::CreateObject(7);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->GetValue(), 7);
    EXPECT_EQ(object->AddRef(), 1u);
    EXPECT_EQ(object->AddRef(), 2u);
    EXPECT_EQ(object->Release(), 1u);
    EXPECT_EQ(g_destroyed, 0);
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(g_destroyed, 1);
}

TEST_F(KivObjectTest, QueryInterfaceWithNullOutPointerChangesNothing)
{
    CComPtr<IFoo> foo = CKivObject<CFoo>::CreateObject();
    EXPECT_EQ(foo->QueryInterface(IBar::Iid, nullptr), E_INVALIDARG);
    EXPECT_EQ(CountOf(foo), 1u);
}

TEST_F(KivObjectTest, QueryInterfaceForAnUnknownIdClearsTheOutPointer)
{
    CComPtr<IFoo> foo = CKivObject<CFoo>::CreateObject();
    void* out = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(foo->QueryInterface(INotImplemented::Iid, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(CountOf(foo), 1u);
}

TEST_F(KivObjectTest, IdentityIsThePrimaryPartAndEveryPartLeadsBackToIt)
{
    CComPtr<IFoo> foo = CKivObject<CFoo>::CreateObject();
    CComPtr<IUnknown> unknown;
    ASSERT_EQ(foo->QueryInterface(IID_PPV_ARGS(&unknown)), S_OK);
    EXPECT_EQ(static_cast<void*>(unknown.Get()), static_cast<void*>(foo.Get()));

    CComPtr<IBar> bar;
    ASSERT_EQ(foo.QueryInterface(&bar), S_OK);
    EXPECT_NE(static_cast<void*>(bar.Get()), static_cast<void*>(foo.Get()));
    CComPtr<IUnknown> unknownFromBar;
    ASSERT_EQ(bar->QueryInterface(IID_PPV_ARGS(&unknownFromBar)), S_OK);
    EXPECT_EQ(unknownFromBar.Get(), unknown.Get());

    // Every successful query took one reference: foo, unknown, bar, unknownFromBar.
    EXPECT_EQ(CountOf(foo), 4u);
    bar->SetValue(5);
    EXPECT_EQ(foo->GetValue(), 5);
}

TEST_F(KivObjectTest, ExtendedClassAnswersItsBaseIdsAndItsOwn)
{
    CComPtr<IBaz> baz = CKivObject<CFooBaz>::CreateObject();
    CComPtr<IBar> bar;
    ASSERT_EQ(baz.QueryInterface(&bar), S_OK);
    bar->SetValue(21);
    CComPtr<IBaz> bazAgain;
    ASSERT_EQ(bar.QueryInterface(&bazAgain), S_OK);
    EXPECT_EQ(bazAgain.Get(), baz.Get());
    EXPECT_EQ(baz->Twice(), 42);

    CComPtr<IUnknown> unknown;
    ASSERT_EQ(baz.QueryInterface(&unknown), S_OK);
    CComPtr<IFoo> foo;
    ASSERT_EQ(baz.QueryInterface(&foo), S_OK);
    EXPECT_EQ(static_cast<void*>(unknown.Get()), static_cast<void*>(foo.Get()));
    CComPtr<INotImplemented> none;
    EXPECT_EQ(baz.QueryInterface(&none), E_NOINTERFACE);
    EXPECT_EQ(none.Get(), nullptr);
}

TEST_F(KivObjectTest, ReferencesFromManyThreadsAreCountedExactly)
{
    constexpr int kThreads = 8;
    constexpr int kRounds = 20000;
    auto* object = CKivObject<CFoo>::CreateObject();
    object->AddRef();
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([object] {
            for (int i = 0; i < kRounds; ++i) {
                object->AddRef();
                CComPtr<IBar> bar;
                object->QueryInterface(IID_PPV_ARGS(&bar));
                object->Release();
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(g_destroyed, 0);
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(g_destroyed, 1);
}

// Aggregation: an outer object made of two inner parts, each a CKivAggObject.
struct IOuter : IUnknown {
    KIV_INTERFACE_ID("22222222-0000-0000-0000-000000000001");
    virtual int PartCount() = 0;
};

class CInnerFoo : public IFoo {
public:
    virtual ~CInnerFoo() { ++g_destroyed; }
    int GetValue() override { return 99; }
    virtual HRESULT FindInterface(REFIID riid, void** ppv)
    {
        return Kiv::FindInterfaceInMap({{IUnknown::Iid, this}, {IFoo::Iid, this}}, riid, ppv);
    }
};

class CInnerBaz : public IBaz {
public:
    virtual ~CInnerBaz() { ++g_destroyed; }
    int Twice() override { return 4; }
    virtual HRESULT FindInterface(REFIID riid, void** ppv)
    {
        return Kiv::FindInterfaceInMap({{IUnknown::Iid, this}, {IBaz::Iid, this}}, riid, ppv);
    }
};

class COuter : public IOuter {
public:
    COuter()
    {
        m_foo = CKivAggObject<CInnerFoo>::CreateObject(this)->GetInnerUnknown();
        m_baz = CKivAggObject<CInnerBaz>::CreateObject(this)->GetInnerUnknown();
    }
    virtual ~COuter() { ++g_destroyed; }
    int PartCount() override { return 2; }

    virtual HRESULT FindInterface(REFIID riid, void** ppv)
    {
        if (riid == IFoo::Iid) {
            return m_foo->QueryInterface(riid, ppv);
        }
        if (riid == IBaz::Iid) {
            return m_baz->QueryInterface(riid, ppv);
        }
        return Kiv::FindInterfaceInMap({{IUnknown::Iid, this}, {IOuter::Iid, this}}, riid, ppv);
    }

    CComPtr<IUnknown> m_foo;
    CComPtr<IUnknown> m_baz;
};

TEST_F(KivObjectTest, AggregatedPartsCountOnTheOuterObjectAndDieWithIt)
{
    auto* outerObject = CKivObject<COuter>::CreateObject();
    CComPtr<IOuter> outer = outerObject;
    ASSERT_EQ(CountOf(outer), 1u);
    // Each part's own count is the one reference the outer object holds.
    EXPECT_EQ(CountOf(outerObject->m_foo), 1u);

    CComPtr<IFoo> foo;
    ASSERT_EQ(outer.QueryInterface(&foo), S_OK);
    EXPECT_EQ(foo->GetValue(), 99);
    EXPECT_EQ(CountOf(outer), 2u);
    EXPECT_EQ(CountOf(outerObject->m_foo), 1u);
    EXPECT_EQ(foo->AddRef(), 3u); // counts on the outer object
    foo->Release();

    // Asking a part answers with the outer object's full set.
    CComPtr<IBaz> baz;
    ASSERT_EQ(foo.QueryInterface(&baz), S_OK);
    EXPECT_EQ(baz->Twice(), 4);
    CComPtr<IUnknown> identity;
    ASSERT_EQ(baz.QueryInterface(&identity), S_OK);
    EXPECT_EQ(static_cast<void*>(identity.Get()), static_cast<void*>(outer.Get()));

    // The inner unknown is the part's own identity.
    CComPtr<IUnknown> inner;
    ASSERT_EQ(outerObject->m_foo->QueryInterface(IID_PPV_ARGS(&inner)), S_OK);
    EXPECT_EQ(inner.Get(), outerObject->m_foo.Get());
    EXPECT_EQ(outerObject->m_foo->QueryInterface(IUnknown::Iid, nullptr), E_INVALIDARG);
    inner.Release();

    identity.Release();
    baz.Release();
    outer.Release();
    EXPECT_EQ(g_destroyed, 0); // foo still holds the outer object
    foo.Release();
    EXPECT_EQ(g_destroyed, 3);
}

} // namespace
