// Loading images: BMP files top-down and bottom-up, PNG data written by libpng (through a file
// and back), module resources, and the malformed, truncated and oversized inputs that must be
// refused without touching memory outside the bytes or the pixels.
#include "ImageTestSupport.h"

#include "KivImageDecode.h"

#include "KivCommon/KivModuleResources.h"

#include "KivObject/KivObject.h"

#include "KivPlatform/Module.h"

#include "KivTestSupport/TempDir.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <climits>

using namespace Kiv;
using namespace KivImageTest;

namespace {

constexpr KivImageColor Black{0, 0, 0, 0};

// Loads bytes into a new stream; the stream when it worked, null otherwise.
HRESULT Load(const std::vector<BYTE>& bytes, CComPtr<IKivImageStream>& loaded)
{
    CComPtr<CKivObject<CKivImageStream>> stream(CKivObject<CKivImageStream>::CreateObject());
    const HRESULT status = LoadImageBytes(bytes.data(), bytes.size(), *stream);
    if (SUCCEEDED(status)) {
        loaded = static_cast<IKivImageStream*>(stream.Get());
    }
    return status;
}

HRESULT LoadStatus(const std::vector<BYTE>& bytes)
{
    CComPtr<IKivImageStream> ignored;
    return Load(bytes, ignored);
}

// A 24-bit 2 x 2 image's rows, each padded to the stride of 8: first row blue, red; second
// green, white.
std::vector<BYTE> TwoRows(bool firstRowFirst)
{
    const std::vector<BYTE> first{0xFF, 0, 0, 0, 0, 0xFF, 0, 0};
    const std::vector<BYTE> second{0, 0xFF, 0, 0xFF, 0xFF, 0xFF, 0, 0};
    std::vector<BYTE> rows = firstRowFirst ? first : second;
    const auto& next = firstRowFirst ? second : first;
    rows.insert(rows.end(), next.begin(), next.end());
    return rows;
}

TEST(ImageDecode, BmpRowsAreShownTopDownWhicheverWayTheyAreStored)
{
    const KivImageColor blue{0xFF, 0, 0, 0};
    const KivImageColor red{0, 0, 0xFF, 0};
    const KivImageColor green{0, 0xFF, 0, 0};
    const KivImageColor white{0xFF, 0xFF, 0xFF, 0};
    struct Case {
        const char* name;
        LONG height;
        bool firstRowFirst;
        std::vector<KivImageColor> expected;
    };
    const Case cases[] = {
        // Bottom-up: the first row of the file is the bottom row of the image.
        {"bottom-up", 2, true, {green, white, blue, red}},
        {"top-down", -2, true, {blue, red, green, white}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CComPtr<IKivImageStream> stream;
        ASSERT_EQ(Load(MakeBmp({2, c.height, 24}, TwoRows(c.firstRowFirst)), stream), S_OK);
        KivImageInfo info = EmptyInfo();
        ASSERT_EQ(stream->GetImageInfo(&info), S_OK);
        EXPECT_EQ(info.height, 2);
        EXPECT_EQ(PixelsOf(stream), c.expected);
    }
}

TEST(ImageDecode, BmpBitCountsThatStreamsHold)
{
    // 32-bit plain, and 16-bit with the 5-6-5 bit fields.
    CComPtr<IKivImageStream> stream;
    ASSERT_EQ(Load(MakeBmp({1, 1, 32}, {1, 2, 3, 4}), stream), S_OK);
    EXPECT_EQ(PixelOf(stream, 0, 0), (KivImageColor{1, 2, 3, 4}));
    stream.Release();
    ASSERT_EQ(Load(MakeBmp({1, -1, 16, 3, true}, {0xFF, 0xFF, 0, 0}), stream), S_OK);
    EXPECT_EQ(PixelOf(stream, 0, 0), (KivImageColor{0xF8, 0xFC, 0xF8, 0}));
}

TEST(ImageDecode, MalformedBmpFilesAreRefused)
{
    const std::vector<BYTE> onePixel(4, 0x7F);
    const auto truncated = [](std::vector<BYTE> bytes, std::size_t size) {
        bytes.resize(size);
        return bytes;
    };
    const auto patched = [](std::vector<BYTE> bytes, std::size_t at, DWORD value) {
        for (int i = 0; i < 4; ++i) {
            bytes[at + i] = static_cast<BYTE>(value >> (8 * i));
        }
        return bytes;
    };
    const std::vector<BYTE> good = MakeBmp({2, 2, 24}, TwoRows(true));
    struct Case {
        const char* name;
        std::vector<BYTE> bytes;
        HRESULT expected;
    };
    const Case cases[] = {
        {"file header only", truncated(good, 14), E_FAIL},
        {"information header cut", truncated(good, 40), E_FAIL},
        {"rows cut short", truncated(good, good.size() - 1), E_FAIL},
        {"header size beyond the file", patched(good, 14, 0x10000), E_FAIL},
        {"header size too small", patched(good, 14, 12), E_FAIL},
        {"pixel offset beyond the file", patched(good, 10, 0xFFFFFFF0), E_FAIL},
        {"pixel offset inside the header", patched(good, 10, 20), E_FAIL},
        {"8 bits", MakeBmp({1, 1, 8}, onePixel), E_INVALIDARG},
        {"1 bit", MakeBmp({1, 1, 1}, onePixel), E_INVALIDARG},
        {"16 bits without bit fields", MakeBmp({1, 1, 16}, onePixel), E_INVALIDARG},
        {"run-length compressed", MakeBmp({1, 1, 24, 1}, onePixel), E_INVALIDARG},
        {"other bit fields", patched(MakeBmp({1, 1, 16, 3, true}, onePixel), 54, 0x7C00), E_INVALIDARG},
        {"bit fields cut", truncated(MakeBmp({1, 1, 16, 3, true}, onePixel), 60), E_FAIL},
        {"zero width", MakeBmp({0, 1, 24}, onePixel), E_INVALIDARG},
        {"negative width", MakeBmp({-4, 1, 24}, onePixel), E_INVALIDARG},
        {"zero height", MakeBmp({1, 0, 24}, onePixel), E_INVALIDARG},
        {"most negative height", MakeBmp({1, INT_MIN, 24}, onePixel), E_INVALIDARG},
        {"byte size beyond 32 bits", MakeBmp({0x40000000, 0x40000000, 32}, onePixel), E_INVALIDARG},
        {"width whose stride overflows", MakeBmp({INT_MAX, 1, 32}, onePixel), E_INVALIDARG},
        {"rows the file does not hold", MakeBmp({1000, 1000, 24}, onePixel), E_FAIL},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LoadStatus(c.bytes), c.expected) << c.name;
    }
}

// RGB rows of width pixels whose red is the column, green the row and blue constant; with alpha
// when channels is 4.
std::vector<std::vector<BYTE>> Gradient(std::uint32_t width, std::uint32_t height, int channels)
{
    std::vector<std::vector<BYTE>> rows(height);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            rows[y].push_back(static_cast<BYTE>(x * 10));
            rows[y].push_back(static_cast<BYTE>(y * 20));
            rows[y].push_back(0x33);
            if (channels == 4) {
                rows[y].push_back(static_cast<BYTE>(0x80 + x + y));
            }
        }
    }
    return rows;
}

TEST(ImageDecode, PngWrittenByLibpngComesBackThroughAFile)
{
    struct Case {
        const char* name;
        int colorType;
        bool interlaced;
        DWORD bits;
    };
    const Case cases[] = {
        {"rgb", PNG_COLOR_TYPE_RGB, false, 24},
        {"rgba", PNG_COLOR_TYPE_RGB_ALPHA, false, 32},
        {"rgba interlaced", PNG_COLOR_TYPE_RGB_ALPHA, true, 32},
    };
    const std::uint32_t width = 11;
    const std::uint32_t height = 7;
    KivTest::TempDir folder;
    const auto factory = NewFactory();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int channels = c.colorType == PNG_COLOR_TYPE_RGB ? 3 : 4;
        const auto rows = Gradient(width, height, channels);
        const std::vector<BYTE> png = MakePng({width, height, c.colorType, 8, c.interlaced}, rows);
        const auto path = folder.WriteFile(std::string(c.name) + ".png",
                                           std::string_view(reinterpret_cast<const char*>(png.data()), png.size()));
        CComPtr<IKivImageStream> stream;
        ASSERT_EQ(factory->CreateFromFile(KivTest::ToUtf16Path(path).c_str(), &stream), S_OK);
        KivImageInfo info = EmptyInfo();
        ASSERT_EQ(stream->GetImageInfo(&info), S_OK);
        EXPECT_EQ(info.width, LONG(width));
        EXPECT_EQ(info.height, LONG(height));
        EXPECT_EQ(info.bitsPerPixel, c.bits);
        const auto pixels = PixelsOf(stream);
        for (std::uint32_t y = 0; y < height; ++y) {
            for (std::uint32_t x = 0; x < width; ++x) {
                const BYTE* sample = &rows[y][x * channels];
                const KivImageColor expected{sample[2], sample[1], sample[0], BYTE(channels == 4 ? sample[3] : 0)};
                ASSERT_EQ(pixels[y * width + x], expected) << x << "," << y;
            }
        }
    }
}

TEST(ImageDecode, FilesThatAreNeitherBmpNorPngAreRefused)
{
    KivTest::TempDir folder;
    const auto factory = NewFactory();
    const std::filesystem::path paths[] = {
        folder.WriteFile("text.png", "not an image at all"),
        folder.WriteFile("empty.bmp", ""),
        folder.WriteFile("short.bmp", "BM"),
        folder.Path() / "missing.png",
        folder.Path(),
    };
    for (const auto& path : paths) {
        IKivImageStream* stream = nullptr;
        EXPECT_EQ(factory->CreateFromFile(KivTest::ToUtf16Path(path).c_str(), &stream), E_FAIL) << path;
        EXPECT_EQ(stream, nullptr);
    }
    IKivImageStream* stream = nullptr;
    EXPECT_EQ(factory->CreateFromFile(nullptr, &stream), E_INVALIDARG);
    EXPECT_EQ(factory->CreateFromFile(u"/x.png", nullptr), E_INVALIDARG);
}

// PNG data with one byte changed (and the chunk's check sum left as it was, unless fixed).
std::vector<BYTE> WithByte(std::vector<BYTE> bytes, std::size_t at, BYTE value)
{
    bytes[at] = value;
    return bytes;
}

// A PNG header chunk that claims width x height, with a correct check sum, and nothing after it
// but the end chunk.
std::vector<BYTE> HeaderOnly(std::uint32_t width, std::uint32_t height)
{
    std::vector<BYTE> png = MakePng({1, 1, PNG_COLOR_TYPE_RGB}, {{1, 2, 3}});
    const auto put32 = [&](std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            png[at + i] = static_cast<BYTE>(value >> (24 - 8 * i));
        }
    };
    // Signature (8), length (4), "IHDR" (4), then width and height.
    put32(16, width);
    put32(20, height);
    put32(29, static_cast<std::uint32_t>(crc32(0, png.data() + 12, 17)));
    return png;
}

TEST(ImageDecode, PngThatStreamsDoNotHoldOrThatIsBrokenIsRefused)
{
    const std::vector<BYTE> good = MakePng({4, 2, PNG_COLOR_TYPE_RGB}, Gradient(4, 2, 3));
    std::vector<BYTE> cut = good;
    cut.resize(good.size() - 20);
    struct Case {
        const char* name;
        std::vector<BYTE> bytes;
        HRESULT expected;
    };
    const Case cases[] = {
        {"palette", MakePng({2, 1, PNG_COLOR_TYPE_PALETTE}, {{0, 3}}), E_FAIL},
        {"16-bit rgb", MakePng({1, 1, PNG_COLOR_TYPE_RGB, 16}, {{1, 2, 3, 4, 5, 6}}), E_FAIL},
        {"grey", MakePng({2, 1, PNG_COLOR_TYPE_GRAY}, {{1, 2}}), E_FAIL},
        {"grey with alpha", MakePng({1, 1, PNG_COLOR_TYPE_GRAY_ALPHA}, {{1, 2}}), E_FAIL},
        {"seven bytes", std::vector<BYTE>(good.begin(), good.begin() + 7), E_INVALIDARG},
        {"nothing", {}, E_INVALIDARG},
        {"signature only", std::vector<BYTE>(good.begin(), good.begin() + 8), E_FAIL},
        {"header cut", std::vector<BYTE>(good.begin(), good.begin() + 20), E_FAIL},
        {"image data cut", cut, E_FAIL},
        {"bad signature", WithByte(good, 1, 'Q'), E_FAIL},
        {"header check sum wrong", WithByte(good, 17, 9), E_FAIL},
        {"zero width", HeaderOnly(0, 1), E_FAIL},
        {"width beyond 31 bits", HeaderOnly(0x80000000u, 1), E_FAIL},
        {"far more pixels than the data holds", HeaderOnly(20000, 20000), E_FAIL},
        {"byte size beyond the largest image", HeaderOnly(1000000, 1000000), E_INVALIDARG},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LoadStatus(c.bytes), c.expected) << c.name;
    }
    EXPECT_EQ(LoadStatus(good), S_OK);
}

TEST(ImageDecode, ResourcesComeFromTheModulesTable)
{
    void* module = Platform::LoadModule(KIV_IMAGE_TEST_RESOURCES);
    ASSERT_NE(module, nullptr);
    const auto factory = NewFactory();
    const KivImageColor red{0, 0, 0xFF, 0};
    const KivImageColor blue{0xFF, 0, 0, 0};
    {
        CComPtr<IKivImageStream> byName;
        ASSERT_EQ(factory->CreateFromResource(module, u"PAIR", u"PNG", &byName), S_OK);
        EXPECT_EQ(PixelsOf(byName), (std::vector<KivImageColor>{red, blue}));
        CComPtr<IKivImageStream> byNumber;
        ASSERT_EQ(factory->CreateFromResourceId(module, 101, u"PNG", &byNumber), S_OK);
        EXPECT_EQ(PixelsOf(byNumber), (std::vector<KivImageColor>{red, blue}));
        // BMP data: stored bottom-up, green on top.
        CComPtr<IKivImageStream> bitmap;
        ASSERT_EQ(factory->CreateFromResource(module, u"COLUMN", u"BITMAP", &bitmap), S_OK);
        EXPECT_EQ(PixelsOf(bitmap), (std::vector<KivImageColor>{{0, 0xFF, 0, 0}, {0xFF, 0xFF, 0xFF, 0}}));
    }
    struct Case {
        const char16_t* name;
        WORD id;
        const char16_t* type;
    };
    const Case missing[] = {{u"PAIR", 0, u"BITMAP"}, {u"pair", 0, u"PNG"}, {nullptr, 102, u"PNG"}, {nullptr, 0, u"PNG"}};
    for (const Case& c : missing) {
        IKivImageStream* stream = nullptr;
        const HRESULT status = c.name != nullptr ? factory->CreateFromResource(module, c.name, c.type, &stream)
                                                 : factory->CreateFromResourceId(module, c.id, c.type, &stream);
        EXPECT_EQ(status, E_FAIL);
        EXPECT_EQ(stream, nullptr);
    }
    IKivImageStream* stream = nullptr;
    EXPECT_EQ(factory->CreateFromResource(nullptr, u"PAIR", u"PNG", &stream), E_INVALIDARG);
    EXPECT_EQ(factory->CreateFromResource(module, nullptr, u"PNG", &stream), E_INVALIDARG);
    EXPECT_EQ(factory->CreateFromResource(module, u"PAIR", nullptr, &stream), E_INVALIDARG);
    EXPECT_EQ(factory->CreateFromResource(module, u"PAIR", u"PNG", nullptr), E_INVALIDARG);
    Platform::FreeModule(module);
}

TEST(ImageDecode, AModuleWithoutAResourceTableSaysSo)
{
    // This test program exports no table.
    IKivImageStream* stream = nullptr;
    EXPECT_EQ(NewFactory()->CreateFromResourceId(Platform::GetProgramModule(), 101, u"PNG", &stream),
              HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND));
    EXPECT_EQ(stream, nullptr);
}

} // namespace
