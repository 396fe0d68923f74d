// Image streams: the layout of each pixel format, sizes that are refused, the lock, the clip
// rectangle and the origin, clip streams, cairo drawing contexts, and the module lock that each
// object holds while it lives.
#include "ImageTestSupport.h"

#include "CKivAtlModule.h"

#include "KivCommon/KivGenId.h"
#include "KivCommon/KivImage.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <thread>
#include <vector>

using namespace Kiv;
using namespace KivImageTest;

namespace {

constexpr KivImageColor White{0xFF, 0xFF, 0xFF, 0xFF};
constexpr KivImageColor Black{0, 0, 0, 0};
constexpr KivImageColor Orange{0x10, 0x80, 0xF0, 0xFF};

struct LayoutCase {
    LONG width;
    LONG height;
    DWORD bits;
    LONG stride;
    DWORD masks[4];
    LONG shifts[4];
};

TEST(ImageStream, EachFormatHasItsStrideMasksAndShifts)
{
    const LayoutCase cases[] = {
        {1, 1, 24, 4, {0xFF, 0xFF00, 0xFF0000, 0}, {0, 8, 16, 0}},
        {3, 2, 24, 12, {0xFF, 0xFF00, 0xFF0000, 0}, {0, 8, 16, 0}},
        {2, 1, 24, 8, {0xFF, 0xFF00, 0xFF0000, 0}, {0, 8, 16, 0}},
        {1, 1, 16, 4, {0x1F, 0x7E0, 0xF800, 0}, {-3, 3, 8, 0}},
        {5, 3, 16, 12, {0x1F, 0x7E0, 0xF800, 0}, {-3, 3, 8, 0}},
        {2, 1, 32, 8, {0xFF, 0xFF00, 0xFF0000, 0xFF000000}, {0, 8, 16, 24}},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << "x" << c.bits);
        CComPtr<IKivImageStream> stream = NewImage(c.width, c.height, c.bits);
        KivImageInfo info = EmptyInfo();
        ASSERT_EQ(stream->GetImageInfo(&info), S_OK);
        EXPECT_EQ(info.size, 52u);
        EXPECT_EQ(info.width, c.width);
        EXPECT_EQ(info.height, c.height);
        EXPECT_EQ(info.stride, c.stride);
        EXPECT_EQ(info.bitsPerPixel, c.bits);
        for (int channel = 0; channel < 4; ++channel) {
            EXPECT_EQ(info.masks[channel], c.masks[channel]) << channel;
            EXPECT_EQ(info.shifts[channel], c.shifts[channel]) << channel;
        }
        // A new image is blank.
        BYTE* bits = nullptr;
        KivImageLockToken token = nullptr;
        ASSERT_EQ(stream->Lock(&bits, &token), S_OK);
        for (LONG i = 0; i < c.stride * c.height; ++i) {
            ASSERT_EQ(bits[i], 0) << i;
        }
        EXPECT_EQ(stream->Unlock(token), S_OK);
    }
}

TEST(ImageStream, SizesAndFormatsThatCannotBeHeldAreRefused)
{
    struct Case {
        LONG width;
        LONG height;
        DWORD bits;
    };
    const Case cases[] = {
        {0, 1, 32},          {1, 0, 32},           {-1, 5, 32},          {5, INT_MIN, 24},
        {1, 1, 8},           {1, 1, 0},            {1, 1, 33},           {INT_MAX, INT_MAX, 32},
        {0x20000000, 1, 32}, {0x10000, 0x8000, 32}, {INT_MAX, 2, 16},
    };
    const auto factory = NewFactory();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << "x" << c.bits);
        IKivImageStream* stream = nullptr;
        EXPECT_EQ(factory->CreateImage(c.width, c.height, c.bits, &stream), E_INVALIDARG);
        EXPECT_EQ(stream, nullptr);
    }
    EXPECT_EQ(factory->CreateImage(1, 1, 32, nullptr), E_INVALIDARG);
}

TEST(ImageStream, PixelsNeedTheLockWhichHasOneOwner)
{
    CComPtr<IKivImageStream> stream = NewImage(4, 3, 32);
    KivImageColor color{};
    EXPECT_EQ(stream->GetPixel(0, 0, &color), E_FAIL);
    EXPECT_EQ(stream->SetPixel(0, 0, White), E_FAIL);

    BYTE* bits = nullptr;
    KivImageLockToken token = nullptr;
    EXPECT_EQ(stream->Lock(nullptr, &token), E_INVALIDARG);
    EXPECT_EQ(stream->Lock(&bits, nullptr), E_INVALIDARG);
    ASSERT_EQ(stream->Lock(&bits, &token), S_OK);
    ASSERT_NE(bits, nullptr);
    BYTE* again = nullptr;
    KivImageLockToken second = nullptr;
    EXPECT_EQ(stream->Lock(&again, &second), E_FAIL);
    EXPECT_EQ(again, nullptr);

    // Points outside the image, the far edges included.
    const KivImagePoint outside[] = {{4, 0}, {0, 3}, {-1, 0}, {0, -1}, {INT_MAX, 0}, {INT_MIN, INT_MIN}};
    for (const KivImagePoint& p : outside) {
        EXPECT_EQ(stream->GetPixel(p.x, p.y, &color), E_INVALIDARG) << p.x << "," << p.y;
        EXPECT_EQ(stream->SetPixel(p.x, p.y, White), E_INVALIDARG) << p.x << "," << p.y;
    }
    EXPECT_EQ(stream->GetPixel(0, 0, nullptr), E_INVALIDARG);
    EXPECT_EQ(stream->SetPixel(3, 2, Orange), S_OK);
    EXPECT_EQ(stream->GetPixel(3, 2, &color), S_OK);
    EXPECT_EQ(color, Orange);
    // The pixel sits at y * stride + x * 4 of the bits.
    EXPECT_EQ(bits[2 * 16 + 3 * 4 + 2], Orange.red);

    EXPECT_EQ(stream->Unlock(nullptr), E_INVALIDARG);
    EXPECT_EQ(stream->Unlock(reinterpret_cast<KivImageLockToken>(reinterpret_cast<std::uintptr_t>(token) + 1)),
              E_INVALIDARG);
    EXPECT_EQ(stream->Unlock(token), S_OK);
    EXPECT_EQ(stream->Unlock(token), E_INVALIDARG);
    EXPECT_EQ(stream->GetPixel(3, 2, &color), E_FAIL);
    // A new lock has a new token; the old one does not unlock it.
    ASSERT_EQ(stream->Lock(&bits, &second), S_OK);
    EXPECT_NE(second, token);
    EXPECT_EQ(stream->Unlock(token), E_INVALIDARG);
    EXPECT_EQ(stream->Unlock(second), S_OK);
}

TEST(ImageStream, ChannelsGoThroughEachFormat)
{
    struct Case {
        DWORD bits;
        KivImageColor written;
        KivImageColor read;
        WORD stored16;
    };
    const Case cases[] = {
        // 16-bit white is stored as 0xFFFF and read back with the low bits of each channel clear.
        {16, White, {0xF8, 0xFC, 0xF8, 0}, 0xFFFF},
        {16, {0x08, 0x04, 0x08, 0x77}, {0x08, 0x04, 0x08, 0}, 0x0821},
        {16, {0x07, 0x03, 0x07, 0}, Black, 0},
        {24, Orange, {Orange.blue, Orange.green, Orange.red, 0}, 0},
        {32, {1, 2, 3, 4}, {1, 2, 3, 4}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bits);
        CComPtr<IKivImageStream> stream = NewImage(2, 1, c.bits);
        PutPixel(stream, 1, 0, c.written);
        EXPECT_EQ(PixelOf(stream, 1, 0), c.read);
        EXPECT_EQ(PixelOf(stream, 0, 0), Black);
        if (c.bits == 16) {
            BYTE* bits = nullptr;
            KivImageLockToken token = nullptr;
            ASSERT_EQ(stream->Lock(&bits, &token), S_OK);
            EXPECT_EQ(bits[2] | bits[3] << 8, c.stored16);
            EXPECT_EQ(stream->Unlock(token), S_OK);
        }
    }
}

TEST(ImageStream, SetPixelOutsideTheClipRectangleIsRefusedAndChangesNothing)
{
    CComPtr<IKivImageStream> stream = NewImage(6, 4, 32);
    const KivImageRect clip{1, 1, 3, 3};
    ASSERT_EQ(stream->SetClipRect(&clip), S_OK);
    BYTE* bits = nullptr;
    KivImageLockToken token = nullptr;
    ASSERT_EQ(stream->Lock(&bits, &token), S_OK);
    EXPECT_EQ(stream->SetPixel(0, 0, White), E_FAIL);
    EXPECT_EQ(stream->SetPixel(3, 1, White), E_FAIL);
    EXPECT_EQ(stream->SetPixel(1, 3, White), E_FAIL);
    EXPECT_EQ(stream->SetPixel(2, 2, White), S_OK);
    EXPECT_EQ(stream->Unlock(token), S_OK);
    const auto pixels = PixelsOf(stream);
    for (LONG i = 0; i < 24; ++i) {
        EXPECT_EQ(pixels[i], i == 2 * 6 + 2 ? White : Black) << i;
    }
    // Removing the clip rectangle lets the whole image be written again.
    ASSERT_EQ(stream->SetClipRect(nullptr), S_OK);
    PutPixel(stream, 0, 0, White);
    EXPECT_EQ(PixelOf(stream, 0, 0), White);
}

TEST(ImageStream, OriginMovesPixelsAndTheClipRectangle)
{
    CComPtr<IKivImageStream> stream = NewImage(5, 4, 24);
    const KivImagePoint origin{2, 1};
    EXPECT_EQ(stream->SetOrigin(nullptr), E_INVALIDARG);
    ASSERT_EQ(stream->SetOrigin(&origin), S_OK);
    KivImagePoint read{};
    ASSERT_EQ(stream->GetOrigin(&read), S_OK);
    EXPECT_EQ(read.x, 2);
    EXPECT_EQ(read.y, 1);
    EXPECT_EQ(stream->GetOrigin(nullptr), E_INVALIDARG);

    // Without a clip rectangle: the whole image, relative to the origin.
    KivImageRect clip{};
    ASSERT_EQ(stream->GetClipRect(&clip), S_OK);
    EXPECT_EQ(clip.left, -2);
    EXPECT_EQ(clip.top, -1);
    EXPECT_EQ(clip.right, 3);
    EXPECT_EQ(clip.bottom, 3);
    EXPECT_EQ(stream->GetClipRect(nullptr), E_INVALIDARG);

    // A clip rectangle is moved by the origin and cut to the image.
    const KivImageRect wide{-10, 0, 1, 10};
    ASSERT_EQ(stream->SetClipRect(&wide), S_OK);
    ASSERT_EQ(stream->GetClipRect(&clip), S_OK);
    EXPECT_EQ(clip.left, -2);
    EXPECT_EQ(clip.top, 0);
    EXPECT_EQ(clip.right, 1);
    EXPECT_EQ(clip.bottom, 3);

    PutPixel(stream, 0, 0, Orange);
    const KivImagePoint none{0, 0};
    ASSERT_EQ(stream->SetOrigin(&none), S_OK);
    EXPECT_EQ(PixelOf(stream, 2, 1), (KivImageColor{Orange.blue, Orange.green, Orange.red, 0}));

    // An origin at the edge of the coordinate range does not wrap pixels around.
    const KivImagePoint far{INT_MAX, INT_MIN};
    ASSERT_EQ(stream->SetOrigin(&far), S_OK);
    BYTE* bits = nullptr;
    KivImageLockToken token = nullptr;
    ASSERT_EQ(stream->Lock(&bits, &token), S_OK);
    KivImageColor color{};
    EXPECT_EQ(stream->GetPixel(INT_MIN + 1, INT_MAX, &color), E_INVALIDARG);
    EXPECT_EQ(stream->GetPixel(1, 1, &color), E_INVALIDARG);
    EXPECT_EQ(stream->Unlock(token), S_OK);
}

TEST(ClipImageStream, IsAWindowOntoItsImage)
{
    CComPtr<IKivImageStream> image = NewImage(8, 6, 32);
    const KivImagePoint origin{1, 1};
    ASSERT_EQ(image->SetOrigin(&origin), S_OK);
    // Image pixels (3, 2) to (7, 5).
    const KivImageRect window{2, 1, 6, 4};
    CComPtr<IKivImageStream> clip;
    EXPECT_EQ(image->CreateClip(nullptr, &clip), E_INVALIDARG);
    EXPECT_EQ(image->CreateClip(&window, nullptr), E_INVALIDARG);
    ASSERT_EQ(image->CreateClip(&window, &clip), S_OK);

    KivImageInfo info = EmptyInfo();
    ASSERT_EQ(clip->GetImageInfo(&info), S_OK);
    EXPECT_EQ(info.width, 4);
    EXPECT_EQ(info.height, 3);
    EXPECT_EQ(info.stride, 32);
    EXPECT_EQ(info.bitsPerPixel, 32u);

    // The lock is the image's: its bits advanced to the window's first pixel.
    BYTE* clipBits = nullptr;
    KivImageLockToken token = nullptr;
    ASSERT_EQ(clip->Lock(&clipBits, &token), S_OK);
    BYTE* imageBits = nullptr;
    KivImageLockToken other = nullptr;
    EXPECT_EQ(image->Lock(&imageBits, &other), E_FAIL);
    EXPECT_EQ(clip->SetPixel(0, 0, Orange), S_OK);
    EXPECT_EQ(clip->SetPixel(3, 2, White), S_OK);
    KivImageColor color{};
    EXPECT_EQ(clip->GetPixel(4, 0, &color), E_INVALIDARG);
    EXPECT_EQ(clip->GetPixel(0, 3, &color), E_INVALIDARG);
    EXPECT_EQ(clip->GetPixel(-1, 0, &color), E_INVALIDARG);
    EXPECT_EQ(clip->GetPixel(0, 0, nullptr), E_INVALIDARG);
    EXPECT_EQ(clipBits[0], Orange.blue);
    EXPECT_EQ(clip->Unlock(token), S_OK);
    EXPECT_EQ(clip->GetPixel(0, 0, &color), E_FAIL);

    const KivImagePoint none{0, 0};
    ASSERT_EQ(image->SetOrigin(&none), S_OK);
    EXPECT_EQ(PixelOf(image, 3, 2), Orange);
    EXPECT_EQ(PixelOf(image, 6, 4), White);

    // The clip stream's own clip rectangle and origin.
    const KivImageRect inner{1, 1, 2, 2};
    ASSERT_EQ(clip->SetClipRect(&inner), S_OK);
    ASSERT_EQ(clip->Lock(&clipBits, &token), S_OK);
    EXPECT_EQ(clip->SetPixel(0, 0, White), E_FAIL);
    EXPECT_EQ(clip->SetPixel(1, 1, White), S_OK);
    EXPECT_EQ(clip->Unlock(token), S_OK);
    EXPECT_EQ(PixelOf(image, 4, 3), White);
    EXPECT_EQ(PixelOf(image, 3, 2), Orange);
    const KivImagePoint shift{1, 0};
    ASSERT_EQ(clip->SetOrigin(&shift), S_OK);
    EXPECT_EQ(PixelOf(clip, 0, 1), White);
    KivImageRect reported{};
    ASSERT_EQ(clip->GetClipRect(&reported), S_OK);
    EXPECT_EQ(reported.left, 0);
    EXPECT_EQ(reported.right, 1);

    // A clip of the clip is a window onto the same image.
    const KivImageRect sub{0, 1, 1, 2};
    CComPtr<IKivImageStream> subClip;
    ASSERT_EQ(clip->CreateClip(&sub, &subClip), S_OK);
    EXPECT_EQ(PixelOf(subClip, 0, 0), White);
}

TEST(ClipImageStream, WindowsOutsideTheImageAreRefused)
{
    CComPtr<IKivImageStream> image = NewImage(4, 4, 24);
    const KivImageRect windows[] = {{-1, 0, 2, 2}, {0, 0, 5, 1}, {2, 2, 2, 3}, {3, 3, 1, 1}, {INT_MIN, 0, INT_MAX, 1}};
    for (const KivImageRect& window : windows) {
        IKivImageStream* clip = nullptr;
        EXPECT_EQ(image->CreateClip(&window, &clip), E_INVALIDARG) << window.left << "," << window.top;
        EXPECT_EQ(clip, nullptr);
    }
    const KivImageRect window{1, 1, 3, 3};
    CComPtr<IKivImageStream> clip;
    ASSERT_EQ(image->CreateClip(&window, &clip), S_OK);
    const KivImageRect beyond{1, 1, 3, 3};
    IKivImageStream* nested = nullptr;
    EXPECT_EQ(clip->CreateClip(&beyond, &nested), E_INVALIDARG);
    EXPECT_EQ(nested, nullptr);
}

// Draws a filled rectangle through the stream's cairo context.
void FillWithCairo(IKivImageStream* stream, double x, double y, double width, double height)
{
    CComPtr<IKivDeviceContext> context;
    ASSERT_EQ(stream->QueryInterface(IID_PPV_ARGS(&context)), S_OK);
    cairo_t* dc = nullptr;
    ASSERT_EQ(context->GetDC(&dc), S_OK);
    cairo_set_source_rgba(dc, 1.0, 0.0, 0.0, 1.0);
    cairo_rectangle(dc, x, y, width, height);
    cairo_fill(dc);
    EXPECT_EQ(context->ReleaseDC(dc), S_OK);
}

TEST(ImageStreamDrawing, CairoDrawsIntoThePixelsOf32And16BitStreams)
{
    struct Case {
        DWORD bits;
        KivImageColor red;
    };
    const Case cases[] = {{32, {0, 0, 0xFF, 0xFF}}, {16, {0, 0, 0xF8, 0}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bits);
        CComPtr<IKivImageStream> stream = NewImage(4, 3, c.bits);
        FillWithCairo(stream, 1, 1, 2, 1);
        const auto pixels = PixelsOf(stream);
        for (LONG i = 0; i < 12; ++i) {
            EXPECT_EQ(pixels[i], i == 5 || i == 6 ? c.red : Black) << i;
        }
    }
}

TEST(ImageStreamDrawing, ContextsNestAndAreGivenBackOnlyByTheirHolder)
{
    CComPtr<IKivImageStream> stream = NewImage(2, 2, 32);
    CComPtr<IKivDeviceContext> context;
    ASSERT_EQ(stream->QueryInterface(IID_PPV_ARGS(&context)), S_OK);
    EXPECT_EQ(context->GetDC(nullptr), E_INVALIDARG);
    cairo_t* first = nullptr;
    cairo_t* second = nullptr;
    ASSERT_EQ(context->GetDC(&first), S_OK);
    ASSERT_EQ(context->GetDC(&second), S_OK);
    EXPECT_EQ(first, second);
    EXPECT_EQ(context->ReleaseDC(nullptr), E_FAIL);
    EXPECT_EQ(context->ReleaseDC(second), S_OK);
    EXPECT_EQ(context->ReleaseDC(first), S_OK);
    EXPECT_EQ(context->ReleaseDC(first), E_FAIL);
}

TEST(ImageStreamDrawing, TwentyFourBitStreamsHaveNoContext)
{
    CComPtr<IKivImageStream> stream = NewImage(2, 2, 24);
    CComPtr<IKivDeviceContext> context;
    ASSERT_EQ(stream->QueryInterface(IID_PPV_ARGS(&context)), S_OK);
    cairo_t* dc = nullptr;
    EXPECT_EQ(context->GetDC(&dc), E_NOTIMPL);
    EXPECT_EQ(dc, nullptr);
}

TEST(ImageStreamDrawing, AClipStreamDrawsOnlyInsideItsWindowFromItsOrigin)
{
    CComPtr<IKivImageStream> image = NewImage(6, 4, 32);
    const KivImageRect window{1, 1, 4, 3};
    CComPtr<IKivImageStream> clip;
    ASSERT_EQ(image->CreateClip(&window, &clip), S_OK);
    const KivImagePoint origin{-1, 0};
    ASSERT_EQ(clip->SetOrigin(&origin), S_OK);
    const KivImageColor red{0, 0, 0xFF, 0xFF};
    // (1, 0) from an origin of (-1, 0) is the window's first pixel, image pixel (1, 1).
    FillWithCairo(clip, 1, 0, 1, 1);
    auto pixels = PixelsOf(image);
    for (LONG i = 0; i < 24; ++i) {
        EXPECT_EQ(pixels[i], i == 1 * 6 + 1 ? red : Black) << i;
    }
    // Everything the context can reach: only the window changes.
    FillWithCairo(clip, -100, -100, 200, 200);
    pixels = PixelsOf(image);
    for (LONG y = 0; y < 4; ++y) {
        for (LONG x = 0; x < 6; ++x) {
            const bool inside = x >= 1 && x < 4 && y >= 1 && y < 3;
            EXPECT_EQ(pixels[y * 6 + x], inside ? red : Black) << x << "," << y;
        }
    }
    // A second stream's context cannot be given back through the clip stream.
    CComPtr<IKivDeviceContext> clipContext;
    ASSERT_EQ(clip->QueryInterface(IID_PPV_ARGS(&clipContext)), S_OK);
    cairo_t* dc = nullptr;
    ASSERT_EQ(clipContext->GetDC(&dc), S_OK);
    EXPECT_EQ(clipContext->ReleaseDC(reinterpret_cast<cairo_t*>(&dc)), E_INVALIDARG);
    EXPECT_EQ(clipContext->ReleaseDC(dc), S_OK);
}

TEST(ImageModule, EveryLiveObjectHoldsAModuleLock)
{
    CKivAtlModule& module = CKivAtlModule::Instance();
    const LONG before = module.GetLockCount();
    {
        const auto factory = NewFactory();
        EXPECT_EQ(module.GetLockCount(), before + 1);
        CComPtr<IKivImageStream> stream;
        ASSERT_EQ(factory->CreateImage(2, 2, 32, &stream), S_OK);
        CComPtr<IKivImageStreamDevice> device;
        ASSERT_EQ(factory->CreateDevice(&device), S_OK);
        const KivImageRect window{0, 0, 1, 1};
        CComPtr<IKivImageStream> clip;
        ASSERT_EQ(stream->CreateClip(&window, &clip), S_OK);
        CComPtr<IKivGenId> ids(GetKivGenIdUtil()->CreateGenId());
        EXPECT_EQ(module.GetLockCount(), before + 5);
        // A stream that could not be made holds nothing.
        IKivImageStream* refused = nullptr;
        EXPECT_EQ(factory->CreateImage(0, 0, 32, &refused), E_INVALIDARG);
        EXPECT_EQ(module.GetLockCount(), before + 5);
    }
    EXPECT_EQ(module.GetLockCount(), before);
}

TEST(ImageUtil, InterfacesAnswerAsTheObjectsImplementThem)
{
    CComPtr<IKivImageStream> stream = NewImage(1, 1, 32);
    CComPtr<IKivDeviceContext> context;
    ASSERT_EQ(stream->QueryInterface(IID_PPV_ARGS(&context)), S_OK);
    CComPtr<IKivImageStream> back;
    ASSERT_EQ(context->QueryInterface(IID_PPV_ARGS(&back)), S_OK);
    EXPECT_EQ(back.Get(), stream.Get());
    IKivImageStreamFactory* notAFactory = nullptr;
    EXPECT_EQ(stream->QueryInterface(IID_PPV_ARGS(&notAFactory)), E_NOINTERFACE);
    EXPECT_EQ(GetKivImageUtil(), GetKivImageUtil());
}

} // namespace

namespace {

TEST(ImageStream, ThreadsThatRaceForTheLockHoldItOneAtATime)
{
    // Each thread takes the lock when it can, checks it is alone, writes a pixel and gives the
    // lock back; the pixel count shows every write happened under the lock.
    CComPtr<IKivImageStream> stream = NewImage(1, 1, 32);
    constexpr int Threads = 4;
    constexpr int Turns = 300;
    std::atomic<int> holders{0};
    std::atomic<bool> overlapped{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; ++t) {
        threads.emplace_back([&] {
            for (int done = 0; done < Turns;) {
                BYTE* bits = nullptr;
                KivImageLockToken token = nullptr;
                if (stream->Lock(&bits, &token) != S_OK) {
                    std::this_thread::yield();
                    continue;
                }
                if (holders.fetch_add(1) != 0) {
                    overlapped = true;
                }
                KivImageColor color{};
                stream->GetPixel(0, 0, &color);
                // Holds the lock across a reschedule, so that a second owner would show.
                std::this_thread::yield();
                ++color.blue;
                color.green = static_cast<BYTE>(color.green + (color.blue == 0));
                stream->SetPixel(0, 0, color);
                holders.fetch_sub(1);
                stream->Unlock(token);
                ++done;
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_FALSE(overlapped);
    const KivImageColor counted = PixelOf(stream, 0, 0);
    EXPECT_EQ(counted.green * 256 + counted.blue, Threads * Turns);
}

} // namespace
