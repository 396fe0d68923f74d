// The smart pointer and the string owner: they must neither leak nor drop a reference.
#include "TestObjects.h"

#include "KivObject/ComBSTR.h"
#include "KivObject/ComPtr.h"

#include <gtest/gtest.h>

using namespace KivObjectTest;
using Kiv::CComBSTR;
using Kiv::CComPtr;
using Kiv::CKivObject;

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
