#include "CKivImageStreamDevice.h"

#include "KivImagePixels.h"

#include "KivObject/InterfaceMap.h"

#include <algorithm>
#include <cstring>

namespace Kiv {

namespace {

// Source positions advance in units of 1/256 pixel.
constexpr int PositionShift = 8;
constexpr ULONGLONG PositionOne = 1u << PositionShift;

// A stream locked for one operation, seen as a surface; unlocked again when this goes.
class CLockedSurface {
public:
    CLockedSurface() = default;
    CLockedSurface(const CLockedSurface&) = delete;
    CLockedSurface& operator=(const CLockedSurface&) = delete;
    ~CLockedSurface()
    {
        if (m_token != nullptr) {
            m_stream->Unlock(m_token);
        }
    }

    HRESULT Lock(IKivImageStream* stream)
    {
        KivImageSurface surface;
        surface.info.size = KivImageInfoSize;
        KivImageRect clip;
        HRESULT status = stream->GetImageInfo(&surface.info);
        if (SUCCEEDED(status)) {
            status = stream->GetClipRect(&clip);
        }
        if (SUCCEEDED(status)) {
            status = stream->GetOrigin(&surface.origin);
        }
        if (FAILED(status)) {
            return status;
        }
        // Any implementation of the interface may be handed in: its layout must be one the
        // pixel loops can walk without leaving its rows (a held format, a positive size, and
        // rows at least as long as their pixels, top-down).
        KivImageInfo format;
        if (!DescribePixelFormat(surface.info.bitsPerPixel, format) || surface.info.width < 1 ||
            surface.info.height < 1 ||
            LONGLONG{surface.info.stride} < (LONGLONG{surface.info.width} * surface.info.bitsPerPixel + 7) / 8 ||
            !OffsetRect(clip, surface.origin.x, surface.origin.y, surface.clip)) {
            return E_FAIL;
        }
        surface.clip = IntersectRect(surface.clip, surface.Bounds());
        status = stream->Lock(&surface.bits, &m_token);
        if (FAILED(status)) {
            return status;
        }
        m_stream = stream;
        m_surface = surface;
        return S_OK;
    }

    const KivImageSurface& Surface() const { return m_surface; }

    // A rectangle given relative to the origin, in pixel coordinates; false on overflow.
    bool ToPixels(const KivImageRect& rect, KivImageRect& moved) const
    {
        return OffsetRect(rect, m_surface.origin.x, m_surface.origin.y, moved);
    }

private:
    IKivImageStream* m_stream = nullptr;
    KivImageLockToken m_token = nullptr;
    KivImageSurface m_surface;
};

BYTE Saturate(int value)
{
    return static_cast<BYTE>(std::clamp(value, 0, 255));
}

// (s * a + d * (255 - a) + 255) / 256 with integer division.
BYTE BlendChannel(BYTE source, BYTE dest, unsigned alpha)
{
    return static_cast<BYTE>((source * alpha + dest * (255u - alpha) + 255u) >> 8);
}

KivImageColor BlendPixel(KivImageColor source, BYTE sourceAlpha, KivImageColor dest, unsigned alpha)
{
    return {BlendChannel(source.blue, dest.blue, alpha), BlendChannel(source.green, dest.green, alpha),
            BlendChannel(source.red, dest.red, alpha), BlendChannel(sourceAlpha, dest.alpha, alpha)};
}

bool SameColorChannels(KivImageColor a, KivImageColor b)
{
    return a.blue == b.blue && a.green == b.green && a.red == b.red;
}

// One destination row of a cell: count pixels from dest on, sampled from the source row at
// positions first, first + step, ... (in 1/256 pixel, from the source rectangle's left).
struct RowJob {
    const KivImageInfo& destInfo;
    BYTE* dest;
    const KivImageInfo& sourceInfo;
    const BYTE* sourceRow;
    LONG sourceLeft;
    std::size_t count;
    ULONGLONG first;
    ULONGLONG step;
    const KivBlitParams& params;
};

template <KivBlitMode Mode>
void DrawRowAs(const RowJob& job)
{
    const std::size_t destBytes = BytesPerPixel(job.destInfo);
    const std::size_t sourceBytes = BytesPerPixel(job.sourceInfo);
    const bool sourceAlpha = HasAlpha(job.sourceInfo);
    BYTE* dest = job.dest;
    ULONGLONG position = job.first;
    for (std::size_t i = 0; i < job.count; ++i, dest += destBytes, position += job.step) {
        const std::size_t x = static_cast<std::size_t>(job.sourceLeft) + (position >> PositionShift);
        KivImageColor color = ReadPixel(job.sourceInfo, job.sourceRow + x * sourceBytes);
        // A source without alpha is opaque.
        const BYTE alpha = sourceAlpha ? color.alpha : BYTE{255};
        if constexpr (Mode == KivBlitMode::Copy || Mode == KivBlitMode::ColorKey) {
            if (Mode == KivBlitMode::ColorKey && SameColorChannels(color, job.params.keyColor)) {
                continue;
            }
            color.alpha = alpha;
        } else {
            const KivImageColor under = ReadPixel(job.destInfo, dest);
            if constexpr (Mode == KivBlitMode::Blend) {
                const unsigned constant = job.params.constantAlpha;
                const unsigned effective = sourceAlpha ? (constant * color.alpha + 255u) >> 8 : constant;
                color = BlendPixel(color, alpha, under, effective);
            } else if constexpr (Mode == KivBlitMode::Add) {
                color = {Saturate(under.blue + color.blue), Saturate(under.green + color.green),
                         Saturate(under.red + color.red), under.alpha};
            } else if constexpr (Mode == KivBlitMode::Subtract) {
                color = {Saturate(under.blue - color.blue), Saturate(under.green - color.green),
                         Saturate(under.red - color.red), under.alpha};
            } else {
                const BYTE grey = static_cast<BYTE>((color.blue + color.green + color.red) / 3);
                color = {grey, grey, grey, under.alpha};
            }
        }
        WritePixel(job.destInfo, dest, color);
    }
}

// Copies between equal formats without converting: whole rows when nothing stretches, 32-bit
// words when it does. False when the pair has no such path.
bool CopyRowDirect(const RowJob& job)
{
    if (job.destInfo.bitsPerPixel != job.sourceInfo.bitsPerPixel) {
        return false;
    }
    const std::size_t bytes = BytesPerPixel(job.destInfo);
    const BYTE* source = job.sourceRow + static_cast<std::size_t>(job.sourceLeft) * bytes;
    if (job.step == PositionOne) {
        std::memcpy(job.dest, source + (job.first >> PositionShift) * bytes, job.count * bytes);
        return true;
    }
    if (bytes != sizeof(DWORD)) {
        return false;
    }
    ULONGLONG position = job.first;
    BYTE* dest = job.dest;
    for (std::size_t i = 0; i < job.count; ++i, dest += sizeof(DWORD), position += job.step) {
        std::memcpy(dest, source + (position >> PositionShift) * sizeof(DWORD), sizeof(DWORD));
    }
    return true;
}

void DrawRow(const RowJob& job)
{
    switch (job.params.mode) {
    case KivBlitMode::Copy:
        if (!CopyRowDirect(job)) {
            DrawRowAs<KivBlitMode::Copy>(job);
        }
        break;
    case KivBlitMode::ColorKey:
        DrawRowAs<KivBlitMode::ColorKey>(job);
        break;
    case KivBlitMode::Blend:
        DrawRowAs<KivBlitMode::Blend>(job);
        break;
    case KivBlitMode::Add:
        DrawRowAs<KivBlitMode::Add>(job);
        break;
    case KivBlitMode::Subtract:
        DrawRowAs<KivBlitMode::Subtract>(job);
        break;
    case KivBlitMode::Grey:
        DrawRowAs<KivBlitMode::Grey>(job);
        break;
    }
}

bool IsKnownMode(KivBlitMode mode)
{
    return mode >= KivBlitMode::Copy && mode <= KivBlitMode::Grey;
}

LONGLONG WidthOf(const KivImageRect& rect)
{
    return LONGLONG{rect.right} - rect.left;
}

LONGLONG HeightOf(const KivImageRect& rect)
{
    return LONGLONG{rect.bottom} - rect.top;
}

// Draws the source rectangle (inside the source) onto the destination rectangle cut to the
// destination's clip: nearest-neighbour sampling with a step of source size * 256 / destination
// size. False when nothing is left to draw.
bool DrawCell(const KivImageSurface& dest, const KivImageRect& to, const KivImageSurface& source,
              const KivImageRect& from, const KivBlitParams& params)
{
    const KivImageRect cut = IntersectRect(to, dest.clip);
    if (IsRectEmpty(cut) || IsRectEmpty(from)) {
        return false;
    }
    // Both steps are below 2^39 and a position never passes the source size * 256, so nothing
    // here overflows; every sampled pixel lies inside the source rectangle.
    const ULONGLONG stepX = ULONGLONG(WidthOf(from)) * PositionOne / ULONGLONG(WidthOf(to));
    const ULONGLONG stepY = ULONGLONG(HeightOf(from)) * PositionOne / ULONGLONG(HeightOf(to));
    const ULONGLONG firstX = ULONGLONG(LONGLONG{cut.left} - to.left) * stepX;
    for (LONG y = cut.top; y < cut.bottom; ++y) {
        const ULONGLONG positionY = ULONGLONG(LONGLONG{y} - to.top) * stepY;
        const LONG sourceY = from.top + static_cast<LONG>(positionY >> PositionShift);
        const RowJob job{dest.info,
                         dest.PixelAt(cut.left, y),
                         source.info,
                         source.PixelAt(0, sourceY),
                         from.left,
                         static_cast<std::size_t>(cut.right - cut.left),
                         firstX,
                         stepX,
                         params};
        DrawRow(job);
    }
    return true;
}

// The checks Blit and DrawNineGrid share.
HRESULT CheckDrawArguments(IKivImageStream* dest, const KivImageRect* destRect, IKivImageStream* source,
                           const KivImageRect* sourceRect, const KivBlitParams* params)
{
    if (dest == nullptr || destRect == nullptr || source == nullptr || sourceRect == nullptr || params == nullptr ||
        params->size != KivBlitParamsSize) {
        return E_INVALIDARG;
    }
    return S_OK;
}

// The destination rectangle in pixel coordinates: well formed and meeting the image.
HRESULT DestinationInPixels(const CLockedSurface& dest, const KivImageRect& rect, KivImageRect& moved)
{
    if (!dest.ToPixels(rect, moved) || IsRectEmpty(moved) ||
        IsRectEmpty(IntersectRect(moved, dest.Surface().Bounds()))) {
        return E_INVALIDARG;
    }
    return S_OK;
}

// A rectangle of pixels of a locked stream for FillRect and InvertAlpha: moved by the origin and
// cut to the clip. S_FALSE when nothing is left.
HRESULT AreaInPixels(const CLockedSurface& surface, const KivImageRect& rect, KivImageRect& area)
{
    KivImageRect moved;
    if (!surface.ToPixels(rect, moved)) {
        return E_INVALIDARG;
    }
    area = IntersectRect(moved, surface.Surface().clip);
    return IsRectEmpty(area) ? S_FALSE : S_OK;
}

// Runs body(pixel) on every pixel of area.
template <class Body>
void ForEachPixel(const KivImageSurface& surface, const KivImageRect& area, Body&& body)
{
    const std::size_t bytes = BytesPerPixel(surface.info);
    for (LONG y = area.top; y < area.bottom; ++y) {
        BYTE* pixel = surface.PixelAt(area.left, y);
        for (LONG x = area.left; x < area.right; ++x, pixel += bytes) {
            body(pixel);
        }
    }
}

} // namespace

HRESULT CKivImageStreamDevice::DrawNineGrid(IKivImageStream* dest, const KivImageRect* destRect,
                                            IKivImageStream* source, const KivImageRect* sourceRect,
                                            const KivImageRect* sourceInner, const KivBlitParams* params)
{
    HRESULT status = CheckDrawArguments(dest, destRect, source, sourceRect, params);
    if (FAILED(status) || sourceInner == nullptr) {
        return E_INVALIDARG;
    }
    if (!IsKnownMode(params->mode)) {
        return S_OK;
    }
    CLockedSurface to;
    CLockedSurface from;
    if (FAILED(status = to.Lock(dest)) || FAILED(status = from.Lock(source))) {
        return status;
    }
    KivImageRect outer;
    KivImageRect inner;
    KivImageRect target;
    if (!from.ToPixels(*sourceRect, outer) || !IsRectInside(outer, from.Surface().Bounds()) ||
        !from.ToPixels(*sourceInner, inner) || inner.left < outer.left || inner.top < outer.top ||
        inner.right > outer.right || inner.bottom > outer.bottom || inner.right < inner.left ||
        inner.bottom < inner.top) {
        return E_INVALIDARG;
    }
    if (FAILED(status = DestinationInPixels(to, *destRect, target))) {
        return status;
    }
    // The margins keep their size; they must fit the destination.
    const LONG left = inner.left - outer.left;
    const LONG right = outer.right - inner.right;
    const LONG top = inner.top - outer.top;
    const LONG bottom = outer.bottom - inner.bottom;
    if (LONGLONG{left} + right > WidthOf(target) || LONGLONG{top} + bottom > HeightOf(target)) {
        return E_INVALIDARG;
    }
    const LONG fromX[4] = {outer.left, inner.left, inner.right, outer.right};
    const LONG fromY[4] = {outer.top, inner.top, inner.bottom, outer.bottom};
    const LONG toX[4] = {target.left, target.left + left, target.right - right, target.right};
    const LONG toY[4] = {target.top, target.top + top, target.bottom - bottom, target.bottom};
    bool drawn = false;
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            const KivImageRect cellTo{toX[column], toY[row], toX[column + 1], toY[row + 1]};
            const KivImageRect cellFrom{fromX[column], fromY[row], fromX[column + 1], fromY[row + 1]};
            if (!IsRectEmpty(cellTo)) {
                drawn |= DrawCell(to.Surface(), cellTo, from.Surface(), cellFrom, *params);
            }
        }
    }
    return drawn ? S_OK : S_FALSE;
}

HRESULT CKivImageStreamDevice::Blit(IKivImageStream* dest, const KivImageRect* destRect, IKivImageStream* source,
                                    const KivImageRect* sourceRect, const KivBlitParams* params)
{
    HRESULT status = CheckDrawArguments(dest, destRect, source, sourceRect, params);
    if (FAILED(status)) {
        return status;
    }
    if (!IsKnownMode(params->mode)) {
        return S_OK;
    }
    CLockedSurface to;
    CLockedSurface from;
    if (FAILED(status = to.Lock(dest)) || FAILED(status = from.Lock(source))) {
        return status;
    }
    KivImageRect fromRect;
    KivImageRect toRect;
    if (!from.ToPixels(*sourceRect, fromRect) || !IsRectInside(fromRect, from.Surface().Bounds())) {
        return E_INVALIDARG;
    }
    if (FAILED(status = DestinationInPixels(to, *destRect, toRect))) {
        return status;
    }
    return DrawCell(to.Surface(), toRect, from.Surface(), fromRect, *params) ? S_OK : S_FALSE;
}

HRESULT CKivImageStreamDevice::FillRect(IKivImageStream* stream, const KivImageRect* rect, KivImageColor color)
{
    if (stream == nullptr || rect == nullptr) {
        return E_INVALIDARG;
    }
    CLockedSurface locked;
    HRESULT status = locked.Lock(stream);
    if (FAILED(status)) {
        return status;
    }
    const KivImageSurface& surface = locked.Surface();
    if (surface.info.bitsPerPixel != KivImageBits24 && surface.info.bitsPerPixel != KivImageBits32) {
        return S_OK;
    }
    KivImageRect area;
    if ((status = AreaInPixels(locked, *rect, area)) != S_OK) {
        return status;
    }
    ForEachPixel(surface, area, [&](BYTE* pixel) { WritePixel(surface.info, pixel, color); });
    return S_OK;
}

HRESULT CKivImageStreamDevice::InvertAlpha(IKivImageStream* stream, const KivImageRect* rect)
{
    if (stream == nullptr || rect == nullptr) {
        return E_INVALIDARG;
    }
    CLockedSurface locked;
    HRESULT status = locked.Lock(stream);
    if (FAILED(status)) {
        return status;
    }
    const KivImageSurface& surface = locked.Surface();
    if (surface.info.bitsPerPixel != KivImageBits32) {
        return S_OK;
    }
    KivImageRect area;
    if ((status = AreaInPixels(locked, *rect, area)) != S_OK) {
        return status;
    }
    // The alpha byte is the fourth of each pixel.
    ForEachPixel(surface, area, [](BYTE* pixel) { pixel[3] = static_cast<BYTE>(255 - pixel[3]); });
    return S_OK;
}

HRESULT CKivImageStreamDevice::BlendColor(IKivImageStream* stream, KivImageColor color)
{
    if (stream == nullptr) {
        return E_INVALIDARG;
    }
    CLockedSurface locked;
    const HRESULT status = locked.Lock(stream);
    if (FAILED(status)) {
        return status;
    }
    const KivImageSurface& surface = locked.Surface();
    if (IsRectEmpty(surface.clip)) {
        return S_FALSE;
    }
    const unsigned alpha = color.alpha;
    ForEachPixel(surface, surface.clip, [&](BYTE* pixel) {
        const KivImageColor blended =
            alpha == 255 ? color : BlendPixel(color, 255, ReadPixel(surface.info, pixel), alpha);
        WritePixel(surface.info, pixel, blended);
    });
    return S_OK;
}

HRESULT CKivImageStreamDevice::FindInterface(REFIID riid, void** ppv)
{
    return FindInterfaceInMap({{IUnknown::Iid, this}, {IKivImageStreamDevice::Iid, this}}, riid, ppv);
}

} // namespace Kiv
