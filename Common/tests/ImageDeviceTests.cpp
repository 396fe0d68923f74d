// The image stream device: each blit mode on one pixel, copies between formats, stretching,
// nine-grid scaling, filling, inverting alpha and blending a colour, and the rectangles and
// arguments it refuses. The sanitizers watch every write stay inside the pixels.
#include "ImageTestSupport.h"

#include "KivObject/InterfaceMap.h"
#include "KivObject/KivObject.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

using namespace Kiv;
using namespace KivImageTest;

namespace {

constexpr KivImageColor Black{0, 0, 0, 0};
constexpr KivImageColor White{0xFF, 0xFF, 0xFF, 0xFF};

CComPtr<IKivImageStreamDevice> NewDevice()
{
    CComPtr<IKivImageStreamDevice> device;
    EXPECT_EQ(NewFactory()->CreateDevice(&device), S_OK);
    return device;
}

KivBlitParams Params(KivBlitMode mode, BYTE constantAlpha = 255, KivImageColor key = Black)
{
    return {KivBlitParamsSize, mode, constantAlpha, {}, key};
}

// A stream whose pixels, row by row, are the given colours.
CComPtr<IKivImageStream> ImageOf(LONG width, LONG height, DWORD bits, const std::vector<KivImageColor>& pixels)
{
    CComPtr<IKivImageStream> stream = NewImage(width, height, bits);
    for (LONG i = 0; i < width * height; ++i) {
        PutPixel(stream, i % width, i / width, pixels[static_cast<std::size_t>(i)]);
    }
    return stream;
}

TEST(ImageDevice, EachModeCombinesOnePixelByItsRule)
{
    struct Case {
        const char* name;
        KivBlitParams params;
        KivImageColor source;
        KivImageColor dest;
        KivImageColor expected;
    };
    const KivImageColor source{200, 100, 50, 255};
    const KivImageColor dest{10, 250, 60, 128};
    const Case cases[] = {
        {"copy", Params(KivBlitMode::Copy), source, dest, source},
        {"key hit", Params(KivBlitMode::ColorKey, 255, {200, 100, 50, 0}), source, dest, dest},
        {"key miss", Params(KivBlitMode::ColorKey, 255, {200, 100, 51, 255}), source, dest, source},
        // a = (128 * 255 + 255) / 256 = 128; (200 * 128 + 10 * 127 + 255) / 256 = 105, ...
        {"blend half", Params(KivBlitMode::Blend, 128), source, dest, {105, 175, 55, 191}},
        {"blend opaque", Params(KivBlitMode::Blend, 255), source, dest, {200, 100, 50, 255}},
        {"blend none", Params(KivBlitMode::Blend, 0), source, dest, {10, 250, 60, 128}},
        // Source alpha 0 makes the effective alpha (c * 0 + 255) / 256 = 0.
        {"blend clear source", Params(KivBlitMode::Blend, 255), {200, 100, 50, 0}, dest, {10, 250, 60, 128}},
        {"add", Params(KivBlitMode::Add), source, dest, {210, 255, 110, 128}},
        {"subtract", Params(KivBlitMode::Subtract), source, dest, {0, 150, 10, 128}},
        {"grey", Params(KivBlitMode::Grey), source, dest, {116, 116, 116, 128}},
        {"unknown mode", Params(static_cast<KivBlitMode>(6)), source, dest, dest},
    };
    const auto device = NewDevice();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CComPtr<IKivImageStream> from = ImageOf(1, 1, 32, {c.source});
        CComPtr<IKivImageStream> to = ImageOf(1, 1, 32, {c.dest});
        const KivImageRect one{0, 0, 1, 1};
        EXPECT_EQ(device->Blit(to, &one, from, &one, &c.params), S_OK);
        EXPECT_EQ(PixelOf(to, 0, 0), c.expected);
    }
}

TEST(ImageDevice, CopiesConvertBetweenFormats)
{
    struct Case {
        DWORD sourceBits;
        DWORD destBits;
        KivImageColor source;
        KivImageColor expected;
    };
    const Case cases[] = {
        // 24-bit sources are opaque; 24-bit destinations drop alpha.
        {24, 32, {1, 2, 3, 0}, {1, 2, 3, 255}},
        {32, 24, {1, 2, 3, 4}, {1, 2, 3, 0}},
        {32, 16, {0xFF, 0x80, 0x40, 9}, {0xF8, 0x80, 0x40, 0}},
        {16, 32, {0xF8, 0xFC, 0xF8, 0}, {0xF8, 0xFC, 0xF8, 255}},
        {16, 24, {0x08, 0x04, 0x08, 0}, {0x08, 0x04, 0x08, 0}},
        {24, 24, {7, 8, 9, 0}, {7, 8, 9, 0}},
        {16, 16, {0xF8, 0x04, 0x08, 0}, {0xF8, 0x04, 0x08, 0}},
    };
    const auto device = NewDevice();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.sourceBits << " to " << c.destBits);
        // Two pixels, so that the row copy and its edges are exercised together.
        CComPtr<IKivImageStream> from = ImageOf(2, 1, c.sourceBits, {c.source, c.source});
        CComPtr<IKivImageStream> to = NewImage(3, 1, c.destBits);
        const KivImageRect sourceRect{0, 0, 2, 1};
        const KivImageRect destRect{1, 0, 3, 1};
        const KivBlitParams params = Params(KivBlitMode::Copy);
        EXPECT_EQ(device->Blit(to, &destRect, from, &sourceRect, &params), S_OK);
        EXPECT_EQ(PixelOf(to, 0, 0), Black);
        EXPECT_EQ(PixelOf(to, 1, 0), c.expected);
        EXPECT_EQ(PixelOf(to, 2, 0), c.expected);
    }
}

TEST(ImageDevice, StretchingSamplesTheNearestSourcePixel)
{
    const KivImageColor a{1, 0, 0, 255};
    const KivImageColor b{2, 0, 0, 255};
    const KivImageColor c{3, 0, 0, 255};
    const KivImageColor d{4, 0, 0, 255};
    struct Case {
        DWORD bits;
        KivBlitMode mode;
    };
    // 32-bit copies take the word path, the others the converting one; both must sample alike.
    const Case cases[] = {{32, KivBlitMode::Copy}, {24, KivBlitMode::Copy}, {32, KivBlitMode::Add}};
    const auto device = NewDevice();
    for (const Case& cs : cases) {
        SCOPED_TRACE(testing::Message() << cs.bits << " mode " << static_cast<int>(cs.mode));
        // Copies keep the source's alpha; adding keeps the destination's (0).
        const BYTE alpha = cs.bits == 32 && cs.mode == KivBlitMode::Copy ? 255 : 0;
        const auto alphaOf = [&](KivImageColor color) {
            return KivImageColor{color.blue, color.green, color.red, alpha};
        };
        CComPtr<IKivImageStream> from = ImageOf(4, 1, cs.bits, {a, b, c, d});
        const KivBlitParams params = Params(cs.mode);
        // Up: step 2 * 256 / 4 = 128, so each of the first two pixels twice.
        CComPtr<IKivImageStream> wide = NewImage(4, 2, cs.bits);
        const KivImageRect firstTwo{0, 0, 2, 1};
        const KivImageRect all{0, 0, 4, 2};
        EXPECT_EQ(device->Blit(wide, &all, from, &firstTwo, &params), S_OK);
        const std::vector<KivImageColor> up{alphaOf(a), alphaOf(a), alphaOf(b), alphaOf(b),
                                            alphaOf(a), alphaOf(a), alphaOf(b), alphaOf(b)};
        EXPECT_EQ(PixelsOf(wide), up);
        // Down: step 4 * 256 / 3 = 341: positions 0, 341, 682 give pixels 0, 1, 2.
        CComPtr<IKivImageStream> narrow = NewImage(3, 1, cs.bits);
        const KivImageRect source{0, 0, 4, 1};
        const KivImageRect three{0, 0, 3, 1};
        EXPECT_EQ(device->Blit(narrow, &three, from, &source, &params), S_OK);
        const std::vector<KivImageColor> down{alphaOf(a), alphaOf(b), alphaOf(c)};
        EXPECT_EQ(PixelsOf(narrow), down);
    }
}

TEST(ImageDevice, StretchingIsCutToTheDestinationClipWithoutShiftingTheSamples)
{
    const auto device = NewDevice();
    CComPtr<IKivImageStream> from = ImageOf(2, 1, 32, {{1, 0, 0, 255}, {2, 0, 0, 255}});
    CComPtr<IKivImageStream> to = NewImage(4, 1, 32);
    const KivImageRect clip{1, 0, 3, 1};
    ASSERT_EQ(to->SetClipRect(&clip), S_OK);
    const KivImageRect all{0, 0, 4, 1};
    const KivImageRect source{0, 0, 2, 1};
    const KivBlitParams params = Params(KivBlitMode::Copy);
    EXPECT_EQ(device->Blit(to, &all, from, &source, &params), S_OK);
    const std::vector<KivImageColor> expected{Black, {1, 0, 0, 255}, {2, 0, 0, 255}, Black};
    EXPECT_EQ(PixelsOf(to), expected);
}

TEST(ImageDevice, NineGridKeepsCornersStretchesEdgesAndCentre)
{
    // A 3 x 3 source, one pixel per cell, margins of one pixel, drawn onto 5 x 4.
    std::vector<KivImageColor> cells;
    for (BYTE i = 1; i <= 9; ++i) {
        cells.push_back({i, 0, 0, 255});
    }
    CComPtr<IKivImageStream> from = ImageOf(3, 3, 32, cells);
    CComPtr<IKivImageStream> to = NewImage(5, 4, 32);
    const KivImageRect sourceRect{0, 0, 3, 3};
    const KivImageRect inner{1, 1, 2, 2};
    const KivImageRect destRect{0, 0, 5, 4};
    const KivBlitParams params = Params(KivBlitMode::Copy);
    const auto device = NewDevice();
    EXPECT_EQ(device->DrawNineGrid(to, &destRect, from, &sourceRect, &inner, &params), S_OK);
    const BYTE expected[4][5] = {
        {1, 2, 2, 2, 3},
        {4, 5, 5, 5, 6},
        {4, 5, 5, 5, 6},
        {7, 8, 8, 8, 9},
    };
    for (LONG y = 0; y < 4; ++y) {
        for (LONG x = 0; x < 5; ++x) {
            EXPECT_EQ(PixelOf(to, x, y), (KivImageColor{expected[y][x], 0, 0, 255})) << x << "," << y;
        }
    }
}

TEST(ImageDevice, NineGridRefusesInnerRectanglesAndMarginsThatDoNotFit)
{
    CComPtr<IKivImageStream> from = NewImage(4, 4, 32);
    CComPtr<IKivImageStream> to = NewImage(8, 8, 32);
    const KivImageRect sourceRect{0, 0, 4, 4};
    const KivBlitParams params = Params(KivBlitMode::Copy);
    const auto device = NewDevice();
    struct Case {
        KivImageRect inner;
        KivImageRect dest;
    };
    const Case cases[] = {
        {{-1, 1, 2, 2}, {0, 0, 8, 8}}, // inner outside the source rectangle
        {{1, 1, 5, 2}, {0, 0, 8, 8}},
        {{2, 1, 1, 2}, {0, 0, 8, 8}},  // inverted inner
        {{3, 1, 3, 3}, {0, 0, 2, 8}},  // margins of 3 + 1 on a width of 2
        {{1, 1, 2, 2}, {8, 8, 12, 12}}, // destination outside the image
    };
    for (const Case& c : cases) {
        EXPECT_EQ(device->DrawNineGrid(to, &c.dest, from, &sourceRect, &c.inner, &params), E_INVALIDARG)
            << c.inner.left << "," << c.inner.right << " / " << c.dest.right;
    }
    const KivImageRect inner{1, 1, 3, 3};
    const KivImageRect dest{0, 0, 8, 8};
    EXPECT_EQ(device->DrawNineGrid(to, &dest, from, &sourceRect, nullptr, &params), E_INVALIDARG);
    EXPECT_EQ(device->DrawNineGrid(to, &dest, from, &sourceRect, &inner, &params), S_OK);
}

TEST(ImageDevice, BlitsRefuseRectanglesOutsideEitherStream)
{
    CComPtr<IKivImageStream> from = NewImage(4, 4, 32);
    CComPtr<IKivImageStream> to = NewImage(4, 4, 24);
    const KivBlitParams params = Params(KivBlitMode::Copy);
    const auto device = NewDevice();
    struct Case {
        KivImageRect source;
        KivImageRect dest;
        HRESULT expected;
    };
    const Case cases[] = {
        {{0, 0, 5, 4}, {0, 0, 4, 4}, E_INVALIDARG},           // source wider than its image
        {{-1, 0, 2, 2}, {0, 0, 2, 2}, E_INVALIDARG},          // source left of its image
        {{2, 2, 1, 1}, {0, 0, 2, 2}, E_INVALIDARG},           // inverted source
        {{0, 0, 0, 0}, {0, 0, 2, 2}, E_INVALIDARG},           // empty source
        {{0, 0, 2, 2}, {4, 0, 6, 2}, E_INVALIDARG},           // destination right of its image
        {{0, 0, 2, 2}, {-3, -3, 0, 0}, E_INVALIDARG},         // destination above and left
        {{0, 0, 2, 2}, {3, 3, 1, 1}, E_INVALIDARG},           // inverted destination
        {{0, 0, 2, 2}, {INT_MIN, 0, INT_MAX, 4}, S_OK},       // huge, cut to the image
        {{0, 0, 4, 4}, {-2, -2, 2, 2}, S_OK},                 // partly outside: cut
        {{0, 0, 4, 4}, {3, 3, 100000, 100000}, S_OK},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(device->Blit(to, &c.dest, from, &c.source, &params), c.expected)
            << c.source.left << "," << c.source.right << " -> " << c.dest.left << "," << c.dest.right;
    }
    const KivImageRect rect{0, 0, 1, 1};
    KivBlitParams wrongSize = params;
    wrongSize.size = 12;
    EXPECT_EQ(device->Blit(to, &rect, from, &rect, &wrongSize), E_INVALIDARG);
    EXPECT_EQ(device->Blit(nullptr, &rect, from, &rect, &params), E_INVALIDARG);
    EXPECT_EQ(device->Blit(to, nullptr, from, &rect, &params), E_INVALIDARG);
    EXPECT_EQ(device->Blit(to, &rect, nullptr, &rect, &params), E_INVALIDARG);
    EXPECT_EQ(device->Blit(to, &rect, from, nullptr, &params), E_INVALIDARG);
    EXPECT_EQ(device->Blit(to, &rect, from, &rect, nullptr), E_INVALIDARG);
    // A stream onto itself: the second lock fails.
    EXPECT_EQ(device->Blit(to, &rect, to, &rect, &params), E_FAIL);
    // Inside the image but outside the clip: nothing to draw.
    const KivImageRect clip{2, 2, 4, 4};
    ASSERT_EQ(to->SetClipRect(&clip), S_OK);
    EXPECT_EQ(device->Blit(to, &rect, from, &rect, &params), S_FALSE);
    // A device leaves both streams unlocked, whatever it answered.
    BYTE* bits = nullptr;
    KivImageLockToken token = nullptr;
    ASSERT_EQ(to->Lock(&bits, &token), S_OK);
    EXPECT_EQ(to->Unlock(token), S_OK);
    ASSERT_EQ(from->Lock(&bits, &token), S_OK);
    EXPECT_EQ(from->Unlock(token), S_OK);
}

TEST(ImageDevice, OriginsMoveBothRectangles)
{
    CComPtr<IKivImageStream> from = ImageOf(2, 2, 32, {Black, Black, Black, White});
    CComPtr<IKivImageStream> to = NewImage(3, 3, 32);
    const KivImagePoint sourceOrigin{1, 1};
    const KivImagePoint destOrigin{2, 0};
    ASSERT_EQ(from->SetOrigin(&sourceOrigin), S_OK);
    ASSERT_EQ(to->SetOrigin(&destOrigin), S_OK);
    const KivImageRect source{0, 0, 1, 1};
    const KivImageRect dest{0, 2, 1, 3};
    const KivBlitParams params = Params(KivBlitMode::Copy);
    EXPECT_EQ(NewDevice()->Blit(to, &dest, from, &source, &params), S_OK);
    const KivImagePoint none{0, 0};
    ASSERT_EQ(to->SetOrigin(&none), S_OK);
    EXPECT_EQ(PixelOf(to, 2, 2), White);
    EXPECT_EQ(PixelOf(to, 0, 2), Black);
}

TEST(ImageDevice, FillRectAndInvertAlphaStayInsideTheClip)
{
    const KivImageColor color{1, 2, 3, 4};
    struct Case {
        DWORD bits;
        KivImageColor filled;
        KivImageColor inverted;
    };
    const Case cases[] = {
        {32, color, {1, 2, 3, 251}},
        {24, {1, 2, 3, 0}, {1, 2, 3, 0}},
    };
    const auto device = NewDevice();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bits);
        CComPtr<IKivImageStream> stream = NewImage(4, 3, c.bits);
        const KivImageRect clip{1, 0, 3, 3};
        ASSERT_EQ(stream->SetClipRect(&clip), S_OK);
        const KivImageRect rect{0, 1, 10, 2};
        EXPECT_EQ(device->FillRect(stream, &rect, color), S_OK);
        EXPECT_EQ(device->InvertAlpha(stream, &rect), S_OK);
        for (LONG y = 0; y < 3; ++y) {
            for (LONG x = 0; x < 4; ++x) {
                const bool inside = y == 1 && x >= 1 && x < 3;
                EXPECT_EQ(PixelOf(stream, x, y), inside ? c.inverted : Black) << x << "," << y;
            }
        }
        const KivImageRect outside{0, 0, 1, 1};
        EXPECT_EQ(device->FillRect(stream, &outside, color), S_FALSE);
        EXPECT_EQ(device->FillRect(stream, nullptr, color), E_INVALIDARG);
        EXPECT_EQ(device->FillRect(nullptr, &rect, color), E_INVALIDARG);
        EXPECT_EQ(device->InvertAlpha(stream, nullptr), E_INVALIDARG);
    }
    // 16-bit streams are left alone.
    CComPtr<IKivImageStream> sixteen = NewImage(2, 2, 16);
    const KivImageRect all{0, 0, 2, 2};
    EXPECT_EQ(device->FillRect(sixteen, &all, White), S_OK);
    EXPECT_EQ(device->InvertAlpha(sixteen, &all), S_OK);
    EXPECT_EQ(PixelsOf(sixteen), std::vector<KivImageColor>(4, Black));
}

TEST(ImageDevice, BlendColorCoversTheClipRectangle)
{
    struct Case {
        DWORD bits;
        KivImageColor color;
        KivImageColor expected;
    };
    const Case cases[] = {
        {32, {200, 100, 50, 255}, {200, 100, 50, 255}},
        // (200 * 128 + 255) / 256 = 100, ...; alpha (255 * 128 + 255) / 256 = 128.
        {32, {200, 100, 50, 128}, {100, 50, 25, 128}},
        {24, {200, 100, 50, 128}, {100, 50, 25, 0}},
        {16, {0xF8, 0xFC, 0xF8, 255}, {0xF8, 0xFC, 0xF8, 0}},
    };
    const auto device = NewDevice();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << " alpha " << int(c.color.alpha));
        CComPtr<IKivImageStream> stream = NewImage(3, 2, c.bits);
        const KivImageRect clip{1, 1, 3, 2};
        ASSERT_EQ(stream->SetClipRect(&clip), S_OK);
        EXPECT_EQ(device->BlendColor(stream, c.color), S_OK);
        const auto pixels = PixelsOf(stream);
        for (LONG i = 0; i < 6; ++i) {
            EXPECT_EQ(pixels[i], i >= 4 ? c.expected : Black) << i;
        }
    }
    CComPtr<IKivImageStream> stream = NewImage(3, 2, 32);
    const KivImageRect outside{5, 5, 6, 6};
    ASSERT_EQ(stream->SetClipRect(&outside), S_OK);
    EXPECT_EQ(device->BlendColor(stream, White), S_FALSE);
    EXPECT_EQ(device->BlendColor(nullptr, White), E_INVALIDARG);
}

TEST(ImageDevice, ClipStreamsAreDrawnThroughTheirWindow)
{
    CComPtr<IKivImageStream> image = NewImage(4, 4, 32);
    const KivImageRect window{1, 1, 3, 3};
    CComPtr<IKivImageStream> clip;
    ASSERT_EQ(image->CreateClip(&window, &clip), S_OK);
    // Everything of the clip stream, asked for far beyond its window: only the window changes.
    const KivImageRect huge{-100, -100, 100, 100};
    EXPECT_EQ(NewDevice()->FillRect(clip, &huge, White), S_OK);
    const auto pixels = PixelsOf(image);
    for (LONG y = 0; y < 4; ++y) {
        for (LONG x = 0; x < 4; ++x) {
            const bool inside = x >= 1 && x < 3 && y >= 1 && y < 3;
            EXPECT_EQ(pixels[y * 4 + x], inside ? White : Black) << x << "," << y;
        }
    }
}

} // namespace

namespace {

// A stream of another implementation that describes its rows as given, over a buffer of its own.
class CDescribedStream : public IKivImageStream {
public:
    HRESULT GetImageInfo(KivImageInfo* info) override
    {
        *info = m_info;
        return S_OK;
    }
    HRESULT Lock(BYTE** bits, KivImageLockToken* token) override
    {
        *bits = m_pixels + sizeof m_pixels / 2;
        *token = this;
        return S_OK;
    }
    HRESULT Unlock(KivImageLockToken) override { return S_OK; }
    HRESULT GetPixel(LONG, LONG, KivImageColor*) override { return E_NOTIMPL; }
    HRESULT SetPixel(LONG, LONG, KivImageColor) override { return E_NOTIMPL; }
    HRESULT CreateClip(const KivImageRect*, IKivImageStream**) override { return E_NOTIMPL; }
    HRESULT SetClipRect(const KivImageRect*) override { return E_NOTIMPL; }
    HRESULT GetClipRect(KivImageRect* rect) override
    {
        *rect = {0, 0, m_info.width, m_info.height};
        return S_OK;
    }
    HRESULT SetOrigin(const KivImagePoint*) override { return E_NOTIMPL; }
    HRESULT GetOrigin(KivImagePoint* origin) override
    {
        *origin = {0, 0};
        return S_OK;
    }
    virtual HRESULT FindInterface(REFIID riid, void** ppv)
    {
        return FindInterfaceInMap({{IUnknown::Iid, this}, {IKivImageStream::Iid, this}}, riid, ppv);
    }

    KivImageInfo m_info = EmptyInfo();
    BYTE m_pixels[64] = {};
};

TEST(ImageDevice, StreamsWhoseRowsCannotBeWalkedAreRefused)
{
    struct Case {
        const char* name;
        LONG width;
        LONG height;
        LONG stride;
        DWORD bits;
    };
    const Case cases[] = {
        {"negative stride", 2, 2, -8, 32},
        {"stride shorter than a row", 2, 2, 4, 32},
        {"zero stride", 2, 2, 0, 24},
        {"negative width", -2, 2, 8, 32},
        {"no rows", 2, 0, 8, 32},
        {"8 bits", 2, 2, 4, 8},
    };
    const auto device = NewDevice();
    CComPtr<IKivImageStream> good = NewImage(2, 2, 32);
    const KivImageRect all{0, 0, 2, 2};
    const KivBlitParams params = Params(KivBlitMode::Copy);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CComPtr<CKivObject<CDescribedStream>> stream(CKivObject<CDescribedStream>::CreateObject());
        stream->m_info.width = c.width;
        stream->m_info.height = c.height;
        stream->m_info.stride = c.stride;
        stream->m_info.bitsPerPixel = c.bits;
        EXPECT_EQ(device->FillRect(stream, &all, White), E_FAIL);
        EXPECT_EQ(device->Blit(stream, &all, good, &all, &params), E_FAIL);
        EXPECT_EQ(device->Blit(good, &all, stream, &all, &params), E_FAIL);
        EXPECT_EQ(std::count(std::begin(stream->m_pixels), std::end(stream->m_pixels), 0), 64);
    }
}

} // namespace
