// Helpers of the image tests: streams made through a factory, pixel access under the stream's
// lock, BMP files built byte by byte and PNG data written by libpng. Single-threaded.
#pragma once

#include "KivCommon/KivImage.h"

#include "KivObject/ComPtr.h"

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace KivImageTest {

using Kiv::CComPtr;
using Kiv::IKivImageStream;
using Kiv::KivImageColor;

CComPtr<Kiv::IKivImageStreamFactory> NewFactory();
// An information record for GetImageInfo: zero, with its size set.
inline Kiv::KivImageInfo EmptyInfo()
{
    Kiv::KivImageInfo info{};
    info.size = Kiv::KivImageInfoSize;
    return info;
}
// A blank stream; fails the test when it cannot be made.
CComPtr<IKivImageStream> NewImage(LONG width, LONG height, DWORD bits);

// Reads or writes pixels under the stream's lock, taken and given back by each call.
KivImageColor PixelOf(IKivImageStream* stream, LONG x, LONG y);
void PutPixel(IKivImageStream* stream, LONG x, LONG y, KivImageColor color);
// Every pixel of the stream, row by row.
std::vector<KivImageColor> PixelsOf(IKivImageStream* stream);

std::string Describe(const KivImageColor& color);

// A BMP file: file header, 40-byte information header, the three 5-6-5 masks when bitFields,
// then the given pixel bytes (already padded to the row stride).
struct BmpShape {
    LONG width;
    LONG height;
    WORD bits;
    DWORD compression = 0;
    bool bitFields = false;
};
std::vector<BYTE> MakeBmp(const BmpShape& shape, const std::vector<BYTE>& pixels);

// PNG data of width x height written by libpng: rows hold the samples of colorType at depth bits
// each (for a palette image, the indices into a four-entry palette).
struct PngShape {
    std::uint32_t width;
    std::uint32_t height;
    int colorType;
    int bitDepth = 8;
    bool interlaced = false;
};
std::vector<BYTE> MakePng(const PngShape& shape, const std::vector<std::vector<BYTE>>& rows);

} // namespace KivImageTest

// Lets GoogleTest print colours.
namespace Kiv {
void PrintTo(const KivImageColor& color, std::ostream* out);
inline bool operator==(const KivImageColor& a, const KivImageColor& b)
{
    return a.blue == b.blue && a.green == b.green && a.red == b.red && a.alpha == b.alpha;
}
} // namespace Kiv
