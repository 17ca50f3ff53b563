#include "imaging/bmpcodec.h"

#include <cstring>

#include "imaging/filewriter.h"

namespace {

constexpr std::size_t kFileHeaderBytes = 14;
constexpr std::size_t kInfoHeaderBytes = 40;
constexpr std::size_t kMaskBytes = 12;

std::uint32_t ReadU32(const BYTE* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

}  // namespace

bool CBmpCodec::SaveFile(const char* fileName, const CImageList& images, const CPropertyBag*) {
    if (images.empty() || !images.front() || !images.front()->IsValid()) return false;
    const CPixelImage& image = *images.front();
    CFileWriter file(fileName);
    if (!file.IsOpen()) return false;

    const std::size_t imageSize = std::size_t(image.GetStride()) * image.GetHeight();
    std::size_t fileSize = kFileHeaderBytes + kInfoHeaderBytes + imageSize;
    if (image.GetBitsPerPixel() <= 8) fileSize += std::size_t(4) << image.GetBitsPerPixel();
    if (image.GetHeader().biCompression == BI_BITFIELDS) fileSize += kMaskBytes;
    const std::vector<BYTE> info = image.BuildBitmapInfo();

    file.WriteU16(0x4D42);
    file.WriteU32(std::uint32_t(fileSize));
    file.WriteU16(0);
    file.WriteU16(0);
    file.WriteU32(std::uint32_t(fileSize - imageSize));
    file.Write(info.data(), fileSize - kFileHeaderBytes - imageSize);
    file.Write(image.GetPixels(), imageSize);
    return file.Finish();
}

bool CBmpCodec::LoadMemory(const BYTE* data, std::size_t length, CImageList& images,
                           std::unique_ptr<CPropertyBag>&) {
    if (!data || length <= kFileHeaderBytes || data[0] != 'B' || data[1] != 'M') return false;
    const std::uint32_t dataOffset = ReadU32(data + 10);
    if (dataOffset >= length) return false;
    if (length < kFileHeaderBytes + kInfoHeaderBytes) return false;

    // The information header with the three masks after it, as Create reads them.
    BYTE headerAndMasks[kInfoHeaderBytes + kMaskBytes] = {};
    std::memcpy(headerAndMasks, data + kFileHeaderBytes, kInfoHeaderBytes);
    BITMAPINFOHEADER header;
    std::memcpy(&header, headerAndMasks, sizeof header);
    if (header.biSize < kInfoHeaderBytes) return false;  // an OS/2 core header reads otherwise
    if (header.biBitCount == 16 && header.biCompression == BI_BITFIELDS) {
        if (length < kFileHeaderBytes + kInfoHeaderBytes + kMaskBytes) return false;
        std::memcpy(headerAndMasks + kInfoHeaderBytes, data + kFileHeaderBytes + kInfoHeaderBytes,
                    kMaskBytes);
    }

    auto image = std::make_unique<CPixelImage>();
    if (!image->Create(reinterpret_cast<const BITMAPINFOHEADER*>(headerAndMasks))) return false;

    if (image->GetBitsPerPixel() <= 8) {
        const std::uint32_t fullSize = 1u << image->GetBitsPerPixel();
        const std::uint32_t count =
            header.biClrUsed > 0 && header.biClrUsed < fullSize ? header.biClrUsed : fullSize;
        const std::uint64_t start = kFileHeaderBytes + std::uint64_t(header.biSize);
        if (start + 4ull * count > length) return false;
        image->SetPaletteEntries(0, int(count), reinterpret_cast<const RGBQUAD*>(data + start));
    }

    const std::size_t pixelBytes = std::size_t(image->GetStride()) * image->GetHeight();
    const std::size_t available = std::min<std::size_t>(pixelBytes, length - dataOffset);
    std::memcpy(image->GetRow(image->GetHeight() - 1), data + dataOffset, available);
    images.push_back(image.release());
    return true;
}
