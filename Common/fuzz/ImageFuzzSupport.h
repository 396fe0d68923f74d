// What the image fuzz targets check after a load: a stream that loaded must describe an image
// the stream rules allow, and every one of its pixels must be readable where the stride puts it
// (the sanitizers watch the reads stay inside the pixels). Single-threaded.
#pragma once

#include "CKivImageStream.h"

#include "KivObject/ComPtr.h"
#include "KivObject/KivObject.h"

#include <cstdio>
#include <cstdlib>

namespace KivImageFuzz {

inline void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "image load invariant broken: %s\n", what);
        std::abort();
    }
}

// Loads the bytes with load(data, size, stream) into a new stream and checks the result.
template <class Load>
void LoadAndCheck(const std::uint8_t* data, std::size_t size, Load&& load)
{
    using namespace Kiv;
    CComPtr<CKivObject<CKivImageStream>> stream(CKivObject<CKivImageStream>::CreateObject());
    Require(stream != nullptr, "a stream can be made");
    const HRESULT status = load(data, size, *stream);
    if (FAILED(status)) {
        return;
    }
    KivImageInfo info{};
    info.size = KivImageInfoSize;
    Require(stream->GetImageInfo(&info) == S_OK, "a loaded stream has an image");
    Require(info.width >= 1 && info.height >= 1, "a loaded image has pixels");
    Require(info.bitsPerPixel == 16 || info.bitsPerPixel == 24 || info.bitsPerPixel == 32, "a held format");
    Require(info.stride == LONG((ULONGLONG(info.width) * info.bitsPerPixel + 31) / 32 * 4), "the stride rule");
    BYTE* bits = nullptr;
    KivImageLockToken token = nullptr;
    Require(stream->Lock(&bits, &token) == S_OK, "a loaded stream locks");
    const std::size_t bytesPerPixel = info.bitsPerPixel / 8;
    for (LONG y = 0; y < info.height; ++y) {
        for (LONG x = 0; x < info.width; ++x) {
            KivImageColor color{};
            Require(stream->GetPixel(x, y, &color) == S_OK, "every pixel reads");
            // Blue is the first byte of a 24 or 32-bit pixel, at y * stride + x * bytes.
            const BYTE* pixel = bits + std::size_t(y) * std::size_t(info.stride) + std::size_t(x) * bytesPerPixel;
            Require(info.bitsPerPixel == 16 || color.blue == pixel[0], "the pixel is where the stride puts it");
        }
    }
    Require(stream->Unlock(token) == S_OK, "the lock is given back");
}

} // namespace KivImageFuzz
