// Geometry records and the counted geometry objects of KivCommon, and the common utility that
// creates them.
#pragma once

#include "KivPlatform/Status.h"
#include "KivPlatform/Unknown.h"

// A rectangle in client coordinates.
struct KivRectF {
    float left;
    float top;
    float right;
    float bottom;
};

struct KivPointF {
    float x;
    float y;
};

struct KivSizeF {
    float width;
    float height;
};

// A colour's four components in their stored order: component 3, 2, 1, then 4.
struct KivColorF {
    float component3;
    float component2;
    float component1;
    float component4;
};

namespace Kiv {

struct IKivRect : IUnknown {
    KIV_INTERFACE_ID("3DF814E0-1A38-48ED-A0A9-09DE7D0A5077");
    virtual HRESULT Get(KivRectF* rect) = 0;
    virtual HRESULT Set(const KivRectF* rect) = 0;
    virtual float GetLeft() = 0;
    virtual float GetTop() = 0;
    virtual float GetRight() = 0;
    virtual float GetBottom() = 0;
    virtual void SetLeft(float value) = 0;
    virtual void SetTop(float value) = 0;
    virtual void SetRight(float value) = 0;
    virtual void SetBottom(float value) = 0;
};

struct IKivPoint : IUnknown {
    KIV_INTERFACE_ID("1FA400AB-C9DA-4C57-8983-1B515D4447EA");
    virtual HRESULT Get(KivPointF* point) = 0;
    virtual HRESULT Set(const KivPointF* point) = 0;
    virtual float GetX() = 0;
    virtual float GetY() = 0;
    virtual void SetX(float value) = 0;
    virtual void SetY(float value) = 0;
};

struct IKivSize : IUnknown {
    KIV_INTERFACE_ID("633F7F7F-A097-4FFF-9047-5CBDEB423CCB");
    virtual HRESULT Get(KivSizeF* size) = 0;
    virtual HRESULT Set(const KivSizeF* size) = 0;
    virtual float GetWidth() = 0;
    virtual float GetHeight() = 0;
    virtual void SetWidth(float value) = 0;
    virtual void SetHeight(float value) = 0;
};

struct IKivColor : IUnknown {
    KIV_INTERFACE_ID("FA18878A-17D6-44C6-8017-06BE28FF35F1");
    virtual HRESULT Get(KivColorF* color) = 0;
    virtual HRESULT Set(const KivColorF* color) = 0;
    virtual float GetComponent1() = 0;
    virtual float GetComponent2() = 0;
    virtual float GetComponent3() = 0;
    virtual float GetComponent4() = 0;
    virtual void SetComponent1(float value) = 0;
    virtual void SetComponent2(float value) = 0;
    virtual void SetComponent3(float value) = 0;
    virtual void SetComponent4(float value) = 0;
};

// The common utility: creates geometry objects, each with a count of 0 (the receiver takes the
// first reference). A null record gives an object whose values are all 0. A plain, uncounted
// object that lives as long as the library.
struct IKivCommonUtil {
    virtual IKivRect* CreateRect(const KivRectF* rect) = 0;
    virtual IKivRect* CreateRect(float left, float top, float right, float bottom) = 0;
    virtual IKivPoint* CreatePoint(const KivPointF* point) = 0;
    virtual IKivPoint* CreatePoint(float x, float y) = 0;
    virtual IKivSize* CreateSize(const KivSizeF* size) = 0;
    virtual IKivSize* CreateSize(float width, float height) = 0;
    virtual IKivColor* CreateColor(const KivColorF* color) = 0;
    virtual IKivColor* CreateColor(float component1, float component2, float component3, float component4) = 0;

protected:
    ~IKivCommonUtil() = default;
};

} // namespace Kiv
