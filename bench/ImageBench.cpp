// KivImageBench: the image stream device on 1920 x 1080 32-bit streams, each operation side by
// side with the same operation done by cairo on buffers of the same size in the same run:
// a same-size copy (blit), a 960 x 540 picture stretched to full size (nearest neighbour),
// and a 256 x 256 picture with 32-pixel margins nine-grid-scaled to full size. Each figure is
// the median of its runs, printed with its ratio to cairo's and whether both left the same
// pixels. Single-threaded.
#include "KivCommon/KivImage.h"

#include "KivObject/ComPtr.h"

#include <cairo.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

using namespace Kiv;
using Clock = std::chrono::steady_clock;

constexpr LONG Width = 1920;
constexpr LONG Height = 1080;
constexpr int Runs = 31;

// The median time of a run of body, in milliseconds.
double MedianMs(const std::function<void()>& body)
{
    body(); // warms caches and maps pages
    std::vector<double> times;
    for (int i = 0; i < Runs; ++i) {
        const auto start = Clock::now();
        body();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::nth_element(times.begin(), times.begin() + Runs / 2, times.end());
    return times[Runs / 2];
}

// A stream filled with a pattern, so that copies move real data.
CComPtr<IKivImageStream> PatternStream(IKivImageStreamFactory* factory, LONG width, LONG height)
{
    CComPtr<IKivImageStream> stream;
    if (FAILED(factory->CreateImage(width, height, KivImageBits32, &stream))) {
        std::fprintf(stderr, "cannot make a %dx%d stream\n", width, height);
        std::exit(1);
    }
    BYTE* bits = nullptr;
    KivImageLockToken token = nullptr;
    stream->Lock(&bits, &token);
    for (std::size_t i = 0; i < std::size_t(width) * height * 4; ++i) {
        bits[i] = static_cast<BYTE>(i * 31 + i / 4096);
    }
    stream->Unlock(token);
    return stream;
}

cairo_surface_t* PatternSurface(int width, int height)
{
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    unsigned char* data = cairo_image_surface_get_data(surface);
    const std::size_t bytes = std::size_t(cairo_image_surface_get_stride(surface)) * height;
    for (std::size_t i = 0; i < bytes; ++i) {
        data[i] = static_cast<BYTE>(i * 31 + i / 4096);
    }
    cairo_surface_mark_dirty(surface);
    return surface;
}

// Paints source's rectangle (sx, sy, sw, sh) onto (dx, dy, dw, dh) of the context's target,
// replacing what is there, sampling the nearest pixel.
void CairoDrawCell(cairo_t* cr, cairo_surface_t* source, double sx, double sy, double sw, double sh, double dx,
                   double dy, double dw, double dh)
{
    cairo_save(cr);
    cairo_rectangle(cr, dx, dy, dw, dh);
    cairo_clip(cr);
    cairo_translate(cr, dx, dy);
    cairo_scale(cr, dw / sw, dh / sh);
    cairo_set_source_surface(cr, source, -sx, -sy);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_restore(cr);
}

// Whether the stream and the cairo surface hold the same bytes, so that the two sides of a
// figure did the same work.
bool SamePixels(IKivImageStream* stream, cairo_surface_t* surface)
{
    BYTE* bits = nullptr;
    KivImageLockToken token = nullptr;
    stream->Lock(&bits, &token);
    const bool same = std::equal(bits, bits + std::size_t(Width) * Height * 4, cairo_image_surface_get_data(surface));
    stream->Unlock(token);
    return same;
}

void Report(const char* name, double ours, double cairo, bool same)
{
    std::printf("%-34s %8.3f ms   cairo %8.3f ms   ratio %.2f   %s\n", name, ours, cairo, ours / cairo,
                same ? "same pixels" : "PIXELS DIFFER");
}

} // namespace

int main()
{
    CComPtr<IKivImageStreamFactory> factory(GetKivImageUtil()->CreateFactory());
    CComPtr<IKivImageStreamDevice> device;
    factory->CreateDevice(&device);
    const KivBlitParams copy{KivBlitParamsSize, KivBlitMode::Copy, 255, {}, {}};
    const KivImageRect full{0, 0, Width, Height};

    CComPtr<IKivImageStream> dest = PatternStream(factory, Width, Height);
    cairo_surface_t* cairoDest = PatternSurface(Width, Height);
    cairo_t* cr = cairo_create(cairoDest);

    std::printf("image device on %dx%d 32-bit streams, median of %d runs; ratio = ours / cairo\n", Width, Height,
                Runs);

    CComPtr<IKivImageStream> same = PatternStream(factory, Width, Height);
    cairo_surface_t* cairoSame = PatternSurface(Width, Height);
    Report("blit 1920x1080 copy", MedianMs([&] { device->Blit(dest, &full, same, &full, &copy); }),
           MedianMs([&] { CairoDrawCell(cr, cairoSame, 0, 0, Width, Height, 0, 0, Width, Height); cairo_surface_flush(cairoDest); }),
           SamePixels(dest, cairoDest));

    CComPtr<IKivImageStream> half = PatternStream(factory, Width / 2, Height / 2);
    cairo_surface_t* cairoHalf = PatternSurface(Width / 2, Height / 2);
    const KivImageRect halfRect{0, 0, Width / 2, Height / 2};
    Report("stretch 960x540 to 1920x1080", MedianMs([&] { device->Blit(dest, &full, half, &halfRect, &copy); }),
           MedianMs([&] { CairoDrawCell(cr, cairoHalf, 0, 0, Width / 2, Height / 2, 0, 0, Width, Height); cairo_surface_flush(cairoDest); }),
           SamePixels(dest, cairoDest));

    constexpr LONG Side = 256;
    constexpr LONG Margin = 32;
    CComPtr<IKivImageStream> tile = PatternStream(factory, Side, Side);
    cairo_surface_t* cairoTile = PatternSurface(Side, Side);
    const KivImageRect tileRect{0, 0, Side, Side};
    const KivImageRect inner{Margin, Margin, Side - Margin, Side - Margin};
    const auto cairoNineGrid = [&] {
        const double from[4] = {0, Margin, Side - Margin, Side};
        const double toX[4] = {0, Margin, double(Width - Margin), double(Width)};
        const double toY[4] = {0, Margin, double(Height - Margin), double(Height)};
        for (int row = 0; row < 3; ++row) {
            for (int column = 0; column < 3; ++column) {
                CairoDrawCell(cr, cairoTile, from[column], from[row], from[column + 1] - from[column],
                              from[row + 1] - from[row], toX[column], toY[row], toX[column + 1] - toX[column],
                              toY[row + 1] - toY[row]);
            }
        }
        cairo_surface_flush(cairoDest);
    };
    Report("nine-grid 256x256 to 1920x1080",
           MedianMs([&] { device->DrawNineGrid(dest, &full, tile, &tileRect, &inner, &copy); }), MedianMs(cairoNineGrid),
           SamePixels(dest, cairoDest));

    cairo_destroy(cr);
    for (cairo_surface_t* surface : {cairoDest, cairoSame, cairoHalf, cairoTile}) {
        cairo_surface_destroy(surface);
    }
    return 0;
}
