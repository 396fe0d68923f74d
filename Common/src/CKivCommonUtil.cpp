#include "CKivCommonUtil.h"

#include "CKivGeometry.h"

#include "KivCommon/KivCommon.h"

#include "KivObject/KivObject.h"

namespace Kiv {

namespace {

// A new geometry object (count 0) holding a copy of the record, or zeros for none; null when
// memory runs out.
template <class Object, class Record>
auto* Create(const Record* record)
{
    auto* object = CKivObject<Object>::CreateObject();
    if (object != nullptr) {
        object->Assign(record);
    }
    return object;
}

} // namespace

IKivRect* CKivCommonUtil::CreateRect(const KivRectF* rect)
{
    return Create<CKivRect>(rect);
}

IKivRect* CKivCommonUtil::CreateRect(float left, float top, float right, float bottom)
{
    const KivRectF rect{left, top, right, bottom};
    return CreateRect(&rect);
}

IKivPoint* CKivCommonUtil::CreatePoint(const KivPointF* point)
{
    return Create<CKivPoint>(point);
}

IKivPoint* CKivCommonUtil::CreatePoint(float x, float y)
{
    const KivPointF point{x, y};
    return CreatePoint(&point);
}

IKivSize* CKivCommonUtil::CreateSize(const KivSizeF* size)
{
    return Create<CKivSize>(size);
}

IKivSize* CKivCommonUtil::CreateSize(float width, float height)
{
    const KivSizeF size{width, height};
    return CreateSize(&size);
}

IKivColor* CKivCommonUtil::CreateColor(const KivColorF* color)
{
    return Create<CKivColor>(color);
}

IKivColor* CKivCommonUtil::CreateColor(float component1, float component2, float component3, float component4)
{
    // Stored in the order 3, 2, 1, 4.
    const KivColorF color{component3, component2, component1, component4};
    return CreateColor(&color);
}

IKivCommonUtil* GetKivCommonUtil()
{
    static CKivCommonUtil util;
    return &util;
}

} // namespace Kiv
