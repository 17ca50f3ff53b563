#include "imaging/pixelimage.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace {

constexpr std::uint32_t kDefaultMasks[3] = {0x7C00, 0x03E0, 0x001F};
constexpr std::size_t kMaskBytes = 12;
constexpr std::size_t kOriginBytes = 8;
constexpr std::size_t kPopulatedBytes = 64u << 20;

bool IsSupportedDepth(int bpp) {
    return bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32;
}

// Create's refusals, plus the size cap that keeps the pixel block allocatable.
bool IsCreatable(const BITMAPINFOHEADER& h) {
    if (h.biWidth <= 0 || h.biHeight <= 0) return false;
    if (h.biCompression != BI_RGB && h.biCompression != BI_BITFIELDS) return false;
    if (!IsSupportedDepth(h.biBitCount)) return false;
    if (h.biWidth > kMaxImageSide || h.biHeight > kMaxImageSide) return false;
    return DibStride(h.biWidth, h.biBitCount) * h.biHeight <= kMaxPixelBytes;
}

struct Span {
    std::int64_t begin;
    std::int64_t end;
};

Span Intersect(Span a, Span b) {
    return {std::max(a.begin, b.begin), std::min(a.end, b.end)};
}

}  // namespace

// ---- CImageObject, CPlacedObject ----

int CImageObject::Store(bool, BYTE*, std::size_t) {
    return 0;
}

int CPlacedObject::Store(bool bStore, BYTE* pBlock, std::size_t nBlockSize) {
    if (!pBlock || nBlockSize < kOriginBytes) return 0;
    if (bStore) {
        std::memcpy(pBlock, &m_x, 4);
        std::memcpy(pBlock + 4, &m_y, 4);
    } else {
        std::memcpy(&m_x, pBlock, 4);
        std::memcpy(&m_y, pBlock + 4, 4);
    }
    return int(kOriginBytes);
}

// ---- CPageMemory ----

CPageMemory::CPageMemory(std::size_t size) {
    if (size == 0) return;
    // Frame-sized blocks are populated in one call, far cheaper than a fault per page; larger
    // ones are left to fault in, so a file that claims a huge picture but carries little data
    // costs only the pages that are written.
    const int populate = size <= kPopulatedBytes ? MAP_POPULATE : 0;
    void* p =
        mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | populate, -1, 0);
    if (p == MAP_FAILED) return;
    m_pData = static_cast<BYTE*>(p);
    m_nSize = size;
}

CPageMemory::~CPageMemory() {
    Release();
}

CPageMemory::CPageMemory(CPageMemory&& other) noexcept
    : m_pData(std::exchange(other.m_pData, nullptr)), m_nSize(std::exchange(other.m_nSize, 0)) {}

CPageMemory& CPageMemory::operator=(CPageMemory&& other) noexcept {
    if (this != &other) {
        Release();
        m_pData = std::exchange(other.m_pData, nullptr);
        m_nSize = std::exchange(other.m_nSize, 0);
    }
    return *this;
}

void CPageMemory::Release() {
    if (m_pData) munmap(m_pData, m_nSize);
    m_pData = nullptr;
    m_nSize = 0;
}

// ---- CPixelImage: life ----

CPixelImage::CPixelImage(const CPixelImage& other) : CPlacedObject() {
    CopyFrom(other);
}

CPixelImage& CPixelImage::operator=(const CPixelImage& other) {
    if (&other == this) return *this;
    if (other.IsValid()) {
        CopyFrom(other);
    } else {
        Destroy();
        m_x = other.m_x;
        m_y = other.m_y;
    }
    return *this;
}

bool CPixelImage::Create(const BITMAPINFOHEADER* pHeader) {
    if (!pHeader) return false;
    std::uint32_t masks[3];
    const bool bitfields16 = pHeader->biBitCount == 16 && pHeader->biCompression == BI_BITFIELDS;
    if (bitfields16) std::memcpy(masks, reinterpret_cast<const BYTE*>(pHeader) + 40, kMaskBytes);
    return CreateWithMasks(*pHeader, bitfields16 ? masks : nullptr);
}

bool CPixelImage::CreateWithMasks(const BITMAPINFOHEADER& given, const std::uint32_t* masks) {
    if (!IsCreatable(given)) return false;
    if (IsValid()) Destroy();

    BITMAPINFOHEADER h{};
    h.biSize = 40;
    h.biWidth = given.biWidth;
    h.biHeight = given.biHeight;
    h.biPlanes = 1;
    h.biBitCount = given.biBitCount;
    h.biCompression = given.biCompression;
    h.biXPelsPerMeter = given.biXPelsPerMeter;
    h.biYPelsPerMeter = given.biYPelsPerMeter;
    if (h.biBitCount == 16) {
        const std::uint32_t* m = masks ? masks : kDefaultMasks;
        m_redMask = m[0];
        m_greenMask = m[1];
        m_blueMask = m[2];
    } else {
        h.biCompression = BI_RGB;
    }

    const std::int64_t stride = DibStride(h.biWidth, h.biBitCount);
    CPageMemory pixels(std::size_t(stride * h.biHeight));
    std::unique_ptr<BYTE*[]> rows(new (std::nothrow) BYTE*[h.biHeight]);
    const int paletteSize = h.biBitCount <= 8 ? 1 << h.biBitCount : 0;
    std::unique_ptr<RGBQUAD[]> palette;
    if (paletteSize) palette.reset(new (std::nothrow) RGBQUAD[paletteSize]);
    if (!pixels.Data() || !rows || (paletteSize && !palette)) {
        Destroy();
        return false;
    }
    for (int y = 0; y < h.biHeight; ++y)
        rows[y] = pixels.Data() + std::size_t(stride) * (h.biHeight - 1 - y);

    m_header = h;
    m_pixels = std::move(pixels);
    m_rows = std::move(rows);
    m_palette = std::move(palette);
    if (m_palette) SetGrayPalette();
    return true;
}

bool CPixelImage::CreateBlank(int width, int height, int bitsPerPixel) {
    BITMAPINFOHEADER h{};
    h.biWidth = width;
    h.biHeight = height;
    h.biBitCount = std::uint16_t(bitsPerPixel);
    if (bitsPerPixel < 0 || bitsPerPixel > 0xFFFF) return false;
    return Create(&h);
}

void CPixelImage::Destroy() {
    m_palette.reset();
    m_pixels = CPageMemory();
    m_rows.reset();
    m_header = {};
    m_redMask = m_greenMask = m_blueMask = 0;
}

// ---- pixels and palette ----

BYTE* CPixelImage::GetPixelAddress(int x, int y) const {
    const int bpp = GetBitsPerPixel();
    if (bpp == 32) return GetRow(y) + 4 * x;
    if (bpp == 8) return GetRow(y) + x;
    return GetRow(y) + x * bpp / 8;
}

bool CPixelImage::SetPaletteEntries(int first, int count, const RGBQUAD* entries) {
    if (!IsValid() || GetBitsPerPixel() > 8 || first < 0 || !entries || !m_palette) return false;
    for (int i = 0; i < count; ++i) {
        const std::int64_t index = std::int64_t(first) + i;
        if (index < PaletteSize()) m_palette[index] = entries[i];
    }
    return true;
}

bool CPixelImage::GetPaletteEntries(int first, int count, RGBQUAD* entries) const {
    if (!IsValid() || GetBitsPerPixel() > 8 || first < 0 || !entries || !m_palette) return false;
    for (int i = 0; i < count; ++i) {
        const std::int64_t index = std::int64_t(first) + i;
        if (index < PaletteSize()) entries[i] = m_palette[index];
    }
    return true;
}

void CPixelImage::SetGrayPalette() {
    if (!m_palette) return;
    const int n = PaletteSize();
    const int step = 255 / (n - 1);
    for (int i = 0; i < n; ++i) {
        const BYTE v = BYTE(i * step);
        m_palette[i] = RGBQUAD{v, v, v, 0};
    }
}

void CPixelImage::SetAlphaChannel(BYTE alpha) {
    if (!IsValid() || GetBitsPerPixel() != 32) return;
    const std::uint32_t alphaBits = std::uint32_t(alpha) << 24;  // pixels are B, G, R, A
    for (int y = 0; y < GetHeight(); ++y) {
        BYTE* row = GetRow(y);
        for (int x = 0; x < GetWidth(); ++x) {
            std::uint32_t pixel;
            std::memcpy(&pixel, row + 4 * x, 4);
            pixel = (pixel & 0x00FFFFFFu) | alphaBits;
            std::memcpy(row + 4 * x, &pixel, 4);
        }
    }
}

std::vector<BYTE> CPixelImage::BuildBitmapInfo() const {
    if (!IsValid()) return {};
    const std::size_t extra = PaletteSize() ? std::size_t(PaletteSize()) * 4 : kMaskBytes;
    std::vector<BYTE> info(sizeof m_header + extra);
    std::memcpy(info.data(), &m_header, sizeof m_header);
    if (PaletteSize()) {
        std::memcpy(info.data() + sizeof m_header, m_palette.get(), extra);
    } else {
        const std::uint32_t masks[3] = {m_redMask, m_greenMask, m_blueMask};
        std::memcpy(info.data() + sizeof m_header, masks, kMaskBytes);
    }
    return info;
}

// ---- copying ----

void CPixelImage::CopyFrom(const CPixelImage& source) {
    if (!source.IsValid() || &source == this) return;
    const std::uint32_t masks[3] = {source.m_redMask, source.m_greenMask, source.m_blueMask};
    if (!CreateWithMasks(source.m_header, masks)) return;
    std::memcpy(m_pixels.Data(), source.m_pixels.Data(), std::size_t(GetStride()) * GetHeight());
    if (GetBitsPerPixel() <= 8) CopyPalette(source);
    m_x = source.m_x;
    m_y = source.m_y;
}

bool CPixelImage::CopyPalette(const CPixelImage& source) {
    if (!IsValid() || GetBitsPerPixel() > 8 || GetBitsPerPixel() != source.GetBitsPerPixel() ||
        !source.IsValid())
        return false;
    std::vector<RGBQUAD> entries(PaletteSize());
    return source.GetPaletteEntries(0, PaletteSize(), entries.data()) &&
           SetPaletteEntries(0, PaletteSize(), entries.data());
}

bool CPixelImage::Blit(const CPixelImage& source, int x, int y) {
    if (!IsValid() || !source.IsValid()) return false;
    const int bpp = GetBitsPerPixel();
    if (bpp != source.GetBitsPerPixel() || bpp < 8) return false;
    const Span cols = Intersect({0, GetWidth()}, {x, std::int64_t(x) + source.GetWidth()});
    const Span rows = Intersect({0, GetHeight()}, {y, std::int64_t(y) + source.GetHeight()});
    if (cols.begin >= cols.end || rows.begin >= rows.end) return false;
    const std::size_t bytes = std::size_t(cols.end - cols.begin) * bpp / 8;
    for (std::int64_t r = rows.begin; r < rows.end; ++r)
        std::memcpy(GetPixelAddress(int(cols.begin), int(r)),
                    source.GetPixelAddress(int(cols.begin - x), int(r - y)), bytes);
    return true;
}

void FillRect(CPixelImage& image, const RECT& rect, const void* pixel) {
    if (!image.IsValid() || !pixel) return;
    const int bytes = image.GetBitsPerPixel() / 8;
    if (image.GetBitsPerPixel() < 8) return;
    const Span cols = Intersect({0, image.GetWidth()}, {rect.left, rect.right});
    const Span rows = Intersect({0, image.GetHeight()}, {rect.top, rect.bottom});
    if (cols.begin >= cols.end || rows.begin >= rows.end) return;
    for (std::int64_t y = rows.begin; y < rows.end; ++y) {
        BYTE* p = image.GetPixelAddress(int(cols.begin), int(y));
        for (std::int64_t x = cols.begin; x < cols.end; ++x, p += bytes)
            std::memcpy(p, pixel, bytes);
    }
}

// ---- border ----

void CPixelImage::ExpandBorder(bool replicate, int left, int top, int right, int bottom) {
    if (!IsValid() || GetBitsPerPixel() < 8) return;
    if (left < 0 || top < 0 || right < 0 || bottom < 0) return;
    if (left == 0 && top == 0 && right == 0 && bottom == 0) return;
    const std::int64_t newWidth = std::int64_t(left) + GetWidth() + right;
    const std::int64_t newHeight = std::int64_t(top) + GetHeight() + bottom;
    if (newWidth > kMaxImageSide || newHeight > kMaxImageSide) return;

    const CPixelImage copy(*this);
    if (!copy.IsValid()) return;
    if (!CreateBlank(int(newWidth), int(newHeight), copy.GetBitsPerPixel())) return;
    m_x = copy.m_x - left;
    m_y = copy.m_y - top;
    Blit(copy, left, top);
    if (replicate) ReplicateMargins(copy, left, top, right, bottom);
}

void CPixelImage::ReplicateMargins(const CPixelImage& copy, int left, int top, int right,
                                   int bottom) {
    const int width = GetWidth();
    const int height = GetHeight();
    const int w = copy.GetWidth();
    const int h = copy.GetHeight();
    const int bytes = GetBitsPerPixel() / 8;
    FillRect(*this, RECT{0, 0, left, top}, copy.GetPixelAddress(0, 0));
    FillRect(*this, RECT{width - right, 0, width, top}, copy.GetPixelAddress(w - 1, 0));
    FillRect(*this, RECT{0, height - bottom, left, height}, copy.GetPixelAddress(0, h - 1));
    FillRect(*this, RECT{width - right, height - bottom, width, height},
             copy.GetPixelAddress(w - 1, h - 1));
    const std::size_t rowBytes = std::size_t(w) * bytes;
    for (int y = 0; y < top; ++y)
        std::memcpy(GetPixelAddress(left, y), GetPixelAddress(left, top), rowBytes);
    for (int y = height - bottom; y < height; ++y)
        std::memcpy(GetPixelAddress(left, y), GetPixelAddress(left, height - bottom - 1), rowBytes);
    for (int y = top; y < height - bottom; ++y) {
        FillRect(*this, RECT{0, y, left, y + 1}, GetPixelAddress(left, y));
        FillRect(*this, RECT{left + w, y, width, y + 1}, GetPixelAddress(left + w - 1, y));
    }
}

// ---- flat store ----

int CPixelImage::Store(bool bStore, BYTE* pBlock, std::size_t nBlockSize) {
    if (!pBlock || nBlockSize < sizeof m_header + kMaskBytes) return 0;
    if (bStore) {
        const std::size_t pixelBytes = std::size_t(GetStride()) * GetHeight();
        const std::size_t total = sizeof m_header + kMaskBytes + pixelBytes + kOriginBytes;
        if (nBlockSize < total) return 0;
        const std::uint32_t masks[3] = {m_redMask, m_greenMask, m_blueMask};
        std::memcpy(pBlock, &m_header, sizeof m_header);
        std::memcpy(pBlock + sizeof m_header, masks, kMaskBytes);
        if (pixelBytes) std::memcpy(pBlock + sizeof m_header + kMaskBytes, GetPixels(), pixelBytes);
        CPlacedObject::Store(true, pBlock + total - kOriginBytes, kOriginBytes);
        return int(total);
    }
    BITMAPINFOHEADER h;
    std::uint32_t masks[3];
    std::memcpy(&h, pBlock, sizeof h);
    std::memcpy(masks, pBlock + sizeof h, kMaskBytes);
    if (!IsCreatable(h)) return 0;
    const std::size_t pixelBytes = std::size_t(DibStride(h.biWidth, h.biBitCount)) * h.biHeight;
    const std::size_t total = sizeof h + kMaskBytes + pixelBytes + kOriginBytes;
    if (nBlockSize < total) return 0;
    const bool bitfields16 = h.biBitCount == 16 && h.biCompression == BI_BITFIELDS;
    if (!CreateWithMasks(h, bitfields16 ? masks : nullptr)) return 0;
    std::memcpy(m_pixels.Data(), pBlock + sizeof h + kMaskBytes, pixelBytes);
    CPlacedObject::Store(false, pBlock + total - kOriginBytes, kOriginBytes);
    return int(total);
}
