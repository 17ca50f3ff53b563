// The bridge between CPixelImage and the graphics library: captured surfaces in, bitmaps both
// ways, high-quality bicubic scaling, and the encoder for an image type.
#pragma once

#include <memory>

#include "imaging/imagecodec.h"
#include "platform/gdiplus.h"

class CSurface;

// Keeps the graphics library started for as long as it lives.
class CGdiplusGuard {
  public:
    CGdiplusGuard();
    ~CGdiplusGuard();
    CGdiplusGuard(const CGdiplusGuard&) = delete;
    CGdiplusGuard& operator=(const CGdiplusGuard&) = delete;

  private:
    gdiplus::StartupToken m_token = 0;
};

// An owned graphics-library bitmap with the status of its creation; the bitmap is null when
// that failed.
struct CGdiplusBitmap {
    std::unique_ptr<gdiplus::Bitmap> m_pBitmap;
    gdiplus::Status m_lastStatus = gdiplus::Status::Ok;
};

// A bitmap of the surface's pixels, reported as PixelFormat32bppRGB (its alpha does not count).
// The surface is always 32-bit, so no GDI palette goes with it.
std::unique_ptr<CGdiplusBitmap> CreateGdiplusBitmapFromHBITMAP(const CSurface* hBitmap);

// Re-creates image from the bitmap's active frame, row by row; an unsupported pixel format,
// or a bitmap that failed to be created, leaves image unchanged. True when image was filled.
bool ImageFromGdiplusBitmap(const CGdiplusBitmap& bitmap, CPixelImage& image);

// A bitmap holding the image: indexed for 1, 4 and 8 bits, RGB555 or RGB565 by the green mask,
// 24bppRGB, 32bppARGB. Null for an empty image.
std::unique_ptr<CGdiplusBitmap> GdiplusBitmapFromImage(const CPixelImage& image);

// Scales an image of 16 bits or more to width x height with the interpolation mode; the
// picture's edges are replicated into a 10-pixel margin first so that the kernel sees them.
// An unsuitable image, or a failing step, leaves the image as it was.
void StretchWithMode(CPixelImage& image, int width, int height, gdiplus::InterpolationMode mode);

// The class identifier of the encoder for BMP, JPEG, GIF, TIFF and PNG; false for other types.
bool FindEncoderClsid(ImageType type, gdiplus::CLSID* clsid);
