#include "imaging/gdiplusbridge.h"

#include <cstring>

#include "platform/surface.h"

using namespace gdiplus;

namespace {

constexpr std::uint32_t kMask555[3] = {0x7C00, 0x03E0, 0x001F};
constexpr std::uint32_t kMask565[3] = {0xF800, 0x07E0, 0x001F};
constexpr int kStretchMargin = 10;

struct DibLayout {
    int bpp = 0;
    std::uint32_t compression = BI_RGB;
    const std::uint32_t* masks = nullptr;
};

// The image layout for a bitmap's pixel format; bpp 0 for a format the toolkit does not take.
DibLayout LayoutForFormat(PixelFormat format) {
    switch (format) {
        case PixelFormat1bppIndexed:
            return {1};
        case PixelFormat4bppIndexed:
            return {4};
        case PixelFormat8bppIndexed:
            return {8};
        case PixelFormat16bppRGB555:
        case PixelFormat16bppARGB1555:
            return {16, BI_BITFIELDS, kMask555};
        case PixelFormat16bppRGB565:
            return {16, BI_BITFIELDS, kMask565};
        case PixelFormat24bppRGB:
            return {24};
        case PixelFormat32bppRGB:
        case PixelFormat32bppARGB:
        case PixelFormat32bppPARGB:
            return {32};
        default:
            return {};
    }
}

PixelFormat FormatForImage(const CPixelImage& image) {
    switch (image.GetBitsPerPixel()) {
        case 1:
            return PixelFormat1bppIndexed;
        case 4:
            return PixelFormat4bppIndexed;
        case 8:
            return PixelFormat8bppIndexed;
        case 16:
            return image.GetGreenMask() == kMask555[1] ? PixelFormat16bppRGB555
                                                       : PixelFormat16bppRGB565;
        case 24:
            return PixelFormat24bppRGB;
        case 32:
            return PixelFormat32bppARGB;
        default:
            return PixelFormatUndefined;
    }
}

void CopyPaletteFromBitmap(const Bitmap& bitmap, CPixelImage& image) {
    ColorPalette palette;
    if (bitmap.GetPalette(&palette) != Status::Ok) return;
    const int count = std::min<int>(int(palette.Entries.size()), 1 << image.GetBitsPerPixel());
    for (int i = 0; i < count; ++i) {
        const ARGB c = palette.Entries[i];
        const RGBQUAD entry{BYTE(c), BYTE(c >> 8), BYTE(c >> 16), BYTE(c >> 24)};
        image.SetPaletteEntries(i, 1, &entry);
    }
}

void CopyPaletteToBitmap(const CPixelImage& image, Bitmap& bitmap) {
    const int count = 1 << image.GetBitsPerPixel();
    std::vector<RGBQUAD> entries(count);
    image.GetPaletteEntries(0, count, entries.data());
    ColorPalette palette;
    palette.Flags = PaletteFlagsHasAlpha;
    for (const RGBQUAD& e : entries)
        palette.Entries.push_back(0xFF000000u | ARGB(e.rgbRed) << 16 | ARGB(e.rgbGreen) << 8 |
                                  e.rgbBlue);
    bitmap.SetPalette(palette);
}

// Copies one row between the bitmap and the image's row buffer; a failed lock leaves the
// row as it was.
void CopyRow(Bitmap& bitmap, const CPixelImage& image, int y, PixelFormat format, unsigned mode) {
    BitmapData data;
    data.Width = unsigned(image.GetWidth());
    data.Height = 1;
    data.Stride = image.GetStride();
    data.Format = format;
    data.Scan0 = image.GetRow(y);
    if (bitmap.LockBits(Rect{0, y, image.GetWidth(), 1}, mode | ImageLockModeUserInputBuf, format,
                        &data) == Status::Ok)
        bitmap.UnlockBits(&data);
}

}  // namespace

CGdiplusGuard::CGdiplusGuard() {
    GdiplusStartup(&m_token);
}

CGdiplusGuard::~CGdiplusGuard() {
    GdiplusShutdown(m_token);
}

std::unique_ptr<CGdiplusBitmap> CreateGdiplusBitmapFromHBITMAP(const CSurface* hBitmap) {
    auto result = std::make_unique<CGdiplusBitmap>();
    result->m_lastStatus = hBitmap ? Bitmap::CreateFromSurface(*hBitmap, &result->m_pBitmap)
                                   : Status::InvalidParameter;
    return result;
}

bool ImageFromGdiplusBitmap(const CGdiplusBitmap& source, CPixelImage& image) {
    if (!source.m_pBitmap) return false;
    Bitmap& bitmap = *source.m_pBitmap;
    const PixelFormat format = bitmap.GetPixelFormat();
    const DibLayout layout = LayoutForFormat(format);
    if (layout.bpp == 0) return false;

    struct {
        BITMAPINFOHEADER header{};
        std::uint32_t masks[3] = {};
    } info;
    info.header.biSize = 40;
    info.header.biWidth = bitmap.GetWidth();
    info.header.biHeight = bitmap.GetHeight();
    info.header.biPlanes = 1;
    info.header.biBitCount = std::uint16_t(layout.bpp);
    info.header.biCompression = layout.compression;
    if (layout.masks) std::memcpy(info.masks, layout.masks, sizeof info.masks);
    static_assert(sizeof info == 52);
    if (!image.Create(&info.header)) return false;

    if (layout.bpp <= 8) CopyPaletteFromBitmap(bitmap, image);
    for (int y = 0; y < image.GetHeight(); ++y)
        CopyRow(bitmap, image, y, format, ImageLockModeRead);
    if (format == PixelFormat32bppRGB) image.SetAlphaChannel(255);
    return true;
}

std::unique_ptr<CGdiplusBitmap> GdiplusBitmapFromImage(const CPixelImage& image) {
    const PixelFormat format = FormatForImage(image);
    if (!image.IsValid() || format == PixelFormatUndefined) return nullptr;
    auto result = std::make_unique<CGdiplusBitmap>();
    result->m_lastStatus =
        Bitmap::CreateFromScan0(image.GetWidth(), image.GetHeight(), format, &result->m_pBitmap);
    if (!result->m_pBitmap) return result;
    if (image.GetBitsPerPixel() <= 8) CopyPaletteToBitmap(image, *result->m_pBitmap);
    for (int y = 0; y < image.GetHeight(); ++y)
        CopyRow(*result->m_pBitmap, image, y, format, ImageLockModeWrite);
    return result;
}

void StretchWithMode(CPixelImage& image, int width, int height, InterpolationMode mode) {
    if (!image.IsValid() || width <= 0 || height <= 0 || image.GetBitsPerPixel() < 16) return;
    const int w = image.GetWidth();
    const int h = image.GetHeight();
    CPixelImage expanded(image);
    expanded.ExpandBorder(true, kStretchMargin, kStretchMargin, kStretchMargin, kStretchMargin);
    if (expanded.GetWidth() != w + 2 * kStretchMargin) return;

    const std::unique_ptr<CGdiplusBitmap> source = GdiplusBitmapFromImage(expanded);
    if (!source || !source->m_pBitmap) return;
    CGdiplusBitmap destination;
    destination.m_lastStatus = Bitmap::CreateFromScan0(
        width, height, source->m_pBitmap->GetPixelFormat(), &destination.m_pBitmap);
    if (!destination.m_pBitmap) return;
    std::unique_ptr<Graphics> graphics;
    if (Graphics::FromImage(destination.m_pBitmap.get(), &graphics) != Status::Ok) return;
    graphics->SetInterpolationMode(mode);
    const Status drawn = graphics->DrawImage(*source->m_pBitmap, Rect{0, 0, width, height},
                                             Rect{kStretchMargin, kStretchMargin, w, h}, UnitPixel);
    graphics.reset();
    if (drawn != Status::Ok) return;
    ImageFromGdiplusBitmap(destination, image);
}

void CPixelImage::Stretch(int width, int height) {
    StretchWithMode(*this, width, height, InterpolationModeHighQualityBicubic);
}

bool FindEncoderClsid(ImageType type, CLSID* clsid) {
    const char* mime = nullptr;
    switch (type) {
        case IMG_BMP:
            mime = "image/bmp";
            break;
        case IMG_JPEG:
            mime = "image/jpeg";
            break;
        case IMG_GIF:
            mime = "image/gif";
            break;
        case IMG_TIFF:
            mime = "image/tiff";
            break;
        case IMG_PNG:
            mime = "image/png";
            break;
        default:
            return false;
    }
    if (!clsid) return false;
    for (const ImageCodecInfo& encoder : GetImageEncoders()) {
        if (encoder.MimeType == mime) {
            *clsid = encoder.Clsid;
            return true;
        }
    }
    return false;
}
