// CKivImageStreamFactory, which makes image streams and devices, and CKivImageUtil, which makes
// factories (Kiv::GetKivImageUtil). Both hold no state; thread-safe.
#pragma once

#include "CKivAtlModule.h"

#include "KivCommon/KivImage.h"

namespace Kiv {

class CKivImageStreamFactory : public IKivImageStreamFactory {
public:
    HRESULT CreateFromFile(const OLECHAR* path, IKivImageStream** stream) override;
    HRESULT CreateImage(LONG width, LONG height, DWORD bitsPerPixel, IKivImageStream** stream) override;
    HRESULT CreateFromResource(void* module, const OLECHAR* name, const OLECHAR* type,
                               IKivImageStream** stream) override;
    HRESULT CreateFromResourceId(void* module, WORD id, const OLECHAR* type, IKivImageStream** stream) override;
    HRESULT CreateDevice(IKivImageStreamDevice** device) override;

    virtual HRESULT FindInterface(REFIID riid, void** ppv);

private:
    CKivModuleLock m_moduleLock;
};

class CKivImageUtil : public IKivImageUtil {
public:
    IKivImageStreamFactory* CreateFactory() override;
};

} // namespace Kiv
