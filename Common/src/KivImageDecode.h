// Decoding BMP and PNG bytes into a stream that has no image yet. The bytes are only read, never
// trusted: every size a header gives is checked against the bytes there are and against
// KivImageMaxBytes before anything is allocated or copied. Thread-safe for distinct streams.
#pragma once

#include "CKivImageStream.h"

#include <cstddef>

namespace Kiv {

// A BMP file: "BM", the 14-byte file header, the information header and the pixel rows at the
// offset the file header gives. 16-bit images must use the 5-6-5 bit fields streams hold, 24 and
// 32-bit ones no compression. Not "BM", or a header or rows cut short: E_FAIL; a format streams
// do not hold, a width below 1, no rows or a byte size beyond KivImageMaxBytes: E_INVALIDARG.
HRESULT LoadBmpFile(const BYTE* data, std::size_t size, CKivImageStream& stream);

// PNG data, 8-bit RGB or RGBA (palette, grey and 16-bit images are refused with E_FAIL). Fewer
// than 8 bytes: E_INVALIDARG; any decoding error: E_FAIL; too large: E_INVALIDARG.
HRESULT LoadPng(const BYTE* data, std::size_t size, CKivImageStream& stream);

// BMP file bytes when they begin with "BM", PNG data otherwise.
HRESULT LoadImageBytes(const BYTE* data, std::size_t size, CKivImageStream& stream);

} // namespace Kiv
