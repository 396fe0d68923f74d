// The smart pointer and the string owner: they must neither leak nor drop a reference.
#include "TestObjects.h"

#include "KivObject/ComBSTR.h"
#include "KivObject/ComPtr.h"
#include "KivObject/MakeObject.h"

#include "KivTestSupport/FailingAllocations.h"

#include <gtest/gtest.h>

using namespace KivObjectTest;
using Kiv::CComBSTR;
using Kiv::CComPtr;
using Kiv::CKivObject;
using Kiv::MakeObject;

namespace {

TEST(ComPtrTest, CopiesMovesAndAssignmentsKeepTheCountExact)
{
    g_destroyed = 0;
    {
        CComPtr<IFoo> a = CKivObject<CFoo>::CreateObject();
        EXPECT_EQ(CountOf(a), 1u);
        CComPtr<IFoo> b = a;
        EXPECT_EQ(CountOf(a), 2u);
        CComPtr<IFoo> c = std::move(b);
        EXPECT_EQ(b.Get(), nullptr);
        EXPECT_EQ(CountOf(a), 2u);
        c = a;
        EXPECT_EQ(CountOf(a), 2u);
        c = c; // self-assignment keeps the reference
        EXPECT_EQ(CountOf(a), 2u);
        CComPtr<IFoo> other = CKivObject<CFoo>::CreateObject();
        c = other; // drops a's second reference
        EXPECT_EQ(CountOf(a), 1u);
        EXPECT_EQ(CountOf(other), 2u);
        c = nullptr;
        EXPECT_EQ(CountOf(other), 1u);
    }
    EXPECT_EQ(g_destroyed, 2);
}

TEST(ComPtrTest, AttachDetachAndCopyToHandOverOwnership)
{
    g_destroyed = 0;
    auto* raw = CKivObject<CFoo>::CreateObject();
    raw->AddRef();
    CComPtr<IFoo> owner;
    owner.Attach(raw); // adopts the reference taken above
    EXPECT_EQ(CountOf(owner), 1u);

    IFoo* copy = nullptr;
    EXPECT_EQ(owner.CopyTo(&copy), S_OK);
    EXPECT_EQ(CountOf(owner), 2u);
    copy->Release();
    EXPECT_EQ(owner.CopyTo(nullptr), E_POINTER);

    IFoo* detached = owner.Detach();
    EXPECT_EQ(owner.Get(), nullptr);
    EXPECT_EQ(g_destroyed, 0);
    EXPECT_EQ(detached->Release(), 0u);
    EXPECT_EQ(g_destroyed, 1);

    CComPtr<IBar> none;
    CComPtr<IFoo> empty;
    EXPECT_EQ(empty.QueryInterface(&none), E_POINTER);
}

TEST(MakeObjectTest, BothKindsOfCountedObjectStartWithExactlyTheOneReference)
{
    g_destroyed = 0;
    {
        const CComPtr<CKivObject<CFoo>> counted = MakeObject<CKivObject<CFoo>>(7);
        EXPECT_EQ(counted->GetValue(), 7);
        EXPECT_EQ(CountOf(static_cast<IFoo*>(counted)), 1u);
        const CComPtr<CCreatedWithReference> referenced = MakeObject<CCreatedWithReference>(8);
        EXPECT_EQ(referenced->GetValue(), 8);
        EXPECT_EQ(CountOf(referenced), 1u);
        // Held as one of its interfaces, the new object still has the one reference.
        CComPtr<IFoo> asInterface = MakeObject<CKivObject<CFoo>>(9);
        EXPECT_EQ(CountOf(asInterface), 1u);
        asInterface = MakeObject<CCreatedWithReference>(10);
        EXPECT_EQ(g_destroyed, 1);
        EXPECT_EQ(CountOf(asInterface), 1u);
    }
    EXPECT_EQ(g_destroyed, 4); // none leaked a reference
}

TEST(MakeObjectTest, OutOfMemoryThrowsBadAllocAndLeavesNothing)
{
    g_destroyed = 0;
    long failed = 0;
    {
        KivTest::CFailingAllocations failing(0, failed);
        EXPECT_THROW(MakeObject<CKivObject<CFoo>>(1), std::bad_alloc);
        EXPECT_THROW(MakeObject<CCreatedWithReference>(2), std::bad_alloc);
    }
    EXPECT_EQ(failed, 2);
    EXPECT_EQ(g_destroyed, 0);
}

TEST(ComPtrTest, CopyToHandsAnImplementationOutAsOneOfItsInterfaces)
{
    g_destroyed = 0;
    {
        const CComPtr<CKivObject<CFoo>> object = MakeObject<CKivObject<CFoo>>(5);
        IBar* bar = nullptr;
        EXPECT_EQ(object.CopyTo(&bar), S_OK);
        EXPECT_EQ(bar, static_cast<IBar*>(object.Get()));
        EXPECT_EQ(CountOf(bar), 2u);
        EXPECT_EQ(bar->Release(), 1u);
        EXPECT_EQ(object.CopyTo(static_cast<IFoo**>(nullptr)), E_POINTER);

        const CComPtr<CKivObject<CFoo>> empty;
        IFoo* foo = reinterpret_cast<IFoo*>(&bar); // not null, so that the write shows
        EXPECT_EQ(empty.CopyTo(&foo), S_OK);
        EXPECT_EQ(foo, nullptr);
    }
    EXPECT_EQ(g_destroyed, 1);
}

// An operation that hands out a new object through an out pointer, as interface methods do.
HRESULT CreateFoo(int value, IFoo** out)
{
    return MakeObject<CKivObject<CFoo>>(value).CopyTo(out);
}

TEST(ComPtrTest, TakingTheAddressForAnOutParameterReleasesWhatWasHeld)
{
    g_destroyed = 0;
    CComPtr<IFoo> foo;
    ASSERT_EQ(CreateFoo(1, &foo), S_OK);
    ASSERT_EQ(CreateFoo(2, &foo), S_OK); // the first object must go, not leak
    EXPECT_EQ(g_destroyed, 1);
    EXPECT_EQ(foo->GetValue(), 2);
    EXPECT_EQ(CountOf(foo), 1u);
    foo = nullptr;
    EXPECT_EQ(g_destroyed, 2);

    CComBSTR text(u"first");
    *&text = SysAllocString(u"second"); // the first string must be freed, not leak
    EXPECT_EQ(text.View(), u"second");
}

TEST(ComBSTRTest, OwnsCopiesAndHandsOverStrings)
{
    const char16_t withNul[] = {u'a', 0, u'b'};
    CComBSTR text(std::u16string_view(withNul, 3));
    EXPECT_EQ(text.Length(), 3u);
    EXPECT_EQ(text.View(), std::u16string_view(withNul, 3));

    CComBSTR copy = text;
    EXPECT_NE(static_cast<BSTR>(copy), static_cast<BSTR>(text));
    EXPECT_EQ(copy.View(), text.View());

    CComBSTR moved = std::move(copy);
    EXPECT_EQ(static_cast<BSTR>(copy), nullptr);
    EXPECT_EQ(moved.Length(), 3u);

    BSTR detached = moved.Detach();
    EXPECT_EQ(static_cast<BSTR>(moved), nullptr);
    CComBSTR adopted;
    adopted.Attach(detached);
    EXPECT_EQ(adopted.View(), text.View());

    CComBSTR empty;
    EXPECT_EQ(empty.Length(), 0u);
    EXPECT_EQ(empty.View(), u"");
    EXPECT_EQ(empty.Copy(), nullptr);
    EXPECT_EQ(CComBSTR(static_cast<const OLECHAR*>(nullptr)).Length(), 0u);
}

} // namespace
