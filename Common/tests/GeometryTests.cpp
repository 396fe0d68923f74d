// The common utility and its geometry objects, through the library's export.
#include "KivCommon/KivCommon.h"

#include "KivObject/ComPtr.h"

#include <gtest/gtest.h>

#include <cstring>

using Kiv::CComPtr;

namespace {

TEST(GeometryTest, AccessorGivesOneUtility)
{
    Kiv::IKivCommonUtil* util = Kiv::GetKivCommonUtil();
    ASSERT_NE(util, nullptr);
    EXPECT_EQ(Kiv::GetKivCommonUtil(), util);
}

TEST(GeometryTest, RectanglesHoldTheirValues)
{
    CComPtr<Kiv::IKivRect> rect = Kiv::GetKivCommonUtil()->CreateRect(1, 2, 3, 4);
    ASSERT_TRUE(rect);
    EXPECT_EQ(rect->GetLeft(), 1);
    EXPECT_EQ(rect->GetTop(), 2);
    EXPECT_EQ(rect->GetRight(), 3);
    EXPECT_EQ(rect->GetBottom(), 4);
    EXPECT_EQ(rect->Set(nullptr), E_INVALIDARG);
    EXPECT_EQ(rect->Get(nullptr), E_INVALIDARG);
    EXPECT_EQ(rect->GetRight(), 3) << "a refused Set leaves the values";
    rect->SetRight(30);
    KivRectF copy{};
    ASSERT_EQ(rect->Get(&copy), S_OK);
    EXPECT_EQ(copy.left, 1);
    EXPECT_EQ(copy.right, 30);
    const KivRectF other{5, 6, 7, 8};
    ASSERT_EQ(rect->Set(&other), S_OK);
    EXPECT_EQ(rect->GetBottom(), 8);

    CComPtr<Kiv::IKivRect> fromRecord = Kiv::GetKivCommonUtil()->CreateRect(&other);
    EXPECT_EQ(fromRecord->GetTop(), 6);
    CComPtr<Kiv::IKivRect> zero = Kiv::GetKivCommonUtil()->CreateRect(nullptr);
    EXPECT_EQ(zero->GetLeft() + zero->GetTop() + zero->GetRight() + zero->GetBottom(), 0);
}

TEST(GeometryTest, PointsAndSizesHoldTheirValues)
{
    Kiv::IKivCommonUtil* util = Kiv::GetKivCommonUtil();
    CComPtr<Kiv::IKivPoint> point = util->CreatePoint(nullptr);
    EXPECT_EQ(point->GetX(), 0);
    EXPECT_EQ(point->GetY(), 0);
    point->SetY(-2.5f);
    KivPointF p{};
    ASSERT_EQ(point->Get(&p), S_OK);
    EXPECT_EQ(p.y, -2.5f);
    CComPtr<Kiv::IKivPoint> point2 = util->CreatePoint(3, 4);
    EXPECT_EQ(point2->GetX(), 3);

    CComPtr<Kiv::IKivSize> size = util->CreateSize(640, 480);
    EXPECT_EQ(size->GetWidth(), 640);
    EXPECT_EQ(size->GetHeight(), 480);
    const KivSizeF s{1, 2};
    CComPtr<Kiv::IKivSize> size2 = util->CreateSize(&s);
    EXPECT_EQ(size2->GetHeight(), 2);
    Kiv::IKivSize* fresh = util->CreateSize(nullptr);
    EXPECT_EQ(fresh->AddRef(), 1u) << "a new object starts with count 0";
    EXPECT_EQ(fresh->Release(), 0u);
}

TEST(GeometryTest, ColoursStoreComponentsThreeTwoOneFour)
{
    CComPtr<Kiv::IKivColor> color = Kiv::GetKivCommonUtil()->CreateColor(1, 2, 3, 4);
    KivColorF record{};
    ASSERT_EQ(color->Get(&record), S_OK);
    EXPECT_EQ(record.component3, 3);
    const float expected[4] = {3, 2, 1, 4};
    EXPECT_EQ(std::memcmp(&record, expected, sizeof expected), 0) << "the record is 3, 2, 1, 4 in memory";
    EXPECT_EQ(color->GetComponent1(), 1);
    EXPECT_EQ(color->GetComponent4(), 4);
    color->SetComponent2(20);
    ASSERT_EQ(color->Get(&record), S_OK);
    EXPECT_EQ(record.component2, 20);
}

TEST(GeometryTest, EachObjectAnswersOnlyItsOwnInterface)
{
    Kiv::IKivCommonUtil* util = Kiv::GetKivCommonUtil();
    CComPtr<Kiv::IKivRect> rect = util->CreateRect(nullptr);
    CComPtr<Kiv::IKivPoint> point;
    CComPtr<Kiv::IKivSize> size;
    CComPtr<Kiv::IKivColor> color;
    EXPECT_EQ(rect.QueryInterface(&point), E_NOINTERFACE);
    EXPECT_EQ(rect.QueryInterface(&size), E_NOINTERFACE);
    EXPECT_EQ(rect.QueryInterface(&color), E_NOINTERFACE);
    CComPtr<IUnknown> unknown;
    ASSERT_EQ(rect.QueryInterface(&unknown), S_OK);
    EXPECT_EQ(static_cast<void*>(unknown.Get()), static_cast<void*>(rect.Get()));
    CComPtr<Kiv::IKivRect> again;
    EXPECT_EQ(unknown.QueryInterface(&again), S_OK);
}

} // namespace
