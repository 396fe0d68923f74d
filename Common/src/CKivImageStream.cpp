#include "CKivImageStream.h"

#include "KivImagePixels.h"

#include "KivObject/InterfaceMap.h"
#include "KivObject/KivObject.h"

#include <cairo.h>

#include <mutex>

namespace Kiv {

namespace {

// The cairo format over the same memory layout, or CAIRO_FORMAT_INVALID where cairo has none
// (24-bit packed pixels).
cairo_format_t CairoFormatOf(DWORD bitsPerPixel)
{
    switch (bitsPerPixel) {
    case KivImageBits32:
        return CAIRO_FORMAT_ARGB32;
    case KivImageBits16:
        return CAIRO_FORMAT_RGB16_565;
    default:
        return CAIRO_FORMAT_INVALID;
    }
}

// The rectangle moved back by an origin, for reporting a clip rectangle relative to it.
HRESULT ReportRelativeToOrigin(const KivImageRect& rect, const KivImagePoint& origin, KivImageRect* out)
{
    KivImageRect moved;
    if (!OffsetRect(rect, -LONGLONG{origin.x}, -LONGLONG{origin.y}, moved)) {
        return E_FAIL;
    }
    *out = moved;
    return S_OK;
}

// A clip rectangle given relative to an origin, in the coordinates of bounds and cut to them.
HRESULT ClipFromRelative(const KivImageRect& rect, const KivImagePoint& origin, const KivImageRect& bounds,
                         std::optional<KivImageRect>& clip)
{
    KivImageRect moved;
    if (!OffsetRect(rect, origin.x, origin.y, moved)) {
        return E_INVALIDARG;
    }
    clip = IntersectRect(moved, bounds);
    return S_OK;
}

bool Contains(const KivImageRect& rect, LONG x, LONG y)
{
    return x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
}

} // namespace

CKivImageStream::~CKivImageStream()
{
    DestroyDrawingContext();
}

HRESULT CKivImageStream::Allocate(LONG width, LONG height, DWORD bitsPerPixel)
{
    std::lock_guard lock(m_lock);
    if (HasImage()) {
        return E_FAIL;
    }
    KivImageInfo info;
    std::size_t bytes = 0;
    const HRESULT status = DescribeImage(width, height, bitsPerPixel, info, bytes);
    if (FAILED(status)) {
        return status;
    }
    if (!m_pixels.Allocate(bytes)) {
        return E_OUTOFMEMORY;
    }
    m_info = info;
    return S_OK;
}

BYTE* CKivImageStream::PixelAt(LONG x, LONG y) const
{
    if (!HasImage() || x < 0 || y < 0 || x >= m_info.width || y >= m_info.height) {
        return nullptr;
    }
    return m_pixels.Data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(m_info.stride) +
           static_cast<std::size_t>(x) * BytesPerPixel(m_info);
}

HRESULT CKivImageStream::CheckPixelAccess()
{
    std::lock_guard lock(m_lock);
    return HasImage() && m_lockToken != nullptr ? S_OK : E_FAIL;
}

HRESULT CKivImageStream::GetPixelAt(LONG x, LONG y, KivImageColor* color)
{
    std::lock_guard lock(m_lock);
    if (!HasImage() || m_lockToken == nullptr) {
        return E_FAIL;
    }
    const BYTE* pixel = PixelAt(x, y);
    if (color == nullptr || pixel == nullptr) {
        return E_INVALIDARG;
    }
    *color = ReadPixel(m_info, pixel);
    return S_OK;
}

HRESULT CKivImageStream::SetPixelAt(LONG x, LONG y, KivImageColor color)
{
    std::lock_guard lock(m_lock);
    if (!HasImage() || m_lockToken == nullptr) {
        return E_FAIL;
    }
    BYTE* pixel = PixelAt(x, y);
    if (pixel == nullptr) {
        return E_INVALIDARG;
    }
    WritePixel(m_info, pixel, color);
    return S_OK;
}

bool CKivImageStream::GetBounds(KivImageRect& bounds)
{
    std::lock_guard lock(m_lock);
    bounds = {0, 0, m_info.width, m_info.height};
    return HasImage();
}

HRESULT CKivImageStream::GetImageInfo(KivImageInfo* info)
{
    if (info == nullptr) {
        return E_INVALIDARG;
    }
    std::lock_guard lock(m_lock);
    if (!HasImage()) {
        return E_FAIL;
    }
    *info = m_info;
    return S_OK;
}

HRESULT CKivImageStream::Lock(BYTE** bits, KivImageLockToken* token)
{
    if (bits == nullptr || token == nullptr) {
        return E_INVALIDARG;
    }
    std::lock_guard lock(m_lock);
    if (!HasImage() || m_lockToken != nullptr) {
        return E_FAIL;
    }
    // Serials start at 1, so no token is null.
    m_lockToken = reinterpret_cast<KivImageLockToken>(++m_lockSerial);
    *bits = m_pixels.Data();
    *token = m_lockToken;
    return S_OK;
}

HRESULT CKivImageStream::Unlock(KivImageLockToken token)
{
    std::lock_guard lock(m_lock);
    if (token == nullptr || token != m_lockToken) {
        return E_INVALIDARG;
    }
    m_lockToken = nullptr;
    return S_OK;
}

HRESULT CKivImageStream::GetPixel(LONG x, LONG y, KivImageColor* color)
{
    std::lock_guard lock(m_lock);
    if (!HasImage() || m_lockToken == nullptr) {
        return E_FAIL;
    }
    LONG imageX = 0;
    LONG imageY = 0;
    if (color == nullptr || !OffsetCoordinate(x, m_origin.x, imageX) || !OffsetCoordinate(y, m_origin.y, imageY)) {
        return E_INVALIDARG;
    }
    return GetPixelAt(imageX, imageY, color);
}

HRESULT CKivImageStream::SetPixel(LONG x, LONG y, KivImageColor color)
{
    std::lock_guard lock(m_lock);
    if (!HasImage() || m_lockToken == nullptr) {
        return E_FAIL;
    }
    LONG imageX = 0;
    LONG imageY = 0;
    if (!OffsetCoordinate(x, m_origin.x, imageX) || !OffsetCoordinate(y, m_origin.y, imageY) ||
        PixelAt(imageX, imageY) == nullptr) {
        return E_INVALIDARG;
    }
    if (m_clip && !Contains(*m_clip, imageX, imageY)) {
        return E_FAIL;
    }
    return SetPixelAt(imageX, imageY, color);
}

HRESULT CKivImageStream::CreateClip(const KivImageRect* rect, IKivImageStream** clip)
{
    if (rect == nullptr || clip == nullptr) {
        return E_INVALIDARG;
    }
    std::lock_guard lock(m_lock);
    if (!HasImage()) {
        return E_FAIL;
    }
    KivImageRect window;
    if (!OffsetRect(*rect, m_origin.x, m_origin.y, window) || !IsRectInside(window, {0, 0, m_info.width, m_info.height})) {
        return E_INVALIDARG;
    }
    return CreateClipImageStream(this, window, clip);
}

HRESULT CKivImageStream::SetClipRect(const KivImageRect* rect)
{
    std::lock_guard lock(m_lock);
    if (rect == nullptr) {
        m_clip.reset();
        return S_OK;
    }
    return ClipFromRelative(*rect, m_origin, {0, 0, m_info.width, m_info.height}, m_clip);
}

HRESULT CKivImageStream::GetClipRect(KivImageRect* rect)
{
    if (rect == nullptr) {
        return E_INVALIDARG;
    }
    std::lock_guard lock(m_lock);
    return ReportRelativeToOrigin(m_clip.value_or(KivImageRect{0, 0, m_info.width, m_info.height}), m_origin, rect);
}

HRESULT CKivImageStream::SetOrigin(const KivImagePoint* origin)
{
    if (origin == nullptr) {
        return E_INVALIDARG;
    }
    std::lock_guard lock(m_lock);
    m_origin = *origin;
    return S_OK;
}

HRESULT CKivImageStream::GetOrigin(KivImagePoint* origin)
{
    if (origin == nullptr) {
        return E_INVALIDARG;
    }
    std::lock_guard lock(m_lock);
    *origin = m_origin;
    return S_OK;
}

HRESULT CKivImageStream::GetDC(cairo_t** dc)
{
    if (dc == nullptr) {
        return E_INVALIDARG;
    }
    std::lock_guard lock(m_lock);
    if (!HasImage()) {
        return E_FAIL;
    }
    const cairo_format_t format = CairoFormatOf(m_info.bitsPerPixel);
    if (format == CAIRO_FORMAT_INVALID) {
        return E_NOTIMPL;
    }
    if (m_context == nullptr) {
        m_surface = cairo_image_surface_create_for_data(m_pixels.Data(), format, m_info.width, m_info.height,
                                                        m_info.stride);
        m_context = cairo_create(m_surface);
        if (cairo_surface_status(m_surface) != CAIRO_STATUS_SUCCESS ||
            cairo_status(m_context) != CAIRO_STATUS_SUCCESS) {
            DestroyDrawingContext();
            return E_UNEXPECTED;
        }
    }
    if (m_savedStates == 0) {
        // The pixels may have been changed under the lock since cairo last saw them.
        cairo_surface_mark_dirty(m_surface);
    }
    cairo_save(m_context);
    ++m_savedStates;
    *dc = m_context;
    return S_OK;
}

HRESULT CKivImageStream::ReleaseDC(cairo_t* dc)
{
    std::lock_guard lock(m_lock);
    if (dc == nullptr || dc != m_context || m_savedStates == 0) {
        return E_FAIL;
    }
    cairo_restore(m_context);
    if (--m_savedStates == 0) {
        cairo_surface_flush(m_surface);
    }
    return S_OK;
}

void CKivImageStream::DestroyDrawingContext()
{
    if (m_context != nullptr) {
        cairo_destroy(m_context);
        m_context = nullptr;
    }
    if (m_surface != nullptr) {
        cairo_surface_destroy(m_surface);
        m_surface = nullptr;
    }
    m_savedStates = 0;
}

HRESULT CKivImageStream::FindInterface(REFIID riid, void** ppv)
{
    return FindInterfaceInMap({{IUnknown::Iid, static_cast<IKivImageStream*>(this)},
                               {IKivImageStream::Iid, static_cast<IKivImageStream*>(this)},
                               {IKivDeviceContext::Iid, static_cast<IKivDeviceContext*>(this)}},
                              riid, ppv);
}

CKivClipImageStream::~CKivClipImageStream()
{
    // A context still handed out is given back, so that the image's saved states balance.
    if (m_context != nullptr) {
        for (; m_savedStates > 0; --m_savedStates) {
            cairo_restore(m_context);
        }
        m_image->ReleaseDC(m_context);
    }
}

void CKivClipImageStream::Init(CKivImageStream* image, const KivImageRect& window)
{
    m_imageHolder = static_cast<IKivImageStream*>(image);
    m_image = image;
    m_window = window;
}

KivImageRect CKivClipImageStream::WindowBounds() const
{
    return {0, 0, m_window.right - m_window.left, m_window.bottom - m_window.top};
}

bool CKivClipImageStream::ToWindow(LONG x, LONG y, LONG& windowX, LONG& windowY) const
{
    return OffsetCoordinate(x, m_origin.x, windowX) && OffsetCoordinate(y, m_origin.y, windowY) &&
           Contains(WindowBounds(), windowX, windowY);
}

HRESULT CKivClipImageStream::GetImageInfo(KivImageInfo* info)
{
    if (info == nullptr) {
        return E_INVALIDARG;
    }
    KivImageInfo imageInfo;
    const HRESULT status = m_image->GetImageInfo(&imageInfo);
    if (FAILED(status)) {
        return status;
    }
    imageInfo.width = m_window.right - m_window.left;
    imageInfo.height = m_window.bottom - m_window.top;
    *info = imageInfo;
    return S_OK;
}

HRESULT CKivClipImageStream::Lock(BYTE** bits, KivImageLockToken* token)
{
    if (bits == nullptr || token == nullptr) {
        return E_INVALIDARG;
    }
    KivImageInfo info;
    HRESULT status = m_image->GetImageInfo(&info);
    if (FAILED(status)) {
        return status;
    }
    BYTE* imageBits = nullptr;
    status = m_image->Lock(&imageBits, token);
    if (FAILED(status)) {
        return status;
    }
    // The window lies inside the image, so its first pixel does too.
    *bits = imageBits + static_cast<std::size_t>(m_window.top) * static_cast<std::size_t>(info.stride) +
            static_cast<std::size_t>(m_window.left) * BytesPerPixel(info);
    return S_OK;
}

HRESULT CKivClipImageStream::Unlock(KivImageLockToken token)
{
    return m_image->Unlock(token);
}

HRESULT CKivClipImageStream::GetPixel(LONG x, LONG y, KivImageColor* color)
{
    std::lock_guard lock(m_lock);
    HRESULT status = m_image->CheckPixelAccess();
    if (FAILED(status)) {
        return status;
    }
    LONG windowX = 0;
    LONG windowY = 0;
    if (color == nullptr || !ToWindow(x, y, windowX, windowY)) {
        return E_INVALIDARG;
    }
    return m_image->GetPixelAt(windowX + m_window.left, windowY + m_window.top, color);
}

HRESULT CKivClipImageStream::SetPixel(LONG x, LONG y, KivImageColor color)
{
    std::lock_guard lock(m_lock);
    HRESULT status = m_image->CheckPixelAccess();
    if (FAILED(status)) {
        return status;
    }
    LONG windowX = 0;
    LONG windowY = 0;
    if (!ToWindow(x, y, windowX, windowY)) {
        return E_INVALIDARG;
    }
    if (m_clip && !Contains(*m_clip, windowX, windowY)) {
        return E_FAIL;
    }
    return m_image->SetPixelAt(windowX + m_window.left, windowY + m_window.top, color);
}

HRESULT CKivClipImageStream::CreateClip(const KivImageRect* rect, IKivImageStream** clip)
{
    if (rect == nullptr || clip == nullptr) {
        return E_INVALIDARG;
    }
    std::lock_guard lock(m_lock);
    KivImageRect inWindow;
    KivImageRect inImage;
    if (!OffsetRect(*rect, m_origin.x, m_origin.y, inWindow) || !IsRectInside(inWindow, WindowBounds()) ||
        !OffsetRect(inWindow, m_window.left, m_window.top, inImage)) {
        return E_INVALIDARG;
    }
    // A clip of a clip is a window onto the same image.
    return CreateClipImageStream(m_image, inImage, clip);
}

HRESULT CKivClipImageStream::SetClipRect(const KivImageRect* rect)
{
    std::lock_guard lock(m_lock);
    if (rect == nullptr) {
        m_clip.reset();
        return S_OK;
    }
    return ClipFromRelative(*rect, m_origin, WindowBounds(), m_clip);
}

HRESULT CKivClipImageStream::GetClipRect(KivImageRect* rect)
{
    if (rect == nullptr) {
        return E_INVALIDARG;
    }
    std::lock_guard lock(m_lock);
    return ReportRelativeToOrigin(m_clip.value_or(WindowBounds()), m_origin, rect);
}

HRESULT CKivClipImageStream::SetOrigin(const KivImagePoint* origin)
{
    if (origin == nullptr) {
        return E_INVALIDARG;
    }
    std::lock_guard lock(m_lock);
    m_origin = *origin;
    return S_OK;
}

HRESULT CKivClipImageStream::GetOrigin(KivImagePoint* origin)
{
    if (origin == nullptr) {
        return E_INVALIDARG;
    }
    std::lock_guard lock(m_lock);
    *origin = m_origin;
    return S_OK;
}

HRESULT CKivClipImageStream::GetDC(cairo_t** dc)
{
    if (dc == nullptr) {
        return E_INVALIDARG;
    }
    std::lock_guard lock(m_lock);
    if (m_context == nullptr) {
        cairo_t* context = nullptr;
        const HRESULT status = m_image->GetDC(&context);
        if (FAILED(status)) {
            return status;
        }
        cairo_save(context);
        // The clip region in image coordinates, then the origin of this stream's coordinates.
        const KivImageRect clip = m_clip.value_or(WindowBounds());
        cairo_identity_matrix(context);
        cairo_new_path(context);
        cairo_rectangle(context, m_window.left + clip.left, m_window.top + clip.top, clip.right - clip.left,
                        clip.bottom - clip.top);
        cairo_clip(context);
        cairo_translate(context, double(m_window.left) + m_origin.x, double(m_window.top) + m_origin.y);
        m_context = context;
        m_savedStates = 1;
    } else {
        cairo_save(m_context);
        ++m_savedStates;
    }
    *dc = m_context;
    return S_OK;
}

HRESULT CKivClipImageStream::ReleaseDC(cairo_t* dc)
{
    std::lock_guard lock(m_lock);
    if (dc == nullptr || dc != m_context) {
        return E_INVALIDARG;
    }
    cairo_restore(m_context);
    if (--m_savedStates > 0) {
        return S_OK;
    }
    m_context = nullptr;
    return m_image->ReleaseDC(dc);
}

HRESULT CKivClipImageStream::FindInterface(REFIID riid, void** ppv)
{
    return FindInterfaceInMap({{IUnknown::Iid, static_cast<IKivImageStream*>(this)},
                               {IKivImageStream::Iid, static_cast<IKivImageStream*>(this)},
                               {IKivDeviceContext::Iid, static_cast<IKivDeviceContext*>(this)}},
                              riid, ppv);
}

HRESULT CreateClipImageStream(CKivImageStream* image, const KivImageRect& window, IKivImageStream** clip)
{
    CComPtr<CKivObject<CKivClipImageStream>> object(CKivObject<CKivClipImageStream>::CreateObject());
    if (object == nullptr) {
        return E_OUTOFMEMORY;
    }
    object->Init(image, window);
    return object->QueryInterface(IID_PPV_ARGS(clip));
}

} // namespace Kiv
