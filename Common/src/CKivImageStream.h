// CKivImageStream, an image in private memory with its lock, clip rectangle, origin and cairo
// drawing context, and CKivClipImageStream, a rectangular window onto such an image.
//
// Thread-safety: each object serialises its operations with a critical section of its own; a
// clip stream reaches its image through the image's operations, which take the image's. The
// lock (Lock/Unlock) marks the one owner allowed to touch pixels.
#pragma once

#include "CKivAtlModule.h"

#include "KivCommon/KivImage.h"

#include "KivObject/ComPtr.h"

#include "KivPlatform/FileContent.h"
#include "KivPlatform/Threading.h"

#include <cstddef>
#include <optional>

typedef struct _cairo_surface cairo_surface_t;

namespace Kiv {

class CKivImageStream : public IKivImageStream, public IKivDeviceContext {
public:
    CKivImageStream() = default;
    virtual ~CKivImageStream();
    CKivImageStream(const CKivImageStream&) = delete;
    CKivImageStream& operator=(const CKivImageStream&) = delete;

    // Gives a stream without an image a blank one (see IKivImageStreamFactory::CreateImage).
    // E_FAIL when it already has one.
    HRESULT Allocate(LONG width, LONG height, DWORD bitsPerPixel);
    // The pixels of a stream that is still being filled by its maker, before anyone else sees
    // it; null without an image.
    BYTE* PixelsForFilling() { return m_pixels.Data(); }

    // Pixel access in image coordinates (not moved by the origin, no clip rectangle), for clip
    // streams: needs an image and a held lock (E_FAIL, which CheckPixelAccess tells alone), a
    // point inside the image (E_INVALIDARG).
    HRESULT CheckPixelAccess();
    HRESULT GetPixelAt(LONG x, LONG y, KivImageColor* color);
    HRESULT SetPixelAt(LONG x, LONG y, KivImageColor color);
    // The bounds of the image in image coordinates; false without an image.
    bool GetBounds(KivImageRect& bounds);

    // IKivImageStream
    HRESULT GetImageInfo(KivImageInfo* info) override;
    HRESULT Lock(BYTE** bits, KivImageLockToken* token) override;
    HRESULT Unlock(KivImageLockToken token) override;
    HRESULT GetPixel(LONG x, LONG y, KivImageColor* color) override;
    HRESULT SetPixel(LONG x, LONG y, KivImageColor color) override;
    HRESULT CreateClip(const KivImageRect* rect, IKivImageStream** clip) override;
    HRESULT SetClipRect(const KivImageRect* rect) override;
    HRESULT GetClipRect(KivImageRect* rect) override;
    HRESULT SetOrigin(const KivImagePoint* origin) override;
    HRESULT GetOrigin(KivImagePoint* origin) override;

    // IKivDeviceContext
    HRESULT GetDC(cairo_t** dc) override;
    HRESULT ReleaseDC(cairo_t* dc) override;

    virtual HRESULT FindInterface(REFIID riid, void** ppv);

private:
    bool HasImage() const { return m_pixels.Data() != nullptr; }
    // The pixel at image coordinates, checked against the image; null outside it.
    BYTE* PixelAt(LONG x, LONG y) const;
    // Drops the drawing context and the surface under it.
    void DestroyDrawingContext();

    CKivModuleLock m_moduleLock;
    Platform::CriticalSection m_lock;
    // All zero while there is no image.
    KivImageInfo m_info{};
    Platform::PrivateMemory m_pixels;
    cairo_surface_t* m_surface = nullptr;
    cairo_t* m_context = nullptr;
    // Saved drawing states handed out and not yet given back.
    std::size_t m_savedStates = 0;
    // The token of the current lock, null when unlocked; each lock gets a new one.
    KivImageLockToken m_lockToken = nullptr;
    std::uintptr_t m_lockSerial = 0;
    // In image coordinates, inside the image.
    std::optional<KivImageRect> m_clip;
    KivImagePoint m_origin{};
};

class CKivClipImageStream : public IKivImageStream, public IKivDeviceContext {
public:
    CKivClipImageStream() = default;
    virtual ~CKivClipImageStream();
    CKivClipImageStream(const CKivClipImageStream&) = delete;
    CKivClipImageStream& operator=(const CKivClipImageStream&) = delete;

    // A window onto image, in image coordinates; the window must lie inside the image.
    void Init(CKivImageStream* image, const KivImageRect& window);

    // IKivImageStream
    HRESULT GetImageInfo(KivImageInfo* info) override;
    HRESULT Lock(BYTE** bits, KivImageLockToken* token) override;
    HRESULT Unlock(KivImageLockToken token) override;
    HRESULT GetPixel(LONG x, LONG y, KivImageColor* color) override;
    HRESULT SetPixel(LONG x, LONG y, KivImageColor color) override;
    HRESULT CreateClip(const KivImageRect* rect, IKivImageStream** clip) override;
    HRESULT SetClipRect(const KivImageRect* rect) override;
    HRESULT GetClipRect(KivImageRect* rect) override;
    HRESULT SetOrigin(const KivImagePoint* origin) override;
    HRESULT GetOrigin(KivImagePoint* origin) override;

    // IKivDeviceContext: the image's context, moved to the window and clipped to it.
    HRESULT GetDC(cairo_t** dc) override;
    HRESULT ReleaseDC(cairo_t* dc) override;

    virtual HRESULT FindInterface(REFIID riid, void** ppv);

private:
    // The window's own bounds: (0, 0) to its size.
    KivImageRect WindowBounds() const;
    // A point relative to the origin in window coordinates, when it lies inside the window.
    bool ToWindow(LONG x, LONG y, LONG& windowX, LONG& windowY) const;

    CKivModuleLock m_moduleLock;
    Platform::CriticalSection m_lock;
    CComPtr<IKivImageStream> m_imageHolder;
    CKivImageStream* m_image = nullptr;
    // In image coordinates.
    KivImageRect m_window{};
    // In window coordinates, inside the window.
    std::optional<KivImageRect> m_clip;
    KivImagePoint m_origin{};
    // The image's context while handed out, and the states this stream pushed on it.
    cairo_t* m_context = nullptr;
    std::size_t m_savedStates = 0;
};

// Makes a clip stream over image on window (image coordinates, inside the image) and hands it out
// through clip.
HRESULT CreateClipImageStream(CKivImageStream* image, const KivImageRect& window, IKivImageStream** clip);

} // namespace Kiv
