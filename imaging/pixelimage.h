// The toolkit's in-memory raster image: a Windows device-independent bitmap held as its
// information header, one bottom-up pixel block (rows padded to 4 bytes) from the page
// allocator, a top-down row table, the 16-bit channel masks and a palette.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/wintypes.h"

class CPropertyBag;

// Headers and pixels are copied to and from files as they lie in memory.
static_assert(std::endian::native == std::endian::little);

struct BITMAPINFOHEADER {
    std::uint32_t biSize;
    std::int32_t biWidth;
    std::int32_t biHeight;
    std::uint16_t biPlanes;
    std::uint16_t biBitCount;
    std::uint32_t biCompression;
    std::uint32_t biSizeImage;
    std::int32_t biXPelsPerMeter;
    std::int32_t biYPelsPerMeter;
    std::uint32_t biClrUsed;
    std::uint32_t biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

struct RGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
};
static_assert(sizeof(RGBQUAD) == 4);

constexpr std::uint32_t BI_RGB = 0;
constexpr std::uint32_t BI_BITFIELDS = 3;

// Largest image the toolkit creates: each side and the pixel block in bytes.
constexpr int kMaxImageSide = 65535;
constexpr std::int64_t kMaxPixelBytes = std::int64_t(1) << 30;

// Stride of a row of width pixels at bpp bits, padded to 4 bytes.
constexpr std::int64_t DibStride(std::int64_t width, int bpp) {
    return (width * bpp + 31) / 32 * 4;
}

class CImageObject {
  public:
    virtual ~CImageObject() = default;
    // Stores the object into (bStore) or restores it from a flat block of nBlockSize bytes;
    // returns the bytes written or read, 0 when nothing was (also when the block is too small).
    virtual int Store(bool bStore, BYTE* pBlock, std::size_t nBlockSize);
};

class CPlacedObject : public CImageObject {
  public:
    int Store(bool bStore, BYTE* pBlock, std::size_t nBlockSize) override;

    int m_x = 0;
    int m_y = 0;
};

// Zeroed read/write pages from mmap, returned with munmap.
class CPageMemory {
  public:
    CPageMemory() = default;
    explicit CPageMemory(std::size_t size);  // empty when the pages cannot be had
    ~CPageMemory();
    CPageMemory(CPageMemory&& other) noexcept;
    CPageMemory& operator=(CPageMemory&& other) noexcept;
    CPageMemory(const CPageMemory&) = delete;
    CPageMemory& operator=(const CPageMemory&) = delete;

    BYTE* Data() const { return m_pData; }

  private:
    void Release();
    BYTE* m_pData = nullptr;
    std::size_t m_nSize = 0;
};

class CPixelImage : public CPlacedObject {
  public:
    CPixelImage() = default;
    // Copies pixels, palette, masks and origin; assigning an empty image empties this one.
    CPixelImage(const CPixelImage& other);
    CPixelImage& operator=(const CPixelImage& other);
    ~CPixelImage() override = default;

    // Creates the image from an information header; for 16 bits with BI_BITFIELDS the three
    // masks (red, green, blue) must follow the header in memory.
    bool Create(const BITMAPINFOHEADER* pHeader);
    bool CreateBlank(int width, int height, int bitsPerPixel);
    void Destroy();

    bool IsValid() const { return m_pixels.Data() != nullptr; }
    int GetWidth() const { return m_header.biWidth; }
    int GetHeight() const { return m_header.biHeight; }
    int GetBitsPerPixel() const { return m_header.biBitCount; }
    int GetStride() const { return int(DibStride(m_header.biWidth, m_header.biBitCount)); }
    const BITMAPINFOHEADER& GetHeader() const { return m_header; }
    std::uint32_t GetRedMask() const { return m_redMask; }
    std::uint32_t GetGreenMask() const { return m_greenMask; }
    std::uint32_t GetBlueMask() const { return m_blueMask; }
    const BYTE* GetPixels() const { return m_pixels.Data(); }

    // Row y counted from the top; the caller keeps 0 <= y < height.
    BYTE* GetRow(int y) const { return m_rows[y]; }
    BYTE* GetPixelAddress(int x, int y) const;

    bool SetPaletteEntries(int first, int count, const RGBQUAD* entries);
    bool GetPaletteEntries(int first, int count, RGBQUAD* entries) const;
    void SetGrayPalette();
    void SetAlphaChannel(BYTE alpha);

    // The header followed by the palette (bpp <= 8) or the three masks (bpp > 8);
    // empty for an empty image.
    std::vector<BYTE> BuildBitmapInfo() const;

    void CopyFrom(const CPixelImage& source);
    bool CopyPalette(const CPixelImage& source);
    bool Blit(const CPixelImage& source, int x, int y);
    void ExpandBorder(bool replicate, int left, int top, int right, int bottom);

    // Scaling through the graphics bridge (high-quality bicubic).
    void Stretch(int width, int height);
    // Saving by the file name's extension through the current codec factory.
    bool SaveToFile(const char* fileName, int quality);
    bool SaveWithProperties(const char* fileName, const CPropertyBag* properties);

    int Store(bool bStore, BYTE* pBlock, std::size_t nBlockSize) override;

  private:
    bool CreateWithMasks(const BITMAPINFOHEADER& header, const std::uint32_t* masks);
    int PaletteSize() const { return GetBitsPerPixel() <= 8 ? 1 << GetBitsPerPixel() : 0; }
    void ReplicateMargins(const CPixelImage& copy, int left, int top, int right, int bottom);

    BITMAPINFOHEADER m_header{};
    CPageMemory m_pixels;
    std::unique_ptr<BYTE*[]> m_rows;
    std::uint32_t m_redMask = 0;
    std::uint32_t m_greenMask = 0;
    std::uint32_t m_blueMask = 0;
    std::unique_ptr<RGBQUAD[]> m_palette;
};

// Fills the rectangle (clipped to the image) with one pixel value of bpp / 8 bytes; images
// below 8 bits per pixel are left alone.
void FillRect(CPixelImage& image, const RECT& rect, const void* pixel);
