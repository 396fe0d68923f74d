// CKivCommonUtil: the common utility, which creates geometry objects. Stateless; one instance,
// made on the first call of Kiv::GetKivCommonUtil. Thread-safe.
#pragma once

#include "KivCommon/KivGeometry.h"

namespace Kiv {

class CKivCommonUtil final : public IKivCommonUtil {
public:
    IKivRect* CreateRect(const KivRectF* rect) override;
    IKivRect* CreateRect(float left, float top, float right, float bottom) override;
    IKivPoint* CreatePoint(const KivPointF* point) override;
    IKivPoint* CreatePoint(float x, float y) override;
    IKivSize* CreateSize(const KivSizeF* size) override;
    IKivSize* CreateSize(float width, float height) override;
    IKivColor* CreateColor(const KivColorF* color) override;
    IKivColor* CreateColor(float component1, float component2, float component3, float component4) override;
};

} // namespace Kiv
