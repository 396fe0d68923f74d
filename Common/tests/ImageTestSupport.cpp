#include "ImageTestSupport.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <ostream>

namespace KivImageTest {

CComPtr<Kiv::IKivImageStreamFactory> NewFactory()
{
    return CComPtr<Kiv::IKivImageStreamFactory>(Kiv::GetKivImageUtil()->CreateFactory());
}

CComPtr<IKivImageStream> NewImage(LONG width, LONG height, DWORD bits)
{
    CComPtr<IKivImageStream> stream;
    EXPECT_EQ(NewFactory()->CreateImage(width, height, bits, &stream), S_OK);
    return stream;
}

KivImageColor PixelOf(IKivImageStream* stream, LONG x, LONG y)
{
    BYTE* bits = nullptr;
    Kiv::KivImageLockToken token = nullptr;
    EXPECT_EQ(stream->Lock(&bits, &token), S_OK);
    KivImageColor color{};
    EXPECT_EQ(stream->GetPixel(x, y, &color), S_OK) << x << "," << y;
    EXPECT_EQ(stream->Unlock(token), S_OK);
    return color;
}

void PutPixel(IKivImageStream* stream, LONG x, LONG y, KivImageColor color)
{
    BYTE* bits = nullptr;
    Kiv::KivImageLockToken token = nullptr;
    EXPECT_EQ(stream->Lock(&bits, &token), S_OK);
    EXPECT_EQ(stream->SetPixel(x, y, color), S_OK) << x << "," << y;
    EXPECT_EQ(stream->Unlock(token), S_OK);
}

std::vector<KivImageColor> PixelsOf(IKivImageStream* stream)
{
    Kiv::KivImageInfo info = EmptyInfo();
    EXPECT_EQ(stream->GetImageInfo(&info), S_OK);
    std::vector<KivImageColor> pixels;
    for (LONG y = 0; y < info.height; ++y) {
        for (LONG x = 0; x < info.width; ++x) {
            pixels.push_back(PixelOf(stream, x, y));
        }
    }
    return pixels;
}

std::string Describe(const KivImageColor& color)
{
    char text[32];
    std::snprintf(text, sizeof text, "(%u,%u,%u,%u)", color.blue, color.green, color.red, color.alpha);
    return text;
}

namespace {

void PutU16(std::vector<BYTE>& out, unsigned value)
{
    out.push_back(static_cast<BYTE>(value));
    out.push_back(static_cast<BYTE>(value >> 8));
}

void PutU32(std::vector<BYTE>& out, DWORD value)
{
    PutU16(out, value & 0xFFFF);
    PutU16(out, value >> 16);
}

void AppendPng(png_structp png, png_bytep data, png_size_t size)
{
    auto* out = static_cast<std::vector<BYTE>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + size);
}

void FlushPng(png_structp)
{
}

} // namespace

std::vector<BYTE> MakeBmp(const BmpShape& shape, const std::vector<BYTE>& pixels)
{
    const DWORD headers = 14 + 40 + (shape.bitFields ? 12 : 0);
    std::vector<BYTE> out{'B', 'M'};
    PutU32(out, headers + static_cast<DWORD>(pixels.size()));
    PutU32(out, 0);
    PutU32(out, headers);
    PutU32(out, 40);
    PutU32(out, static_cast<DWORD>(shape.width));
    PutU32(out, static_cast<DWORD>(shape.height));
    PutU16(out, 1);
    PutU16(out, shape.bits);
    PutU32(out, shape.compression);
    PutU32(out, static_cast<DWORD>(pixels.size()));
    PutU32(out, 2834);
    PutU32(out, 2834);
    PutU32(out, 0);
    PutU32(out, 0);
    if (shape.bitFields) {
        PutU32(out, 0xF800);
        PutU32(out, 0x07E0);
        PutU32(out, 0x001F);
    }
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
}

std::vector<BYTE> MakePng(const PngShape& shape, const std::vector<std::vector<BYTE>>& rows)
{
    std::vector<BYTE> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, AppendPng, FlushPng);
    png_set_IHDR(png, info, shape.width, shape.height, shape.bitDepth, shape.colorType,
                 shape.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_color palette[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
    if (shape.colorType == PNG_COLOR_TYPE_PALETTE) {
        png_set_PLTE(png, info, palette, 4);
    }
    std::vector<png_bytep> rowPointers;
    for (const auto& row : rows) {
        rowPointers.push_back(const_cast<png_bytep>(row.data()));
    }
    png_set_rows(png, info, rowPointers.data());
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

} // namespace KivImageTest

namespace Kiv {
void PrintTo(const KivImageColor& color, std::ostream* out)
{
    *out << KivImageTest::Describe(color);
}
} // namespace Kiv
