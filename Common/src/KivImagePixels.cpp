#include "KivImagePixels.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <utility>

namespace Kiv {

namespace {

struct PixelFormat {
    DWORD bits;
    DWORD masks[KivImageChannels];
    LONG shifts[KivImageChannels];
};

constexpr PixelFormat PixelFormats[] = {
    {KivImageBits16, {0x001F, 0x07E0, 0xF800, 0}, {-3, 3, 8, 0}},
    {KivImageBits24, {0x0000FF, 0x00FF00, 0xFF0000, 0}, {0, 8, 16, 0}},
    {KivImageBits32, {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000}, {0, 8, 16, 24}},
};

DWORD LoadPixelValue(const BYTE* pixel, std::size_t bytes)
{
    DWORD value = 0;
    for (std::size_t i = 0; i < bytes; ++i) {
        value |= DWORD{pixel[i]} << (8 * i);
    }
    return value;
}

void StorePixelValue(BYTE* pixel, std::size_t bytes, DWORD value)
{
    for (std::size_t i = 0; i < bytes; ++i) {
        pixel[i] = static_cast<BYTE>(value >> (8 * i));
    }
}

BYTE ChannelOf(KivImageColor color, int channel)
{
    const BYTE channels[KivImageChannels] = {color.blue, color.green, color.red, color.alpha};
    return channels[channel];
}

} // namespace

bool DescribePixelFormat(DWORD bitsPerPixel, KivImageInfo& info)
{
    const auto* format = std::find_if(std::begin(PixelFormats), std::end(PixelFormats),
                                      [&](const PixelFormat& f) { return f.bits == bitsPerPixel; });
    if (format == std::end(PixelFormats)) {
        return false;
    }
    info = KivImageInfo{};
    info.size = KivImageInfoSize;
    std::copy(std::begin(format->masks), std::end(format->masks), info.masks);
    std::copy(std::begin(format->shifts), std::end(format->shifts), info.shifts);
    info.bitsPerPixel = bitsPerPixel;
    return true;
}

HRESULT DescribeImage(LONG width, LONG height, DWORD bitsPerPixel, KivImageInfo& info, std::size_t& bytes)
{
    KivImageInfo described;
    if (width < 1 || height < 1 || !DescribePixelFormat(bitsPerPixel, described)) {
        return E_INVALIDARG;
    }
    // In 64 bits neither product can overflow: width and height are below 2^31, bits at most 32.
    const ULONGLONG stride = (ULONGLONG(width) * bitsPerPixel + 31) / 8 / 4 * 4;
    const ULONGLONG total = stride * ULONGLONG(height);
    if (total > KivImageMaxBytes) {
        return E_INVALIDARG;
    }
    described.width = width;
    described.height = height;
    described.stride = static_cast<LONG>(stride);
    info = described;
    bytes = static_cast<std::size_t>(total);
    return S_OK;
}

KivImageColor ReadPixel(const KivImageInfo& info, const BYTE* pixel)
{
    switch (info.bitsPerPixel) {
    case KivImageBits32:
        return {pixel[0], pixel[1], pixel[2], pixel[3]};
    case KivImageBits24:
        return {pixel[0], pixel[1], pixel[2], 0};
    default:
        break;
    }
    const DWORD value = LoadPixelValue(pixel, BytesPerPixel(info));
    BYTE channels[KivImageChannels];
    for (int c = 0; c < KivImageChannels; ++c) {
        const DWORD masked = value & info.masks[c];
        const LONG shift = info.shifts[c];
        channels[c] = static_cast<BYTE>(shift >= 0 ? masked >> shift : masked << -shift);
    }
    return {channels[0], channels[1], channels[2], channels[3]};
}

void WritePixel(const KivImageInfo& info, BYTE* pixel, KivImageColor color)
{
    switch (info.bitsPerPixel) {
    case KivImageBits32:
        std::memcpy(pixel, &color, sizeof color);
        return;
    case KivImageBits24:
        pixel[0] = color.blue;
        pixel[1] = color.green;
        pixel[2] = color.red;
        return;
    default:
        break;
    }
    DWORD value = 0;
    for (int c = 0; c < KivImageChannels; ++c) {
        const DWORD byte = ChannelOf(color, c);
        const LONG shift = info.shifts[c];
        value |= (shift >= 0 ? byte << shift : byte >> -shift) & info.masks[c];
    }
    StorePixelValue(pixel, BytesPerPixel(info), value);
}

KivImageRect IntersectRect(const KivImageRect& a, const KivImageRect& b)
{
    KivImageRect cut{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                     std::min(a.bottom, b.bottom)};
    if (IsRectEmpty(cut)) {
        return {};
    }
    return cut;
}

bool IsRectInside(const KivImageRect& inner, const KivImageRect& outer)
{
    return !IsRectEmpty(inner) && inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

bool OffsetCoordinate(LONG value, LONGLONG delta, LONG& moved)
{
    LONGLONG sum = 0;
    if (__builtin_add_overflow(LONGLONG{value}, delta, &sum) || !std::in_range<LONG>(sum)) {
        return false;
    }
    moved = static_cast<LONG>(sum);
    return true;
}

bool OffsetRect(const KivImageRect& rect, LONGLONG dx, LONGLONG dy, KivImageRect& moved)
{
    KivImageRect result;
    if (!OffsetCoordinate(rect.left, dx, result.left) || !OffsetCoordinate(rect.top, dy, result.top) ||
        !OffsetCoordinate(rect.right, dx, result.right) || !OffsetCoordinate(rect.bottom, dy, result.bottom)) {
        return false;
    }
    moved = result;
    return true;
}

} // namespace Kiv
