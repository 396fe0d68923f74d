// Image streams: top-down 16 (5-6-5), 24 or 32 bits-per-pixel raster images in private memory,
// with pixel access under a lock, a clip rectangle, a coordinate origin and a cairo drawing
// context over the same pixels; clip streams (a rectangular window onto another stream); the
// device that copies, blends, stretches, fills and nine-grid-scales between streams; and the
// factory that makes streams empty, from BMP or PNG files, and from BMP or PNG resources that a
// module carries (see KivModuleResources.h). Kiv::GetKivImageUtil hands out factories.
//
// Thread-safety: every stream serialises its operations with a lock of its own; a clip stream
// also takes its parent's. Pixel access needs the stream's lock (Lock/Unlock), which marks one
// owner at a time. Devices and factories hold no state and may be shared.
#pragma once

#include "KivCommon/KivCommonExport.h"

#include "KivPlatform/Status.h"
#include "KivPlatform/Unknown.h"

// The drawing context handed out by IKivDeviceContext::GetDC is a cairo context; clients that
// draw include <cairo.h> themselves, everyone else needs only this declaration.
typedef struct _cairo cairo_t;

namespace Kiv {

// Pixel formats: bits per pixel the streams hold.
inline constexpr DWORD KivImageBits16 = 16;
inline constexpr DWORD KivImageBits24 = 24;
inline constexpr DWORD KivImageBits32 = 32;

// Channels of a pixel: 0 blue, 1 green, 2 red, 3 alpha.
inline constexpr int KivImageChannels = 4;

// What GetImageInfo fills (52 bytes; the caller sets size to KivImageInfoSize). The stride is the
// bytes of one row: ((width * bits per pixel + 31) / 8) rounded down to a multiple of 4. Writing a
// colour puts each channel byte at its shift (a negative shift moves it right) and keeps the
// mask's bits; reading takes the masked bits back to a byte; a channel with mask 0 reads 0.
struct KivImageInfo {
    DWORD size;
    LONG width;
    LONG height;
    LONG stride;
    DWORD masks[KivImageChannels];
    LONG shifts[KivImageChannels];
    DWORD bitsPerPixel;
};
static_assert(sizeof(KivImageInfo) == 52);
inline constexpr DWORD KivImageInfoSize = sizeof(KivImageInfo);

// A colour crosses the interfaces as four bytes in channel order.
struct KivImageColor {
    BYTE blue;
    BYTE green;
    BYTE red;
    BYTE alpha;
};
static_assert(sizeof(KivImageColor) == 4);

// Pixel rectangles (right and bottom exclusive) and points.
struct KivImageRect {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};

struct KivImagePoint {
    LONG x;
    LONG y;
};

// The token Lock hands out and Unlock takes back.
using KivImageLockToken = void*;

// A stream; coordinates are relative to its origin. A stream without pixels has no image.
struct IKivImageStream : IUnknown {
    KIV_INTERFACE_ID("6F4C5534-DAF1-4653-A3E0-D05BF3EF800D");
    // No image: E_FAIL; null: E_INVALIDARG.
    virtual HRESULT GetImageInfo(KivImageInfo* info) = 0;
    // The pixels (row 0 first) and a token for Unlock. Already locked or no image: E_FAIL.
    virtual HRESULT Lock(BYTE** bits, KivImageLockToken* token) = 0;
    // The current token: unlocks. Any other: E_INVALIDARG.
    virtual HRESULT Unlock(KivImageLockToken token) = 0;
    // Need an image and a held lock (E_FAIL); a point outside the image: E_INVALIDARG. SetPixel
    // also refuses a point outside the clip rectangle with E_FAIL and changes nothing.
    virtual HRESULT GetPixel(LONG x, LONG y, KivImageColor* color) = 0;
    virtual HRESULT SetPixel(LONG x, LONG y, KivImageColor color) = 0;
    // A new clip stream on the rectangle (moved by the origin). A rectangle that is empty or not
    // inside the image: E_INVALIDARG; no image: E_FAIL.
    virtual HRESULT CreateClip(const KivImageRect* rect, IKivImageStream** clip) = 0;
    // Null removes the clip rectangle; else it is moved by the origin and cut to the image.
    virtual HRESULT SetClipRect(const KivImageRect* rect) = 0;
    // The clip rectangle, or the whole image when none is set, relative to the origin.
    virtual HRESULT GetClipRect(KivImageRect* rect) = 0;
    virtual HRESULT SetOrigin(const KivImagePoint* origin) = 0;
    virtual HRESULT GetOrigin(KivImagePoint* origin) = 0;
};

// The drawing context of a stream. GetDC hands out a cairo context over the stream's pixels with
// one saved state pushed (cairo_save); ReleaseDC pops it (cairo_restore) and, with the last,
// flushes the drawing into the pixels. Nested GetDC calls hand out the same context. A 24-bit
// stream has no cairo format: GetDC refuses it with E_NOTIMPL. No image: E_FAIL.
struct IKivDeviceContext : IUnknown {
    KIV_INTERFACE_ID("83B93B4D-E95D-44C8-A179-63719C000C14");
    virtual HRESULT GetDC(cairo_t** dc) = 0;
    virtual HRESULT ReleaseDC(cairo_t* dc) = 0;
};

// Blit modes.
enum class KivBlitMode : DWORD {
    Copy = 0,
    ColorKey = 1, // copies except source pixels whose colour channels equal the key's
    Blend = 2,    // source over destination by alpha
    Add = 3,      // colour channels added, saturating at 255
    Subtract = 4, // destination minus source per colour channel, clamped at 0
    Grey = 5,     // the mean of the source's colour channels into each destination colour channel
};

// Parameters of Blit and DrawNineGrid (16 bytes); size must be KivBlitParamsSize.
struct KivBlitParams {
    DWORD size;
    KivBlitMode mode;
    BYTE constantAlpha;
    BYTE reserved[3];
    KivImageColor keyColor;
};
static_assert(sizeof(KivBlitParams) == 16);
inline constexpr DWORD KivBlitParamsSize = sizeof(KivBlitParams);

// Draws between streams. Rectangles are relative to each stream's origin; the destination is cut
// to its clip rectangle. Null arguments or a wrong parameter size: E_INVALIDARG; a source
// rectangle that is not inside the source image, or a destination rectangle that does not meet
// the destination image: E_INVALIDARG; nothing left after clipping: S_FALSE. The source and the
// destination must not share pixels (both are locked for the call; a second lock gives E_FAIL).
struct IKivImageStreamDevice : IUnknown {
    KIV_INTERFACE_ID("FB4D3467-FD10-4055-ABC5-22AE129EF857");
    // Splits both rectangles into 3 x 3 cells by the margins between source and inner: corners
    // keep their size, edges stretch along one axis, the centre along both. Margins wider than
    // the destination: E_INVALIDARG.
    virtual HRESULT DrawNineGrid(IKivImageStream* dest, const KivImageRect* destRect, IKivImageStream* source,
                                 const KivImageRect* sourceRect, const KivImageRect* sourceInner,
                                 const KivBlitParams* params) = 0;
    // Same sizes copy, different sizes stretch (nearest neighbour).
    virtual HRESULT Blit(IKivImageStream* dest, const KivImageRect* destRect, IKivImageStream* source,
                         const KivImageRect* sourceRect, const KivBlitParams* params) = 0;
    // 24 and 32-bit streams; other formats: nothing drawn, S_OK.
    virtual HRESULT FillRect(IKivImageStream* stream, const KivImageRect* rect, KivImageColor color) = 0;
    // 32-bit streams; other formats: nothing, S_OK.
    virtual HRESULT InvertAlpha(IKivImageStream* stream, const KivImageRect* rect) = 0;
    // Blends the colour by its own alpha into every pixel of the stream's clip rectangle.
    virtual HRESULT BlendColor(IKivImageStream* stream, KivImageColor color) = 0;
};

// Makes streams; each is handed out as IKivImageStream with one reference for the caller.
// Failures leave the out pointer null.
struct IKivImageStreamFactory : IUnknown {
    KIV_INTERFACE_ID("A252A922-9230-4682-93F3-585CB0A9E010");
    // A BMP file, else a PNG file; neither: E_FAIL.
    virtual HRESULT CreateFromFile(const OLECHAR* path, IKivImageStream** stream) = 0;
    // A blank (zeroed) image. Bits other than 16, 24 and 32, a width or height below 1, or a
    // byte size beyond KivImageMaxBytes: E_INVALIDARG.
    virtual HRESULT CreateImage(LONG width, LONG height, DWORD bitsPerPixel, IKivImageStream** stream) = 0;
    // A resource of a loaded module (the handle its loader gave): BMP data when it begins with
    // "BM", else PNG data. A module without a resource table: the status of
    // ERROR_RESOURCE_DATA_NOT_FOUND; no such resource: E_FAIL.
    virtual HRESULT CreateFromResource(void* module, const OLECHAR* name, const OLECHAR* type,
                                       IKivImageStream** stream) = 0;
    virtual HRESULT CreateFromResourceId(void* module, WORD id, const OLECHAR* type, IKivImageStream** stream) = 0;
    virtual HRESULT CreateDevice(IKivImageStreamDevice** device) = 0;
};

// The largest image, in bytes (stride times height), a stream takes.
inline constexpr ULONGLONG KivImageMaxBytes = 0x7FFFFFFF;

// Platform error number of a module that carries no resource table.
inline constexpr DWORD ERROR_RESOURCE_DATA_NOT_FOUND = 1812;

// Hands out factories: a new one with count 0, or null when memory runs out.
class IKivImageUtil {
public:
    virtual IKivImageStreamFactory* CreateFactory() = 0;

protected:
    ~IKivImageUtil() = default;
};

KIVCOMMON_API IKivImageUtil* GetKivImageUtil();

} // namespace Kiv
