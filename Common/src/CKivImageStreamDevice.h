// CKivImageStreamDevice: copies, blends, stretches, fills and nine-grid-scales between image
// streams. It holds no state; every operation locks the streams it draws on for its own run, so
// a device may be shared between threads (two operations on the same stream exclude each other
// through the stream's lock: the second gets E_FAIL).
#pragma once

#include "CKivAtlModule.h"

#include "KivCommon/KivImage.h"

namespace Kiv {

class CKivImageStreamDevice : public IKivImageStreamDevice {
public:
    HRESULT DrawNineGrid(IKivImageStream* dest, const KivImageRect* destRect, IKivImageStream* source,
                         const KivImageRect* sourceRect, const KivImageRect* sourceInner,
                         const KivBlitParams* params) override;
    HRESULT Blit(IKivImageStream* dest, const KivImageRect* destRect, IKivImageStream* source,
                 const KivImageRect* sourceRect, const KivBlitParams* params) override;
    HRESULT FillRect(IKivImageStream* stream, const KivImageRect* rect, KivImageColor color) override;
    HRESULT InvertAlpha(IKivImageStream* stream, const KivImageRect* rect) override;
    HRESULT BlendColor(IKivImageStream* stream, KivImageColor color) override;

    virtual HRESULT FindInterface(REFIID riid, void** ppv);

private:
    CKivModuleLock m_moduleLock;
};

} // namespace Kiv
