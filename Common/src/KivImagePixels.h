// The pixel formats of image streams and the arithmetic every image operation shares: the row
// stride and byte size of an image (checked against overflow), reading and writing one pixel
// through a format's masks and shifts, and the view of a locked stream (KivImageSurface) that the
// device draws on. Stateless; thread-safe.
#pragma once

#include "KivCommon/KivImage.h"

#include <cstddef>

namespace Kiv {

// The record of a blank image of that many bits (size, masks, shifts, bits; no width, height or
// stride), or false for a format streams do not hold.
bool DescribePixelFormat(DWORD bitsPerPixel, KivImageInfo& info);

// Width, height, stride and byte size of an image, or E_INVALIDARG when the format is not held,
// a side is below 1, or the bytes exceed KivImageMaxBytes. info gets the whole record.
HRESULT DescribeImage(LONG width, LONG height, DWORD bitsPerPixel, KivImageInfo& info, std::size_t& bytes);

inline std::size_t BytesPerPixel(const KivImageInfo& info)
{
    return info.bitsPerPixel / 8;
}

inline bool HasAlpha(const KivImageInfo& info)
{
    return info.masks[3] != 0;
}

// One pixel of the format at pixel.
KivImageColor ReadPixel(const KivImageInfo& info, const BYTE* pixel);
void WritePixel(const KivImageInfo& info, BYTE* pixel, KivImageColor color);

// A rectangle's intersection with another (empty when they do not meet).
KivImageRect IntersectRect(const KivImageRect& a, const KivImageRect& b);
inline bool IsRectEmpty(const KivImageRect& rect)
{
    return rect.right <= rect.left || rect.bottom <= rect.top;
}
// Whether inner lies inside outer (an empty inner never does).
bool IsRectInside(const KivImageRect& inner, const KivImageRect& outer);
// A rectangle moved by (dx, dy); false when a coordinate would leave the LONG range.
bool OffsetRect(const KivImageRect& rect, LONGLONG dx, LONGLONG dy, KivImageRect& moved);
// A coordinate moved by delta; false when it would leave the LONG range.
bool OffsetCoordinate(LONG value, LONGLONG delta, LONG& moved);

// A locked stream as the device sees it: its pixels, format and size, its clip rectangle and its
// origin (clip in pixel coordinates, not moved by the origin).
struct KivImageSurface {
    BYTE* bits = nullptr;
    KivImageInfo info{};
    KivImageRect clip{};
    KivImagePoint origin{};

    BYTE* PixelAt(LONG x, LONG y) const
    {
        return bits + static_cast<std::ptrdiff_t>(y) * info.stride + static_cast<std::ptrdiff_t>(x) * BytesPerPixel(info);
    }
    KivImageRect Bounds() const { return {0, 0, info.width, info.height}; }
};

} // namespace Kiv
