#include "KivImageDecode.h"

#include "KivImagePixels.h"

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <limits>
#include <vector>

namespace Kiv {

namespace {

// BMP layout.
constexpr std::size_t BmpFileHeaderSize = 14;
constexpr std::size_t BmpInfoHeaderSize = 40;
constexpr std::size_t BmpBitFieldsSize = 12;
constexpr DWORD BmpNoCompression = 0;
constexpr DWORD BmpBitFields = 3;
constexpr std::size_t BmpPixelOffsetAt = 10;
constexpr std::size_t BmpWidthAt = 4;
constexpr std::size_t BmpHeightAt = 8;
constexpr std::size_t BmpBitCountAt = 14;
constexpr std::size_t BmpCompressionAt = 16;

constexpr std::size_t PngSignatureSize = 8;
// Deflate expands data at most 1032-fold, so a PNG of n bytes cannot hold more pixel bytes than
// this many times n; a header that claims more belongs to a file cut short or forged, and is
// refused before its image is allocated.
constexpr std::size_t PngMostInflation = 1032;

DWORD ReadU32(const BYTE* p)
{
    return DWORD{p[0]} | DWORD{p[1]} << 8 | DWORD{p[2]} << 16 | DWORD{p[3]} << 24;
}

WORD ReadU16(const BYTE* p)
{
    return static_cast<WORD>(p[0] | p[1] << 8);
}

bool StartsWithBm(const BYTE* data, std::size_t size)
{
    return size >= 2 && data[0] == 'B' && data[1] == 'M';
}

// Whether the bit fields that follow the information header are the ones the stream's format
// uses (red, green, blue masks in that order).
bool BitFieldsMatch(const BYTE* fields, const KivImageInfo& format)
{
    return ReadU32(fields) == format.masks[2] && ReadU32(fields + 4) == format.masks[1] &&
           ReadU32(fields + 8) == format.masks[0];
}

// --- PNG -------------------------------------------------------------------------------------
// libpng reports errors by calling the error handler, which must not return. Ours jumps back to
// the setjmp of one of the small Guarded functions below. Those functions and the read callback
// own nothing (no object with a destructor lives in their frames), so the jump skips no cleanup:
// every resource belongs to a caller further out, which the jump never crosses.

struct PngSource {
    const BYTE* data;
    std::size_t size;
    std::size_t offset;
};

void ReadPngBytes(png_structp png, png_bytep out, png_size_t count)
{
    auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (count > source->size - source->offset) {
        png_error(png, "Read Error");
    }
    std::memcpy(out, source->data + source->offset, count);
    source->offset += count;
}

[[noreturn]] void OnPngError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp)
{
}

bool ReadPngInfoGuarded(png_structp png, png_infop info)
{
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_read_info(png, info);
    png_read_update_info(png, info);
    return true;
}

bool ReadPngRowsGuarded(png_structp png, png_bytepp rows)
{
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_read_image(png, rows);
    return true;
}

// Owns the decoder's structures.
class CPngReader {
public:
    CPngReader()
    {
        m_png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, OnPngWarning);
        if (m_png != nullptr) {
            m_info = png_create_info_struct(m_png);
        }
    }
    ~CPngReader() { png_destroy_read_struct(&m_png, m_info != nullptr ? &m_info : nullptr, nullptr); }
    CPngReader(const CPngReader&) = delete;
    CPngReader& operator=(const CPngReader&) = delete;

    bool IsReady() const { return m_png != nullptr && m_info != nullptr; }
    png_structp Png() const { return m_png; }
    png_infop Info() const { return m_info; }

private:
    png_structp m_png = nullptr;
    png_infop m_info = nullptr;
};

} // namespace

HRESULT LoadBmpFile(const BYTE* data, std::size_t size, CKivImageStream& stream)
{
    if (data == nullptr || !StartsWithBm(data, size) || size < BmpFileHeaderSize + BmpInfoHeaderSize) {
        return E_FAIL;
    }
    const BYTE* header = data + BmpFileHeaderSize;
    const DWORD headerSize = ReadU32(header);
    if (headerSize < BmpInfoHeaderSize || headerSize > size - BmpFileHeaderSize) {
        return E_FAIL;
    }
    const LONG width = static_cast<LONG>(ReadU32(header + BmpWidthAt));
    const LONG height = static_cast<LONG>(ReadU32(header + BmpHeightAt));
    const DWORD bits = ReadU16(header + BmpBitCountAt);
    const DWORD compression = ReadU32(header + BmpCompressionAt);

    KivImageInfo format;
    if (!DescribePixelFormat(bits, format)) {
        return E_INVALIDARG;
    }
    // The bit fields follow a 40-byte header, or sit at the same place inside a longer one.
    std::size_t headersEnd = BmpFileHeaderSize + headerSize;
    if (compression == BmpBitFields) {
        const std::size_t fieldsEnd = BmpFileHeaderSize + BmpInfoHeaderSize + BmpBitFieldsSize;
        if (fieldsEnd > size) {
            return E_FAIL;
        }
        if (!BitFieldsMatch(data + BmpFileHeaderSize + BmpInfoHeaderSize, format)) {
            return E_INVALIDARG;
        }
        headersEnd = std::max(headersEnd, fieldsEnd);
    } else if (compression != BmpNoCompression || bits == KivImageBits16) {
        // Uncompressed 16-bit rows are 5-5-5, which streams do not hold.
        return E_INVALIDARG;
    }
    // A negative height stores the rows top-down; the most negative one has no positive peer.
    if (height == std::numeric_limits<LONG>::min()) {
        return E_INVALIDARG;
    }
    const LONG rows = height < 0 ? -height : height;
    KivImageInfo info;
    std::size_t bytes = 0;
    HRESULT status = DescribeImage(width, rows, bits, info, bytes);
    if (FAILED(status)) {
        return status;
    }
    const std::size_t pixelOffset = ReadU32(data + BmpPixelOffsetAt);
    if (pixelOffset < headersEnd || pixelOffset > size || bytes > size - pixelOffset) {
        return E_FAIL;
    }
    if (FAILED(status = stream.Allocate(width, rows, bits))) {
        return status;
    }
    BYTE* pixels = stream.PixelsForFilling();
    const BYTE* source = data + pixelOffset;
    if (height < 0) {
        std::memcpy(pixels, source, bytes);
        return S_OK;
    }
    const std::size_t stride = static_cast<std::size_t>(info.stride);
    for (LONG row = 0; row < rows; ++row) {
        std::memcpy(pixels + static_cast<std::size_t>(row) * stride,
                    source + static_cast<std::size_t>(rows - 1 - row) * stride, stride);
    }
    return S_OK;
}

HRESULT LoadPng(const BYTE* data, std::size_t size, CKivImageStream& stream)
{
    if (data == nullptr || size < PngSignatureSize) {
        return E_INVALIDARG;
    }
    if (png_sig_cmp(data, 0, PngSignatureSize) != 0) {
        return E_FAIL;
    }
    CPngReader reader;
    if (!reader.IsReady()) {
        return E_OUTOFMEMORY;
    }
    png_structp png = reader.Png();
    png_infop info = reader.Info();
    PngSource source{data, size, 0};
    png_set_read_fn(png, &source, ReadPngBytes);
    // Rows come out as the stream keeps them: blue first, interlaced images assembled.
    png_set_bgr(png);
    png_set_interlace_handling(png);
    if (!ReadPngInfoGuarded(png, info)) {
        return E_FAIL;
    }
    const int colorType = png_get_color_type(png, info);
    const int depth = png_get_bit_depth(png, info);
    if (depth != 8 || (colorType != PNG_COLOR_TYPE_RGB && colorType != PNG_COLOR_TYPE_RGB_ALPHA)) {
        return E_FAIL;
    }
    const DWORD bits = colorType == PNG_COLOR_TYPE_RGB ? KivImageBits24 : KivImageBits32;
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    KivImageInfo layout;
    std::size_t bytes = 0;
    if (width > png_uint_32(std::numeric_limits<LONG>::max()) || height > png_uint_32(std::numeric_limits<LONG>::max())) {
        return E_INVALIDARG;
    }
    HRESULT status = DescribeImage(static_cast<LONG>(width), static_cast<LONG>(height), bits, layout, bytes);
    if (FAILED(status)) {
        return status;
    }
    if (bytes / PngMostInflation > size || png_get_rowbytes(png, info) > static_cast<std::size_t>(layout.stride)) {
        return E_FAIL;
    }
    if (FAILED(status = stream.Allocate(layout.width, layout.height, bits))) {
        return status;
    }
    std::vector<png_bytep> rows(height);
    BYTE* pixels = stream.PixelsForFilling();
    for (png_uint_32 row = 0; row < height; ++row) {
        rows[row] = pixels + std::size_t{row} * static_cast<std::size_t>(layout.stride);
    }
    return ReadPngRowsGuarded(png, rows.data()) ? S_OK : E_FAIL;
}

HRESULT LoadImageBytes(const BYTE* data, std::size_t size, CKivImageStream& stream)
{
    if (data != nullptr && StartsWithBm(data, size)) {
        return LoadBmpFile(data, size, stream);
    }
    return LoadPng(data, size, stream);
}

} // namespace Kiv
