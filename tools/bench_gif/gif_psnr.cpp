// Mean PSNR of a GIF against the frames it was made from: each source frame (a numbered PNG)
// is compared with the GIF picture showing halfway through that frame's time, as a viewer
// composites it. Prints the mean over frames in dB (identical frames count as 100 dB).
//   gif_psnr GIF FRAME_PATTERN FRAMES FPS   (FRAME_PATTERN as printf: frames/m.swf%05d.png)
#include <FreeImage.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support/gif_reader.h"

namespace {

constexpr double kIdenticalDb = 100.0;

// The page showing at `seconds` from the start (the last one after the end).
std::size_t PageAt(const testgif::Gif& gif, double seconds) {
    double end = 0;
    for (std::size_t i = 0; i < gif.pages.size(); ++i) {
        end += std::max(gif.pages[i].delayCs, 0) / 100.0;
        if (seconds < end) return i;
    }
    return gif.pages.size() - 1;
}

// Squared error summed over the three channels of every pixel, or -1 when the frame cannot
// be read or has another size.
double SquaredError(const std::string& png, const testgif::Page& page) {
    FIBITMAP* loaded = FreeImage_Load(FIF_PNG, png.c_str(), 0);
    if (!loaded) return -1;
    FIBITMAP* rgb = FreeImage_ConvertTo24Bits(loaded);
    FreeImage_Unload(loaded);
    if (!rgb) return -1;
    double sum = -1;
    if (int(FreeImage_GetWidth(rgb)) == page.width && int(FreeImage_GetHeight(rgb)) == page.height) {
        sum = 0;
        for (int y = 0; y < page.height; ++y) {
            // FreeImage keeps rows bottom-up.
            const BYTE* row = FreeImage_GetScanLine(rgb, page.height - 1 - y);
            for (int x = 0; x < page.width; ++x, row += 3) {
                const std::uint32_t c = page.At(x, y);
                const double dr = row[FI_RGBA_RED] - double((c >> 16) & 0xFF);
                const double dg = row[FI_RGBA_GREEN] - double((c >> 8) & 0xFF);
                const double db = row[FI_RGBA_BLUE] - double(c & 0xFF);
                sum += dr * dr + dg * dg + db * db;
            }
        }
    }
    FreeImage_Unload(rgb);
    return sum;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: gif_psnr GIF FRAME_PATTERN FRAMES FPS\n");
        return 2;
    }
    const testgif::Gif gif = testgif::Read(argv[1]);
    const long frames = std::atol(argv[3]);
    const double fps = std::atof(argv[4]);
    if (!gif.ok || gif.pages.empty() || frames <= 0 || !(fps > 0)) {
        std::fprintf(stderr, "gif_psnr: cannot read %s\n", argv[1]);
        return 1;
    }
    double total = 0;
    for (long k = 0; k < frames; ++k) {
        char png[4096];
        std::snprintf(png, sizeof png, argv[2], int(k));
        const testgif::Page& page = gif.pages[PageAt(gif, (k + 0.5) / fps)];
        const double error = SquaredError(png, page);
        if (error < 0) {
            std::fprintf(stderr, "gif_psnr: cannot compare %s\n", png);
            return 1;
        }
        const double mse = error / (3.0 * page.width * page.height);
        total += mse > 0 ? std::min(kIdenticalDb, 10 * std::log10(255.0 * 255.0 / mse)) : kIdenticalDb;
    }
    std::printf("%.2f\n", total / frames);
    return 0;
}
